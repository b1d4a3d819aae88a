// Fuzzes the registry script language: each input is a script (8-bit text,
// as script resources are) that is registered and then unregistered on a
// registry kept in memory, which is emptied again after every input. An
// input starting with "!" runs with registrations going to the user's own
// classes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fgplatform/win32.h"
#include "registration/regobject.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

void EmptyRegistry() {
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG})
    (void)RegDeleteTreeW(root, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("FARROWGATE_REGISTRY", ":memory:", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  bool perUser = size > 0 && data[0] == '!';
  std::u16string text(size, u'\0');
  for (size_t i = 0; i < size; ++i) text[i] = data[i];  // each byte is one character, as in code page 1252's range
  CRegObject registrar;
  (void)registrar.AddVariable(u"APPID", u"{F05A841F-D724-47D4-BA1A-685429E8B427}");
  (void)registrar.AddVariable(u"Module", u"/usr/lib/farrowgate/Fg'quoted.so");
  SetRegistrarPerUser(perUser);
  (void)registrar.RunScriptText(text.c_str() + (perUser ? 1 : 0), TRUE);
  (void)registrar.RunScriptText(text.c_str() + (perUser ? 1 : 0), FALSE);
  SetRegistrarPerUser(false);
  EmptyRegistry();
  return 0;
}
