#include "fgplatform/test_baseline.h"

#include "fgplatform/crt.h"

namespace fgtest {

void BaselineTest::SetUp() {
  Reset();
  CaptureDebugOutput(/*on=*/true);
  m_before = Live();
  EXPECT_FALSE(ErrorObjectOnThread()) << "an earlier test left an error object on the thread";
}

std::vector<DebugReport> BaselineTest::Reports() {
  for (DebugReport& r : TakeDebugReports()) m_reports.push_back(std::move(r));
  return m_reports;
}

std::vector<std::string> BaselineTest::TraceLines() {
  std::vector<std::string> lines;
  for (const DebugReport& r : Reports())
    if (r.type == _CRT_WARN) lines.push_back(r.text);
  return lines;
}

std::string BaselineTest::Output() {
  m_output += TakeDebugOutput();
  return m_output;
}

void BaselineTest::TearDown() {
  ClearFaults();
  LiveCounts after = Live();
  EXPECT_EQ(m_before.heapBlocks, after.heapBlocks) << "heap blocks left alive";
  EXPECT_EQ(m_before.privateHeaps, after.privateHeaps) << "private heaps left alive";
  EXPECT_EQ(m_before.taskBlocks, after.taskBlocks) << "task memory left alive";
  EXPECT_EQ(m_before.systemStrings, after.systemStrings) << "system strings left alive";
  EXPECT_EQ(m_before.arrays, after.arrays) << "arrays left alive";
  EXPECT_EQ(m_before.criticalSections, after.criticalSections) << "critical sections not deleted";
  EXPECT_EQ(m_before.modules, after.modules) << "modules left loaded";
  EXPECT_EQ(m_before.registryHandles, after.registryHandles) << "registry keys left open";
  EXPECT_FALSE(ErrorObjectOnThread()) << "an error object left on the thread";
  // Warnings are trace lines, which tests check where they matter; an
  // assertion or error report that the test did not take is a failure.
  for (const DebugReport& r : TakeDebugReports())
    if (r.type != _CRT_WARN) ADD_FAILURE() << "unexpected debug report: " << r.file << "(" << r.line << "): " << r.text;
  Reset();
}

}  // namespace fgtest
