#pragma once
// Test support for the batch conversion: an index built in memory, the main
// window's tree made from it (a real tree-view window on the test thread), a
// scratch output folder, and a run of the walk on a worker thread while the
// test thread pumps messages as the dialog's modal loop would.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cgmodule/contract.h"
#include "settings/batch.h"
#include "winui/uicall.h"

namespace batchtest {

// An index shaped like a plug-in's: arrays of index entries ended by a null
// Name. Code is the picture's number (a category's is kCategoryCode).
class Index {
 public:
  struct Shape {
    std::wstring name;
    bool category = false;
    std::vector<Shape> children;
  };
  static Shape Cat(std::wstring n, std::vector<Shape> c = {}) {
    return {std::move(n), true, std::move(c)};
  }
  static Shape Pic(std::wstring n) { return {std::move(n), false, {}}; }

  explicit Index(const std::vector<Shape>& roots);
  OrvuIndexEntry* Root() { return arrays_.empty() ? nullptr : arrays_.front().data(); }

 private:
  OrvuIndexEntry* Build(const std::vector<Shape>& nodes);
  std::deque<std::vector<OrvuIndexEntry>> arrays_;
  std::deque<std::string> names_;
  uint32_t next_ = 0;
};

// The main window's index tree, built the way the main window builds it.
class Tree {
 public:
  explicit Tree(OrvuIndexEntry* root);
  ~Tree();
  HWND hwnd() const { return h_; }
  // First top-level node, or the node reached by a path of texts.
  HTREEITEM Find(const std::vector<std::wstring>& path) const;
  // The index entry behind the node reached by a path of texts.
  const OrvuIndexEntry* EntryAt(const std::vector<std::wstring>& path) const;

 private:
  void Add(const OrvuIndexEntry* first);
  HWND h_ = nullptr;
  std::vector<cgmodule::IndexNode> nodes_;  // the items' node data
};

// A scratch folder below the temp directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::wstring& path() const { return path_; }  // ends in "\"

 private:
  std::wstring path_;
};

// Keeps the UI thread serving messages (and a worker's hand-offs) until pred
// holds, asked again after each batch of messages: pred must change only
// through what this thread handles. False when ms pass first.
bool PumpUntil(const std::function<bool()>& pred, int ms = 20000);
// The same until the event is set (by a worker that hands nothing over).
bool PumpUntilSet(HANDLE event, int ms = 20000);

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
bool IsDir(const std::wstring& path);
// Names in a folder (no "." / ".."), sorted.
std::vector<std::wstring> List(const std::wstring& dir);

// Packed 8-bit DIB (or another depth) of w x h whose pixels come from seed.
std::vector<uint8_t> MakeDib(int w, int h, int bit_count, uint32_t seed);
HGLOBAL ToBlock(const std::vector<uint8_t>& dib, size_t extra = 0);

// Runs the counting and converting passes on a worker, pumps on this thread.
struct Outcome {
  int count_result = 0;
  int convert_result = 0;
  int32_t counted = 0;
  int32_t converted = 0;
  std::vector<int> progress;
  std::vector<std::wstring> messages;
};

struct Harness {
  winui::UiCall ui;
  std::atomic<bool> keep_going{true};
  settings::BatchHost host;
  settings::BatchOptions options;
  settings::BatchPage page;
  Outcome run;
  // Called on the UI thread after each progress step (for aborts).
  std::function<void(int)> on_progress;

  Harness(HWND tree, std::function<cgmodule::MakeBmpResult(const OrvuIndexEntry*, bool)> render);
  Outcome& Go(HTREEITEM node, const std::wstring& base);
  // Runs work on a worker thread while this thread serves its hand-offs.
  void OnWorker(const std::function<void()>& work);
};

}  // namespace batchtest
