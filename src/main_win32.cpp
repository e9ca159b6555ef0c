// Entry point of the Windows screensaver: the command line decides between the settings
// dialog, the screensaver (full screen, in a preview area, or in a window) and headless
// rendering.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "base/shell_state.h"
#include "render/d3d8/d3d8_device.h"
#include "scene/scene.h"
#include "scene/winter_scene.h"
#include "shell/command_line.h"
#include "shell/headless.h"
#include "shell/options.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/win32/config_dialog.h"
#include "shell/win32/hyperlink.h"
#include "shell/win32/win32_shell.h"

namespace {

// Headless frames come from a device on a hidden window that never presents.
yulo::Adapter* MakeOffscreenD3d8Adapter(uint32_t width, uint32_t height) {
  yulo::D3d8AdapterOptions options;
  options.offscreenWidth = width;
  options.offscreenHeight = height;
  return yulo::CreateD3d8Adapter(options);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace yulo;
  RegisterHyperlinkClass();
  scenes.currentScene = &winterScene;

  // The C runtime has split GetCommandLineA() into __argv the same way in every mode; the
  // screensaver switches among them reach ParseCommandLine joined again. A switch written
  // straight after the quoted program path, which the runtime leaves in __argv[0], becomes
  // an argument of its own first. (args and program live as long as options, which may
  // point into them.)
  std::vector<const char*> args(__argv, __argv + __argc);
  std::string program;
  const size_t glued = __argc > 0 ? TextGluedToProgramPath(GetCommandLineA(), __argv[0]) : 0;
  if (glued > 0) {
    program.assign(__argv[0], std::strlen(__argv[0]) - glued);
    args[0] = program.c_str();
    args.insert(args.begin() + 1, __argv[0] + program.size());
  }
  LaunchOptions options;
  int exitCode = 0;
  if (!ParseOptionsOrAnswer(int(args.size()), args.data(), nullptr, &options, &exitCode)) {
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

  if (options.launch == Launch::Record) {
    std::fprintf(stderr, "yulo: --record (video export) is part of the Linux program only\n");
    return 2;
  }

  // Fatal messages show in a box from here on, also a missing links.txt, which ends the
  // program before any window exists. Not in a preview (the box would hide under the host's
  // dialog) and not in headless runs: stderr only there.
  if (options.launch != Launch::Render && options.mode != RunMode::Preview) {
    SetMessageBoxHook(ShowWin32MessageBox);
  }
  LoadSettings();
  if (options.launch == Launch::Configure) {
    return RunConfigureDialog(reinterpret_cast<HWND>(static_cast<uintptr_t>(options.ownerWindow)));
  }

  ApplyRunOptions(options);
  if (options.launch == Launch::Render) {
    return RenderFrames(options, renderDir, MakeOffscreenD3d8Adapter);
  }
  return RunScreensaver(instance, options);
}
