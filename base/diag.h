#pragma once
// Failures that would otherwise vanish leave one line on the debugger's output
// (OutputDebugStringW; DebugView or `WINEDEBUG=+debugstr` shows it), and broken
// invariants stop a debug build where they are found. Nothing here changes what
// the program does in a release build, and no call changes the last error.
#include <windows.h>

namespace base {

// Writes "kolbri: <what> failed: <hr>" when hr is a failure; returns hr so the
// call can stay where it was: `if (FAILED(LogIfFailed(f->Foo(), "Foo"))) ...`.
HRESULT LogIfFailed(HRESULT hr, const char* what);

// For calls that report through the last error: when ok is false, writes
// "kolbri: <what> failed: error <GetLastError()>". Returns ok.
bool LogIfFalse(bool ok, const char* what);

// Where the lines go; tests capture them. Null restores OutputDebugStringW.
using DiagSink = void (*)(const wchar_t* line);
void SetDiagSink(DiagSink sink);

[[noreturn]] void CheckFailed(const char* expr, const char* file, int line);

}  // namespace base

// An invariant of our own code, never a condition a module, file or user can
// cause: a debug build reports and stops; a release build does not evaluate it.
#ifdef NDEBUG
#define KOLBRI_CHECK(cond) ((void)0)
#else
#define KOLBRI_CHECK(cond) ((cond) ? (void)0 : ::base::CheckFailed(#cond, __FILE__, __LINE__))
#endif
