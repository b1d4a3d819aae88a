// Running a program of the project as a user runs it, from a test.
#pragma once

#include <string>

namespace fgtest {

// Runs a shell command line; answers the exit status (-1 when it did not
// exit normally) and fills `output` with its standard output and error
// together (when given).
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace fgtest
