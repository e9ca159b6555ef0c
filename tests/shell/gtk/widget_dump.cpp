#include "widget_dump.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "shell/gtk/hyperlink.h"

namespace yulo::test {

namespace {

struct DumpState {
  std::string path;
  std::ostringstream out;
  GtkWidget* toplevel;
  int originX, originY;
};

void Write(DumpState* state, GtkWidget* widget, const char* kind, const char* text) {
  int x = 0;
  int y = 0;
  gtk_widget_translate_coordinates(widget, state->toplevel, 0, 0, &x, &y);
  GtkAllocation allocation;
  gtk_widget_get_allocation(widget, &allocation);
  double value = 0, lower = 0, upper = 0;
  if (GTK_IS_RANGE(widget)) {
    GtkAdjustment* adjustment = gtk_range_get_adjustment(GTK_RANGE(widget));
    value = gtk_adjustment_get_value(adjustment);
    lower = gtk_adjustment_get_lower(adjustment);
    upper = gtk_adjustment_get_upper(adjustment);
  }
  unsigned long xid = 0;
  if (widget == state->toplevel) xid = gdk_x11_window_get_xid(gtk_widget_get_window(widget));
  state->out << kind << '\t' << (text != nullptr ? text : "") << '\t' << state->originX + x << '\t'
             << state->originY + y << '\t' << allocation.width << '\t' << allocation.height << '\t'
             << value << '\t' << lower << '\t' << upper << '\t'
             << (GTK_IS_WIDGET(widget) && gtk_widget_has_default(widget) ? 1 : 0) << '\t' << xid
             << '\n';
}

void Visit(GtkWidget* widget, gpointer data) {
  DumpState* state = static_cast<DumpState*>(data);
  if (!gtk_widget_get_visible(widget)) return;
  if (GTK_IS_BUTTON(widget)) {
    Write(state, widget, "button", gtk_button_get_label(GTK_BUTTON(widget)));
  } else if (GTK_IS_FRAME(widget)) {
    Write(state, widget, "frame", gtk_frame_get_label(GTK_FRAME(widget)));
  } else if (GTK_IS_LABEL(widget)) {
    Write(state, widget, "label", gtk_label_get_text(GTK_LABEL(widget)));
  } else if (GTK_IS_SCALE(widget)) {
    Write(state, widget, "scale", nullptr);
  } else if (GTK_IS_COMBO_BOX_TEXT(widget)) {
    gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(widget));
    Write(state, widget, "combo", text);
    g_free(text);
  } else if (GTK_IS_DRAWING_AREA(widget)) {
    const HyperlinkData* link = FindHyperlink(widget);
    Write(state, widget, "banner", link != nullptr ? link->text : nullptr);
  }
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), Visit, data);
}

std::string dumpPath;

gboolean TryDump(gpointer) {
  const std::string* path = &dumpPath;
  GList* toplevels = gtk_window_list_toplevels();
  GtkWidget* shown = nullptr;
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (gtk_widget_get_mapped(window) && gtk_window_get_title(GTK_WINDOW(window)) != nullptr)
      shown = window;
  }
  g_list_free(toplevels);
  if (shown == nullptr) return G_SOURCE_CONTINUE;

  DumpState state{*path, {}, shown, 0, 0};
  gdk_window_get_origin(gtk_widget_get_window(shown), &state.originX, &state.originY);
  Write(&state, shown, "window", gtk_window_get_title(GTK_WINDOW(shown)));
  gtk_container_forall(GTK_CONTAINER(shown), Visit, &state);
  const std::string temp = *path + ".part";
  {
    std::ofstream out(temp);
    out << state.out.str();
  }
  std::rename(temp.c_str(), path->c_str());
  return G_SOURCE_REMOVE;
}

}  // namespace

void DumpWidgetsWhenShown(const std::string& path) {
  dumpPath = path;
  g_timeout_add(100, TryDump, nullptr);
}

std::vector<WidgetInfo> ReadWidgetDump(const std::string& path) {
  std::vector<WidgetInfo> widgets;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    WidgetInfo w{};
    std::string number;
    std::getline(fields, w.kind, '\t');
    std::getline(fields, w.text, '\t');
    int hasDefault = 0;
    fields >> w.x >> w.y >> w.width >> w.height >> w.value >> w.lower >> w.upper >> hasDefault >>
        w.xid;
    w.hasDefault = hasDefault != 0;
    widgets.push_back(w);
  }
  return widgets;
}

const WidgetInfo* FindWidget(const std::vector<WidgetInfo>& widgets, const char* kind,
                             const char* text) {
  for (const WidgetInfo& w : widgets)
    if (w.kind == kind && (text == nullptr || w.text == text)) return &w;
  return nullptr;
}

}  // namespace yulo::test
