// OpenDialog: the object's settings become an open-file request; the
// user's choice becomes FileName and FileNames. ReportDialogFailure tells a
// cancelled dialog from a failed one and reports the failure.
#include <cstring>
#include <utility>

#include "dialog/dialog_helper.h"
#include "dialog/dialog_messages.h"
#include "frame/com_error.h"
#include "frame/guarded_call.h"
#include "holders/comvalue.h"
#include "holders/counted_string.h"
#include "holders/shared_string.h"

namespace {

constexpr DWORD kNameChars = 1024;
constexpr DWORD kMultiSelectFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT |
                                    OFN_HIDEREADONLY;  // 0x00081A04
constexpr DWORD kSingleSelectFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST;  // 0x00081000

// Gives the filter copy one more null character after its terminator, so
// that a filter not ending in "|" still ends the list with an empty string.
void AddListTerminator(CSharedString& copy) {
  BSTR& text = copy.SystemString();
  if (text == nullptr) return;
  if (!SysReAllocStringLen(&text, text, SysStringLen(text) + 1)) IssueComError(E_OUTOFMEMORY);
}

// The path of a chosen file: the directory, the separator, the name.
CSharedString FullPath(const CSharedString& directory, const OLECHAR* name) {
  CSharedString path(directory);
  UINT length = directory.Length();
  if (length == 0 || directory.Text()[length - 1] != u'/') path.Append(CSharedString(u"/"));
  path.Append(CSharedString(name));
  return path;
}

// Appends one path to the array as a copied system string; E_OUTOFMEMORY
// (or the array's code) when it cannot, the array then as it was.
[[nodiscard]] HRESULT AddPath(CComValueArray& names, const OLECHAR* path) {
  CComValue value(path);
  HRESULT hr = names.Add(value);
  value.Clear();
  return hr;
}

// The length of the string at `p`, never looking at or past `end`; a
// string without a terminator before `end` counts up to `end`.
size_t LengthWithin(const OLECHAR* p, const OLECHAR* end) {
  size_t n = 0;
  while (p + n < end && p[n] != 0) ++n;
  return n;
}

}  // namespace

STDMETHODIMP CDialogHelper::OpenDialog(VARIANT_BOOL* result) {
  HRESULT hr = GuardedCall([&] { return RunOpenDialog(result); });
  // A call that failed, for whatever reason, chose nothing.
  if (FAILED(hr) && result != nullptr) *result = VARIANT_FALSE;
  return hr;
}

HRESULT CDialogHelper::RunOpenDialog(VARIANT_BOOL* result) {
  OPENFILENAMEW ofn;
  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = GetForegroundWindow();

  CSharedString filter(static_cast<BSTR>(m_bstrFilter));
  if (m_bstrFilter.NotEqualsNarrow("")) {
    for (OLECHAR* p = filter.SystemString(); *p != 0; ++p)
      if (*p == u'|') *p = 0;
  }
  AddListTerminator(filter);

  WCHAR name[kNameChars];
  BSTR initial = m_bstrFileName;
  DWORD copied = 0;
  while (initial != nullptr && copied < kNameChars - 1 && copied < SysStringLen(initial) && initial[copied] != 0) {
    name[copied] = initial[copied];
    ++copied;
  }
  name[copied] = 0;

  ofn.lpstrFilter = filter.Text();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name;
  ofn.nMaxFile = kNameChars;
  ofn.lpstrInitialDir = nullptr;
  ofn.lpstrTitle = m_bstrTitle;
  ofn.Flags = m_bMultiSelect != 0 ? kMultiSelectFlags : kSingleSelectFlags;

  BOOL chosen = GetOpenFileNameW(&ofn);
  *result = chosen ? VARIANT_TRUE : VARIANT_FALSE;
  if (!chosen) {
    (void)m_FileNames.Destroy();  // a cancelled or failed dialog leaves no array, whatever the destruction answers
    return ReportDialogFailure();
  }

  return StoreChoice(name, name + kNameChars);
}

// Reads the filled name buffer, one full path or (multi-select) the
// directory and each name, never past `end`. The new FileName and FileNames
// are built aside and take their places only when both are complete, so a
// failure leaves both as they were before the call.
HRESULT CDialogHelper::StoreChoice(OLECHAR* name, const OLECHAR* end) {
  // Whatever the platform wrote, every string that starts inside the
  // buffer ends inside it.
  name[end - name - 1] = 0;
  size_t firstLength = LengthWithin(name, end);
  CSharedString accumulator(name);
  CSharedString directory(name);
  CComValueArray names;
  const OLECHAR* next = name + firstLength + 1;
  if (m_bMultiSelect != 0 && firstLength != 0 && next < end && *next != 0) {
    for (size_t length; next < end && (length = LengthWithin(next, end)) != 0; next += length + 1) {
      accumulator.Append(CSharedString(u"|"));
      accumulator.Append(CSharedString(next));
      if (HRESULT hr = AddPath(names, FullPath(directory, next).Text()); FAILED(hr)) return hr;
    }
  } else if (HRESULT hr = AddPath(names, accumulator.Text()); FAILED(hr)) {
    return hr;
  }
  CComString fileName;
  fileName.Assign(accumulator.Text());
  std::swap(m_FileNames.m_psa, names.m_psa);  // the old array goes with `names`
  m_bstrFileName.Attach(fileName.Detach());
  return S_OK;
}

HRESULT CDialogHelper::ReportDialogFailure() {
  DWORD code = CommDlgExtendedError();
  CCountedString message;
  if (const WCHAR* text = DialogFailureMessage(code)) message = text;
  if (code == 0) return S_OK;
  WCHAR codeText[200];
  std::memset(codeText, 0, sizeof codeText);
  swprintf_s(codeText, 200, u"ErrorCode:%d", static_cast<int>(code));
  message += codeText;
  return ReportError(message.Text(), GUID_NULL, 0);
}
