#include "base/diag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;
void Capture(const wchar_t* line) { g_lines.emplace_back(line); }

struct DiagTest : ::testing::Test {
  void SetUp() override {
    g_lines.clear();
    base::SetDiagSink(&Capture);
  }
  void TearDown() override { base::SetDiagSink(nullptr); }
};

TEST_F(DiagTest, FailuresLeaveOneLineAndTheLastErrorStays) {
  EXPECT_EQ(S_OK, KOLBRI_LOG_IF_FAILED(S_OK));
  EXPECT_TRUE(KOLBRI_LOG_IF_FALSE(true));
  EXPECT_TRUE(g_lines.empty());

  // Each line names the expression and where it is written.
  const int line = __LINE__ + 1;
  EXPECT_EQ(E_NOINTERFACE, KOLBRI_LOG_IF_FAILED(E_NOINTERFACE));
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(KOLBRI_LOG_IF_FALSE(FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ASSERT_EQ(2u, g_lines.size());
  EXPECT_EQ(L"kolbri: base/diag_test.cpp:" + std::to_wstring(line) +
                L": E_NOINTERFACE failed: hr 0x80004002\n",
            g_lines[0]);
  EXPECT_EQ(L"kolbri: base/diag_test.cpp:" + std::to_wstring(line + 2) +
                L": FALSE failed: error 0x00000002\n",
            g_lines[1]);
}

}  // namespace
