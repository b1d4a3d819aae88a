// The resources a script defines, and the section bytes that hold them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fgrc {

// An integer id, or a name (kept in upper case).
struct Id {
  bool isString = false;
  uint32_t number = 0;
  std::u16string name;
  bool operator<(const Id& o) const;
  bool operator==(const Id& o) const { return isString == o.isString && number == o.number && name == o.name; }
};

struct Resource {
  Id type;
  Id name;
  uint16_t language = 0;
  std::string bytes;
  std::string script;  // where it was defined, for errors
  int line = 0;
};

// The section in the platform's resource layout. Throws std::runtime_error
// for two resources with the same type, name and language (naming the
// script and line of both), and for a resource or section past 4 GiB.
std::string BuildSection(std::vector<Resource> resources);

}  // namespace fgrc
