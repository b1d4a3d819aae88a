// The main job as a user meets it: fgscript running a pick of two files
// answered from a file, start to exit, against fgscript running an empty
// script, in the same run. The component is registered in a store of the
// benchmark's own.
#include <cstdlib>
#include <fstream>
#include <string>

#include "ratio_reporter.h"
#include "registered_store.h"

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
  std::string dir = Dir();
  if (dir.empty()) return state.SkipWithError("the component could not be registered");
  std::string command = "FARROWGATE_REGISTRY=" + dir + "/registry.db FARROWGATE_DIALOG_ANSWERS=" + dir +
                        "/answers.txt " + FGSCRIPT_PATH + " //nologo " + dir + "/" + script + " >/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) == 0) continue;
    state.SkipWithError("fgscript failed");
    break;
  }
}

void BaselineEmptyScript(benchmark::State& state) { RunScript(state, "empty.js"); }
BENCHMARK(BaselineEmptyScript)->Unit(benchmark::kMillisecond);

void PickWithTheAnswersFile(benchmark::State& state) { RunScript(state, "pick.js"); }
BENCHMARK(PickWithTheAnswersFile)->Unit(benchmark::kMillisecond);

}  // namespace

FG_BENCHMARK_MAIN("BaselineEmptyScript")
