// The binary layout of the resource section (".fgrsrc") that the resource
// compiler writes into a module and the loader reads back. All integers are
// 32-bit little-endian; offsets count from the start of the section.
//
//   header   | magic "FGRS", version 1, entry count, 0
//   entries  | count rows of ResourceEntry, sorted by type, name, language
//   strings  | names of string types and names: UTF-16LE, upper case,
//            | null-terminated
//   data     | each resource's bytes, starting on an 8-byte boundary
#pragma once

#include <cstdint>

namespace fgres {

constexpr uint32_t kMagic = 0x53524746;  // "FGRS" read as little-endian
constexpr uint32_t kVersion = 1;
constexpr const char* kSectionName = ".fgrsrc";

// The numbered resource types the compiler writes; the loader's RT_* names
// (libloader.h) are these numbers in resource-name form.
enum TypeNumber : uint32_t { kTypeString = 6, kTypeRcData = 10, kTypeVersion = 16, kTypeManifest = 24 };

struct SectionHeader {
  uint32_t magic;
  uint32_t version;
  uint32_t count;
  uint32_t reserved;
};

// An id is either an integer (isString 0) or the offset of a name in the
// string pool (isString 1).
struct ResourceId {
  uint32_t isString;
  uint32_t value;
};

struct ResourceEntry {
  ResourceId type;
  ResourceId name;
  uint32_t language;
  uint32_t dataOffset;
  uint32_t dataSize;
  uint32_t reserved;
};

static_assert(sizeof(SectionHeader) == 16 && sizeof(ResourceEntry) == 32, "the layout is shared with files");

}  // namespace fgres
