// A host that traces, for the tests that change its settings from another
// process. It prints its process id, then writes a level 1 line in
// traceCOM every 20 ms:
//   trace_host wait    until a line gets through (printed, exit 0), else exit 3 after 10 s
//   trace_host run N   N lines, then exit 0 (whatever happened to its store meanwhile)
//   trace_host fork N  first forks a child that ends normally (its at-exit
//                      clean-up and static destructors run), prints "forked"
//                      once the child has ended, then runs N lines
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fgplatform/testing.h"
#include "trace/trace.h"

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "wait";
  int lines = argc > 2 ? std::atoi(argv[2]) : 500;
  if (lines < 0 || lines > 100000) return 2;
  fgtest::CaptureDebugOutput(/*on=*/true);
  std::printf("pid %u\n", static_cast<unsigned>(getpid()));
  std::fflush(stdout);
  if (mode == "fork") {
    pid_t child = fork();
    if (child == 0) std::exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    std::printf("forked\n");
    std::fflush(stdout);
  }
  for (int i = 0; i < (mode == "wait" ? 500 : lines); ++i) {
    FGTRACE(traceCOM, 1, "tick %d\n", i);
    for (const fgtest::DebugReport& r : fgtest::TakeDebugReports()) {
      if (mode != "wait") continue;
      std::printf("got: %s", r.text.c_str());
      return 0;
    }
    usleep(20000);
  }
  return mode == "wait" ? 3 : 0;
}
