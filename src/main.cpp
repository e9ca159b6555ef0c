// Entry point of the screensaver: the command line decides between the settings dialog,
// the screensaver on a window and headless rendering.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "render/gl/gl_device.h"
#include "scene/scene.h"
#include "scene/winter_scene.h"
#include "shell/gtk/config_dialog.h"
#include "shell/gtk/message_box.h"
#include "shell/headless.h"
#include "shell/options.h"
#include "shell/record/recorder.h"
#include "shell/sdl/quit_signals.h"
#include "shell/sdl/sdl_shell.h"
#include "shell/settings.h"
#include "shell/startup.h"

namespace {

// Headless frames come from an offscreen OpenGL context (EGL), on the CPU without a GPU.
yulo::Adapter* MakeOffscreenGlAdapter(uint32_t width, uint32_t height) {
  yulo::GlAdapterOptions options;
  options.headless = true;
  options.headlessWidth = width;
  options.headlessHeight = height;
  return yulo::CreateGlAdapter(options);
}

// A box shows only on the way out of the program. While it waits for the user, a quit
// signal (the session ending) ends the program at once: the main loop that would read
// it stands still.
void ShowBoxEndingOnQuitSignals(const char* caption, const char* text) {
  yulo::EndAtOnceOnQuitSignals();
  yulo::ShowGtkMessageBox(caption, text);
}

// Descriptors 0 to 2 closed by whoever started the program would go to the next file or
// socket it opens (its X connection, a picture being written), and text for the terminal
// into that: each closed one is held on /dev/null instead.
void KeepStandardDescriptorsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace yulo;
  KeepStandardDescriptorsOpen();
  // A file-size limit reached fails the write that reaches it, which is reported and
  // cleaned up, instead of ending the program by SIGXFSZ with a file half written.
  std::signal(SIGXFSZ, SIG_IGN);
  scenes.currentScene = &winterScene;

  LaunchOptions options;
  int exitCode = 0;
  if (!ParseOptionsOrAnswer(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), &options, &exitCode)) {
    return exitCode;
  }
  runMode = options.mode;

  // The output folder is named relative to where we were started, before start-up moves
  // to the install folder.
  char renderDir[4096] = {};
  if (options.launch == Launch::Render &&
      !AbsolutePath(options.renderDir, renderDir, sizeof renderDir)) {
    std::fprintf(stderr, "yulo: the folder name '%s' is too long\n", options.renderDir);
    return 2;
  }
  char recordPath[4096] = "-";
  if (options.launch == Launch::Record && std::strcmp(options.recordPath, "-") != 0 &&
      !AbsolutePath(options.recordPath, recordPath, sizeof recordPath)) {
    std::fprintf(stderr, "yulo: the file name '%s' is too long\n", options.recordPath);
    return 2;
  }

  // Fatal messages show in a box from here on, also a missing links.txt, which ends the
  // program before any window exists. Not over a host's window (a locked screen would
  // hide it) and not in headless runs: stderr only there.
  if (options.launch == Launch::Configure ||
      (options.launch == Launch::Screensaver && options.foreignWindow == 0)) {
    SetMessageBoxHook(ShowBoxEndingOnQuitSignals);
  }
  LoadSettings();
  if (options.launch == Launch::Configure) return RunConfigureDialog(options.ownerWindow);

  ApplyRunOptions(options);
  if (options.launch == Launch::Render || options.launch == Launch::Record) {
    // No sound at all: no audio device is even looked for.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  // A size the memory can't hold (up to 16384 x 16384) ends with a message.
  try {
    if (options.launch == Launch::Render) {
      return RenderFrames(options, renderDir, MakeOffscreenGlAdapter);
    }
    if (options.launch == Launch::Record) {
      return RecordVideo(options, recordPath, MakeOffscreenGlAdapter);
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "yulo: not enough memory for %dx%d frames\n", options.width,
                 options.height);
    return 1;
  }
  return RunScreensaver(options);
}
