// The binary layout of a type library as the interface-definition compiler
// (fgidl) writes it and the platform's LoadTypeLib reads it. All integers
// are little-endian; offsets count from the start of the library; every
// record has a fixed size, so a reader checks each count and offset
// against the library's size before it reads.
//
//   header   | LibraryHeader
//   types    | typeCount TypeRecord rows, at typesOffset
//   funcs    | FuncRecord rows, each type's own run at its funcsOffset
//   params   | ParamRecord rows, each function's run at its paramsOffset
//   impls    | ImplRecord rows, each type's run at its implsOffset
//   imports  | importCount ImportRecord rows, at importsOffset
//   strings  | stringsSize bytes at stringsOffset: null-terminated 8-bit
//            | texts; names are ASCII, help strings are in codePage
//
// A string field holds an offset into the string pool, or kNoString.
// A type reference (ImplRecord::ref, a parameter's user type) is the index
// of a type of this library, or kImportedRef | the index of an import.
#pragma once

#include <cstdint>

namespace fgtlb {

constexpr uint32_t kMagic = 0x4C544746;  // "FGTL" read as little-endian
constexpr uint32_t kVersion = 1;
constexpr uint32_t kNoString = 0xFFFFFFFFu;
constexpr uint32_t kImportedRef = 0x80000000u;
// Bounds a reader holds every library to, whatever its header says.
constexpr uint32_t kMaxTypes = 1024;
constexpr uint32_t kMaxFuncsPerType = 1024;
constexpr uint32_t kMaxParamsPerFunc = 64;
constexpr uint32_t kMaxImplsPerType = 64;
constexpr uint32_t kMaxImports = 64;
constexpr uint32_t kMaxSize = 16u << 20;

struct Guid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};

struct LibraryHeader {
  uint32_t magic;
  uint32_t version;
  Guid libid;
  uint32_t lcid;
  uint16_t majorVersion, minorVersion;
  uint32_t sysKind;   // SYSKIND
  uint32_t libFlags;  // LIBFLAGS
  uint32_t codePage;  // of the help strings
  uint32_t name, helpString, helpFile;
  uint32_t helpContext;
  uint32_t typeCount, typesOffset;
  uint32_t importCount, importsOffset;
  uint32_t stringsOffset, stringsSize;
};

struct TypeRecord {
  uint32_t typeKind;  // TYPEKIND
  Guid guid;
  uint32_t name, helpString;
  uint32_t helpContext;
  uint32_t typeFlags;  // TYPEFLAGS
  uint16_t majorVersion, minorVersion;
  uint32_t funcCount, funcsOffset;
  uint32_t implCount, implsOffset;
  uint32_t vtableSlots;  // slots of the interface's table, inherited ones included
};

struct FuncRecord {
  int32_t memberId;
  uint32_t invokeKind;  // INVOKEKIND
  uint32_t funcKind;    // FUNCKIND
  uint32_t callConv;    // CALLCONV
  uint32_t vtableSlot;  // of an interface's function; 0 for dispatch members
  uint32_t funcFlags;
  uint32_t name, helpString;
  uint32_t helpContext;
  uint16_t returnType;  // VARTYPE
  uint16_t reserved;
  uint32_t paramCount, paramsOffset;
};

// A parameter's type is vt, or a pointer (VT_PTR) to pointee; a pointee of
// VT_PTR is a pointer to a pointer to void.
struct ParamRecord {
  uint32_t name;  // kNoString: no recorded name
  uint16_t flags;  // PARAMFLAG_*
  uint16_t vt;
  uint16_t pointee;
  uint16_t reserved;
  uint32_t userType;  // a type reference for VT_USERDEFINED
};

struct ImplRecord {
  uint32_t ref;
  uint32_t implTypeFlags;  // IMPLTYPEFLAG_*
};

// A type of another library, found by that library's id and version and
// the type's GUID; fileName is the library's file ("stdole2.tlb").
struct ImportRecord {
  Guid libid;
  uint16_t majorVersion, minorVersion;
  Guid typeGuid;
  uint32_t fileName;
  uint32_t typeName;
};

static_assert(sizeof(LibraryHeader) == 84 && sizeof(TypeRecord) == 60 && sizeof(FuncRecord) == 48 &&
                  sizeof(ParamRecord) == 16 && sizeof(ImplRecord) == 8 && sizeof(ImportRecord) == 44,
              "the layout is shared with files");

}  // namespace fgtlb
