#include "file_chooser.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codepage.h"
#include "file_chooser_plugin.h"
#include "fgplatform/kernel.h"
#include "fgplatform/winnls.h"

namespace fgp {

namespace {

struct Plugin {
  FgChooserAvailable available = nullptr;
  FgChooserRun run = nullptr;
  bool displayOpen = false;
  std::thread::id owner;
};

std::mutex g_lock;

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return true;
  return false;
}

std::string PluginPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&RunFileChooser), &info) == 0 || info.dli_fname == nullptr)
    return FG_CHOOSER_PLUGIN_NAME;
  std::string self = info.dli_fname;
  size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + FG_CHOOSER_PLUGIN_NAME;
}

// Loads the plug-in and opens the display once; null when either fails.
Plugin* LoadPlugin() {
  static Plugin* loaded = [] () -> Plugin* {
    if (!HasDisplay()) return nullptr;
    std::string path = PluginPath();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      OutputDebugStringA(("dialog: cannot load the file chooser " + path + ": " + dlerror() + "\n").c_str());
      return nullptr;
    }
    static Plugin plugin;
    plugin.available = reinterpret_cast<FgChooserAvailable>(dlsym(handle, FG_CHOOSER_AVAILABLE_SYMBOL));
    plugin.run = reinterpret_cast<FgChooserRun>(dlsym(handle, FG_CHOOSER_RUN_SYMBOL));
    if (plugin.available == nullptr || plugin.run == nullptr) return nullptr;
    plugin.owner = std::this_thread::get_id();
    plugin.displayOpen = plugin.available() != 0;
    if (!plugin.displayOpen) OutputDebugStringA("dialog: the display cannot be opened\n");
    return plugin.displayOpen ? &plugin : nullptr;
  }();
  return loaded;
}

// The request's texts in UTF-8, kept alive while the chooser runs.
struct ChooserTexts {
  std::string title, initialDir, initialPath;
  std::vector<std::string> filterTexts;
  std::vector<FgChooserFilter> filters;
};

std::string AbsoluteInitialPath(const std::string& name, const std::string& initialDir) {
  if (name.empty() || name[0] == '/') return name;
  std::string base = initialDir;
  if (base.empty()) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) != nullptr) base = cwd;
  }
  return base + "/" + name;
}

FgChooserRequest MakeRequest(const fgp::DialogRequest& r, ChooserTexts& texts) {
  texts.title = r.hasTitle ? WideToUtf8(r.title) : "Open";
  for (const std::u16string& text : r.filter) texts.filterTexts.push_back(WideToUtf8(text));
  if (texts.filterTexts.size() % 2 != 0) texts.filterTexts.emplace_back();  // a name without patterns
  for (size_t i = 0; i < texts.filterTexts.size(); i += 2)
    texts.filters.push_back({texts.filterTexts[i].c_str(), texts.filterTexts[i + 1].c_str()});
  texts.initialDir = WideToUtf8(r.initialDir);
  texts.initialPath = AbsoluteInitialPath(WideToUtf8(r.initialFile), texts.initialDir);

  FgChooserRequest request{};
  request.title = texts.title.c_str();
  request.filters = texts.filters.data();
  request.filterCount = static_cast<int>(texts.filters.size());
  // An index of 0 (the custom filter, which this platform does not keep) or
  // past the list selects the first entry.
  bool inRange = r.nFilterIndex >= 1 && r.nFilterIndex <= texts.filters.size();
  request.filterIndex = texts.filters.empty() ? -1 : inRange ? static_cast<int>(r.nFilterIndex) - 1 : 0;
  request.initialDir = r.hasInitialDir ? texts.initialDir.c_str() : nullptr;
  request.initialPath = texts.initialPath.empty() ? nullptr : texts.initialPath.c_str();
  request.multiple = (r.Flags & OFN_ALLOWMULTISELECT) != 0;
  request.fileMustExist = (r.Flags & OFN_FILEMUSTEXIST) != 0;
  // A file that must exist needs its folder to exist as well.
  request.pathMustExist = (r.Flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) != 0;
  request.showReadOnly = (r.Flags & OFN_HIDEREADONLY) == 0;
  return request;
}

fgp::DialogAnswer ErrorAnswer(DWORD code) {
  fgp::DialogAnswer answer;
  answer.kind = fgp::DialogAnswer::Error;
  answer.error = code;
  return answer;
}

fgp::DialogAnswer TakeResult(const FgChooserResult& result) {
  if (result.outcome == FG_CHOOSER_FAILED) return ErrorAnswer(CDERR_MEMALLOCFAILURE);
  if (result.outcome != FG_CHOOSER_CHOSEN) return fgp::DialogAnswer{};
  fgp::DialogAnswer answer;
  answer.kind = fgp::DialogAnswer::Files;
  for (const char* p = result.paths; *p != '\0'; p += std::char_traits<char>::length(p) + 1) {
    std::u16string wide;
    if (DecodeCodePage(CP_UTF8, p, /*strict=*/true, wide) != ConvertResult::Ok) return ErrorAnswer(FNERR_INVALIDFILENAME);
    answer.paths.push_back(wide);
  }
  answer.filterIndex = result.filterIndex >= 0 ? static_cast<DWORD>(result.filterIndex) + 1 : 0;
  answer.readOnlyChecked = result.readOnlyChecked != 0;
  return answer;
}

}  // namespace

bool RunFileChooser(const fgp::DialogRequest& request, fgp::DialogAnswer& answer) {
  std::lock_guard<std::mutex> guard(g_lock);
  Plugin* plugin = LoadPlugin();
  if (plugin == nullptr) return false;
  if (plugin->owner != std::this_thread::get_id()) {
    OutputDebugStringA("dialog: the file chooser serves only the thread that showed the first one\n");
    answer = ErrorAnswer(CDERR_INITIALIZATION);
    return true;
  }
  ChooserTexts texts;
  FgChooserRequest chooserRequest = MakeRequest(request, texts);
  FgChooserResult result{};
  plugin->run(&chooserRequest, &result);
  answer = TakeResult(result);
  std::free(result.paths);
  return true;
}

}  // namespace fgp
