// Test helper: sets the default value of HKEY_CLASSES_ROOT\PATH to TEXT
// (REG_SZ) in the store named by FARROWGATE_REGISTRY, as another process
// changing the registry would. Exit status 0 on success.
#include <string>

#include "fgplatform/win32.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::string path = argv[1], text = argv[2];
  std::u16string widePath(path.begin(), path.end()), wideText(text.begin(), text.end());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, widePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return 1;
  LSTATUS rc = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wideText.c_str()),
                              static_cast<DWORD>((wideText.size() + 1) * 2));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? 0 : 1;
}
