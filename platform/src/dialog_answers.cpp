#include "dialog_answers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <vector>

#include "codepage.h"

namespace fgp {

namespace {

std::mutex g_lock;
std::string g_file;  // the answers file (path, inode, change time, size) the position belongs to
size_t g_next = 0;   // the next answer line to take

// Bounds on what one answers file may hold: a line, and a path (the
// longest path the platform's calls accept).
constexpr size_t kMaxLine = 1 << 20;
constexpr size_t kMaxPathChars = 32767;
// How much of a refused line the complaint shows.
constexpr size_t kShownChars = 120;

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

std::string FolderOf(const std::u16string& path) { return WideToUtf8(path.substr(0, path.rfind(u'/') + 1)); }

// Reads one line without its end; of a line longer than kMaxLine only the
// first kMaxLine + 1 bytes are kept, so that it is refused without holding
// all of it. False at the end of the file.
bool ReadBoundedLine(FILE* in, std::string& line) {
  line.clear();
  bool any = false;
  for (int c; (c = std::getc(in)) != EOF;) {
    any = true;
    if (c == '\n') return true;
    if (line.size() <= kMaxLine) line.push_back(static_cast<char>(c));
  }
  return any;
}

// A path as a user could have chosen it: absolute, without NUL bytes, and
// not longer than the platform's longest path.
bool TakePath(const std::string& field, std::vector<std::u16string>& paths) {
  if (field.empty() || field[0] != '/' || field.find('\0') != std::string::npos) return false;
  std::u16string wide = Utf8ToWide(field);
  if (wide.size() > kMaxPathChars) return false;
  paths.push_back(std::move(wide));
  return true;
}

// The part of a refused line the complaint shows: its start, with control
// bytes escaped.
std::string Shown(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size() && i < kShownChars; ++i) {
    auto c = static_cast<unsigned char>(line[i]);
    if (c >= 0x20 && c != 0x7F) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    out += escaped;
  }
  if (line.size() > kMaxLine)
    out += "... (longer than " + std::to_string(kMaxLine) + " bytes)";
  else if (line.size() > kShownChars)
    out += "... (" + std::to_string(line.size()) + " bytes)";
  return out;
}

// An error code: decimal, or hexadecimal after 0x.
bool ParseCode(const std::string& text, unsigned long& code) {
  bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
  const char* start = text.c_str() + (hex ? 2 : 0);
  if (*start == '\0' || *start == '-' || *start == '+' || std::isspace(static_cast<unsigned char>(*start))) return false;
  char* end = nullptr;
  code = std::strtoul(start, &end, hex ? 16 : 10);
  return *end == '\0' && code != 0 && code <= 0xFFFF;
}

bool ParseLine(const std::string& raw, fgp::DialogAnswer& out) {
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields = Split(line, '\t');
  if (line == "cancel") {
    out.kind = fgp::DialogAnswer::Cancel;
    return true;
  }
  if (line.rfind("error ", 0) == 0) {
    unsigned long code = 0;
    if (!ParseCode(line.substr(6), code)) return false;
    out.kind = fgp::DialogAnswer::Error;
    out.error = static_cast<DWORD>(code);
    return true;
  }
  if (fields.size() < 2 || (fields[0] != "files" && fields[0] != "files-readonly")) return false;
  out.kind = fgp::DialogAnswer::Files;
  out.readOnlyChecked = fields[0] == "files-readonly";
  for (size_t i = 1; i < fields.size(); ++i)
    if (!TakePath(fields[i], out.paths)) return false;
  // Several files are chosen in one folder: the result names it once.
  for (const std::u16string& path : out.paths)
    if (FolderOf(path) != FolderOf(out.paths[0])) return false;
  return true;
}

// The next answer of the file; the file's lines up to it are read again
// each time, so that a file may grow while a program runs.
AnswerSource TakeAnswer(FILE* in, const char* path, fgp::DialogAnswer& out, std::string& problem) {
  size_t answer = 0;
  int lineNumber = 0;
  for (std::string line; ReadBoundedLine(in, line);) {
    ++lineNumber;
    if (line.empty() || line == "\r" || line[0] == '#') continue;
    if (answer++ < g_next) continue;
    fgp::DialogAnswer parsed;
    if (line.size() > kMaxLine || !ParseLine(line, parsed)) {
      problem = std::string("dialog answers ") + path + ":" + std::to_string(lineNumber) +
                ": expected 'files<TAB>PATH...' (full paths in one folder), 'files-readonly<TAB>PATH...', "
                "'cancel' or 'error CODE', found '" + Shown(line) + "'";
      return AnswerSource::Malformed;
    }
    ++g_next;
    out = parsed;
    return AnswerSource::Taken;
  }
  out = fgp::DialogAnswer{};  // used up: the user closes the dialog
  return AnswerSource::Taken;
}

}  // namespace

AnswerSource NextFileAnswer(fgp::DialogAnswer& out, std::string& problem) {
  const char* path = std::getenv("FARROWGATE_DIALOG_ANSWERS");
  if (path == nullptr || *path == '\0') return AnswerSource::None;
  std::lock_guard<std::mutex> guard(g_lock);
  // Opened without blocking (a FIFO would wait for a writer) and read only
  // when it is a regular file.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = std::string("dialog answers: cannot read ") + path + (fd >= 0 ? ": not a regular file" : "");
    if (fd >= 0) close(fd);
    return AnswerSource::Malformed;
  }
  FILE* in = fdopen(fd, "rb");
  if (in == nullptr) {
    close(fd);
    problem = std::string("dialog answers: cannot read ") + path;
    return AnswerSource::Malformed;
  }
  // A file written anew starts from its first answer.
  std::string identity = std::string(path) + "|" + std::to_string(st.st_ino) + "|" +
                         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "|" +
                         std::to_string(st.st_size);
  if (g_file != identity) {
    g_file = identity;
    g_next = 0;
  }
  AnswerSource source = TakeAnswer(in, path, out, problem);
  std::fclose(in);
  return source;
}

void LogDialogRequest(const fgp::DialogRequest& r) {
  const char* path = std::getenv("FARROWGATE_DIALOG_LOG");
  if (path == nullptr || *path == '\0') return;
  std::string text = "dialog request\n";
  text += "  title: " + (r.hasTitle ? "\"" + WideToUtf8(r.title) + "\"" : std::string("(the platform's caption)")) + "\n";
  text += "  filter:";
  if (!r.hasFilter) text += " (none)";
  for (size_t i = 0; i < r.filter.size(); i += 2)
    text += " \"" + WideToUtf8(r.filter[i]) + "\" = \"" + (i + 1 < r.filter.size() ? WideToUtf8(r.filter[i + 1]) : "") + "\";";
  text += "\n  filter index: " + std::to_string(r.nFilterIndex) + "\n";
  text += "  initial name: \"" + WideToUtf8(r.initialFile) + "\"\n";
  text += "  initial directory: " + (r.hasInitialDir ? "\"" + WideToUtf8(r.initialDir) + "\"" : std::string("(none)")) + "\n";
  char flags[16];
  std::snprintf(flags, sizeof flags, "0x%08X", r.Flags);
  text += std::string("  flags: ") + flags + "\n";
  if (FILE* f = std::fopen(path, "ab")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

}  // namespace fgp
