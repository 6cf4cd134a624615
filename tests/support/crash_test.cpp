// Crashes on purpose: ctest must report this program as failed (it is marked
// WILL_FAIL, so the suite stays green only while a crash counts as a failure).
#include <gtest/gtest.h>

namespace {

volatile int* g_nowhere = nullptr;

TEST(Runner, ACrashedProgramIsNoPass) {
  *g_nowhere = 1;
  SUCCEED();
}

}  // namespace
