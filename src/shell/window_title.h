// The title of the screensaver's window, which is also the caption of its settings dialog.
#pragma once

namespace yulo {

inline constexpr char kWindowTitle[] = "Yulo Screensaver";

}  // namespace yulo
