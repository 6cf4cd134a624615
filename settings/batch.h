#pragma once
// Batch conversion ("まとめ保存"): every picture below one category of the main
// window's index tree is rendered by the common module and written as a
// Windows bitmap or PNG file, optionally in one folder per category.
//
// The walk runs on the worker thread, which alone calls the module. What it
// needs of the user interface (the index tree, the overlay switch, message
// boxes) is carried out on the UI thread through winui::UiCall while the worker
// waits; progress is posted there without waiting. Rendered pictures are
// encoded and written on two writer threads of the walk's own, in render
// order, at most two held at a time.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cgmodule/boundary.h"
#include "cgmodule/module.h"
#include "winui/uicall.h"

namespace settings {

inline constexpr wchar_t kBatchContext[] = L"まとめ保存";
inline constexpr wchar_t kFileCreateFailed[] = L"ファイルの生成に失敗しました";

// What the conversion takes from the main window.
struct BatchHost {
  // TreeView1: each item's lParam points at its cgmodule::IndexNode.
  HWND index_tree = nullptr;
  // Renders on the worker thread (guarded MakeBmp).
  cgmodule::CommonModule* module = nullptr;
  // ME_Overlay checked; called on the UI thread. Null: no overlay.
  std::function<bool()> overlay;
  // The main window's continue flag: set at start, cleared to abort.
  std::atomic<bool>* continue_flag = nullptr;
  // Used instead of module->MakeBmp when set (same contract).
  std::function<cgmodule::MakeBmpResult(const OrvuIndexEntry*, bool overlay)> render;
};

// The batch page's options, read afresh for each category folder and each file.
struct BatchOptions {
  bool category_folders = true;   // CheckBox_MulSav1
  bool index_names = true;        // RadioButton_MulSav1 (else prefix + serial)
  std::wstring prefix = L"orvu";  // Edit_MulSav1
  bool png = false;               // CheckBox_MulSav2 (else Windows bitmap)
};

// ".png" or ".bmp", as the options write.
inline const wchar_t* BatchExtension(bool png) { return png ? L".png" : L".bmp"; }

// The batch page's side of the walk.
struct BatchPage {
  // Called on the worker for each folder and file: the options as the page
  // shows them now, without a round trip to the UI thread.
  std::function<BatchOptions()> options;
  std::function<void(int)> progress;  // UI thread: ProgressBar_MulSav1 position
  HWND message_owner = nullptr;       // the dialog, modal in front
};

// prefix + counter formatted with "%.4d" + extension.
std::wstring SerialName(std::wstring_view prefix, int32_t counter,
                        std::wstring_view extension = L".bmp");
// True when the text can stand as one file or folder name inside the output
// folder: no path separator, no drive colon, not "." or "..", not empty, not a
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension or case).
bool IsSafeName(std::wstring_view name);

// What one pass of the walk does: count the pictures (sizes the progress bar)
// or render and write them.
enum class WalkMode { Count, Convert };

class PictureWriter;  // the writer threads (batch.cpp)
struct WalkProgress;  // what the bar shows (batch.cpp)

// One conversion's walk. ConvertBranch(category node, path ending in "\",
// picture counter, mode): 0 when the branch is finished, -1 when the walk
// must stop (abort or failure; a failure has been reported).
class BatchWalk {
 public:
  BatchWalk(const BatchHost& host, const BatchPage& page, const winui::UiCall& ui);
  ~BatchWalk();
  BatchWalk(const BatchWalk&) = delete;
  BatchWalk& operator=(const BatchWalk&) = delete;
  // Returns once every picture rendered has been written (or the writing failed).
  int ConvertBranch(HTREEITEM node, const std::wstring& path, int32_t& counter, WalkMode mode);

 private:
  struct Node {
    HTREEITEM item = nullptr;
    std::wstring text;
    const OrvuIndexEntry* entry = nullptr;  // handed to the module only
    bool category = false;
  };
  Node ReadNode(HTREEITEM item) const;  // UI thread
  std::optional<std::vector<Node>> Children(HTREEITEM node) const;
  bool Continue() const;
  int Branch(HTREEITEM node, const std::wstring& path, int32_t& counter, WalkMode mode);
  // Runs fn on the UI thread, after the progress step still owed; its value
  // (or, for void, true) or nothing when the UI thread ran nothing (its window
  // is gone), and the walk then stops.
  template <class F>
  auto Ui(F&& fn) const {
    return ui_.Call([&] {
      ApplyPendingProgress();
      return fn();
    });
  }
  void ApplyPendingProgress() const;
  [[nodiscard]] bool ConvertPicture(const Node& n, const std::wstring& path, int32_t counter);
  void Report(const wchar_t* message) const;
  // Waits for the pictures already rendered; false when one could not be written.
  [[nodiscard]] bool FinishWriting();
  // Reports a failure after the pictures rendered before it are written; a
  // write that failed among them is the failure reported.
  void Fail(const wchar_t* message);

  const BatchHost& host_;
  const BatchPage& page_;
  const winui::UiCall& ui_;
  PictureWriter* writer_ = nullptr;         // during a converting pass
  std::shared_ptr<WalkProgress> progress_;  // during a converting pass
  bool overlay_ = false;                    // read once a pass: it cannot change meanwhile
  bool failure_reported_ = false;
};

}  // namespace settings
