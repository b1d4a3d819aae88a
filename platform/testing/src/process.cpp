#include "fgplatform/test_process.h"

#include <sys/wait.h>

#include <cstdio>

namespace fgtest {

int RunCommand(const std::string& command, std::string* output) {
  std::string line = command + " 2>&1 </dev/null";
  FILE* p = popen(line.c_str(), "r");
  if (p == nullptr) return -1;
  std::string text;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
  int status = pclose(p);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace fgtest
