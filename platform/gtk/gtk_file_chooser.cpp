// The file-chooser plug-in: the open-file dialog on GTK 3.
//
// The native chooser object is used, so that a desktop's file-chooser portal
// shows the dialog where one runs; elsewhere it is GTK's own dialog. It runs
// modally in its own main loop on the calling thread until it closes. The
// platform creates no windows of its own, so the dialog never has an owner
// to be transient for.
#include <gtk/gtk.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "chooser_patterns.h"
#include "file_chooser_plugin.h"
#include "session_settings.h"

namespace {

using fgp::gtk::CaselessPattern;
using fgp::gtk::SplitPatterns;

constexpr const char* kReadOnlyChoice = "read-only";

void AddFilters(GtkFileChooser* chooser, const FgChooserRequest& request, std::vector<GtkFileFilter*>& added) {
  for (int i = 0; i < request.filterCount; ++i) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, request.filters[i].name);
    for (const std::string& pattern : SplitPatterns(request.filters[i].patterns))
      gtk_file_filter_add_pattern(filter, CaselessPattern(pattern).c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // the chooser takes the floating reference
    added.push_back(filter);
  }
  if (request.filterIndex >= 0 && request.filterIndex < static_cast<int>(added.size()))
    gtk_file_chooser_set_filter(chooser, added[static_cast<size_t>(request.filterIndex)]);
}

void SetStartingPlace(GtkFileChooser* chooser, const FgChooserRequest& request) {
  if (request.initialDir != nullptr && g_file_test(request.initialDir, G_FILE_TEST_IS_DIR))
    gtk_file_chooser_set_current_folder(chooser, request.initialDir);
  if (request.initialPath == nullptr || *request.initialPath == '\0') return;
  if (g_file_test(request.initialPath, G_FILE_TEST_IS_DIR))
    gtk_file_chooser_set_current_folder(chooser, request.initialPath);
  else
    gtk_file_chooser_set_filename(chooser, request.initialPath);  // selects it when it exists
}

// Tells the user why a choice was refused, in a modal message over nothing.
void ShowRefusal(const std::string& text) {
  GtkWidget* message = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s",
                                              text.c_str());
  gtk_dialog_run(GTK_DIALOG(message));
  gtk_widget_destroy(message);
}

bool InOneFolder(GSList* files) {
  gchar* first = g_path_get_dirname(static_cast<const char*>(files->data));
  bool same = true;
  for (GSList* at = files->next; at != nullptr && same; at = at->next) {
    gchar* folder = g_path_get_dirname(static_cast<const char*>(at->data));
    same = std::strcmp(folder, first) == 0;
    g_free(folder);
  }
  g_free(first);
  return same;
}

// The text refusing the first chosen file that breaks the request's rules,
// or an empty text when all may be taken.
std::string Refusal(GSList* files, const FgChooserRequest& request) {
  // The result names one folder for all the files; the Recent and Search
  // views can select files of several.
  if (files != nullptr && files->next != nullptr && !InOneFolder(files))
    return "The files chosen are in different folders.\nChoose files from one folder.";
  for (GSList* at = files; at != nullptr; at = at->next) {
    const char* path = static_cast<const char*>(at->data);
    gchar* folder = g_path_get_dirname(path);
    bool folderExists = g_file_test(folder, G_FILE_TEST_IS_DIR);
    g_free(folder);
    if (request.pathMustExist && !folderExists)
      return std::string(path) + "\nThe path does not exist.\nCheck the path and try again.";
    if (request.fileMustExist && !g_file_test(path, G_FILE_TEST_EXISTS))
      return std::string(path) + "\nFile not found.\nCheck the file name and try again.";
  }
  return std::string();
}

char* JoinPaths(GSList* files) {
  size_t size = 1;
  for (GSList* at = files; at != nullptr; at = at->next) size += std::strlen(static_cast<const char*>(at->data)) + 1;
  char* block = static_cast<char*>(std::malloc(size));
  if (block == nullptr) return nullptr;
  char* out = block;
  for (GSList* at = files; at != nullptr; at = at->next) {
    size_t length = std::strlen(static_cast<const char*>(at->data)) + 1;
    std::memcpy(out, at->data, length);
    out += length;
  }
  *out = '\0';
  return block;
}

void TakeResult(GtkFileChooser* chooser, GSList* files, const std::vector<GtkFileFilter*>& filters,
                const FgChooserRequest& request, FgChooserResult& result) {
  result.paths = JoinPaths(files);
  if (result.paths == nullptr) {
    result.outcome = FG_CHOOSER_FAILED;
    return;
  }
  result.outcome = FG_CHOOSER_CHOSEN;
  GtkFileFilter* current = gtk_file_chooser_get_filter(chooser);
  result.filterIndex = -1;
  for (size_t i = 0; i < filters.size(); ++i)
    if (filters[i] == current) result.filterIndex = static_cast<int>(i);
  if (request.showReadOnly) {
    const char* state = gtk_file_chooser_get_choice(chooser, kReadOnlyChoice);
    result.readOnlyChecked = state != nullptr && std::strcmp(state, "true") == 0;
  }
}

void DrainEvents() {
  while (gtk_events_pending()) gtk_main_iteration();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int fgp_file_chooser_available(void) {
  static int available = [] {
    fgp::gtk::KeepSettingsInMemoryWithoutSessionBus();
    return gtk_init_check(nullptr, nullptr) ? 1 : 0;
  }();
  return available;
}

extern "C" __attribute__((visibility("default"))) void fgp_file_chooser_run(const FgChooserRequest* request,
                                                                           FgChooserResult* result) {
  *result = FgChooserResult{FG_CHOOSER_CANCELLED, nullptr, -1, 0};
  GtkFileChooserNative* native =
      gtk_file_chooser_native_new(request->title, nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_select_multiple(chooser, request->multiple != 0);
  std::vector<GtkFileFilter*> filters;
  AddFilters(chooser, *request, filters);
  if (request->showReadOnly) {
    // Choice labels are shown as they are written: no mnemonic underscore.
    gtk_file_chooser_add_choice(chooser, kReadOnlyChoice, "Open as read-only", nullptr, nullptr);
    gtk_file_chooser_set_choice(chooser, kReadOnlyChoice, "false");
  }
  SetStartingPlace(chooser, *request);
  for (;;) {
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) != GTK_RESPONSE_ACCEPT) break;
    GSList* files = gtk_file_chooser_get_filenames(chooser);
    std::string refusal = Refusal(files, *request);
    if (refusal.empty() && files != nullptr) TakeResult(chooser, files, filters, *request, *result);
    g_slist_free_full(files, g_free);
    if (refusal.empty()) break;
    ShowRefusal(refusal);  // then the dialog opens again
  }
  g_object_unref(native);
  DrainEvents();
}
