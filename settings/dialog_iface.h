#pragma once
// What the main window uses of the settings dialog: the dialog paths (four
// 256-byte Shift-JIS buffers in this fixed order), the dialog result, and the
// calls that select a page, show the dialog modally and steer the batch page.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace settings {

struct BatchHost;  // settings/batch.h: what the batch conversion takes from the main window

// One NUL-terminated Shift-JIS path of at most 255 bytes; copied as a whole.
using PathBuffer = std::array<char, 256>;

// The path a buffer holds (up to its terminator, or the whole buffer without one).
inline std::string PathText(const PathBuffer& buf) {
  return std::string(buf.data(), strnlen(buf.data(), buf.size()));
}

struct DialogPaths {
  PathBuffer RootDir;     // CD-ROM root: "d:\" or any directory ending in "\"
  PathBuffer DestDir;     // batch output directory, ending in "\"
  PathBuffer PluginDir;   // directory holding the *.kol files, ending in "\"
  PathBuffer PluginFile;  // plug-in file name without directory
};
static_assert(sizeof(DialogPaths) == 1024);

enum DialogResult : int32_t { kNone = 0, kConfirmed = 1, kCancelled = 2 };

enum Page : int { kPagePlugin = 0, kPageBatch = 1, kPageDrive = 2 };

class ISettingsDialog {
 public:
  virtual DialogPaths& Paths() = 0;
  // Makes the page active (no page-change event), shows the dialog modally and
  // returns the dialog result.
  virtual int32_t ShowModalOnPage(int page) = 0;
  virtual int32_t Result() const = 0;
  // Batch page tab visible / start button enabled, driven by the index tree's selection.
  virtual void ShowBatchTab(bool visible) = 0;
  virtual void EnableBatchStart(bool enabled) = 0;
  // The index tree, common module, overlay switch and continue flag the batch
  // page's conversion uses; set once after both windows exist.
  virtual void SetBatchHost(const BatchHost& host) = 0;
  // A batch conversion's worker is running (the main window must not close).
  virtual bool ConversionRunning() const = 0;
  // The batch page's file format: PNG, else Windows bitmap (kept in the settings file).
  virtual bool BatchPng() const { return false; }
  virtual void SetBatchPng(bool) {}

 protected:
  ~ISettingsDialog() = default;
};

}  // namespace settings
