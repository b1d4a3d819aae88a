#include "script_errors.h"

#include <cstdio>
#include <string>

#include "automation_bridge.h"

namespace fgscript {

namespace {

constexpr unsigned kUncaught = 0x800A139E;
constexpr const char* kNotCaught = "Exception thrown and not caught";
constexpr size_t kMaxTokenTries = 16;

// The engine's record of an uncaught exception keeps its message, name
// and place but not the value thrown; throwing the record again inside a
// catch gives the value back.
JSCException* g_rethrown = nullptr;
void Rethrow(gpointer) { jsc_context_throw_exception(jsc_context_get_current(), g_rethrown); }

constexpr const char* kCatcher = "(function (rethrow) { try { rethrow(); } catch (e) { return e; } })";

JSCValue* ThrownValue(JSCContext* context, JSCException* exception) {
  g_rethrown = exception;
  JSCValue* rethrow = jsc_value_new_function(context, nullptr, G_CALLBACK(Rethrow), nullptr, nullptr, G_TYPE_NONE, 0);
  JSCValue* catcher = jsc_context_evaluate(context, kCatcher, -1);
  JSCValue* value = jsc_value_function_call(catcher, JSC_TYPE_VALUE, rethrow, G_TYPE_NONE);
  g_object_unref(catcher);
  g_object_unref(rethrow);
  g_rethrown = nullptr;
  jsc_context_clear_exception(context);
  return value;
}

// A property of the thrown value when it is a string (or a number).
bool StringProperty(JSCValue* value, const char* name, std::string& out) {
  JSCValue* property = jsc_value_object_get_property(value, name);
  bool ok = property != nullptr && jsc_value_is_string(property);
  if (ok) {
    gchar* text = jsc_value_to_string(property);
    out = text != nullptr ? text : "";
    g_free(text);
  }
  if (property != nullptr) g_object_unref(property);
  return ok && !out.empty();
}

bool NumberProperty(JSCValue* value, const char* name, unsigned& out) {
  JSCValue* property = jsc_value_object_get_property(value, name);
  bool ok = property != nullptr && jsc_value_is_number(property);
  if (ok) out = static_cast<unsigned>(jsc_value_to_int32(property));
  if (property != nullptr) g_object_unref(property);
  return ok;
}

// The start of line `line` (from 1) in the source; npos past its end.
size_t LineStart(const std::string& source, unsigned line) {
  size_t at = 0;
  for (unsigned n = 1; n < line && at != std::string::npos; ++n) {
    at = source.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  return at;
}

// Columns count characters, not bytes.
unsigned ColumnOf(const std::string& source, size_t lineStart, size_t at) {
  return static_cast<unsigned>(g_utf8_strlen(source.data() + lineStart, static_cast<gssize>(at - lineStart))) + 1;
}

bool SameSyntaxError(JSCContext* context, const std::string& text, const std::string& message, unsigned line) {
  JSCException* found = nullptr;
  jsc_context_check_syntax(context, text.data(), static_cast<gssize>(text.size()), JSC_CHECK_SYNTAX_MODE_SCRIPT,
                           nullptr, 1, &found);
  if (found == nullptr) return false;
  const char* foundMessage = jsc_exception_get_message(found);
  bool same = foundMessage != nullptr && message == foundMessage && jsc_exception_get_line_number(found) == line;
  g_object_unref(found);
  return same;
}

// The token the engine's message names: "Unexpected token ';'",
// "Unexpected identifier 'bar'"; empty for other messages.
std::string QuotedToken(const std::string& message) {
  if (message.rfind("Unexpected ", 0) != 0) return "";
  size_t open = message.find('\'');
  size_t close = message.rfind('\'');
  if (open == std::string::npos || close <= open + 1) return "";
  return message.substr(open + 1, close - open - 1);
}

unsigned SyntaxColumn(JSCContext* context, const std::string& source, const std::string& message, unsigned line) {
  size_t start = LineStart(source, line);
  if (start == std::string::npos) return 1;
  size_t end = source.find('\n', start);
  if (end == std::string::npos) end = source.size();
  if (message == "Unexpected EOF") return ColumnOf(source, start, end);
  std::string token = QuotedToken(message);
  if (token.empty()) return 1;
  size_t at = start;
  for (size_t tries = 0; tries < kMaxTokenTries; ++tries) {
    at = source.find(token, at);
    if (at == std::string::npos || at >= end) break;
    if (SameSyntaxError(context, source.substr(0, at + token.size()), message, line))
      return ColumnOf(source, start, at);
    at += token.size();
  }
  return 1;
}

}  // namespace

ScriptError DescribeUncaught(JSCContext* context, JSCException* exception) {
  ScriptError error;
  error.line = jsc_exception_get_line_number(exception);
  error.column = jsc_exception_get_column_number(exception);
  const char* name = jsc_exception_get_name(exception);
  error.code = name != nullptr ? fgbridge::CodeOfErrorKind(name) : kUncaught;
  error.description = kNotCaught;
  JSCValue* value = ThrownValue(context, exception);
  if (value != nullptr && jsc_value_is_object(value)) {
    std::string text;
    if (StringProperty(value, "description", text) || StringProperty(value, "message", text))
      error.description = text;
    unsigned number = 0;
    if (NumberProperty(value, "number", number)) error.code = number;
  }
  if (value != nullptr) g_object_unref(value);
  jsc_context_clear_exception(context);  // a getter of the value may have thrown
  return error;
}

ScriptError DescribeSyntaxError(JSCContext* context, const std::string& source, JSCException* exception) {
  ScriptError error;
  error.syntax = true;
  error.code = fgbridge::CodeOfErrorKind("SyntaxError");
  const char* message = jsc_exception_get_message(exception);
  error.description = message != nullptr ? message : "Syntax error";
  error.line = jsc_exception_get_line_number(exception);
  error.column = SyntaxColumn(context, source, error.description, error.line);
  return error;
}

std::string FormatError(const std::string& file, const ScriptError& error) {
  std::string place = file;
  if (error.line > 0) place += "(" + std::to_string(error.line) + ", " + std::to_string(error.column) + ")";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", error.code);
  return place + " " + (error.syntax ? "Script compilation error: " : "Script runtime error: ") + error.description +
         " (" + code + ")";
}

}  // namespace fgscript
