#include "dialog_answers.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "codepage.h"

namespace fgp {

namespace {

std::mutex g_lock;
std::string g_file;  // the answers file (path, inode, change time, size) the position belongs to
size_t g_next = 0;   // the next answer line to take

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
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
    char* end = nullptr;
    unsigned long code = std::strtoul(line.c_str() + 6, &end, 0);
    if (end == line.c_str() + 6 || *end != '\0' || code == 0 || code > 0xFFFF) return false;
    out.kind = fgp::DialogAnswer::Error;
    out.error = static_cast<DWORD>(code);
    return true;
  }
  if (fields.size() < 2 || (fields[0] != "files" && fields[0] != "files-readonly")) return false;
  out.kind = fgp::DialogAnswer::Files;
  out.readOnlyChecked = fields[0] == "files-readonly";
  for (size_t i = 1; i < fields.size(); ++i) {
    if (fields[i].empty() || fields[i][0] != '/') return false;  // full paths only
    out.paths.push_back(Utf8ToWide(fields[i]));
  }
  return true;
}

}  // namespace

AnswerSource NextFileAnswer(fgp::DialogAnswer& out, std::string& problem) {
  const char* path = std::getenv("FARROWGATE_DIALOG_ANSWERS");
  if (path == nullptr || *path == '\0') return AnswerSource::None;
  std::lock_guard<std::mutex> guard(g_lock);
  // A file written anew starts from its first answer.
  struct stat st {};
  stat(path, &st);
  std::string identity = std::string(path) + "|" + std::to_string(st.st_ino) + "|" +
                         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "|" +
                         std::to_string(st.st_size);
  if (g_file != identity) {
    g_file = identity;
    g_next = 0;
  }
  std::ifstream in(path);
  if (!in) {
    problem = std::string("dialog answers: cannot read ") + path;
    return AnswerSource::Malformed;
  }
  size_t answer = 0;
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (line.empty() || line == "\r" || line[0] == '#') continue;
    if (answer++ < g_next) continue;
    fgp::DialogAnswer parsed;
    if (!ParseLine(line, parsed)) {
      problem = std::string("dialog answers ") + path + ":" + std::to_string(lineNumber) +
                ": expected 'files<TAB>PATH...', 'files-readonly<TAB>PATH...', 'cancel' or 'error CODE', found '" +
                line + "'";
      return AnswerSource::Malformed;
    }
    ++g_next;
    out = parsed;
    return AnswerSource::Taken;
  }
  out = fgp::DialogAnswer{};  // used up: the user closes the dialog
  return AnswerSource::Taken;
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
