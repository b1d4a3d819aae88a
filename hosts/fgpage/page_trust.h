// Which documents of the page host may create components. A page that can
// read the user's local paths through the dialog must be one the user
// chose: the local file named on the command line, or a page from an
// origin the command line names with --allow-origin.
#pragma once

#include <string>
#include <vector>

namespace fgpage {

// The limits on what the command line and the pages may hand the checks.
constexpr size_t kMaxUriBytes = 8192;
constexpr size_t kMaxAllowedOrigins = 64;

// "scheme://host[:port]" of an http, https or file URI, lower-cased, the
// scheme's default port left out ("file://" for every local file); empty
// for anything else or a malformed URI.
std::string OriginOf(const std::string& uri);

// Whether `text` names an origin alone: scheme, host and port, with at
// most a "/" after them (no user, path, query or fragment).
bool IsBareOrigin(const std::string& text);

struct Trust {
  std::string trustedFile;               // file URI of the page given on the command line, or empty
  std::vector<std::string> allowedOrigins;  // as OriginOf writes them
};

// Whether the document at `uri` may have the automation objects: the
// trusted file itself (a fragment or query does not change the document),
// or a page of an allowed http or https origin.
bool IsTrusted(const Trust& trust, const std::string& uri);

}  // namespace fgpage
