// The registry tool run as a user runs it, against a store of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fgplatform/test_process.h"
#include "scratch_folder.h"

class Fgreg : public ::testing::Test {
 protected:
  // The store in a folder of the test's own: the registry refuses a store
  // in a folder others may write, such as /tmp itself.
  void SetUp() override {
    ASSERT_FALSE(m_scratch.Path().empty());
    m_folder = m_scratch.Path();
    m_store = m_folder + "/registry.db";
  }
  // Runs fgreg with the arguments; answers its exit status and fills its
  // output (standard output and error together).
  int Run(const std::string& args, std::string* output = nullptr) {
    return fgtest::RunCommand(std::string(FGREG_PATH) + " --registry " + m_store + " " + args, output);
  }
  // In /tmp, not in the run's TMPDIR: a test plays another user, who must
  // reach the store.
  fgtest::ScratchFolder m_scratch{"/tmp"};
  std::string m_folder;
  std::string m_store;
};
