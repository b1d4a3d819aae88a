// Dialog patterns in the toolkit's terms.
//
// The platform's patterns match without regard to case; GTK's do not, so
// each letter becomes a class of both cases ("*.txt" becomes
// "*.[tT][xX][tT]"), "[" is matched as itself, and "*.*" becomes "*", which
// also matches names without a dot, as the platform's own dialogs do.
#pragma once

#include <string>
#include <vector>

namespace fgp::gtk {

// The pattern list of a filter entry, split at ";" with the spaces around
// each pattern dropped and empty ones left out.
std::vector<std::string> SplitPatterns(const char* patterns);
// A UTF-8 pattern that matches the same names as `pattern` regardless of case.
std::string CaselessPattern(const std::string& pattern);

}  // namespace fgp::gtk
