#pragma once
// Helpers shared by the test programs (bin/tests/*.exe): where the build's
// bin/ directory is, which kolbri.dll the next binding picks up, scratch
// directories, index manifests for listed.kol, and pixel comparison of DIBs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Directory of the running test program, ending in "\".
std::wstring ExeDir();
// The build's bin\ directory (the test programs live in bin\tests\), ending in "\".
std::wstring BinDir();
std::string BinDirSjis();
// bin\sample-cd\ : the generated sample title.
std::wstring SampleCdDir();

// Chooses the kolbri.dll that the next LoadLibraryA("kolbri.dll") finds:
// "" for bin\kolbri.dll, otherwise bin\variants\<name>\kolbri.dll
// (noentry, wrongmagic, v255, v256, nocontext, initfault). The module must not
// be loaded at the time.
void UseModuleVariant(const std::string& name);

// A fresh directory below %TEMP%, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }  // ends in "\"
  std::string sjis() const;

 private:
  std::wstring path_;
};

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool CopyInto(const std::wstring& source, const std::wstring& target_dir, const std::wstring& name);
void RemoveTree(const std::wstring& dir);

// Copies bin\listed.kol to dir\<base_name>.kol and writes the manifest
// (Shift-JIS text, see standin/README.md) to dir\<base_name>.txt. Returns the
// plug-in's full path.
std::wstring InstallListedPlugin(const std::wstring& dir, const std::wstring& base_name,
                                 const std::string& sjis_manifest);

// Pixels of a DIB as 0x00RRGGBB, top row first.
struct Pixels {
  int width = 0;
  int height = 0;
  int bit_count = 0;
  std::vector<uint32_t> rgb;
  std::string error;  // set when the input is no readable DIB
};
// From a packed DIB (header, colour table, rows) of size bytes.
Pixels DecodeDib(const void* packed, size_t size);
// Writes bmp_path + ".expect": the pixels as ImageMagick's txt format lists them
// ("x,y: #RRGGBB" per line), for magick_check.sh to compare on the host.
bool WriteMagickExpect(const std::wstring& bmp_path, const Pixels& want);
// From the bytes of a .bmp file.
Pixels DecodeBmpFile(const std::string& file_bytes);
// A PNG file read back through the platform's decoder: bit_count is the
// file's own (1, 4, 8 indexed; 24), palette its colour table as 0xRRGGBB.
Pixels DecodePngFile(const std::wstring& path, std::vector<uint32_t>* palette = nullptr);
// Same size and same colour at every pixel; the message names the first difference.
::testing::AssertionResult SamePixels(const Pixels& expected, const Pixels& actual);

// Throws and catches a C++ exception: after a fault was survived inside a
// foreign library, unwinding must still work.
bool CppExceptionsStillWork();

// A user's drag with the left button, from another thread while this one
// handles messages (pump; the drag's own loop runs inside them): pressed at
// `from` and moved past the drag distance; once `began` is set (the program
// started its drag) on to `to`; once `entered` is set (the target saw it)
// released there. Returns when `dropped` is set, or after about 15 s.
void DragAsUser(POINT from, POINT to, HANDLE began, HANDLE entered, HANDLE dropped,
                const std::function<void()>& pump);

// The visible top-level window captioned "コルブリ" of process `pid`, waited
// for up to 10 s; null if none appeared.
HWND WaitForMainWindow(DWORD pid);

}  // namespace testsupport
