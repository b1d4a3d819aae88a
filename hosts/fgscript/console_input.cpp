#include "console_input.h"

#include <cstdio>
#include <string>

#include "fgplatform/win32.h"
#include "js_values.h"

namespace fgscript {

namespace {

int Peek() {
  int c = std::getc(stdin);
  if (c != EOF) std::ungetc(c, stdin);
  return c;
}

JSCValue* Text(const std::string& s) {
  GBytes* bytes = g_bytes_new(s.data(), s.size());
  JSCValue* v = jsc_value_new_string_from_bytes(jsc_context_get_current(), bytes);
  g_bytes_unref(bytes);
  return v;
}

JSCValue* Null() { return jsc_value_new_null(jsc_context_get_current()); }

// One line without its end (LF or CR LF); null at the end of input. A
// line longer than ReadAll may answer is refused as out of memory.
JSCValue* ReadLine(gpointer) {
  if (Peek() == EOF) return Null();
  std::string line;
  for (int c; (c = std::getc(stdin)) != EOF && c != '\n';) {
    if (line.size() == kMaxReadAll) {
      fgbridge::ThrowFailure(jsc_context_get_current(), E_OUTOFMEMORY, nullptr);
      return nullptr;
    }
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Text(line);
}

// The number of bytes of the UTF-8 sequence a lead byte starts.
int SequenceLength(int lead) {
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Up to `count` characters; null when the input has ended already.
JSCValue* Read(double count, gpointer) {
  if (Peek() == EOF) return Null();
  std::string out;
  for (double n = 0; n < count && out.size() < kMaxReadAll; ++n) {
    int c = std::getc(stdin);
    if (c == EOF) break;
    out.push_back(static_cast<char>(c));
    for (int more = SequenceLength(c) - 1; more > 0; --more) {
      int next = Peek();
      if (next == EOF || (next & 0xC0) != 0x80) break;
      out.push_back(static_cast<char>(std::getc(stdin)));
    }
  }
  return Text(out);
}

JSCValue* ReadAll(gpointer) {
  std::string out;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
    if (out.size() + n > kMaxReadAll) {
      fgbridge::ThrowFailure(jsc_context_get_current(), E_OUTOFMEMORY, nullptr);
      return nullptr;
    }
    out.append(buffer, n);
  }
  return Text(out);
}

gboolean SkipLine(gpointer) {
  if (Peek() == EOF) return FALSE;
  for (int c; (c = std::getc(stdin)) != EOF && c != '\n';) {
  }
  return TRUE;
}

gboolean AtEnd(gpointer) { return Peek() == EOF; }

gboolean AtEndOfLine(gpointer) {
  int c = Peek();
  return c == EOF || c == '\n' || c == '\r';
}

void Set(JSCValue* native, const char* name, GCallback callback, GType result, guint parameters, GType parameter) {
  JSCContext* context = jsc_value_get_context(native);
  JSCValue* f = parameters == 0
                    ? jsc_value_new_function(context, name, callback, nullptr, nullptr, result, 0)
                    : jsc_value_new_function(context, name, callback, nullptr, nullptr, result, 1, parameter);
  jsc_value_object_set_property(native, name, f);
  g_object_unref(f);
}

}  // namespace

void AddConsoleInput(JSCValue* native) {
  Set(native, "readLine", G_CALLBACK(ReadLine), JSC_TYPE_VALUE, 0, G_TYPE_NONE);
  Set(native, "read", G_CALLBACK(Read), JSC_TYPE_VALUE, 1, G_TYPE_DOUBLE);
  Set(native, "readAll", G_CALLBACK(ReadAll), JSC_TYPE_VALUE, 0, G_TYPE_NONE);
  Set(native, "skipLine", G_CALLBACK(SkipLine), G_TYPE_BOOLEAN, 0, G_TYPE_NONE);
  Set(native, "atEnd", G_CALLBACK(AtEnd), G_TYPE_BOOLEAN, 0, G_TYPE_NONE);
  Set(native, "atEndOfLine", G_CALLBACK(AtEndOfLine), G_TYPE_BOOLEAN, 0, G_TYPE_NONE);
}

}  // namespace fgscript
