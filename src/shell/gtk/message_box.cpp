#include "shell/gtk/message_box.h"

#include <gtk/gtk.h>

namespace yulo {

void ShowGtkMessageBox(const char* caption, const char* text) {
  if (!gtk_init_check(nullptr, nullptr)) return;
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(box), caption);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  while (gtk_events_pending()) gtk_main_iteration();  // takes the box off the screen
}

}  // namespace yulo
