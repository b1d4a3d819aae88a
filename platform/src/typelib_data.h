// A type library's bytes, checked once when they are loaded: every count
// within its bound, every record and run of records inside the library,
// every string inside the pool and terminated there, every type reference
// naming a type or an import that exists. After Check the accessors read
// without further checks.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fgplatform/typelib_format.h"

namespace fgp {

class TypeLibData {
 public:
  // False (and nothing kept) when the bytes are not a sound library.
  [[nodiscard]] bool Check(std::vector<uint8_t> bytes);

  const fgtlb::LibraryHeader& Header() const { return m_header; }
  fgtlb::TypeRecord Type(uint32_t i) const { return Read<fgtlb::TypeRecord>(m_header.typesOffset, i); }
  fgtlb::FuncRecord Func(const fgtlb::TypeRecord& t, uint32_t i) const {
    return Read<fgtlb::FuncRecord>(t.funcsOffset, i);
  }
  fgtlb::ParamRecord Param(const fgtlb::FuncRecord& f, uint32_t i) const {
    return Read<fgtlb::ParamRecord>(f.paramsOffset, i);
  }
  fgtlb::ImplRecord Impl(const fgtlb::TypeRecord& t, uint32_t i) const {
    return Read<fgtlb::ImplRecord>(t.implsOffset, i);
  }
  fgtlb::ImportRecord Import(uint32_t i) const { return Read<fgtlb::ImportRecord>(m_header.importsOffset, i); }
  // The 8-bit text at a string offset; empty for kNoString.
  std::string Text(uint32_t at) const;

 private:
  template <class T>
  T Read(uint32_t offset, uint32_t index) const {
    T v;
    std::memcpy(&v, m_bytes.data() + offset + static_cast<size_t>(index) * sizeof(T), sizeof v);
    return v;
  }
  [[nodiscard]] bool Inside(uint64_t offset, uint64_t size) const { return offset <= m_bytes.size() && size <= m_bytes.size() - offset; }
  [[nodiscard]] bool StringOk(uint32_t at) const;
  [[nodiscard]] bool RefOk(uint32_t ref) const;
  [[nodiscard]] bool TypeOk(const fgtlb::TypeRecord& t) const;

  std::vector<uint8_t> m_bytes;
  fgtlb::LibraryHeader m_header{};
};

}  // namespace fgp
