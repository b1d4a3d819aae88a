// A GoogleTest fixture that proves each test leaves the platform as it
// found it: no live blocks, strings, arrays or critical sections, no module
// still loaded and no registry key still open, no error object left on the
// thread, no fault armed, no assertion report it did not take.
#pragma once

#include <gtest/gtest.h>

#include "fgplatform/testing.h"

namespace fgtest {

class BaselineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Reports taken so far; a test that expects none calls nothing.
  std::vector<DebugReport> Reports();
  std::string Output();
  // The texts of the warning reports taken so far: the trace lines.
  std::vector<std::string> TraceLines();

 private:
  LiveCounts m_before{};
  std::vector<DebugReport> m_reports;
  std::string m_output;
};

}  // namespace fgtest
