// The runtime's bounds-checked copies and formatted prints. Every invalid
// parameter sets the runtime error number and returns (no handler ends the
// process).
#include <cstring>
#include <string>

#include "fgplatform/crt.h"
#include "fgplatform/wtext.h"
#include "format.h"

namespace {

errno_t Fail(errno_t code) {
  _set_errno(code);
  return code;
}

template <class C>
size_t Length(const C* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// strncpy_s semantics; count == _TRUNCATE copies what fits.
template <class C>
errno_t CopyN(C* dest, rsize_t destSize, const C* src, rsize_t count) {
  if (count == 0 && dest == nullptr && destSize == 0) return 0;
  if (dest == nullptr || destSize == 0) return Fail(EINVAL);
  if (count == 0) {
    dest[0] = 0;
    return 0;
  }
  if (src == nullptr) {
    dest[0] = 0;
    return Fail(EINVAL);
  }
  size_t available = Length(src);
  size_t wanted = count == _TRUNCATE || count > available ? available : count;
  if (wanted < destSize) {
    std::memmove(dest, src, wanted * sizeof(C));
    dest[wanted] = 0;
    return 0;
  }
  if (count == _TRUNCATE) {
    std::memmove(dest, src, (destSize - 1) * sizeof(C));
    dest[destSize - 1] = 0;
    return STRUNCATE;
  }
  dest[0] = 0;
  return Fail(ERANGE);
}

template <class C>
errno_t Cat(C* dest, rsize_t destSize, const C* src) {
  if (dest == nullptr || destSize == 0) return Fail(EINVAL);
  if (src == nullptr) {
    dest[0] = 0;
    return Fail(EINVAL);
  }
  size_t used = 0;
  while (used < destSize && dest[used] != 0) ++used;
  if (used == destSize) {
    dest[0] = 0;
    return Fail(EINVAL);  // destination not terminated
  }
  size_t add = Length(src);
  if (used + add >= destSize) {
    dest[0] = 0;
    return Fail(ERANGE);
  }
  std::memmove(dest + used, src, (add + 1) * sizeof(C));
  return 0;
}

errno_t MemCopy(void* dest, rsize_t destSize, const void* src, rsize_t count) {
  if (count == 0) return 0;
  if (dest == nullptr) return Fail(EINVAL);
  if (src == nullptr) {
    std::memset(dest, 0, destSize);
    return Fail(EINVAL);
  }
  if (destSize < count) {
    std::memset(dest, 0, destSize);
    return Fail(ERANGE);
  }
  std::memmove(dest, src, count);
  return 0;
}

// The shared rules of the formatted prints. `count` is the count limit
// (_TRUNCATE, or a number of characters); `limited` says whether one was
// given at all (sprintf_s has none).
template <class C>
int Print(C* buffer, size_t size, size_t count, bool limited, const C* format, va_list args) {
  if (limited && count == 0 && buffer == nullptr && size == 0) return 0;
  if (buffer == nullptr || size == 0) {
    _set_errno(EINVAL);
    return -1;
  }
  if (format == nullptr) {
    buffer[0] = 0;
    _set_errno(EINVAL);
    return -1;
  }
  std::basic_string<C> text;
  if (fgp::FormatV(text, format, args) != 0) {
    buffer[0] = 0;
    _set_errno(EINVAL);
    return -1;
  }
  size_t limit = size - 1;
  bool cut = false;
  if (limited && (count == _TRUNCATE || count < size)) {
    if (count != _TRUNCATE) limit = count;
    cut = true;
  }
  if (text.size() <= limit) {
    std::memcpy(buffer, text.data(), text.size() * sizeof(C));
    buffer[text.size()] = 0;
    return static_cast<int>(text.size());
  }
  if (!cut) {
    buffer[0] = 0;
    _set_errno(ERANGE);
    return -1;
  }
  std::memcpy(buffer, text.data(), limit * sizeof(C));
  buffer[limit] = 0;
  _set_errno(STRUNCATE);
  return -1;
}

}  // namespace

errno_t strcpy_s(char* dest, rsize_t destSize, const char* src) {
  if (dest == nullptr || destSize == 0) return Fail(EINVAL);
  if (src == nullptr) {
    dest[0] = 0;
    return Fail(EINVAL);
  }
  return CopyN(dest, destSize, src, Length(src));
}
errno_t strncpy_s(char* dest, rsize_t destSize, const char* src, rsize_t count) {
  return CopyN(dest, destSize, src, count);
}
errno_t strcat_s(char* dest, rsize_t destSize, const char* src) { return Cat(dest, destSize, src); }
errno_t wcscpy_s(char16_t* dest, rsize_t destSize, const char16_t* src) {
  if (dest == nullptr || destSize == 0) return Fail(EINVAL);
  if (src == nullptr) {
    dest[0] = 0;
    return Fail(EINVAL);
  }
  return CopyN(dest, destSize, src, Length(src));
}
errno_t wcsncpy_s(char16_t* dest, rsize_t destSize, const char16_t* src, rsize_t count) {
  return CopyN(dest, destSize, src, count);
}
errno_t wcscat_s(char16_t* dest, rsize_t destSize, const char16_t* src) { return Cat(dest, destSize, src); }
errno_t memcpy_s(void* dest, rsize_t destSize, const void* src, rsize_t count) {
  return MemCopy(dest, destSize, src, count);
}
errno_t memmove_s(void* dest, rsize_t destSize, const void* src, rsize_t count) {
  return MemCopy(dest, destSize, src, count);
}
errno_t wmemcpy_s(char16_t* dest, rsize_t destSize, const char16_t* src, rsize_t count) {
  if (destSize > SIZE_MAX / 2 || count > SIZE_MAX / 2) return Fail(EINVAL);
  return MemCopy(dest, destSize * 2, src, count * 2);
}
errno_t wmemmove_s(char16_t* dest, rsize_t destSize, const char16_t* src, rsize_t count) {
  return wmemcpy_s(dest, destSize, src, count);
}

int vsprintf_s(char* buffer, size_t size, const char* format, va_list args) {
  return Print(buffer, size, 0, /*limited=*/false, format, args);
}
int sprintf_s(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = Print(buffer, size, 0, /*limited=*/false, format, args);
  va_end(args);
  return rc;
}
int _vsnprintf_s(char* buffer, size_t size, size_t count, const char* format, va_list args) {
  return Print(buffer, size, count, /*limited=*/true, format, args);
}
int _snprintf_s(char* buffer, size_t size, size_t count, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = Print(buffer, size, count, /*limited=*/true, format, args);
  va_end(args);
  return rc;
}
int vswprintf_s(char16_t* buffer, size_t size, const char16_t* format, va_list args) {
  return Print(buffer, size, 0, /*limited=*/false, format, args);
}
int swprintf_s(char16_t* buffer, size_t size, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = Print(buffer, size, 0, /*limited=*/false, format, args);
  va_end(args);
  return rc;
}
int _vsnwprintf_s(char16_t* buffer, size_t size, size_t count, const char16_t* format, va_list args) {
  return Print(buffer, size, count, /*limited=*/true, format, args);
}
int _snwprintf_s(char16_t* buffer, size_t size, size_t count, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int rc = Print(buffer, size, count, /*limited=*/true, format, args);
  va_end(args);
  return rc;
}
