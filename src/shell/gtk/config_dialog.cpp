#include "shell/gtk/config_dialog.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/fatal.h"
#include "base/read_file.h"
#include "base/shell_state.h"
#include "shell/gtk/hyperlink.h"
#include "shell/settings.h"

namespace yulo {

namespace {

// >>section layout: positions and sizes in dialog units (a quarter of the font's average
// character width across, an eighth of its height down), so that the arrangement keeps
// its proportions at any font size.
struct DialogBox {
  int x, y, width, height;
};
constexpr DialogBox kDialogSize = {0, 0, 202, 186};
constexpr DialogBox kOkBox = {140, 9, 50, 25};
constexpr DialogBox kCancelBox = {140, 39, 50, 25};
constexpr DialogBox kParametersBox = {9, 5, 120, 61};
constexpr DialogBox kVolumeLabelBox = {44, 16, 46, 10};
constexpr DialogBox kSliderBox = {22, 29, 90, 24};
constexpr DialogBox kZeroLabelBox = {25, 53, 14, 7};
constexpr DialogBox kMaxLabelBox = {100, 52, 17, 9};
constexpr DialogBox kLinksBox = {9, 71, 183, 91};
constexpr DialogBox kBanner1Box = {17, 81, 168, 33};
constexpr DialogBox kBanner2Box = {17, 122, 168, 33};
constexpr DialogBox kFrameCapLabelBox = {11, 170, 68, 10};
constexpr DialogBox kFrameCapBox = {84, 166, 64, 16};

// The frame-rate caps offered, 0 for none; a stored cap not among them is offered too.
constexpr uint32_t kFrameCaps[] = {0, 60, 50, 30, 25, 20, 15, 10};
constexpr int kFrameCapCount = static_cast<int>(sizeof kFrameCaps / sizeof kFrameCaps[0]);

constexpr int kVolumeSteps = 20;
constexpr char kSaveErrorText[] = "The settings could not be saved. They stay as they were.";
constexpr int kVolumePage = 4;  // a fifth of the range per page key, as sliders usually do

struct DialogUnits {
  double x, y;  // pixels per dialog unit
};

DialogUnits MeasureDialogUnits(GtkWidget* widget) {
  PangoContext* context = gtk_widget_get_pango_context(widget);
  PangoFontMetrics* metrics =
      pango_context_get_metrics(context, pango_context_get_font_description(context), nullptr);
  const double charWidth =
      pango_font_metrics_get_approximate_char_width(metrics) / static_cast<double>(PANGO_SCALE);
  const double charHeight =
      (pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics)) /
      static_cast<double>(PANGO_SCALE);
  pango_font_metrics_unref(metrics);
  return {charWidth > 0 ? charWidth / 4.0 : 1.5, charHeight > 0 ? charHeight / 8.0 : 1.625};
}

void Place(GtkFixed* fixed, GtkWidget* child, const DialogBox& box, DialogUnits units) {
  gtk_widget_set_size_request(child, static_cast<int>(box.width * units.x + 0.5),
                              static_cast<int>(box.height * units.y + 0.5));
  gtk_fixed_put(fixed, child, static_cast<int>(box.x * units.x + 0.5),
                static_cast<int>(box.y * units.y + 0.5));
}

GtkWidget* MakeLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
  return label;
}

// >>section banners
struct Banner {
  GtkWidget* widget;
  GdkPixbuf* bitmap;  // owned here: the banner only shows it
};

// The banner's picture, or nullptr (the banner then shows its text) when the file is
// missing, undecodable, cut short, over kBannerFileSizeLimit or no regular file: a named
// pipe there must not keep the dialog from appearing.
GdkPixbuf* LoadBannerBitmap(const char* name) {
  uint8_t* bytes = nullptr;
  uint32_t size = 0;
  if (ReadRegularFile(name, kBannerFileSizeLimit, &bytes, &size) != ReadFileResult::Ok)
    return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  // The bitmap reader accepts a file that ends early and leaves the missing rows black;
  // counting the rows it decodes tells such a file from a whole one.
  int rowsDecoded = 0;
  g_signal_connect(loader, "area-updated",
                   G_CALLBACK(+[](GdkPixbufLoader*, gint, gint, gint, gint height, gpointer rows) {
                     *static_cast<int*>(rows) += height;
                   }),
                   &rowsDecoded);
  GdkPixbuf* bitmap = nullptr;
  if (gdk_pixbuf_loader_write(loader, bytes, size, nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    bitmap = gdk_pixbuf_loader_get_pixbuf(loader);
    if (bitmap != nullptr && rowsDecoded < gdk_pixbuf_get_height(bitmap)) bitmap = nullptr;
    if (bitmap != nullptr) g_object_ref(bitmap);
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  delete[] bytes;
  return bitmap;
}

Banner MakeBanner(const char* link, const char* bitmapName) {
  Banner banner = {CreateHyperlink(), nullptr};
  HyperlinkSetText(banner.widget, link);
  HyperlinkSetTarget(banner.widget, link);
  // The bitmaps sit in the install folder, which may not be the current one any more.
  const int changed = chdir(installDir);
  (void)changed;
  banner.bitmap = LoadBannerBitmap(bitmapName);
  HyperlinkSetBitmap(banner.widget, banner.bitmap);
  HyperlinkSetExitOnClick(banner.widget, 0);
  return banner;
}

// >>section owner
// Keeps the dialog above the X11 window that asked for it; an id that names no window is
// ignored.
void OnRealizeSetOwner(GtkWidget* dialog, gpointer data) {
  const unsigned long owner = GPOINTER_TO_SIZE(data);
  GdkDisplay* display = gtk_widget_get_display(dialog);
  if (!GDK_IS_X11_DISPLAY(display)) return;
  GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, owner);
  if (foreign == nullptr) return;
  gdk_window_set_transient_for(gtk_widget_get_window(dialog), foreign);
  g_object_unref(foreign);
}

void ShowSaveError(GtkWidget* dialog) {
  std::fprintf(stderr, "%s: %s\n", windowTitle, kSaveErrorText);
  GtkWidget* message =
      gtk_message_dialog_new(GTK_WINDOW(dialog), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                             GTK_BUTTONS_OK, "%s", kSaveErrorText);
  gtk_window_set_title(GTK_WINDOW(message), windowTitle);
  gtk_dialog_run(GTK_DIALOG(message));
  gtk_widget_destroy(message);
}

// A slider with marks snaps a page move to the next mark; the page keys move a whole
// page in the direction GTK chose.
gboolean OnVolumeChangeValue(GtkRange* range, GtkScrollType scroll, gdouble value, gpointer) {
  const bool page = scroll == GTK_SCROLL_PAGE_FORWARD || scroll == GTK_SCROLL_PAGE_BACKWARD ||
                    scroll == GTK_SCROLL_PAGE_UP || scroll == GTK_SCROLL_PAGE_DOWN ||
                    scroll == GTK_SCROLL_PAGE_LEFT || scroll == GTK_SCROLL_PAGE_RIGHT;
  const double current = gtk_range_get_value(range);
  if (!page || value == current) return FALSE;
  const double moved = current + (value > current ? kVolumePage : -kVolumePage);
  gtk_range_set_value(range, moved < 0 ? 0 : moved > kVolumeSteps ? kVolumeSteps : moved);
  return TRUE;
}

void OnButtonClicked(GtkButton* button, gpointer data) {
  GtkDialog* dialog = GTK_DIALOG(gtk_widget_get_toplevel(GTK_WIDGET(button)));
  gtk_dialog_response(dialog, GPOINTER_TO_INT(data));
}

// The caps to choose from, "No limit" first, with the stored one chosen.
GtkWidget* MakeFrameCapChoice(uint32_t stored) {
  uint32_t caps[kFrameCapCount + 1];
  int count = 0;
  bool listed = false;
  for (int i = 0; i < kFrameCapCount; ++i) {
    // A stored cap the list lacks goes in its place in the falling order.
    if (!listed && stored != 0 && kFrameCaps[i] != 0 && stored > kFrameCaps[i]) {
      caps[count++] = stored;
      listed = true;
    }
    listed = listed || kFrameCaps[i] == stored;
    caps[count++] = kFrameCaps[i];
  }
  if (!listed) caps[count++] = stored;
  GtkWidget* choice = gtk_combo_box_text_new();
  for (int i = 0; i < count; ++i) {
    char text[32];
    if (caps[i] == 0) {
      std::snprintf(text, sizeof text, "No limit");
    } else {
      std::snprintf(text, sizeof text, "%u fps", caps[i]);
    }
    gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(choice), std::to_string(caps[i]).c_str(), text);
  }
  gtk_combo_box_set_active_id(GTK_COMBO_BOX(choice), std::to_string(stored).c_str());
  return choice;
}

uint32_t ChosenFrameCap(GtkWidget* choice) {
  const char* id = gtk_combo_box_get_active_id(GTK_COMBO_BOX(choice));
  return id != nullptr ? static_cast<uint32_t>(std::strtoul(id, nullptr, 10)) : 0;
}

}  // namespace

int RunConfigureDialog(unsigned long ownerWindow) {
  if (!gtk_init_check(nullptr, nullptr)) {
    ShowMessage(windowTitle, "Can't open the display for the configuration dialog.");
    return 1;
  }

  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), windowTitle);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  // Centred on the screen with or without an owner: the owner is a window of another
  // program, which GTK can't centre on.
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  if (ownerWindow != 0)
    g_signal_connect(dialog, "realize", G_CALLBACK(OnRealizeSetOwner),
                     GSIZE_TO_POINTER(ownerWindow));

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(content), 0);
  const DialogUnits units = MeasureDialogUnits(dialog);
  GtkFixed* fixed = GTK_FIXED(gtk_fixed_new());
  gtk_box_pack_start(GTK_BOX(content), GTK_WIDGET(fixed), TRUE, TRUE, 0);

  // A spacer fixes the client size; the frames go in before the controls they enclose.
  Place(fixed, gtk_label_new(nullptr), kDialogSize, units);
  Place(fixed, gtk_frame_new("Parameters"), kParametersBox, units);
  Place(fixed, gtk_frame_new("Enjoyable links"), kLinksBox, units);

  GtkWidget* ok = gtk_button_new_with_label("OK");
  GtkWidget* cancel = gtk_button_new_with_label("Cancel");
  g_signal_connect(ok, "clicked", G_CALLBACK(OnButtonClicked), GINT_TO_POINTER(GTK_RESPONSE_OK));
  g_signal_connect(cancel, "clicked", G_CALLBACK(OnButtonClicked),
                   GINT_TO_POINTER(GTK_RESPONSE_CANCEL));
  Place(fixed, ok, kOkBox, units);
  Place(fixed, cancel, kCancelBox, units);

  Place(fixed, MakeLabel("Music volume"), kVolumeLabelBox, units);
  GtkWidget* slider = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, kVolumeSteps, 1);
  gtk_scale_set_draw_value(GTK_SCALE(slider), FALSE);
  gtk_range_set_round_digits(GTK_RANGE(slider), 0);
  gtk_range_set_increments(GTK_RANGE(slider), 1, kVolumePage);
  for (int step = 0; step <= kVolumeSteps; ++step) {
    gtk_scale_add_mark(GTK_SCALE(slider), step, GTK_POS_TOP, nullptr);
    gtk_scale_add_mark(GTK_SCALE(slider), step, GTK_POS_BOTTOM, nullptr);
  }
  // A stored value outside the range shows at the nearest end, as the slider can hold no
  // other; it is only written back if the user presses OK.
  gtk_range_set_value(GTK_RANGE(slider), settings.musicVolume);
  g_signal_connect(slider, "change-value", G_CALLBACK(OnVolumeChangeValue), nullptr);
  Place(fixed, slider, kSliderBox, units);
  Place(fixed, MakeLabel("0"), kZeroLabelBox, units);
  Place(fixed, MakeLabel("max"), kMaxLabelBox, units);

  // Below the links: drawing fewer frames than the display shows, for less heat and power.
  const uint32_t storedCap = FrameRateCapSetting(settings);
  Place(fixed, MakeLabel("Frame rate limit"), kFrameCapLabelBox, units);
  GtkWidget* frameCap = MakeFrameCapChoice(storedCap);
  Place(fixed, frameCap, kFrameCapBox, units);

  const Banner banner1 = MakeBanner(link1, "ad1.bmp");
  const Banner banner2 = MakeBanner(link2, "ad2.bmp");
  Place(fixed, banner1.widget, kBanner1Box, units);
  Place(fixed, banner2.widget, kBanner2Box, units);

  // Tab goes through the controls in the order of the Windows dialog's resource, not by
  // their places on the page (which would put the slider between OK and Cancel).
  GList* order = nullptr;
  for (GtkWidget* w : {frameCap, slider, cancel, ok}) order = g_list_prepend(order, w);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_container_set_focus_chain(GTK_CONTAINER(fixed), order);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_list_free(order);

  gtk_widget_set_can_default(ok, TRUE);
  gtk_widget_show_all(dialog);
  gtk_widget_grab_default(ok);
  gtk_widget_grab_focus(ok);

  // OK that could not save says so and leaves the dialog open: the user may try again or
  // cancel, but never believes a setting was kept that was not.
  const Settings loaded = settings;
  while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
    settings.musicVolume = static_cast<int32_t>(gtk_range_get_value(GTK_RANGE(slider)) + 0.5);
    // Reserved bytes that hold no cap stay exactly as read unless a cap is chosen.
    const uint32_t cap = ChosenFrameCap(frameCap);
    if (cap != storedCap) SetFrameRateCapSetting(&settings, cap);
    if (SaveSettings()) break;
    settings = loaded;
    ShowSaveError(dialog);
  }
  gtk_widget_destroy(dialog);
  if (banner1.bitmap != nullptr) g_object_unref(banner1.bitmap);
  if (banner2.bitmap != nullptr) g_object_unref(banner2.bitmap);
  // Let the window really disappear before the program goes on or ends.
  while (gtk_events_pending()) gtk_main_iteration();
  return 0;
}

}  // namespace yulo
