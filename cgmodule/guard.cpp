#include "cgmodule/guard.h"

#include <windows.h>

#include <csetjmp>

namespace cgmodule {
namespace {

// A hand-made SEH registration record (what __try would push), extended with
// where to jump back to. It lives in GuardedCall's stack frame, so the state is
// naturally per thread and nests.
struct GuardFrame {
  GuardFrame* prev;
  void* handler;
  jmp_buf* resume;
  DWORD code;
};

GuardFrame* CurrentFrame() {
  GuardFrame* f;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(f));
  return f;
}

void SetCurrentFrame(GuardFrame* f) {
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(f) : "memory");
}

// System errors (access violation, division by zero, stack overflow, ...) and
// the C++ exceptions of the toolchains such a library is likely built with,
// which would otherwise end the process when they escape it.
constexpr DWORD kMsvcCppException = 0xE06D7363;
constexpr DWORD kDelphiException = 0x0EEDFADE;
bool IsFatalException(DWORD code) {
  return (code & 0xF0000000u) == 0xC0000000u || code == kMsvcCppException ||
         code == kDelphiException;
}

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* rec, void* establisher,
                                                     CONTEXT*, void*) {
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if (!IsFatalException(rec->ExceptionCode)) return ExceptionContinueSearch;
  auto* frame = static_cast<GuardFrame*>(establisher);
  frame->code = rec->ExceptionCode;
  // Give the frames between the fault and us their unwinding pass; afterwards
  // our record is the head of the chain again.
  RtlUnwind(establisher, nullptr, rec, nullptr);
  longjmp(*frame->resume, 1);
}

}  // namespace

__attribute__((noinline)) GuardedResult GuardedCall(OrvuEntry fn, void* a, void* b, void* c) {
  jmp_buf resume;
  volatile GuardFrame frame{};
  frame.prev = CurrentFrame();
  frame.handler = reinterpret_cast<void*>(&GuardHandler);
  frame.resume = &resume;
  frame.code = 0;
  volatile bool faulted = false;
  volatile int32_t value = 0;
  if (setjmp(resume) == 0) {
    SetCurrentFrame(const_cast<GuardFrame*>(&frame));
    value = fn(a, b, c);
  } else {
    faulted = true;
  }
  SetCurrentFrame(frame.prev);
  GuardedResult r;
  r.faulted = faulted;
  r.exceptionCode = faulted ? frame.code : 0;
  r.value = faulted ? 0 : value;
  return r;
}

}  // namespace cgmodule
