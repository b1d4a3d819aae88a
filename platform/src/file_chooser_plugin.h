// The interface between the platform and its file-chooser plug-in, a
// separate shared object (libfgplatform_gtk.so, beside libfgplatform.so) so
// that no program links the toolkit unless it shows a dialog on a display.
// Plain C types only: the plug-in is built and loaded on its own.
//
// Texts going in are UTF-8; paths coming back are the file system's own
// bytes, which the platform converts (and refuses when they are not UTF-8).
#pragma once

extern "C" {

struct FgChooserFilter {
  const char* name;      // the text shown for the entry
  const char* patterns;  // ";"-separated patterns such as "*.txt;*.log"
};

struct FgChooserRequest {
  const char* title;        // never null: the platform fills its own caption
  const FgChooserFilter* filters;
  int filterCount;
  int filterIndex;          // 0-based entry preselected, or -1 when there are none
  const char* initialDir;   // null: none
  const char* initialPath;  // null: none; a file to preselect or a folder to open in
  int multiple;             // several files may be chosen
  int fileMustExist;        // a chosen file that does not exist is refused, the dialog stays open
  int pathMustExist;        // likewise a chosen file whose folder does not exist
  int showReadOnly;         // offer the read-only check box
};

enum FgChooserOutcome { FG_CHOOSER_CANCELLED = 0, FG_CHOOSER_CHOSEN = 1, FG_CHOOSER_FAILED = 2 };

struct FgChooserResult {
  int outcome;          // an FgChooserOutcome
  char* paths;          // CHOSEN: malloc'd, each path terminated, the list ended by an empty string
  int filterIndex;      // CHOSEN: 0-based filter in use when the dialog closed, -1 for none
  int readOnlyChecked;  // CHOSEN with showReadOnly: the state of the check box
};

// Opens the display when it is first called; answers 0 when there is none.
typedef int (*FgChooserAvailable)(void);
// Shows the modal chooser on the calling thread and waits until it closes.
typedef void (*FgChooserRun)(const FgChooserRequest* request, FgChooserResult* result);

#define FG_CHOOSER_AVAILABLE_SYMBOL "fgp_file_chooser_available"
#define FG_CHOOSER_RUN_SYMBOL "fgp_file_chooser_run"
#define FG_CHOOSER_PLUGIN_NAME "libfgplatform_gtk.so"
}
