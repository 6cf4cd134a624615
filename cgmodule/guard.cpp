#include "cgmodule/guard.h"

#include <windows.h>

#include <csetjmp>

#include "base/diag.h"

namespace cgmodule {
namespace {

// System errors (access violation, division by zero, stack overflow, ...),
// the warnings a library raises by mistake (a guard page it touched, a
// misaligned access, a breakpoint or single step left in it), and the C++
// exceptions of the toolchains such a library is likely built with: each
// would otherwise end the process when it escapes the library.
constexpr DWORD kMsvcCppException = 0xE06D7363;
constexpr DWORD kDelphiException = 0x0EEDFADE;
bool IsFatalException(DWORD code) {
  return (code & 0xF0000000u) == 0xC0000000u ||
         (code >= STATUS_GUARD_PAGE_VIOLATION && code <= STATUS_SINGLE_STEP) ||
         code == kMsvcCppException || code == kDelphiException;
}

// A stack overflow uses up the guard page at the end of the thread's stack;
// without it the next overflow runs past the end, where no handler can run,
// and the process ends. Called after the guard returned from one: the lowest
// accessible page of this thread's stack becomes a guard page again, as it
// was when the thread started, provided it lies well below the caller.
void RestoreStackGuard() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  const uintptr_t page = si.dwPageSize;
  volatile char here = 0;
  MEMORY_BASIC_INFORMATION mbi;
  if (!VirtualQuery(const_cast<char*>(&here), &mbi, sizeof mbi)) return;
  void* const base = mbi.AllocationBase;
  const uintptr_t top = (reinterpret_cast<uintptr_t>(&here) & ~(page - 1)) - 2 * page;
  for (auto* p = static_cast<char*>(base); reinterpret_cast<uintptr_t>(p) < top;) {
    if (!VirtualQuery(p, &mbi, sizeof mbi) || mbi.AllocationBase != base) return;
    if (mbi.State == MEM_COMMIT && !(mbi.Protect & PAGE_NOACCESS)) {
      if (mbi.Protect & PAGE_GUARD) return;  // still in place
      DWORD old = 0;
      KOLBRI_LOG_IF_FALSE(VirtualProtect(p, page, PAGE_READWRITE | PAGE_GUARD, &old));
      return;
    }
    p = static_cast<char*>(mbi.BaseAddress) + mbi.RegionSize;
  }
}

}  // namespace
}  // namespace cgmodule

#if defined(__i386__)

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
  if (faulted && frame.code == EXCEPTION_STACK_OVERFLOW) RestoreStackGuard();
  GuardedResult r;
  r.faulted = faulted;
  r.exception_code = faulted ? frame.code : 0;
  r.value = faulted ? 0 : value;
  return r;
}

}  // namespace cgmodule

#elif defined(__x86_64__)

// x86_64 has no frame chain to link into: handlers are found through the unwind
// tables. kolbri_guard_thunk is a small function whose table entry names
// kolbri_guard_handler as its exception handler, so, as on i686, the handler
// sees only what the library did not handle itself (a vectored handler would
// run first and take exceptions the library raises and catches internally).
// On a fatal exception the handler unwinds to kolbri_guard_resume inside the
// thunk, which returns 1; a normal return stores the value and returns 0.
//
// int kolbri_guard_thunk(OrvuEntry fn, void* a, void* b, void* c, GuardState* st)
// Frame: 32 bytes of argument space for fn, then st at 32(%rsp).
namespace cgmodule {
namespace {
struct GuardState {
  int32_t value;
  DWORD code;
};
}  // namespace
}  // namespace cgmodule

extern "C" {
int kolbri_guard_thunk(OrvuEntry fn, void* a, void* b, void* c, cgmodule::GuardState* st);
extern char kolbri_guard_resume[];
EXCEPTION_DISPOSITION kolbri_guard_handler(EXCEPTION_RECORD* rec, void* establisher, CONTEXT*,
                                           DISPATCHER_CONTEXT* dc);
}

__asm__(R"(
	.text
	.globl	kolbri_guard_thunk
	.def	kolbri_guard_thunk;	.scl	2;	.type	32;	.endef
	.seh_proc	kolbri_guard_thunk
kolbri_guard_thunk:
	subq	$40, %rsp
	.seh_stackalloc	40
	.seh_endprologue
	.seh_handler	kolbri_guard_handler, @except
	movq	80(%rsp), %r10
	movq	%r10, 32(%rsp)
	movq	%rcx, %rax
	movq	%rdx, %rcx
	movq	%r8, %rdx
	movq	%r9, %r8
	callq	*%rax
	movq	32(%rsp), %r10
	movl	%eax, (%r10)
	xorl	%eax, %eax
	.globl	kolbri_guard_resume
kolbri_guard_resume:
	nop
	addq	$40, %rsp
	ret
	.seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION kolbri_guard_handler(EXCEPTION_RECORD* rec, void* establisher,
                                                      CONTEXT*, DISPATCHER_CONTEXT* dc) {
  if (rec->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  if (!cgmodule::IsFatalException(rec->ExceptionCode)) return ExceptionContinueSearch;
  auto* st = *reinterpret_cast<cgmodule::GuardState**>(static_cast<char*>(establisher) + 32);
  st->code = rec->ExceptionCode;
  // What __except does: the frames between the fault and the thunk get their
  // unwinding pass, then execution continues at the resume label with rax = 1.
  RtlUnwindEx(establisher, kolbri_guard_resume, rec, reinterpret_cast<void*>(1), dc->ContextRecord,
              dc->HistoryTable);
  return ExceptionContinueSearch;  // not reached
}

namespace cgmodule {

GuardedResult GuardedCall(OrvuEntry fn, void* a, void* b, void* c) {
  GuardState st{};
  GuardedResult r;
  r.faulted = kolbri_guard_thunk(fn, a, b, c, &st) != 0;
  if (r.faulted && st.code == EXCEPTION_STACK_OVERFLOW) RestoreStackGuard();
  r.exception_code = r.faulted ? st.code : 0;
  r.value = r.faulted ? 0 : st.value;
  return r;
}

}  // namespace cgmodule

#else
#error "GuardedCall needs an implementation for this processor"
#endif
