#include "page_trust.h"

#include <glib.h>

#include <algorithm>
#include <cctype>

namespace fgpage {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The URI without its query and fragment.
std::string DocumentOf(const std::string& uri) { return uri.substr(0, uri.find_first_of("?#")); }

// A host name or address as an origin holds it: letters, digits, dots and
// dashes, or an IPv6 address (written in brackets).
bool HostText(const std::string& host, std::string& out) {
  if (host.empty()) return false;
  bool v6 = host.find(':') != std::string::npos;
  for (unsigned char c : host)
    if (!std::isalnum(c) && c != '.' && c != '-' && !(v6 && c == ':')) return false;
  out = v6 ? "[" + Lower(host) + "]" : Lower(host);
  return true;
}

}  // namespace

std::string OriginOf(const std::string& uri) {
  if (uri.empty() || uri.size() > kMaxUriBytes) return "";
  GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (parsed == nullptr) return "";
  std::string scheme = Lower(g_uri_get_scheme(parsed));
  const char* host = g_uri_get_host(parsed);
  int port = g_uri_get_port(parsed);
  std::string origin, hostText;
  if (scheme == "file") {
    origin = "file://";
  } else if ((scheme == "http" || scheme == "https") && host != nullptr && HostText(host, hostText)) {
    origin = scheme + "://" + hostText;
    bool defaultPort = port == -1 || (scheme == "http" && port == 80) || (scheme == "https" && port == 443);
    if (!defaultPort) origin += ":" + std::to_string(port);
  }
  g_uri_unref(parsed);
  return origin;
}

bool IsBareOrigin(const std::string& text) {
  if (text.empty() || text.size() > kMaxUriBytes) return false;
  GUri* parsed = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (parsed == nullptr) return false;
  std::string path = g_uri_get_path(parsed);
  bool bare = (path.empty() || path == "/") && g_uri_get_query(parsed) == nullptr &&
              g_uri_get_fragment(parsed) == nullptr && g_uri_get_userinfo(parsed) == nullptr;
  g_uri_unref(parsed);
  return bare;
}

bool IsTrusted(const Trust& trust, const std::string& uri) {
  if (uri.empty() || uri.size() > kMaxUriBytes) return false;
  if (!trust.trustedFile.empty() && DocumentOf(uri) == DocumentOf(trust.trustedFile)) return true;
  std::string origin = OriginOf(uri);
  if (origin.empty() || origin == "file://") return false;  // no other local file is trusted
  return std::find(trust.allowedOrigins.begin(), trust.allowedOrigins.end(), origin) != trust.allowedOrigins.end();
}

}  // namespace fgpage
