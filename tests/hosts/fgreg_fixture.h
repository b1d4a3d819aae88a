// The registry tool run as a user runs it, against a store of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "fgplatform/test_process.h"

class Fgreg : public ::testing::Test {
 protected:
  // The store in a folder of the test's own: the registry refuses a store
  // in a folder others may write, such as /tmp itself.
  void SetUp() override {
    char folder[] = "/tmp/fgreg-tool-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    m_folder = folder;
    m_store = m_folder + "/registry.db";
  }
  void TearDown() override { (void)fgtest::RunCommand("rm -rf '" + m_folder + "'"); }
  // Runs fgreg with the arguments; answers its exit status and fills its
  // output (standard output and error together).
  int Run(const std::string& args, std::string* output = nullptr) {
    return fgtest::RunCommand(std::string(FGREG_PATH) + " --registry " + m_store + " " + args, output);
  }
  std::string m_folder;
  std::string m_store;
};
