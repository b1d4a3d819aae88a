#include "page_options.h"

#include <glib.h>
#include <limits.h>
#include <stdlib.h>

namespace fgpage {

namespace {

constexpr size_t kMaxArguments = 256;

bool ParseSize(const std::string& text, int& width, int& height) {
  size_t x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 == text.size() || text.size() > 11) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (i != x && (text[i] < '0' || text[i] > '9')) return false;
  width = std::stoi(text.substr(0, x));
  height = std::stoi(text.substr(x + 1));
  return width >= 200 && width <= 8192 && height >= 150 && height <= 8192;
}

// A page given as a file path: its URI, trusted; as a URL: as it is.
bool ResolvePage(const std::string& page, Options& o, std::string& error) {
  if (page.find("://") != std::string::npos) {
    std::string origin = OriginOf(page);
    if (origin.empty()) {
      error = "not an http, https or file URL: " + page;
      return false;
    }
    if (origin != "file://") {
      o.pageUri = page;
      return true;
    }
    // A file URL names the page file given here: trusted as that file.
    gchar* path = g_filename_from_uri(page.c_str(), nullptr, nullptr);
    if (path == nullptr) {
      error = "not a local file URL: " + page;
      return false;
    }
    std::string file = path;
    g_free(path);
    return ResolvePage(file, o, error);
  }
  char resolved[PATH_MAX];
  if (realpath(page.c_str(), resolved) == nullptr) {
    error = "cannot find the page " + page;
    return false;
  }
  gchar* uri = g_filename_to_uri(resolved, nullptr, nullptr);
  if (uri == nullptr) {
    error = "cannot name the page " + page + " as a URI";
    return false;
  }
  o.pageUri = uri;
  o.trust.trustedFile = uri;
  g_free(uri);
  return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
  if (args.size() > kMaxArguments) {
    error = "too many arguments";
    return false;
  }
  std::string page;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > kMaxUriBytes) {
      error = "an argument is longer than " + std::to_string(kMaxUriBytes) + " bytes";
      return false;
    }
    bool hasValue = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      o.help = true;
      return true;
    }
    if (a == "--console") {
      o.console = true;
    } else if (a == "--keep-data") {
      o.keepData = true;
    } else if (a == "--allow-origin" && hasValue) {
      std::string origin = OriginOf(args[++i]);
      if (origin.empty() || origin == "file://" || !IsBareOrigin(args[i])) {
        error = "not an http or https origin: " + args[i];
        return false;
      }
      if (o.trust.allowedOrigins.size() == kMaxAllowedOrigins) {
        error = "more than " + std::to_string(kMaxAllowedOrigins) + " origins";
        return false;
      }
      o.trust.allowedOrigins.push_back(origin);
    } else if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], o.width, o.height)) {
        error = "a size is WIDTHxHEIGHT, from 200x150 to 8192x8192: " + args[i];
        return false;
      }
    } else if (a.rfind("--", 0) == 0 || !page.empty()) {
      error = "unexpected argument " + a;
      return false;
    } else {
      page = a;
    }
  }
  if (page.empty()) {
    error = "no page given";
    return false;
  }
  return ResolvePage(page, o, error);
}

}  // namespace fgpage
