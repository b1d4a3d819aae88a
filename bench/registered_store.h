// A scratch folder for the benchmarks that run the hosts as a user runs
// them: the component is registered in a registry store of its own there.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

// The folder /tmp/NAME-PID with registry.db holding the registered
// component; empty when registration failed.
inline std::string RegisteredScratchFolder(const std::string& name) {
  std::string folder = "/tmp/" + name + "-" + std::to_string(getpid());
  std::string setup = "mkdir -p " + folder + " && FARROWGATE_REGISTRY=" + folder + "/registry.db " + FGREGSVR_PATH +
                      " /s " + FARROWGATE_MODULE_PATH;
  return std::system(setup.c_str()) == 0 ? folder : std::string();
}
