// fgpage's command line:
//   fgpage [--console] [--allow-origin ORIGIN]... [--size WxH] [--keep-data] PAGE
//   fgpage --help
// PAGE is a file path (its file becomes the trusted page) or an http,
// https or file URL. Every argument is bounded: at most 64 origins, no
// argument longer than a URI may be, a size from 200x150 to 8192x8192.
#pragma once

#include <string>
#include <vector>

#include "page_trust.h"

namespace fgpage {

struct Options {
  bool help = false;      // --help or -h: the usage, nothing else
  bool console = false;
  bool keepData = false;  // keep the engine's website data and caches in the user's home
  int width = 1024;
  int height = 768;
  std::string pageUri;  // what the window loads
  Trust trust;
};

// Fills `o` from the arguments; false with `error` set for a bad command
// line or a page file that cannot be found. A request for help is an answer
// of its own: `o.help` is set and nothing else is read.
bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error);

}  // namespace fgpage
