#include "shell/sdl/sleep_watch.h"

#include <SDL.h>
#include <gio/gio.h>

#include <atomic>
#include <system_error>
#include <thread>

namespace yulo {

namespace {

// The thread is held through a pointer: a run that ends through exit() (a fatal error in
// the loop, the display gone) leaves it running, and a std::thread destroyed unjoined at
// exit would abort the process.
struct SleepWatch {
  std::thread* thread = nullptr;
  GMainContext* context = nullptr;
  GCancellable* cancel = nullptr;
  std::atomic<bool> stop{false};
};

SleepWatch watch;

void OnPrepareForSleep(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                       GVariant* parameters, gpointer) {
  gboolean starting = FALSE;
  if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
    g_variant_get(parameters, "(b)", &starting);
  }
  if (!starting) return;  // the same signal with false says the system woke up
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
}

// A connection of our own rather than the process's shared one: the shared one ends the
// process when the bus goes away.
GDBusConnection* ConnectToSystemBus() {
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, watch.cancel, nullptr);
  if (address == nullptr) return nullptr;
  GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, watch.cancel, nullptr);
  g_free(address);
  return bus;
}

void Watch() {
  g_main_context_push_thread_default(watch.context);
  if (GDBusConnection* bus = ConnectToSystemBus()) {
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnPrepareForSleep, nullptr,
        nullptr);
    while (!watch.stop.load()) g_main_context_iteration(watch.context, TRUE);
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    // What the unsubscription left queued for this context.
    while (g_main_context_iteration(watch.context, FALSE)) {
    }
  }
  g_main_context_pop_thread_default(watch.context);
}

}  // namespace

void StartSleepWatch() {
  if (watch.thread != nullptr) return;
  watch.stop = false;
  watch.context = g_main_context_new();
  watch.cancel = g_cancellable_new();
  // The watch is a comfort: without a thread to run it (a process limit reached) the show
  // goes on without it.
  try {
    watch.thread = new std::thread(Watch);
  } catch (const std::system_error&) {
    g_object_unref(watch.cancel);
    g_main_context_unref(watch.context);
    watch.cancel = nullptr;
    watch.context = nullptr;
  }
}

void StopSleepWatch() {
  if (watch.thread == nullptr) return;
  watch.stop = true;
  g_cancellable_cancel(watch.cancel);  // a connection still being made gives up
  g_main_context_wakeup(watch.context);
  watch.thread->join();
  delete watch.thread;
  watch.thread = nullptr;
  g_object_unref(watch.cancel);
  g_main_context_unref(watch.context);
  watch.cancel = nullptr;
  watch.context = nullptr;
}

}  // namespace yulo
