// Fuzzes the page host's command line and its trust checks: the input,
// split at NUL bytes, is the argument list; each argument is also checked
// as a document URI against what the command line trusted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
  if (parsed && (options.pageUri.empty() || options.trust.allowedOrigins.size() > fgpage::kMaxAllowedOrigins))
    __builtin_trap();  // a command line taken whole names its page and keeps to its bounds
  for (const std::string& arg : args) {
    (void)fgpage::IsTrusted(options.trust, arg);
    (void)fgpage::OriginOf(arg);
  }
  return 0;
}
