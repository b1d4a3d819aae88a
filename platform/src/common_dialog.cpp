// GetOpenFileNameW: the request is checked and recorded, a backend gives
// the user's answer, and the answer is written back in the documented
// forms.
#include <sys/stat.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "codepage.h"
#include "common_dialog.h"
#include "dialog_answers.h"
#include "file_chooser.h"
#include "fgplatform/commdlg.h"
#include "fgplatform/kernel.h"
#include "fgplatform/winerror.h"

namespace {

std::mutex g_lock;
std::deque<fgp::DialogAnswer> g_answers;
fgp::DialogRequest g_lastRequest;
thread_local DWORD t_extendedError = 0;

fgp::DialogRequest Record(const OPENFILENAMEW& ofn) {
  fgp::DialogRequest r;
  r.lStructSize = ofn.lStructSize;
  r.hwndOwner = ofn.hwndOwner;
  r.hasFilter = ofn.lpstrFilter != nullptr;
  for (const char16_t* p = ofn.lpstrFilter; p != nullptr && *p != 0; p += std::char_traits<char16_t>::length(p) + 1)
    r.filter.push_back(p);
  r.nFilterIndex = ofn.nFilterIndex;
  // The initial name is read within nMaxFile: after FNERR_BUFFERTOOSMALL
  // the buffer may hold the needed size and no terminator.
  for (DWORD i = 0; ofn.lpstrFile != nullptr && i < ofn.nMaxFile && ofn.lpstrFile[i] != 0; ++i)
    r.initialFile.push_back(ofn.lpstrFile[i]);
  r.nMaxFile = ofn.nMaxFile;
  r.hasInitialDir = ofn.lpstrInitialDir != nullptr;
  if (r.hasInitialDir) r.initialDir = ofn.lpstrInitialDir;
  r.hasTitle = ofn.lpstrTitle != nullptr;
  if (r.hasTitle) r.title = ofn.lpstrTitle;
  r.Flags = ofn.Flags;
  return r;
}

[[nodiscard]] BOOL Fail(DWORD code) {
  t_extendedError = code;
  return FALSE;
}

size_t NameOffset(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? 0 : slash + 1;
}

// Whether every path is in the folder of the first.
bool InOneFolder(const std::vector<std::u16string>& paths) {
  std::u16string folder = paths[0].substr(0, NameOffset(paths[0]));
  for (const std::u16string& p : paths)
    if (p.substr(0, NameOffset(p)) != folder) return false;
  return true;
}

// Writes the chosen files into the request's buffer. Several files must
// share a folder, which the result names once; offsets that do not fit
// their 16-bit fields make the name invalid.
// The chosen file's name and extension, without its path (of several, the
// first), into lpstrFileTitle when there is one: cut to fit, terminated.
void WriteFileTitle(OPENFILENAMEW& ofn, const fgp::DialogAnswer& answer) {
  if (ofn.lpstrFileTitle == nullptr || ofn.nMaxFileTitle == 0 || answer.paths.empty()) return;
  const std::u16string& path = answer.paths[0];
  std::u16string title = path.substr(NameOffset(path));
  size_t length = title.size() < ofn.nMaxFileTitle ? title.size() : ofn.nMaxFileTitle - 1;
  std::memcpy(ofn.lpstrFileTitle, title.data(), length * sizeof(char16_t));
  ofn.lpstrFileTitle[length] = u'\0';
}

[[nodiscard]] BOOL WriteAnswer(OPENFILENAMEW& ofn, const fgp::DialogAnswer& answer) {
  bool several = answer.paths.size() > 1 && (ofn.Flags & OFN_ALLOWMULTISELECT) && (ofn.Flags & OFN_EXPLORER);
  if (several && !InOneFolder(answer.paths)) return Fail(FNERR_INVALIDFILENAME);
  std::u16string block;
  WORD fileOffset = 0, extension = 0;
  if (several) {
    const std::u16string& first = answer.paths[0];
    size_t nameAt = NameOffset(first);
    std::u16string dir = first.substr(0, nameAt > 1 ? nameAt - 1 : nameAt);
    block = dir + u'\0';
    if (block.size() > 0xFFFF) return Fail(FNERR_INVALIDFILENAME);
    fileOffset = static_cast<WORD>(block.size());
    for (const std::u16string& p : answer.paths) block += p.substr(NameOffset(p)) + u'\0';
  } else {
    const std::u16string& path = answer.paths.empty() ? std::u16string() : answer.paths[0];
    block = path + u'\0';
    size_t dot = path.rfind(u'.');
    size_t extensionAt = dot != std::u16string::npos && dot >= NameOffset(path) ? dot + 1 : 0;
    if (NameOffset(path) > 0xFFFF || extensionAt > 0xFFFF) return Fail(FNERR_INVALIDFILENAME);
    fileOffset = static_cast<WORD>(NameOffset(path));
    extension = static_cast<WORD>(extensionAt);
  }
  block += u'\0';  // the list ends with an empty string
  // In multi-select mode the reader walks the list to its empty string, so
  // that terminator must fit too, also for a single file.
  bool multiSelect = (ofn.Flags & OFN_ALLOWMULTISELECT) && (ofn.Flags & OFN_EXPLORER);
  size_t needed = multiSelect ? block.size() : block.size() - 1;
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
  WriteFileTitle(ofn, answer);
  if (answer.filterIndex != 0) ofn.nFilterIndex = answer.filterIndex;
  if (!(ofn.Flags & OFN_HIDEREADONLY)) {
    if (answer.readOnlyChecked)
      ofn.Flags |= OFN_READONLY;
    else
      ofn.Flags &= ~static_cast<DWORD>(OFN_READONLY);
  }
  return TRUE;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why the dialog would refuse the answer's files and stay open, or an empty
// text when it takes them: a folder is never a file to open (the dialog
// opens the folder instead); OFN_FILEMUSTEXIST wants each file, and it or
// OFN_PATHMUSTEXIST each file's folder, to exist.
std::string Refusal(const fgp::DialogAnswer& answer, DWORD flags) {
  if (answer.kind != fgp::DialogAnswer::Files) return std::string();
  for (const std::u16string& wide : answer.paths) {
    std::string path = fgp::WideToUtf8(wide);
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    if (IsFolder(path)) return path + ": a folder, not a file";
    if ((flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !IsFolder(folder))
      return path + ": the path does not exist";
    if ((flags & OFN_FILEMUSTEXIST) && stat(path.c_str(), &st) != 0) return path + ": file not found";
  }
  return std::string();
}

// Takes the next answer of the answers file, else asks the user through the
// display; false with the extended error when neither can answer.
[[nodiscard]] bool AskUser(const fgp::DialogRequest& request, fgp::DialogAnswer& answer, DWORD& failure) {
  for (;;) {
    std::string problem;
    switch (fgp::NextFileAnswer(answer, problem)) {
      case fgp::AnswerSource::Taken:
        problem = Refusal(answer, request.Flags);
        if (problem.empty()) return true;
        // The dialog would say so and stay open: the next answer is the next try.
        OutputDebugStringA(("dialog answers: " + problem + "; the dialog stays open\n").c_str());
        continue;
      case fgp::AnswerSource::Malformed:
        OutputDebugStringA((problem + "\n").c_str());
        std::fprintf(stderr, "%s\n", problem.c_str());
        failure = CDERR_INITIALIZATION;
        return false;
      case fgp::AnswerSource::None:
        break;
    }
    break;
  }
  if (fgp::RunFileChooser(request, answer)) return true;
  failure = CDERR_DIALOGFAILURE;  // no display backend is available
  return false;
}

// Keeps the request for the test controls and takes the answer they
// queued, if any.
[[nodiscard]] bool TakeQueuedAnswer(const fgp::DialogRequest& request, fgp::DialogAnswer& answer) {
  std::lock_guard<std::mutex> guard(g_lock);
  int calls = g_lastRequest.calls;
  g_lastRequest = request;
  g_lastRequest.calls = calls + 1;
  if (g_answers.empty()) return false;
  answer = g_answers.front();
  g_answers.pop_front();
  return true;
}

}  // namespace

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW lpofn) {
  t_extendedError = 0;
  if (lpofn == nullptr) return Fail(CDERR_INITIALIZATION);
  if (lpofn->lStructSize != OPENFILENAME_SIZE_VERSION_400W && lpofn->lStructSize != sizeof(OPENFILENAMEW))
    return Fail(CDERR_STRUCTSIZE);
  fgp::DialogRequest request = Record(*lpofn);
  fgp::DialogAnswer answer;
  bool queued = TakeQueuedAnswer(request, answer);
  fgp::LogDialogRequest(request);
  DWORD failure = 0;
  if (!queued && !AskUser(request, answer, failure)) return Fail(failure);
  switch (answer.kind) {
    case fgp::DialogAnswer::Cancel: return FALSE;
    case fgp::DialogAnswer::Error: return Fail(answer.error);
    case fgp::DialogAnswer::Files: return WriteAnswer(*lpofn, answer);
  }
  return FALSE;
}

DWORD WINAPI CommDlgExtendedError() { return t_extendedError; }

HWND WINAPI GetForegroundWindow() { return nullptr; }

namespace fgp {

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

}  // namespace fgp
