#include <gtest/gtest.h>

#include <thread>

#include "cgmodule/guard.h"
#include "tests/support/testsupport.h"

using cgmodule::GuardedCall;

namespace {

volatile uintptr_t g_nowhere = 0;
volatile int g_zero = 0;

int32_t __stdcall Faulting(void*, void*, void*) {
  *reinterpret_cast<volatile int*>(g_nowhere) = 1;
  return 1;
}

int32_t __stdcall Dividing(void*, void*, void*) { return 10 / g_zero; }

int32_t __stdcall Adding(void* a, void* b, void* c) {
  *static_cast<int*>(c) = *static_cast<int*>(a) + *static_cast<int*>(b);
  return 42;
}

// Faults deeper down the stack, below frames of its own.
int32_t __stdcall Recursing(void* depth, void*, void*) {
  int d = *static_cast<int*>(depth);
  if (d == 0) return Faulting(nullptr, nullptr, nullptr);
  --d;
  volatile char pad[256] = {};
  return Recursing(&d, nullptr, nullptr) + pad[0];
}

// Recurses until the stack runs out.
int32_t __stdcall Overflowing(void* depth, void*, void*) {
  volatile char pad[4096];
  pad[0] = 1;
  if (++*static_cast<int*>(depth) < 0) return 0;
  return Overflowing(depth, nullptr, nullptr) + pad[100];
}

TEST(Guard, EveryStackOverflowEndsTheCallNotTheProgram) {
  for (int i = 0; i < 3; ++i) {
    int depth = 0;
    const auto r = GuardedCall(&Overflowing, &depth, nullptr, nullptr);
    EXPECT_TRUE(r.faulted) << i;
    EXPECT_EQ(r.exception_code, 0xC00000FDu) << i;
  }
  EXPECT_TRUE(testsupport::CppExceptionsStillWork());
}

TEST(Guard, AccessViolationEndsTheCallNotTheProgram) {
  for (int i = 0; i < 2; ++i) {
    const auto r = GuardedCall(&Faulting, nullptr, nullptr, nullptr);
    EXPECT_TRUE(r.faulted);
    EXPECT_EQ(r.exception_code, 0xC0000005u);
  }
  const auto div = GuardedCall(&Dividing, nullptr, nullptr, nullptr);
  EXPECT_TRUE(div.faulted);
  EXPECT_EQ(div.exception_code, 0xC0000094u);
  int depth = 20;
  EXPECT_TRUE(GuardedCall(&Recursing, &depth, nullptr, nullptr).faulted);
}

int32_t __stdcall Raising(void* code, void*, void*) {
  RaiseException(*static_cast<DWORD*>(code), EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return 1;
}

// Language exceptions of other toolchains escaping a library (MSVC C++,
// Delphi) end the call like a system exception.
TEST(Guard, ForeignLanguageExceptionsEndTheCall) {
  for (DWORD code : {0xE06D7363u, 0x0EEDFADEu, 0xC0000025u}) {
    const auto r = GuardedCall(&Raising, &code, nullptr, nullptr);
    EXPECT_TRUE(r.faulted);
    EXPECT_EQ(r.exception_code, code);
  }
}

int32_t __stdcall NestedFault(void* inner, void*, void*) {
  // A guarded call inside a guarded call (the module calling the redisplay
  // callback, which renders again): the inner fault stays inside.
  *static_cast<bool*>(inner) = GuardedCall(&Faulting, nullptr, nullptr, nullptr).faulted;
  return 7;
}

TEST(Guard, NestedGuardsEachKeepTheirOwnFault) {
  bool inner = false;
  const auto outer = GuardedCall(&NestedFault, &inner, nullptr, nullptr);
  EXPECT_TRUE(inner);
  EXPECT_FALSE(outer.faulted);
  EXPECT_EQ(outer.value, 7);
  EXPECT_TRUE(GuardedCall(&Faulting, nullptr, nullptr, nullptr).faulted);
}

TEST(Guard, OrdinaryCallsAndCppExceptionsStillWorkAfterAFault) {
  ASSERT_TRUE(GuardedCall(&Faulting, nullptr, nullptr, nullptr).faulted);
  int a = 2, b = 3, sum = 0;
  const auto r = GuardedCall(&Adding, &a, &b, &sum);
  EXPECT_FALSE(r.faulted);
  EXPECT_EQ(r.value, 42);
  EXPECT_EQ(sum, 5);
  EXPECT_TRUE(testsupport::CppExceptionsStillWork());
}

TEST(Guard, WorksOnAWorkerThread) {
  bool faulted = false;
  int sum = 0;
  std::thread worker([&] {
    faulted = GuardedCall(&Faulting, nullptr, nullptr, nullptr).faulted;
    int a = 1, b = 1;
    GuardedCall(&Adding, &a, &b, &sum);
  });
  worker.join();
  EXPECT_TRUE(faulted);
  EXPECT_EQ(sum, 2);
}

}  // namespace
