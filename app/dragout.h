#pragma once
// Dragging the shown picture out of the output area: the file it travels as,
// in a temporary folder of our own.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// "%TEMP%\kolbri-<process id>\": holds the last drag's file only; the folder
// and that file go with this object (the main window's end).
class DragFolder {
 public:
  DragFolder() = default;
  ~DragFolder();
  DragFolder(const DragFolder&) = delete;
  DragFolder& operator=(const DragFolder&) = delete;

  // Where a file of this name goes, the previous drag's file removed; the
  // folder is made on first use. Empty when it cannot be made.
  std::wstring PathFor(const std::wstring& file_name);
  const std::wstring& Dir() const { return dir_; }

 private:
  void RemoveFile();
  std::wstring dir_;
  std::wstring file_;
};

// A name the file system takes: characters it refuses become "_", trailing
// dots and spaces go, device names (CON, COM1...) get a leading "_"; an empty
// result is fallback.
std::wstring SafeFileName(const std::wstring& name, const std::wstring& fallback);

// b's pixels as a packed 24-bit DIB (header and bottom-up rows); empty when
// the memory or the pixels cannot be had.
std::vector<uint8_t> PackedDib24(HBITMAP b);

}  // namespace app
