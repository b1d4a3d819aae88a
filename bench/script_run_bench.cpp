// The main job as a user meets it: fgscript running a pick of two files
// answered from a file, start to exit, against fgscript running an empty
// script, in the same run. The component is registered in a store of the
// benchmark's own.
#include <fstream>
#include <string>

#include "host_run.h"
#include "ratio_reporter.h"

namespace {

std::string Dir() {
  static std::string dir = [] {
    std::string d = RegisteredScratchFolder("fg-script-run-bench");
    if (d.empty()) return d;
    std::ofstream(d + "/empty.js") << "";
    std::ofstream(d + "/pick.js")
        << "var o = new ActiveXObject('Farrowgate.DialogHelper');\no.MultiSelect = true;\n"
           "if (o.OpenDialog()) { var n = new VBArray(o.FileNames).toArray(); WScript.Echo(o.FileName, n.length); }\n";
    std::ofstream(d + "/answers.txt") << "files\t/etc/hostname\t/etc/hosts\n";
    return d;
  }();
  return dir;
}

void RunScript(benchmark::State& state, const char* script) {
  RunHost(state, Dir(), std::string(FGSCRIPT_PATH) + " //nologo " + Dir() + "/" + script);
}

void BaselineEmptyScript(benchmark::State& state) { RunScript(state, "empty.js"); }
BENCHMARK(BaselineEmptyScript)->Unit(benchmark::kMillisecond);

void PickWithTheAnswersFile(benchmark::State& state) { RunScript(state, "pick.js"); }
BENCHMARK(PickWithTheAnswersFile)->Unit(benchmark::kMillisecond);

}  // namespace

FG_BENCHMARK_MAIN("BaselineEmptyScript")
