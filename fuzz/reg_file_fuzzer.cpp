// Fuzzes the registry tool's .reg reader: any bytes as a file, decoded and
// parsed. Every value read must come back the same through the writer, so
// that an export of what an import made reads as that import again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "reg_file.h"
#include "text_file.h"

namespace {

std::u16string FromFileBytes(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
  return text;
}

void CheckRoundTrip(const fgreg::RegFileEntry& value) {
  fgreg::RegFileWriter writer;
  writer.Key(value.key);
  writer.Value(value.name, value.type, value.bytes);
  std::vector<fgreg::RegFileEntry> again;
  std::string why;
  if (!fgreg::ParseRegFile(FromFileBytes(writer.FileBytes()), again, why)) abort();
  if (again.size() != 2 || again[0].key != value.key) abort();
  const fgreg::RegFileEntry& back = again[1];
  if (back.kind != fgreg::RegFileEntry::Kind::Value || back.name != value.name || back.type != value.type ||
      back.bytes != value.bytes)
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fgreg::kMaxRegFileBytes) return 0;
  std::u16string text;
  if (!fgreg::DecodeText(std::string(reinterpret_cast<const char*>(data), size), text)) return 0;
  std::vector<fgreg::RegFileEntry> entries;
  std::string why;
  if (!fgreg::ParseRegFile(text, entries, why)) return 0;
  for (const fgreg::RegFileEntry& e : entries)
    if (e.kind == fgreg::RegFileEntry::Kind::Value) CheckRoundTrip(e);
  return 0;
}
