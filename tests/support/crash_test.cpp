// Crashes on purpose: ctest must report this program as failed (it is marked
// WILL_FAIL, so the suite stays green only while a crash counts as a failure).
#include <gtest/gtest.h>

namespace {

volatile int* gNowhere = nullptr;

TEST(Runner, ACrashedProgramIsNoPass) {
  *gNowhere = 1;
  SUCCEED();
}

}  // namespace
