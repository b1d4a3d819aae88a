// fgpage: the page host. Opens a page in a window of the WebKitGTK browser
// engine, whose trusted documents can create components by ProgID
// (ActiveXObject, VBArray, Enumerator) as the console script host's
// scripts do.
//
//   fgpage [--console] [--allow-origin ORIGIN]... [--size WxH] [--keep-data] PAGE
//   fgpage --help
//
// --console copies the page's console to standard output and error, and
// gives the page fgpage.exit(code). The engine's website data (storage,
// cookies, caches, the HSTS list) lives in a folder of the run's own and
// goes with the host, unless --keep-data asks for the engine's folders in
// the user's home. The
// host ends when the window is closed or the page calls window.close()
// (in every mode): exit status 0 (128 + the signal's number when SIGINT,
// SIGTERM or SIGHUP ended it), the page's
// fgpage.exit code, 2 for a bad command line or a page that cannot be
// loaded (with --console), 3 when the web process ended unexpectedly.
#include <ftw.h>
#include <glib-unix.h>
#include <signal.h>
#include <gtk/gtk.h>
#include <limits.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "page_messages.h"
#include "page_options.h"
#include "session_settings.h"

namespace {

constexpr const char* kUsage =
    "usage: fgpage [--console] [--allow-origin ORIGIN]... [--size WxH] [--keep-data] PAGE\n"
    "       fgpage --help\n"
    "Opens PAGE (a file or an http, https or file URL) in a window. The page file given here, and pages of\n"
    "origins named by --allow-origin (scheme, host and port), can create components with ActiveXObject.\n"
    "The page's window.close() ends the host, with exit status 0.\n"
    "  --console         copy the page's console to standard output and error, report uncaught errors,\n"
    "                    and give the page fgpage.exit(code)\n"
    "  --size WxH        the window's size (default 1024x768)\n"
    "  --keep-data       keep the engine's website data and caches in the user's home (by default they\n"
    "                    go with the host)\n"
    "Exit status: 0, the page's fgpage.exit code, 2 for a bad command line, no display or (with --console)\n"
    "a page that cannot be loaded, 3 when the page's process ended unexpectedly, 128 + N when the signal N\n"
    "(SIGINT, SIGTERM, SIGHUP) ended it.\n";
constexpr guint kShutdownWaitMs = 5000;

struct Host {
  fgpage::Options options;
  GMainLoop* loop = nullptr;
  GtkWidget* window = nullptr;
  WebKitWebView* view = nullptr;
  int exitCode = 0;
  bool closing = false;
  guint shutdownTimer = 0;
  std::string dataFolder;  // the run's website data, removed at the end
};

// The folder of the page extension: next to this program.
std::string ExtensionFolder() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "fgpage-extensions";
  std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/')) + "/fgpage-extensions";
}

void OnExtensionsStarting(WebKitWebContext* context, gpointer data) {
  auto* host = static_cast<Host*>(data);
  webkit_web_context_set_web_extensions_directory(context, ExtensionFolder().c_str());
  GVariantBuilder origins;
  g_variant_builder_init(&origins, G_VARIANT_TYPE("as"));
  for (const std::string& origin : host->options.trust.allowedOrigins)
    g_variant_builder_add(&origins, "s", origin.c_str());
  webkit_web_context_set_web_extensions_initialization_user_data(
      context, g_variant_new(fgpage::kSettingsType, host->options.console, host->options.trust.trustedFile.c_str(),
                             &origins));
}

// The web process answered (or could not: it is gone), so the host ends.
void OnShutdownAnswered(GObject* view, GAsyncResult* result, gpointer data) {
  auto* host = static_cast<Host*>(data);
  WebKitUserMessage* reply = webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  if (reply != nullptr) g_object_unref(reply);
  if (host->shutdownTimer != 0) g_source_remove(host->shutdownTimer);
  host->shutdownTimer = 0;
  g_main_loop_quit(host->loop);
}

gboolean OnShutdownTimeout(gpointer data) {
  auto* host = static_cast<Host*>(data);
  std::fprintf(stderr, "fgpage: the page did not shut its components down in time\n");
  host->shutdownTimer = 0;
  g_main_loop_quit(host->loop);
  return G_SOURCE_REMOVE;
}

// Ends the host: the web process first releases every object and shuts
// the component runtime down (the components are unloaded there), then the
// loop ends.
void Close(Host* host, int exitCode) {
  if (host->closing) return;
  host->closing = true;
  host->exitCode = exitCode;
  gtk_widget_hide(host->window);
  webkit_web_view_send_message_to_page(host->view, webkit_user_message_new(fgpage::kShutdownMessage, nullptr), nullptr,
                                       OnShutdownAnswered, host);
  host->shutdownTimer = g_timeout_add(kShutdownWaitMs, OnShutdownTimeout, host);
}

gboolean OnDeleteWindow(GtkWidget*, GdkEvent*, gpointer data) {
  Close(static_cast<Host*>(data), 0);
  return TRUE;  // the window goes after the shutdown
}

void OnPageClose(WebKitWebView*, gpointer data) { Close(static_cast<Host*>(data), 0); }

// Ctrl-C, a terminal that goes away or a plain kill end the host as a closed
// window does, with the shell's status for the signal, so that the
// components are released and the run's website data removed.
template <int Signal>
gboolean OnSignal(gpointer data) {
  Close(static_cast<Host*>(data), 128 + Signal);
  return G_SOURCE_CONTINUE;  // a second signal while closing changes nothing
}

gboolean OnPageMessage(WebKitWebView*, WebKitUserMessage* message, gpointer data) {
  auto* host = static_cast<Host*>(data);
  std::string name = webkit_user_message_get_name(message);
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (name == fgpage::kConsoleMessage && parameters != nullptr && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(bs)"))) {
    gboolean toError = FALSE;
    const char* line = nullptr;
    g_variant_get(parameters, "(b&s)", &toError, &line);
    std::fprintf(toError ? stderr : stdout, "%s\n", line);
    std::fflush(toError ? stderr : stdout);
    return TRUE;
  }
  if (name == fgpage::kExitMessage && parameters != nullptr && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(i)"))) {
    gint32 code = 0;
    g_variant_get(parameters, "(i)", &code);
    Close(host, code);
    return TRUE;
  }
  return FALSE;
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
  auto* host = static_cast<Host*>(data);
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) return FALSE;
  std::fprintf(stderr, "fgpage: cannot load %s: %s\n", uri, error->message);
  if (host->options.console) Close(host, 2);
  return FALSE;  // the engine shows its error page in the window
}

void OnWebProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
  auto* host = static_cast<Host*>(data);
  std::fprintf(stderr, "fgpage: the page's process ended (%s)\n",
               reason == WEBKIT_WEB_PROCESS_CRASHED ? "crashed" : "out of memory or terminated");
  host->exitCode = 3;
  g_main_loop_quit(host->loop);
}

void OnTitleChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
  const char* title = webkit_web_view_get_title(view);
  gtk_window_set_title(GTK_WINDOW(static_cast<Host*>(data)->window), title != nullptr && *title ? title : "fgpage");
}

// Removes the run's website data folder and everything in it.
void RemoveFolder(const std::string& folder) {
  if (folder.empty()) return;
  nftw(
      folder.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

// The engine's context. Its website data (storage, cookies, caches, the
// HSTS list) goes to a private folder of this run that is removed when the
// host ends, unless the user asked to keep it in the engine's folders in
// the home. (The engine's own ephemeral sessions are not used: they do not
// pass the page's console on to the host.)
WebKitWebContext* NewContext(Host* host) {
  if (host->options.keepData) return webkit_web_context_new();
  std::string folder = std::string(g_get_tmp_dir()) + "/fgpage-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) return webkit_web_context_new_ephemeral();
  host->dataFolder = folder;
  std::string data = folder + "/data", cache = folder + "/cache";
  WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
      "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
  g_object_unref(manager);
  return context;
}

void OpenWindow(Host* host) {
  WebKitWebContext* context = NewContext(host);
  g_signal_connect(context, "initialize-web-extensions", G_CALLBACK(OnExtensionsStarting), host);
  host->view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
  g_object_unref(context);
  g_signal_connect(host->view, "close", G_CALLBACK(OnPageClose), host);
  g_signal_connect(host->view, "user-message-received", G_CALLBACK(OnPageMessage), host);
  g_signal_connect(host->view, "load-failed", G_CALLBACK(OnLoadFailed), host);
  g_signal_connect(host->view, "web-process-terminated", G_CALLBACK(OnWebProcessEnded), host);
  g_signal_connect(host->view, "notify::title", G_CALLBACK(OnTitleChanged), host);

  host->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(host->window), "fgpage");
  gtk_window_set_default_size(GTK_WINDOW(host->window), host->options.width, host->options.height);
  gtk_container_add(GTK_CONTAINER(host->window), GTK_WIDGET(host->view));
  g_signal_connect(host->window, "delete-event", G_CALLBACK(OnDeleteWindow), host);
  gtk_widget_show_all(host->window);
  webkit_web_view_load_uri(host->view, host->options.pageUri.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Host host;
  std::string error;
  if (!fgpage::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), host.options, error)) {
    std::fprintf(stderr, "fgpage: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (host.options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // The engine's processes and the chooser in the page's process inherit it.
  fgp::gtk::KeepSettingsInMemoryWithoutSessionBus();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "fgpage: no display to open the window on\n");
    return 2;
  }
  host.loop = g_main_loop_new(nullptr, FALSE);
  OpenWindow(&host);
  g_unix_signal_add(SIGINT, OnSignal<SIGINT>, &host);
  g_unix_signal_add(SIGTERM, OnSignal<SIGTERM>, &host);
  g_unix_signal_add(SIGHUP, OnSignal<SIGHUP>, &host);
  g_main_loop_run(host.loop);
  gtk_widget_destroy(host.window);
  g_main_loop_unref(host.loop);
  RemoveFolder(host.dataFolder);
  return host.exitCode;
}
