/* A common module built for the other architecture than the viewer's tree (a
 * 32-bit module beside the 64-bit viewer, as the modules in the field are
 * 32-bit): the loader refuses it with ERROR_BAD_EXE_FORMAT. Its entry points
 * only make it look like a module; nothing calls them. */
#include <windows.h>

#define ENTRY(name) \
  __declspec(dllexport) int __stdcall name(void* a, void* b, void* c) { return -1; }
ENTRY(OrvuCmnInitialize)
ENTRY(OrvuCmnLoadPlugin)
ENTRY(OrvuCmnMakeBmp)
ENTRY(OrvuCmnUnloadPlugin)
ENTRY(OrvuCmnTerminate)
