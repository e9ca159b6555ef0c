// The title of the screensaver's window, which is also the caption of its settings dialog
// and of its own messages. Never changes during a run, so a constant.
#pragma once

namespace yulo {

inline constexpr char windowTitle[] = "Yulo Screensaver";

}  // namespace yulo
