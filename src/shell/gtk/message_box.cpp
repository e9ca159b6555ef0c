#include "shell/gtk/message_box.h"

#include <gtk/gtk.h>

#include <cstring>

#include "resources/loading_error.h"

namespace yulo {

void ShowGtkMessageBox(const char* caption, const char* text) {
  if (!gtk_init_check(nullptr, nullptr)) return;
  // A missing file carries the error icon; the other fatal messages are plain.
  const bool withIcon = std::strcmp(caption, kLoadingErrorCaption) == 0;
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL,
                                          withIcon ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER,
                                          GTK_BUTTONS_OK, "%s", text);
  GtkWidget* row =
      gtk_widget_get_parent(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box)));
  if (withIcon && GTK_IS_BOX(row)) {
    // GTK 3 no longer draws the type's icon itself: it goes before the text.
    GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), icon, 0);
    gtk_widget_show(icon);
  }
  gtk_window_set_title(GTK_WINDOW(box), caption);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  while (gtk_events_pending()) gtk_main_iteration();  // takes the box off the screen
}

}  // namespace yulo
