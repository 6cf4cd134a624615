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
  EXPECT_EQ(S_OK, base::LogIfFailed(S_OK, "Fine"));
  EXPECT_TRUE(base::LogIfFalse(true, "Fine"));
  EXPECT_TRUE(g_lines.empty());

  EXPECT_EQ(E_NOINTERFACE, base::LogIfFailed(E_NOINTERFACE, "QueryInterface"));
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(base::LogIfFalse(false, "DeleteFile"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ASSERT_EQ(2u, g_lines.size());
  EXPECT_EQ(L"kolbri: QueryInterface failed: hr 0x80004002\n", g_lines[0]);
  EXPECT_EQ(L"kolbri: DeleteFile failed: error 0x00000002\n", g_lines[1]);
}

}  // namespace
