#pragma once
// Calls into foreign libraries that survive a system exception (access
// violation and the like) raised and not handled inside them. Frame-based, so
// exceptions the library raises and handles itself never reach us. The guard
// state is per thread: the batch worker calls the module too.
#include <cstdint>

#include "cgmodule/contract.h"

namespace cgmodule {

struct GuardedResult {
  bool faulted = false;
  uint32_t exception_code = 0;  // when faulted
  int32_t value = 0;            // when not faulted
};

// Calls fn(a, b, c). A system exception (0xCxxxxxxx), a guard-page,
// misaligned-access, breakpoint or single-step exception (0x80000001-4), or an
// MSVC or Delphi language exception, escaping fn ends the call with
// faulted = true; the process and C++ exception handling carry on. Other codes
// pass on.
GuardedResult GuardedCall(OrvuEntry fn, void* a, void* b, void* c);

}  // namespace cgmodule
