#pragma once
// Records and entry points that cross the boundary to the common module
// kolbri.dll and the plug-in files (*.kol). Integers are 32 bits wide,
// pointers and handles as wide as the platform's (4 bytes on the 32-bit
// product, 8 on x86_64), natural alignment: the layouts of both are checked at
// compile time because the other side is a separately built library that only
// knows the offsets. Texts are zero-terminated Shift-JIS (code page 932).
//
// Header-only and free of the viewer's own libraries, so the stand-in module
// and plug-ins build against exactly the same definitions.
#include <windows.h>

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);

// Every entry point: three pointer-sized arguments (in, in, out), signed 32-bit
// result; on the 32-bit product the callee pops them.
using OrvuEntry = int32_t(__stdcall*)(void*, void*, void*);
// Host callbacks have the same shape; their arguments are ignored.
using OrvuCallback = int32_t(__stdcall*)(void*, void*, void*);

inline constexpr uint32_t kContextMagic = 0x00193015;  // 1650709
inline constexpr uint32_t kPluginMagic = 0x00123458;   // 1193048
inline constexpr uint32_t kCategoryCode = 0xFFFFFFFF;  // OrvuIndexEntry::Code of a category
inline constexpr int32_t kMinModuleVersion = 256;      // 1.0
inline constexpr uint32_t kOverlayOn = 0xFFFFFFFF;     // MakeBmp flag: lay over the background
inline constexpr uint32_t kOverlayOff = 0;
// MakeBmp results with a message of their own; any other non-zero result is
// an unknown error.
inline constexpr int32_t kMakeBmpCantOpen = -2;  // the picture's source file
inline constexpr int32_t kMakeBmpNoMemory = -3;
inline constexpr uint32_t kPluginQueryKind = 2;  // second argument of OrvuIdvInitialize
inline constexpr size_t kRootDirSize = 256;      // RootDir buffer: 255 characters + terminator

// Version record. Version: major in bits 8-15, minor in bits 0-7 (0x0100 = 1.0).
struct OrvuVersionInfo {
  const char* Name;
  int32_t Version;
  const char* Date;
  const char* Notice;
};

// One index entry; entries live in contiguous arrays ended by a null Name.
struct OrvuIndexEntry {
  uint32_t Code;             // kCategoryCode, or anything else for a picture item
  uint8_t Private[32];       // the module's own; the viewer never reads it
  OrvuIndexEntry* Children;  // categories: first entry of the child array
  const char* Name;          // display name; null ends the array

  bool IsCategory() const { return Code == kCategoryCode; }
};

// The viewer's callback table. Entry 0 re-renders the selected picture
// (kRedisplayCallback); entries 1-3 are null.
inline constexpr int kRedisplayCallback = 0;
struct OrvuHostCallbacks {
  OrvuCallback Entries[4];
};

// Passed to OrvuCmnInitialize; lives only during that call (the table it points
// to lives for the whole run).
struct OrvuHostRecord {
  HDC OutputDc;
  OrvuHostCallbacks* HostCallbacks;
};

// Owned by the common module from OrvuCmnInitialize until the library is released.
struct OrvuContext {
  uint32_t Magic;             // kContextMagic
  OrvuVersionInfo* HostInfo;  // written by the viewer
  OrvuVersionInfo* ModuleInfo;
  OrvuVersionInfo* PluginInfo;   // current plug-in's record (may be null before the first load)
  OrvuIndexEntry* IndexRoot;     // current plug-in's first top-level entry (may be null)
  uint32_t Reserved;             // never touched by the viewer
  char* RootDir;                 // >= kRootDirSize bytes, written by the viewer
  OrvuHostCallbacks* Callbacks;  // filled by the viewer after binding
};

// What OrvuIdvInitialize hands back; readable until OrvuIdvTerminate.
struct OrvuPluginAnswer {
  uint32_t Magic;  // kPluginMagic
  OrvuVersionInfo* Info;
};

// Entry-point names, looked up by bare name.
inline constexpr const char* kCmnInitialize = "OrvuCmnInitialize";
inline constexpr const char* kCmnLoadPlugin = "OrvuCmnLoadPlugin";
inline constexpr const char* kCmnMakeBmp = "OrvuCmnMakeBmp";
inline constexpr const char* kCmnUnloadPlugin = "OrvuCmnUnloadPlugin";
inline constexpr const char* kCmnTerminate = "OrvuCmnTerminate";
inline constexpr const char* kIdvInitialize = "OrvuIdvInitialize";
inline constexpr const char* kIdvTerminate = "OrvuIdvTerminate";

#if defined(_WIN64)
static_assert(sizeof(OrvuVersionInfo) == 32);
static_assert(offsetof(OrvuVersionInfo, Name) == 0);
static_assert(offsetof(OrvuVersionInfo, Version) == 8);
static_assert(offsetof(OrvuVersionInfo, Date) == 16);
static_assert(offsetof(OrvuVersionInfo, Notice) == 24);

static_assert(sizeof(OrvuIndexEntry) == 56);
static_assert(offsetof(OrvuIndexEntry, Code) == 0);
static_assert(offsetof(OrvuIndexEntry, Private) == 4);
static_assert(offsetof(OrvuIndexEntry, Children) == 40);
static_assert(offsetof(OrvuIndexEntry, Name) == 48);

static_assert(sizeof(OrvuHostCallbacks) == 32);
static_assert(sizeof(OrvuHostRecord) == 16);
static_assert(offsetof(OrvuHostRecord, OutputDc) == 0);
static_assert(offsetof(OrvuHostRecord, HostCallbacks) == 8);

static_assert(sizeof(OrvuContext) == 64);
static_assert(offsetof(OrvuContext, Magic) == 0);
static_assert(offsetof(OrvuContext, HostInfo) == 8);
static_assert(offsetof(OrvuContext, ModuleInfo) == 16);
static_assert(offsetof(OrvuContext, PluginInfo) == 24);
static_assert(offsetof(OrvuContext, IndexRoot) == 32);
static_assert(offsetof(OrvuContext, Reserved) == 40);
static_assert(offsetof(OrvuContext, RootDir) == 48);
static_assert(offsetof(OrvuContext, Callbacks) == 56);

static_assert(sizeof(OrvuPluginAnswer) == 16);
static_assert(offsetof(OrvuPluginAnswer, Magic) == 0);
static_assert(offsetof(OrvuPluginAnswer, Info) == 8);
#else
static_assert(sizeof(OrvuVersionInfo) == 16);
static_assert(offsetof(OrvuVersionInfo, Name) == 0);
static_assert(offsetof(OrvuVersionInfo, Version) == 4);
static_assert(offsetof(OrvuVersionInfo, Date) == 8);
static_assert(offsetof(OrvuVersionInfo, Notice) == 12);

static_assert(sizeof(OrvuIndexEntry) == 44);
static_assert(offsetof(OrvuIndexEntry, Code) == 0);
static_assert(offsetof(OrvuIndexEntry, Private) == 4);
static_assert(offsetof(OrvuIndexEntry, Children) == 36);
static_assert(offsetof(OrvuIndexEntry, Name) == 40);

static_assert(sizeof(OrvuHostCallbacks) == 16);
static_assert(sizeof(OrvuHostRecord) == 8);
static_assert(offsetof(OrvuHostRecord, OutputDc) == 0);
static_assert(offsetof(OrvuHostRecord, HostCallbacks) == 4);

static_assert(sizeof(OrvuContext) == 32);
static_assert(offsetof(OrvuContext, Magic) == 0);
static_assert(offsetof(OrvuContext, HostInfo) == 4);
static_assert(offsetof(OrvuContext, ModuleInfo) == 8);
static_assert(offsetof(OrvuContext, PluginInfo) == 12);
static_assert(offsetof(OrvuContext, IndexRoot) == 16);
static_assert(offsetof(OrvuContext, Reserved) == 20);
static_assert(offsetof(OrvuContext, RootDir) == 24);
static_assert(offsetof(OrvuContext, Callbacks) == 28);

static_assert(sizeof(OrvuPluginAnswer) == 8);
static_assert(offsetof(OrvuPluginAnswer, Magic) == 0);
static_assert(offsetof(OrvuPluginAnswer, Info) == 4);
#endif
