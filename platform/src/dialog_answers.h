// The answers file of unattended runs (FARROWGATE_DIALOG_ANSWERS): one
// answer a line, taken in order by each dialog of the process.
//
//   files<TAB>PATH[<TAB>PATH]...    the user chose these files
//   files-readonly<TAB>PATH...      the same, with the read-only box checked
//   cancel                          the user cancelled
//   error CODE                      the dialog failed (decimal or 0x...)
//
// Empty lines and lines starting with "#" are skipped. Several files are in
// one folder; a path is absolute, holds no NUL byte and has at most 32,767
// characters; a line has at most 1 MiB; codes are decimal or 0x hexadecimal.
// A line breaking these rules is malformed, and so is an answers file that
// is not a regular file; the complaint shows the line's start, with control
// bytes escaped. When the answers are
// used up, the dialog is cancelled; a file written anew starts again from
// its first answer (seen by its inode, modification time and size, so a
// rewrite to the same size within one tick of the file system's clock is
// not seen: write a new file instead). Each request is appended in a
// readable form to FARROWGATE_DIALOG_LOG when that is set. Answers naming
// files are checked as the dialog would check what the user typed: with
// OFN_FILEMUSTEXIST a missing file, and with it or OFN_PATHMUSTEXIST a
// missing folder, is refused on the debug output and the next answer is
// taken as the user's next try.
#pragma once

#include <string>

#include "fgplatform/commdlg.h"
#include "fgplatform/dialog_record.h"

namespace fgp {

enum class AnswerSource { None, Taken, Malformed };

// Takes the next answer of the answers file, when one is configured.
AnswerSource NextFileAnswer(fgp::DialogAnswer& out, std::string& problem);
void LogDialogRequest(const fgp::DialogRequest& request);

}  // namespace fgp
