#include "resource_set.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "fgplatform/resource_format.h"

namespace fgrc {

bool Id::operator<(const Id& o) const {
  if (isString != o.isString) return isString;  // names sort before numbers
  return isString ? name < o.name : number < o.number;
}

namespace {

void Put(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }

void Align(std::string& out, size_t to) {
  while (out.size() % to != 0) out.push_back('\0');
}

}  // namespace

std::string BuildSection(std::vector<Resource> resources) {
  std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return a.type < b.type;
    if (!(a.name == b.name)) return a.name < b.name;
    return a.language < b.language;
  });
  for (size_t i = 1; i < resources.size(); ++i) {
    const Resource& a = resources[i - 1];
    const Resource& b = resources[i];
    if (!(a.type == b.type) || !(a.name == b.name) || a.language != b.language) continue;
    throw std::runtime_error(b.script + ":" + std::to_string(b.line) +
                             ": error: a second resource with the same type, name and language (the first: " +
                             a.script + ":" + std::to_string(a.line) + ")");
  }

  size_t stringsAt = sizeof(fgres::SectionHeader) + resources.size() * sizeof(fgres::ResourceEntry);
  std::string pool;
  std::map<std::u16string, uint32_t> poolOffsets;
  auto idOf = [&](const Id& id) {
    fgres::ResourceId out{id.isString ? 1u : 0u, id.number};
    if (!id.isString) return out;
    auto it = poolOffsets.find(id.name);
    if (it == poolOffsets.end()) {
      it = poolOffsets.emplace(id.name, static_cast<uint32_t>(stringsAt + pool.size())).first;
      Put(pool, id.name.c_str(), (id.name.size() + 1) * 2);
    }
    out.value = it->second;
    return out;
  };
  std::vector<fgres::ResourceEntry> entries;
  for (const Resource& r : resources) entries.push_back({idOf(r.type), idOf(r.name), r.language, 0, 0, 0});

  std::string out;
  fgres::SectionHeader header{fgres::kMagic, fgres::kVersion, static_cast<uint32_t>(resources.size()), 0};
  Put(out, &header, sizeof header);
  out.append(entries.size() * sizeof(fgres::ResourceEntry), '\0');
  out += pool;
  for (size_t i = 0; i < resources.size(); ++i) {
    Align(out, 8);
    if (out.size() > UINT32_MAX || resources[i].bytes.size() > UINT32_MAX - out.size())
      throw std::runtime_error(resources[i].script + ":" + std::to_string(resources[i].line) +
                               ": error: the resources pass the 4 GiB a section can hold");
    entries[i].dataOffset = static_cast<uint32_t>(out.size());
    entries[i].dataSize = static_cast<uint32_t>(resources[i].bytes.size());
    out += resources[i].bytes;
  }
  if (!entries.empty()) std::memcpy(&out[sizeof header], entries.data(), entries.size() * sizeof(fgres::ResourceEntry));
  return out;
}

}  // namespace fgrc
