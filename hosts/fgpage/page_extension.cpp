// fgpage's part in the web process: the automation bridge for trusted
// documents, the page's console for the host, and the orderly end of the
// component runtime when the host closes.
//
// The bridge runs here, in the page's own process, because the page's
// scripts run here: objects are created in-process as a browser loads such
// a library, and the dialog opens from this process.
#include <webkit2/webkit-web-extension.h>

#include <cstdio>
#include <string>

#include "automation_bridge.h"
#include "console_text.h"
#include "fgplatform/win32.h"
#include "page_messages.h"
#include "page_trust.h"

namespace {

constexpr unsigned kSyntaxError = 0x800A03EA;

struct Settings {
  bool console = false;
  fgpage::Trust trust;
};
Settings g_settings;
bool g_runtimeStarted = false;
bool g_shutDown = false;
bool g_trustedDocument = false;  // the main frame's document
// The trusted document's context, held while the document lives: the
// bridge knows its classes by context.
JSCContext* g_documentContext = nullptr;
// Another document can script the trusted one: a frame of the same origin
// (srcdoc, blob:, about:blank, javascript: or a page of that origin), or
// the trusted document set document.domain, which lets frames of sibling
// hosts in. A document reached by another may not call components at all:
// whatever the other runs could run in its realm.
bool g_shared = false;

void SendToHost(WebKitWebPage* page, const char* name, GVariant* parameters) {
  webkit_web_page_send_message_to_view(page, webkit_user_message_new(name, parameters), nullptr, nullptr, nullptr);
}

void SendConsoleLine(WebKitWebPage* page, bool toError, const std::string& text) {
  SendToHost(page, fgpage::kConsoleMessage, g_variant_new("(bs)", toError, fgpage::ConsoleLine(text).c_str()));
}

// The code of an uncaught error with this description: the number of the
// last error the bridge threw into the trusted document when that is the
// one; the code of the error's kind otherwise.
unsigned UncaughtCode(const std::string& description, const std::string& kind) {
  unsigned ofKind = fgbridge::CodeOfErrorKind(kind.c_str());
  if (g_documentContext == nullptr || !g_trustedDocument) return ofKind;
  return fgbridge::CodeOfMessage(g_documentContext, description.c_str(), ofKind);
}

// An uncaught error as the console script host prints one: file, line,
// description and code. The engine's text starts with the error's kind.
std::string UncaughtErrorLine(const char* file, unsigned line, const std::string& text) {
  size_t colon = text.find(": ");
  bool named = colon != std::string::npos && colon >= 5 && text.compare(colon - 5, 5, "Error") == 0 &&
               text.find(' ') > colon;
  std::string kind = named ? text.substr(0, colon) : "";
  std::string description = named ? text.substr(colon + 2) : text;
  bool syntax = kind == "SyntaxError";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", syntax ? kSyntaxError : UncaughtCode(description, kind));
  return std::string(file != nullptr ? file : "") + "(" + std::to_string(line) + ") " +
         (syntax ? "Script compilation error: " : "Script runtime error: ") + description + " (" + code + ")";
}

// console.log and console.error of any document, and its uncaught errors.
void OnConsoleMessage(WebKitWebPage* page, WebKitConsoleMessage* message, gpointer) {
  WebKitConsoleMessageSource source = webkit_console_message_get_source(message);
  bool error = webkit_console_message_get_level(message) == WEBKIT_CONSOLE_MESSAGE_LEVEL_ERROR;
  const char* text = webkit_console_message_get_text(message);
  std::string line = text != nullptr ? text : "";
  if (source == WEBKIT_CONSOLE_MESSAGE_SOURCE_CONSOLE_API) {
    SendConsoleLine(page, error, line);
  } else if (source == WEBKIT_CONSOLE_MESSAGE_SOURCE_JAVASCRIPT && error) {
    SendConsoleLine(page, true,
                    UncaughtErrorLine(webkit_console_message_get_source_id(message),
                                      webkit_console_message_get_line(message), line));
  }
}

// The page's ways to end the host: close() and, for tests, fgpage.exit(code).
void ExitHost(int code, gpointer page) {
  SendToHost(static_cast<WebKitWebPage*>(page), fgpage::kExitMessage, g_variant_new("(i)", code));
}

// With --console, every frame's console joins its arguments into one line,
// as a console shows them (the engine passes on only the first), and
// writes a NUL as text, since the engine's text ends at one.
constexpr const char* kJoinedConsole = R"((function () {
  ["log", "info", "warn", "error", "debug"].forEach(function (level) {
    var write = console[level];
    console[level] = function () {
      write.call(console, Array.prototype.map.call(arguments, String).join(" ").replace(/\0/g, "\\x00"));
    };
  });
})())";

// Installed in every main frame: window.close() ends the host (the engine
// refuses a page's own close after it navigated). A trusted document with
// --console also gets fgpage.exit(code).
constexpr const char* kPageHelpers = R"((function (exit, console) {
  window.close = function () { exit(0); };
  if (console) window.fgpage = { exit: function (code) { exit(Number(code) | 0); } };
}))";

// Whether a call into a component may go on: only from the trusted
// document's own context, and only while no other document can script it.
bool AdmitCall(JSCContext* context) {
  return g_trustedDocument && !g_shared && context == g_documentContext;
}

void NoteDomainSet(gpointer) { g_shared = true; }

// In the trusted document, before its scripts run: setting document.domain
// (even to its own value) marks the document shared. The original setter
// is kept only here, and the property cannot be redefined.
constexpr const char* kDomainWatch = R"((function (notify) {
  var d = Object.getOwnPropertyDescriptor(Document.prototype, "domain");
  if (!d || !d.set) return;
  var set = d.set, apply = Reflect.apply;
  Object.defineProperty(Document.prototype, "domain", {
    get: d.get, enumerable: d.enumerable, configurable: false,
    set: function (value) { notify(); return apply(set, this, [value]); }
  });
}))";

void WatchDomain(JSCContext* context) {
  JSCValue* notify = jsc_value_new_function(context, nullptr, G_CALLBACK(NoteDomainSet), nullptr, nullptr,
                                            G_TYPE_NONE, 0);
  JSCValue* watch = jsc_context_evaluate(context, kDomainWatch, -1);
  JSCValue* done = watch != nullptr ? jsc_value_function_call(watch, JSC_TYPE_VALUE, notify, G_TYPE_NONE) : nullptr;
  for (JSCValue* v : {notify, watch, done})
    if (v != nullptr) g_object_unref(v);
  jsc_context_clear_exception(context);
}

// Run in a frame's new document before its own scripts: whether it can
// reach the top document's.
constexpr const char* kReachesTop =
    "(function () { try { return top !== self && typeof top.document === 'object'; } catch (e) { return false; } })()";

bool ReachesTop(JSCContext* context) {
  JSCValue* reaches = jsc_context_evaluate(context, kReachesTop, -1);
  bool yes = reaches != nullptr && jsc_value_to_boolean(reaches);
  if (reaches != nullptr) g_object_unref(reaches);
  jsc_context_clear_exception(context);
  return yes;
}

void ForgetDocument() {
  fgbridge::ReleaseAll();
  if (g_documentContext != nullptr) {
    fgbridge::Uninstall(g_documentContext);
    g_object_unref(g_documentContext);
  }
  g_documentContext = nullptr;
  g_shared = false;
}

void InstallPageHelpers(JSCContext* context, WebKitWebPage* page, bool trusted) {
  JSCValue* exit = jsc_value_new_function(context, "exit", G_CALLBACK(ExitHost), page, nullptr, G_TYPE_NONE, 1,
                                          G_TYPE_INT);
  JSCValue* console = jsc_value_new_boolean(context, trusted && g_settings.console);
  JSCValue* install = jsc_context_evaluate(context, kPageHelpers, -1);
  JSCValue* done = jsc_value_function_call(install, JSC_TYPE_VALUE, exit, JSC_TYPE_VALUE, console, G_TYPE_NONE);
  for (JSCValue* v : {exit, console, install, done})
    if (v != nullptr) g_object_unref(v);
}

// A new document in a frame. Only the main frame's document may be trusted
// (frames inside it and blank documents get nothing); when it is replaced,
// every object the old one held is released, since the engine does not
// finalize script objects here.
void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  if (g_settings.console) {
    JSCValue* done = jsc_context_evaluate(context, kJoinedConsole, -1);
    if (done != nullptr) g_object_unref(done);
  }
  if (!webkit_frame_is_main_frame(frame)) {
    if (g_trustedDocument && ReachesTop(context)) g_shared = true;
    g_object_unref(context);
    return;
  }
  ForgetDocument();
  const char* uri = webkit_frame_get_uri(frame);
  g_trustedDocument = !g_shutDown && g_runtimeStarted && uri != nullptr && fgpage::IsTrusted(g_settings.trust, uri);
  InstallPageHelpers(context, page, g_trustedDocument);
  if (!g_trustedDocument) {
    g_object_unref(context);
    return;
  }
  fgbridge::Install(context);
  WatchDomain(context);
  g_documentContext = context;
}

// The host is closing: every object goes, then the runtime, which unloads
// the component; the reply tells the host it may end.
gboolean OnHostMessage(WebKitWebPage*, WebKitUserMessage* message, gpointer) {
  if (std::string(webkit_user_message_get_name(message)) != fgpage::kShutdownMessage) return FALSE;
  ForgetDocument();
  if (g_runtimeStarted && !g_shutDown) {
    CoFreeUnusedLibraries();
    CoUninitialize();
  }
  g_shutDown = true;
  g_trustedDocument = false;
  webkit_user_message_send_reply(message, webkit_user_message_new(fgpage::kShutdownMessage, nullptr));
  return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  if (g_settings.console) g_signal_connect(page, "console-message-sent", G_CALLBACK(OnConsoleMessage), nullptr);
  g_signal_connect(page, "user-message-received", G_CALLBACK(OnHostMessage), nullptr);
}

bool ReadSettings(const GVariant* data) {
  auto* settings = const_cast<GVariant*>(data);
  if (settings == nullptr || !g_variant_is_of_type(settings, G_VARIANT_TYPE(fgpage::kSettingsType))) return false;
  gboolean console = FALSE;
  const char* trustedFile = nullptr;
  GVariantIter* origins = nullptr;
  g_variant_get(settings, "(b&sas)", &console, &trustedFile, &origins);
  g_settings.console = console;
  g_settings.trust.trustedFile = trustedFile;
  const char* origin = nullptr;
  while (g_variant_iter_next(origins, "&s", &origin) &&
         g_settings.trust.allowedOrigins.size() < fgpage::kMaxAllowedOrigins)
    g_settings.trust.allowedOrigins.push_back(origin);
  g_variant_iter_free(origins);
  return true;
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                                 const GVariant* data) {
  if (!ReadSettings(data)) {
    std::fprintf(stderr, "fgpage: the page extension was started without its settings\n");
    return;
  }
  g_runtimeStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  fgbridge::SetCallGate(AdmitCall);
  if (!g_runtimeStarted) std::fprintf(stderr, "fgpage: the component runtime could not be started\n");
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(OnWindowObjectCleared),
                   nullptr);
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
}
