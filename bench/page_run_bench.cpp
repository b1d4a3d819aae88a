// The page host as a user meets it: fgpage opening a page that picks two
// files answered from a file and closes, start to exit, against fgpage
// opening a page that closes at once (the host's own start and end), in
// the same run. Needs a display (scripts/bench runs it under Xvfb).
#include <cstdlib>
#include <fstream>
#include <string>

#include "host_run.h"
#include "ratio_reporter.h"

namespace {

std::string Dir() {
  static std::string dir = [] {
    std::string d = RegisteredScratchFolder("fg-page-run-bench");
    if (d.empty()) return d;
    std::ofstream(d + "/empty.html") << "<!doctype html><script>window.close();</script>\n";
    std::ofstream(d + "/pick.html")
        << "<!doctype html><script>\nvar o = new ActiveXObject('Farrowgate.DialogHelper');\no.MultiSelect = true;\n"
           "if (o.OpenDialog()) console.log(o.FileName, new VBArray(o.FileNames).toArray().length);\n"
           "window.close();\n</script>\n";
    std::ofstream(d + "/answers.txt") << "files\t/etc/hostname\t/etc/hosts\n";
    return d;
  }();
  return dir;
}

void RunPage(benchmark::State& state, const char* page) {
  if (std::getenv("DISPLAY") == nullptr) return state.SkipWithError("no display: run it under xvfb-run");
  RunHost(state, Dir(), std::string(FGPAGE_PATH) + " --console " + Dir() + "/" + page);
}

void BaselineClosingPage(benchmark::State& state) { RunPage(state, "empty.html"); }
// A few runs each: the parent's CPU time, which would set the count, is
// nearly nothing.
BENCHMARK(BaselineClosingPage)->Unit(benchmark::kMillisecond)->Iterations(5);

void PickFromAPage(benchmark::State& state) { RunPage(state, "pick.html"); }
BENCHMARK(PickFromAPage)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

FG_BENCHMARK_MAIN("BaselineClosingPage")
