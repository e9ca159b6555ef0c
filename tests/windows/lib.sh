# Shared by the Wine checks of this folder (sourced, not run): a fresh Wine prefix on an
# X server, and helpers to start the screensaver, find its window and type into it.
# Before sourcing: $work (a scratch folder). Afterwards $DISPLAY and $WINEPREFIX are set.
# Uses $DISPLAY and $WINEPREFIX when both are set (a prepared prefix on an X server with
# HKCU\Software\Wine\X11 Driver Managed=N); otherwise starts its own Xvfb and makes a fresh
# prefix under $work, both ended when the script exits.

for tool in wine wineserver xdotool Xvfb timeout; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
mkdir -p "$work"
work=$(cd "$work" && pwd)
log=$work/wine.log
: > "$log"

export WINEDEBUG=-all
# No Mono or Gecko prompts; no debugger that could wait for ever after a crash.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

xvfb_pid=
cleanup() {
  timeout 20 wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >>"$log" 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
  [ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
  export DISPLAY=":$(cat "$work/display")"
  export WINEPREFIX=$work/prefix
  rm -rf "$WINEPREFIX"
  timeout 180 wine wineboot -i >>"$log" 2>&1 && timeout 60 wineserver -w
  # Xvfb has no window manager: Wine draws the frames itself.
  timeout 30 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Starts $program (a .scr) with the given switch and waits for its window by title; the
# process id goes to $pid and the window to $window (empty when none appeared).
start() {
  (cd "$(dirname "$program")" && exec wine "$program" "$@") >>"$log" 2>&1 &
  pid=$!
  window=
  for _ in $(seq 150); do
    window=$(xdotool search --name '^Yulo Screensaver$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
}

# Types keys into the window, then waits up to 20 s for the process; its exit code goes
# to $code (124 when it had to be ended).
keys_then_wait() {
  xdotool windowfocus --sync "$window" >>"$log" 2>&1
  sleep 0.5
  xdotool key --delay 150 "$@" >>"$log" 2>&1
  code=124
  for _ in $(seq 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      code=$?
      return
    fi
    sleep 0.2
  done
  kill "$pid" 2>/dev/null
}

# Whether a Windows process of this prefix runs whose command line matches the basic
# regular expression $1 (read from /proc: no process tools needed).
running() {
  for process in /proc/[0-9]*; do
    tr '\0' ' ' 2>/dev/null <"$process/cmdline" | grep -q "$1" || continue
    tr '\0' '\n' 2>/dev/null <"$process/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
