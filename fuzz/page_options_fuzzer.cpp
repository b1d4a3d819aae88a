// Fuzzes the page host's command line and its trust checks: the input,
// split at NUL bytes, is the argument list; each argument is also checked
// as a document URI against what the command line trusted, and the whole
// input is written as a console line, which must come out printable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console_text.h"
#include "page_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0) {
      current += static_cast<char>(data[i]);
      continue;
    }
    args.push_back(current);
    current.clear();
  }
  args.push_back(current);
  fgpage::Options options;
  std::string error;
  bool parsed = fgpage::ParseOptions(args, options, error);
  // A command line taken whole asks for help, or names its page and keeps
  // to its bounds.
  if (parsed && !options.help &&
      (options.pageUri.empty() || options.trust.allowedOrigins.size() > fgpage::kMaxAllowedOrigins))
    __builtin_trap();
  for (const std::string& arg : args) {
    (void)fgpage::IsTrusted(options.trust, arg);
    (void)fgpage::OriginOf(arg);
    (void)fgpage::IsBareOrigin(arg);
  }
  std::string line = fgpage::ConsoleLine(std::string(reinterpret_cast<const char*>(data), size));
  if (line.size() > fgpage::kMaxConsoleBytes) __builtin_trap();
  for (unsigned char c : line)
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) __builtin_trap();  // nothing a terminal acts on
  for (size_t at = 0; at != std::string::npos; at = line.find('\n', at), at = at == std::string::npos ? at : at + 1)
    if (line.compare(at, 7, "fgpage:") == 0) __builtin_trap();  // no line passes for the host's own
  return 0;
}
