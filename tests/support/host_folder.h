// The fixture of tests that run the project's hosts as a user runs them: a
// fresh folder whose registry store has the component registered, files
// written into it and read back. The test target defines FGREGSVR_PATH and
// FARROWGATE_MODULE_PATH.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "fgplatform/test_process.h"
#include "scratch_folder.h"

namespace fgtest {

class HostFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_folder.Path().empty());
    m_dir = m_folder.Path();
    m_env = "FARROWGATE_REGISTRY='" + m_dir + "/registry.db' ";
    std::string out;
    ASSERT_EQ(RunCommand(m_env + FGREGSVR_PATH + " /s " + FARROWGATE_MODULE_PATH, &out), 0) << out;
  }
  // Writes the file `name` of the folder; its path.
  std::string File(const std::string& name, const std::string& text) {
    std::string path = m_dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // The file `name` of the folder; empty when it is missing.
  std::string Read(const std::string& name) {
    std::ifstream in(m_dir + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  ScratchFolder m_folder;
  std::string m_dir;
  std::string m_env;  // the variables that name the folder's store, for command lines
};

}  // namespace fgtest
