#include "shell/gtk/hyperlink.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>

#include "shell/link_target.h"

namespace yulo {

namespace {

HyperlinkData* hyperlinks[kHyperlinkCapacity];
int hyperlinkCount = 0;
HyperlinkOpener opener = nullptr;

int IndexOf(const GtkWidget* banner) {
  for (int i = 0; i < hyperlinkCount; ++i)
    if (hyperlinks[i]->window == banner) return i;
  return -1;
}

// Copies text into a field, cut before a UTF-8 sequence that would not fit whole.
template <size_t N>
void CopyCut(char (&out)[N], const char* text) {
  size_t length = std::strlen(text);
  if (length > N - 1) {
    length = N - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(out, text, length);
  out[length] = '\0';
}

void SetSourceRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       (rgb & 0xFF) / 255.0);
}

gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer) {
  const HyperlinkData* link = FindHyperlink(widget);
  if (link == nullptr) return FALSE;
  if (link->bitmap != nullptr) {
    // Natural size, top-left aligned; whatever lies past the widget's edges is cut.
    gdk_cairo_set_source_pixbuf(cr, link->bitmap, 0, 0);
    cairo_rectangle(cr, 0, 0, gdk_pixbuf_get_width(link->bitmap),
                    gdk_pixbuf_get_height(link->bitmap));
    cairo_fill(cr);
    return FALSE;
  }
  // The text's colours are fixed and read well only on a light face: a dark theme's
  // background would all but hide the blue.
  SetSourceRgb(cr, kHyperlinkFaceRgb);
  cairo_paint(cr);
  // One line, centred both ways; a line wider than the banner is cut by its edges.
  gchar* valid = g_utf8_make_valid(link->text, -1);
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, valid);
  g_free(valid);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  int textWidth = 0;
  int textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  SetSourceRgb(cr, link->hover ? kHyperlinkHoverRgb : kHyperlinkNormalRgb);
  cairo_move_to(cr, (link->width - textWidth) / 2, (link->height - textHeight) / 2);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  return FALSE;
}

void OnSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer) {
  HyperlinkData* link = FindHyperlink(widget);
  if (link == nullptr) return;
  link->width = allocation->width;
  link->height = allocation->height;
}

gboolean OnCrossing(GtkWidget* widget, GdkEventCrossing* event, gpointer) {
  HyperlinkData* link = FindHyperlink(widget);
  if (link == nullptr) return FALSE;
  const bool hover = event->type == GDK_ENTER_NOTIFY;
  if (link->hover != hover) {
    link->hover = hover;
    gtk_widget_queue_draw(widget);
  }
  return FALSE;
}

gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer) {
  HyperlinkData* link = FindHyperlink(widget);
  if (link == nullptr || event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
  // A target of another kind (a file, a script URL) is only ever shown, never opened, and
  // its click does nothing at all.
  if (!IsOpenableLinkTarget(link->target)) return TRUE;
  // A failure to open is not shown: the banner simply does nothing.
  (opener != nullptr ? opener : OpenHyperlinkTarget)(link->target);
  if (link->exitOnClick != 0) std::exit(1);
  return TRUE;
}

void OnRealize(GtkWidget* widget, gpointer) {
  GdkWindow* window = gtk_widget_get_window(widget);
  GdkCursor* hand = gdk_cursor_new_from_name(gdk_window_get_display(window), "pointer");
  if (hand == nullptr) hand = gdk_cursor_new_for_display(gdk_window_get_display(window), GDK_HAND2);
  gdk_window_set_cursor(window, hand);
  if (hand != nullptr) g_object_unref(hand);
}

void OnDestroy(GtkWidget* widget, gpointer) {
  const int index = IndexOf(widget);
  if (index < 0) return;
  delete hyperlinks[index];
  for (int i = index + 1; i < hyperlinkCount; ++i) hyperlinks[i - 1] = hyperlinks[i];
  --hyperlinkCount;
  hyperlinks[hyperlinkCount] = nullptr;
}

}  // namespace

GtkWidget* CreateHyperlink() {
  GtkWidget* banner = gtk_drawing_area_new();
  if (hyperlinkCount == kHyperlinkCapacity) return banner;  // inert: no record to touch

  HyperlinkData* link = new HyperlinkData{};
  link->window = banner;
  link->exitOnClick = 1;
  hyperlinks[hyperlinkCount++] = link;

  gtk_widget_add_events(banner, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                                    GDK_BUTTON_PRESS_MASK | GDK_POINTER_MOTION_MASK);
  g_signal_connect(banner, "draw", G_CALLBACK(OnDraw), nullptr);
  g_signal_connect(banner, "size-allocate", G_CALLBACK(OnSizeAllocate), nullptr);
  g_signal_connect(banner, "enter-notify-event", G_CALLBACK(OnCrossing), nullptr);
  g_signal_connect(banner, "leave-notify-event", G_CALLBACK(OnCrossing), nullptr);
  g_signal_connect(banner, "button-press-event", G_CALLBACK(OnButtonPress), nullptr);
  g_signal_connect(banner, "realize", G_CALLBACK(OnRealize), nullptr);
  g_signal_connect(banner, "destroy", G_CALLBACK(OnDestroy), nullptr);
  return banner;
}

HyperlinkData* FindHyperlink(const GtkWidget* banner) {
  const int index = IndexOf(banner);
  return index >= 0 ? hyperlinks[index] : nullptr;
}

int HyperlinkCount() {
  return hyperlinkCount;
}

bool HyperlinkSetTarget(GtkWidget* banner, const char* target) {
  HyperlinkData* link = FindHyperlink(banner);
  if (link == nullptr) return false;
  CopyCut(link->target, target != nullptr ? target : "");
  return true;
}

bool HyperlinkSetText(GtkWidget* banner, const char* text) {
  HyperlinkData* link = FindHyperlink(banner);
  if (link == nullptr) return false;
  CopyCut(link->text, text != nullptr ? text : "");
  gtk_widget_queue_draw(banner);
  return true;
}

bool HyperlinkSetExitOnClick(GtkWidget* banner, int32_t exitOnClick) {
  HyperlinkData* link = FindHyperlink(banner);
  if (link == nullptr) return false;
  link->exitOnClick = exitOnClick;
  return true;
}

bool HyperlinkSetBitmap(GtkWidget* banner, GdkPixbuf* bitmap) {
  HyperlinkData* link = FindHyperlink(banner);
  if (link == nullptr) return false;
  link->bitmap = bitmap;
  gtk_widget_queue_draw(banner);
  return true;
}

bool OpenHyperlinkTarget(const char* target) {
  if (!IsOpenableLinkTarget(target)) return false;
  GError* error = nullptr;
  const gboolean opened = g_app_info_launch_default_for_uri(target, nullptr, &error);
  if (error != nullptr) g_error_free(error);
  return opened != FALSE;
}

void SetHyperlinkOpener(HyperlinkOpener replacement) {
  opener = replacement;
}

}  // namespace yulo
