#include "typelib_data.h"

#include <cstring>

#include "fgplatform/typeinfo.h"

namespace fgp {

std::string TypeLibData::Text(uint32_t at) const {
  if (at == fgtlb::kNoString) return std::string();
  return std::string(reinterpret_cast<const char*>(m_bytes.data()) + m_header.stringsOffset + at);
}

bool TypeLibData::StringOk(uint32_t at) const {
  if (at == fgtlb::kNoString) return true;
  if (at >= m_header.stringsSize) return false;
  const auto* start = m_bytes.data() + m_header.stringsOffset + at;
  return std::memchr(start, 0, m_header.stringsSize - at) != nullptr;
}

bool TypeLibData::RefOk(uint32_t ref) const {
  if (ref & fgtlb::kImportedRef) return (ref & ~fgtlb::kImportedRef) < m_header.importCount;
  return ref < m_header.typeCount;
}

bool TypeLibData::TypeOk(const fgtlb::TypeRecord& t) const {
  if (t.typeKind >= TKIND_MAX || !StringOk(t.name) || !StringOk(t.helpString)) return false;
  if (t.funcCount > fgtlb::kMaxFuncsPerType || t.implCount > fgtlb::kMaxImplsPerType || t.vtableSlots > 0xFFFF)
    return false;
  if (!Inside(t.funcsOffset, uint64_t{t.funcCount} * sizeof(fgtlb::FuncRecord)) ||
      !Inside(t.implsOffset, uint64_t{t.implCount} * sizeof(fgtlb::ImplRecord)))
    return false;
  for (uint32_t i = 0; i < t.implCount; ++i)
    if (!RefOk(Impl(t, i).ref)) return false;
  for (uint32_t i = 0; i < t.funcCount; ++i) {
    fgtlb::FuncRecord f = Func(t, i);
    if (f.paramCount > fgtlb::kMaxParamsPerFunc || !StringOk(f.name) || !StringOk(f.helpString) ||
        f.vtableSlot > 0xFFFF || !Inside(f.paramsOffset, uint64_t{f.paramCount} * sizeof(fgtlb::ParamRecord)))
      return false;
    for (uint32_t k = 0; k < f.paramCount; ++k) {
      fgtlb::ParamRecord p = Param(f, k);
      if (!StringOk(p.name) || (p.vt == VT_USERDEFINED && !RefOk(p.userType))) return false;
    }
  }
  return true;
}

bool TypeLibData::Check(std::vector<uint8_t> bytes) {
  m_bytes = std::move(bytes);
  bool ok = m_bytes.size() >= sizeof m_header && m_bytes.size() <= fgtlb::kMaxSize;
  if (ok) std::memcpy(&m_header, m_bytes.data(), sizeof m_header);
  const fgtlb::LibraryHeader& h = m_header;
  ok = ok && h.magic == fgtlb::kMagic && h.version == fgtlb::kVersion && h.typeCount <= fgtlb::kMaxTypes &&
       h.importCount <= fgtlb::kMaxImports && Inside(h.stringsOffset, h.stringsSize) &&
       Inside(h.typesOffset, uint64_t{h.typeCount} * sizeof(fgtlb::TypeRecord)) &&
       Inside(h.importsOffset, uint64_t{h.importCount} * sizeof(fgtlb::ImportRecord));
  ok = ok && StringOk(h.name) && StringOk(h.helpString) && StringOk(h.helpFile);
  for (uint32_t i = 0; ok && i < h.importCount; ++i)
    ok = StringOk(Import(i).fileName) && StringOk(Import(i).typeName);
  for (uint32_t i = 0; ok && i < h.typeCount; ++i) ok = TypeOk(Type(i));
  if (ok) return true;
  m_bytes.clear();
  m_header = {};
  return false;
}

}  // namespace fgp
