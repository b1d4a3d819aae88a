// GetOpenFileNameW: the request is checked and recorded, a backend gives
// the user's answer, and the answer is written back in the documented
// forms.
#include <cstddef>
#include <cstdio>
#include <string>
#include <cstring>
#include <deque>
#include <mutex>

#include "dialog_answers.h"
#include "fgplatform/commdlg.h"
#include "fgplatform/kernel.h"
#include "fgplatform/testing.h"
#include "fgplatform/winerror.h"

namespace {

std::mutex g_lock;
std::deque<fgtest::DialogAnswer> g_answers;
fgtest::DialogRequest g_lastRequest;
thread_local DWORD t_extendedError = 0;

fgtest::DialogRequest Record(const OPENFILENAMEW& ofn) {
  fgtest::DialogRequest r;
  r.lStructSize = ofn.lStructSize;
  r.hwndOwner = ofn.hwndOwner;
  r.hasFilter = ofn.lpstrFilter != nullptr;
  for (const char16_t* p = ofn.lpstrFilter; p != nullptr && *p != 0; p += std::char_traits<char16_t>::length(p) + 1)
    r.filter.push_back(p);
  r.nFilterIndex = ofn.nFilterIndex;
  if (ofn.lpstrFile != nullptr) r.initialFile = ofn.lpstrFile;
  r.nMaxFile = ofn.nMaxFile;
  r.hasInitialDir = ofn.lpstrInitialDir != nullptr;
  if (r.hasInitialDir) r.initialDir = ofn.lpstrInitialDir;
  r.hasTitle = ofn.lpstrTitle != nullptr;
  if (r.hasTitle) r.title = ofn.lpstrTitle;
  r.Flags = ofn.Flags;
  return r;
}

BOOL Fail(DWORD code) {
  t_extendedError = code;
  return FALSE;
}

size_t NameOffset(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? 0 : slash + 1;
}

// Writes the chosen files into the request's buffer.
BOOL WriteAnswer(OPENFILENAMEW& ofn, const fgtest::DialogAnswer& answer) {
  bool several = answer.paths.size() > 1 && (ofn.Flags & OFN_ALLOWMULTISELECT) && (ofn.Flags & OFN_EXPLORER);
  std::u16string block;
  WORD fileOffset = 0, extension = 0;
  if (several) {
    const std::u16string& first = answer.paths[0];
    size_t nameAt = NameOffset(first);
    std::u16string dir = first.substr(0, nameAt > 1 ? nameAt - 1 : nameAt);
    block = dir + u'\0';
    fileOffset = static_cast<WORD>(block.size());
    for (const std::u16string& p : answer.paths) block += p.substr(NameOffset(p)) + u'\0';
  } else {
    const std::u16string& path = answer.paths.empty() ? std::u16string() : answer.paths[0];
    block = path + u'\0';
    fileOffset = static_cast<WORD>(NameOffset(path));
    size_t dot = path.rfind(u'.');
    if (dot != std::u16string::npos && dot >= fileOffset) extension = static_cast<WORD>(dot + 1);
  }
  block += u'\0';  // the list ends with an empty string
  size_t needed = several ? block.size() : block.size() - 1;
  if (ofn.lpstrFile == nullptr || needed > ofn.nMaxFile) {
    if (ofn.lpstrFile != nullptr && ofn.nMaxFile >= 1) {
      WORD size = static_cast<WORD>(needed > 0xFFFF ? 0xFFFF : needed);
      std::memcpy(ofn.lpstrFile, &size, sizeof size);
    }
    return Fail(FNERR_BUFFERTOOSMALL);
  }
  size_t copy = block.size() <= ofn.nMaxFile ? block.size() : needed;
  std::memcpy(ofn.lpstrFile, block.data(), copy * sizeof(char16_t));
  ofn.nFileOffset = fileOffset;
  ofn.nFileExtension = extension;
  if (!(ofn.Flags & OFN_HIDEREADONLY)) {
    if (answer.readOnlyChecked)
      ofn.Flags |= OFN_READONLY;
    else
      ofn.Flags &= ~static_cast<DWORD>(OFN_READONLY);
  }
  return TRUE;
}

}  // namespace

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW lpofn) {
  t_extendedError = 0;
  if (lpofn == nullptr) return Fail(CDERR_INITIALIZATION);
  if (lpofn->lStructSize != OPENFILENAME_SIZE_VERSION_400W && lpofn->lStructSize != sizeof(OPENFILENAMEW))
    return Fail(CDERR_STRUCTSIZE);
  fgtest::DialogAnswer answer;
  bool have = false;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    int calls = g_lastRequest.calls;
    g_lastRequest = Record(*lpofn);
    g_lastRequest.calls = calls + 1;
    if (!g_answers.empty()) {
      answer = g_answers.front();
      g_answers.pop_front();
      have = true;
    }
  }
  fgp::LogDialogRequest(Record(*lpofn));
  if (!have) {
    std::string problem;
    switch (fgp::NextFileAnswer(answer, problem)) {
      case fgp::AnswerSource::Taken:
        break;
      case fgp::AnswerSource::Malformed:
        OutputDebugStringA((problem + "\n").c_str());
        std::fprintf(stderr, "%s\n", problem.c_str());
        return Fail(CDERR_INITIALIZATION);
      case fgp::AnswerSource::None:
        return Fail(CDERR_DIALOGFAILURE);  // no display backend is available
    }
  }
  switch (answer.kind) {
    case fgtest::DialogAnswer::Cancel: return FALSE;
    case fgtest::DialogAnswer::Error: return Fail(answer.error);
    case fgtest::DialogAnswer::Files: return WriteAnswer(*lpofn, answer);
  }
  return FALSE;
}

DWORD WINAPI CommDlgExtendedError() { return t_extendedError; }

HWND WINAPI GetForegroundWindow() { return nullptr; }

namespace fgtest {

void QueueDialogAnswer(const DialogAnswer& answer) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_answers.push_back(answer);
}

DialogRequest LastDialogRequest() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_lastRequest;
}

void ClearDialogs() {
  std::lock_guard<std::mutex> guard(g_lock);
  g_answers.clear();
  g_lastRequest = DialogRequest{};
}

}  // namespace fgtest
