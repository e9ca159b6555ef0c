#include "shell/sdl/quit_signals.h"

#include <signal.h>

namespace yulo {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT};
struct sigaction previous[2];
bool installed = false;

// Only async-signal-safe calls: the default action then ends the process by the signal,
// which is what its sender expects to see.
void EndBySignal(int signal) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

}  // namespace

void EndAtOnceOnQuitSignals() {
  if (installed) return;
  struct sigaction action {};
  action.sa_handler = EndBySignal;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 2; ++i) {
    sigaction(kQuitSignals[i], nullptr, &previous[i]);
    // One ignored by whoever started the program stays ignored.
    if (previous[i].sa_handler != SIG_IGN) sigaction(kQuitSignals[i], &action, nullptr);
  }
  installed = true;
}

void PassQuitSignalsToLoop() {
  if (!installed) return;
  for (int i = 0; i < 2; ++i) sigaction(kQuitSignals[i], &previous[i], nullptr);
  installed = false;
}

}  // namespace yulo
