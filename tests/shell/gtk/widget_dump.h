// Lets a test see a GTK window's widgets from outside the process that shows it.
#pragma once

#include <string>
#include <vector>

namespace yulo::test {

struct WidgetInfo {
  std::string kind;            // window, button, frame, label, scale, banner
  std::string text;            // title, label, or the banner's text
  int x, y, width, height;     // on the screen
  double value, lower, upper;  // scale only
  bool hasDefault;             // button only
  unsigned long xid;           // window only
};

// In a process that has called gtk_init: once a toplevel window is shown, writes its
// widgets to path (whole, through a rename) and stops looking.
void DumpWidgetsWhenShown(const std::string& path);

std::vector<WidgetInfo> ReadWidgetDump(const std::string& path);

// The first widget of that kind (and text, unless text is null), or nullptr.
const WidgetInfo* FindWidget(const std::vector<WidgetInfo>& widgets, const char* kind,
                             const char* text = nullptr);

// The centre of a widget on the screen.
inline int CentreX(const WidgetInfo& w) {
  return w.x + w.width / 2;
}
inline int CentreY(const WidgetInfo& w) {
  return w.y + w.height / 2;
}

}  // namespace yulo::test
