#include "settings/batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/diag.h"
#include "base/handle.h"
#include "base/png.h"
#include "cgmodule/bmpfile.h"
#include "cgmodule/picture.h"
#include "winui/controls.h"
#include "winui/msgbox.h"
#include "winui/uicall.h"

namespace settings {
namespace {

bool IsDirectory(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteAll(HANDLE f, const void* p, DWORD n) {
  DWORD done = 0;
  return WriteFile(f, p, n, &done, nullptr) && done == n;
}

}  // namespace

std::wstring SerialName(std::wstring_view prefix, int32_t counter, std::wstring_view extension) {
  wchar_t digits[24];
  swprintf(digits, 24, L"%.4d", counter);
  std::wstring s(prefix);
  s += digits;
  s += extension;
  return s;
}

bool IsReservedDeviceName(std::wstring_view name) {
  // Windows opens the device whatever the extension and trailing spaces.
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  auto is = [&](const wchar_t* device) {
    return stem.size() == wcslen(device) && _wcsnicmp(stem.data(), device, stem.size()) == 0;
  };
  if (is(L"CON") || is(L"PRN") || is(L"AUX") || is(L"NUL")) return true;
  return stem.size() == 4 &&
         (_wcsnicmp(stem.data(), L"COM", 3) == 0 || _wcsnicmp(stem.data(), L"LPT", 3) == 0) &&
         stem[3] >= L'1' && stem[3] <= L'9';
}

bool IsSafeName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L".." || IsReservedDeviceName(name)) return false;
  return name.find_first_of(L"\\/:") == std::wstring_view::npos;
}

// A picture rendered and checked, waiting to be written.
struct RenderedPicture {
  cgmodule::PictureBlock block;
  cgmodule::DibLayout dib;
  std::wstring file;
  int32_t counter = 0;
  bool png = false;
};

namespace {

// Writes a whole file; one that could not be written whole is taken away (a
// short file would pass for a picture).
bool WriteWhole(const std::wstring& file, const void* a, DWORD a_size, const void* b,
                DWORD b_size) {
  base::UniqueFile f(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  bool written = WriteAll(f.get(), a, a_size) && (!b_size || WriteAll(f.get(), b, b_size));
  // A failed close can lose buffered data, so it counts as a failed write.
  written = CloseHandle(f.release()) && written;
  if (!written) KOLBRI_LOG_IF_FALSE(DeleteFileW(file.c_str()));
  return written;
}

}  // namespace

// The files written, as the progress bar shows them. Shared with the notices
// posted to the UI thread, which may run after the walk has ended.
struct WalkProgress {
  std::function<void(int)> show;
  std::atomic<int32_t> written{-1};
  std::atomic<bool> posted{false};  // a notice is queued and has not run
  bool open = true;                 // UI thread: the walk still owns the bar
  int32_t shown = -1;               // UI thread

  void Apply() {
    const int32_t w = written.load();
    if (open && show && w > shown) show(w);
    if (w > shown) shown = w;
  }
};

// The writer: encoding runs on two threads (PNG is what takes the time), and
// files are written strictly in render order, so the bar, an abort and a
// failure behave as if one picture were written after the other. A failed
// file ends the writing: pictures after it are never written. It touches no
// window.
class PictureWriter {
 public:
  // written(counter) runs after each file, on a writer thread.
  explicit PictureWriter(std::function<void(int32_t)> written) : written_(std::move(written)) {
    try {
      for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      // Fewer threads: the ones there do the work; none, and Push does it.
    }
  }
  ~PictureWriter() { (void)Finish(); }
  PictureWriter(const PictureWriter&) = delete;
  PictureWriter& operator=(const PictureWriter&) = delete;

  // Waits while two rendered pictures are held; false (and the picture
  // dropped) once a write has failed.
  bool Push(RenderedPicture&& p) {
    if (threads_.empty()) {
      Job j{std::move(p)};
      Encode(j, inline_encoder_);
      if (failed_ || !Commit(j)) return !(failed_ = true);
      written_(j.picture.counter);
      return true;
    }
    std::unique_lock lock(m_);
    changed_.wait(lock, [&] { return held_ < kHeld || failed_; });
    if (failed_) return false;
    jobs_.push_back(Job{std::move(p)});
    ++held_;
    changed_.notify_all();
    return true;
  }
  // Writes what is queued and ends the threads; false when a write failed.
  bool Finish() {
    {
      std::lock_guard lock(m_);
      closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
    return !failed_;
  }

 private:
  static constexpr int kHeld = 2;
  static constexpr int kThreads = 2;

  struct Job {
    RenderedPicture picture;
    std::vector<uint8_t> png;  // the encoded file, for PNG
    bool taken = false;        // an encoder has it
    bool encoded = false;
    bool ok = true;
  };

  static void Encode(Job& j, std::unique_ptr<base::PngEncoder>& encoder) {
    if (!j.picture.png) return;
    if (!encoder) encoder = std::make_unique<base::PngEncoder>();
    const RenderedPicture& p = j.picture;
    const auto* info = static_cast<const BITMAPINFO*>(p.block.Data());
    const auto* bits = static_cast<const uint8_t*>(p.block.Data()) + p.dib.bits_offset;
    j.ok = encoder->Encode(base::PngFromDib(info, bits), j.png);
  }

  static bool Commit(const Job& j) {
    if (!j.ok) return false;
    const RenderedPicture& p = j.picture;
    if (p.png)
      return WriteWhole(p.file, j.png.data(), static_cast<DWORD>(j.png.size()), nullptr, 0);
    uint8_t header[cgmodule::kBitmapFileHeaderSize];
    if (!cgmodule::FillFileHeader(p.dib.bit_count, p.dib.image_size, header)) return false;
    return WriteWhole(p.file, header, sizeof header, p.block.Data(),
                      p.dib.bits_offset + p.dib.image_size);  // what follows the file header
  }

  void Run() {
    std::unique_ptr<base::PngEncoder> encoder;
    std::unique_lock lock(m_);
    for (;;) {
      auto next = jobs_.end();
      changed_.wait(lock, [&] {
        next = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.taken; });
        return next != jobs_.end() || (closing_ && jobs_.empty()) || (failed_ && closing_);
      });
      if (next == jobs_.end()) break;
      Job& job = *next;  // list elements stay where they are
      job.taken = true;
      lock.unlock();
      Encode(job, encoder);
      lock.lock();
      job.encoded = true;
      if (failed_) {
        Drop(next);
      } else {
        CommitReady(lock);
      }
      changed_.notify_all();
    }
    lock.unlock();
    encoder.reset();  // COM ends on the thread that began it
  }

  // Writes the encoded pictures at the front, one thread at a time.
  void CommitReady(std::unique_lock<std::mutex>& lock) {
    while (!committing_ && !failed_ && !jobs_.empty() && jobs_.front().encoded) {
      committing_ = true;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      const bool ok = Commit(job);
      if (ok) written_(job.picture.counter);
      job = Job{};  // the block is freed before the worker may render again
      lock.lock();
      committing_ = false;
      --held_;
      if (!ok) {
        failed_ = true;
        // Rendered after the failure: never written. Those being encoded
        // are dropped by their thread.
        for (auto it = jobs_.begin(); it != jobs_.end();) {
          auto here = it++;
          if (!here->taken || here->encoded) Drop(here);
        }
      }
    }
  }

  void Drop(std::list<Job>::iterator it) {
    jobs_.erase(it);
    --held_;
  }

  std::mutex m_;
  std::condition_variable changed_;
  std::list<Job> jobs_;  // render order; guarded by m_
  int held_ = 0;         // rendered blocks not yet freed
  bool committing_ = false;
  bool closing_ = false;
  bool failed_ = false;
  std::function<void(int32_t)> written_;
  std::unique_ptr<base::PngEncoder> inline_encoder_;
  std::vector<std::thread> threads_;
};

BatchWalk::BatchWalk(const BatchHost& host, const BatchPage& page, const winui::UiCall& ui)
    : host_(host), page_(page), ui_(ui) {}

BatchWalk::~BatchWalk() = default;

bool BatchWalk::Continue() const { return host_.continue_flag && host_.continue_flag->load(); }

// The index tree belongs to the UI thread, so it is read there, through ui_,
// a whole child list per call (one hand-off per category, not two per picture).
// The main window is disabled behind the modal dialog: the nodes and the index
// entries they point to do not change during a conversion.
BatchWalk::Node BatchWalk::ReadNode(HTREEITEM item) const {
  Node n;
  LPARAM data = 0;
  if (winui::ReadTreeItem(host_.index_tree, item, &n.text, &data)) {
    n.item = item;
    // The node data is the viewer's own copy of what the index said: the walk
    // never reads the module's memory, on this thread or the worker.
    if (const auto* node = reinterpret_cast<const cgmodule::IndexNode*>(data)) {
      n.entry = node->entry;
      n.category = node->category;
    }
  }
  return n;
}

std::optional<std::vector<BatchWalk::Node>> BatchWalk::Children(HTREEITEM node) const {
  return Ui([&] {
    std::vector<Node> out;
    for (auto c = reinterpret_cast<HTREEITEM>(SendMessageW(
             host_.index_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(node)));
         c; c = reinterpret_cast<HTREEITEM>(SendMessageW(host_.index_tree, TVM_GETNEXTITEM,
                                                         TVGN_NEXT, reinterpret_cast<LPARAM>(c))))
      out.push_back(ReadNode(c));
    return out;
  });
}

void BatchWalk::Report(const wchar_t* message) const {
  const HWND owner = page_.message_owner;
  Ui([&] { winui::ShowMessage(owner, message, kBatchContext); });
}

// Runs on the UI thread: the bar follows the files written.
void BatchWalk::ApplyPendingProgress() const {
  if (progress_) progress_->Apply();
}

bool BatchWalk::FinishWriting() { return !writer_ || writer_->Finish(); }

void BatchWalk::Fail(const wchar_t* message) {
  Report(FinishWriting() ? message : kFileCreateFailed);
  failure_reported_ = true;
}

int BatchWalk::ConvertBranch(HTREEITEM node, const std::wstring& path, int32_t& counter,
                             WalkMode mode) {
  if (mode == WalkMode::Count) return Branch(node, path, counter, mode);
  progress_ = std::make_shared<WalkProgress>();
  progress_->show = page_.progress;
  failure_reported_ = false;
  const auto overlay = Ui([&] { return host_.overlay && host_.overlay(); });
  if (!overlay) return -1;
  overlay_ = *overlay;
  PictureWriter writer([this, state = progress_](int32_t counter) {
    state->written = counter;
    if (!state->posted.exchange(true))
      ui_.Post([state] {
        state->posted = false;
        state->Apply();
      });
  });
  writer_ = &writer;
  int r = Branch(node, path, counter, mode);
  // After an abort or the last picture, what was rendered is written first.
  if (!FinishWriting()) {
    if (!failure_reported_) Report(kFileCreateFailed);
    r = -1;
  }
  // The last position is shown, and a notice still queued changes nothing.
  Ui([&] { progress_->open = false; });
  writer_ = nullptr;
  progress_.reset();
  return r;
}

int BatchWalk::Branch(HTREEITEM node, const std::wstring& path, int32_t& counter, WalkMode mode) {
  // Depth first with a stack of our own: an index may be deeper than the
  // worker's stack.
  struct Level {
    std::vector<Node> children;
    size_t next = 0;
    std::wstring path;  // where this category's pictures go
  };
  std::vector<Level> levels;
  auto enter = [&](HTREEITEM category, const std::wstring& parent_path) {
    if (!Continue()) return false;
    std::wstring child_path = parent_path;
    if (mode == WalkMode::Convert) {
      const bool folders = page_.options ? page_.options().category_folders : true;
      const auto read = Ui([&] { return ReadNode(category); });
      if (!read) return false;
      const Node& self = *read;
      if (folders) {
        // A name that would leave the output folder is a folder that cannot be made.
        if (!IsSafeName(self.text)) {
          Fail(kFileCreateFailed);
          return false;
        }
        const std::wstring folder = parent_path + self.text;
        if (!IsDirectory(folder) && !CreateDirectoryW(folder.c_str(), nullptr) &&
            !IsDirectory(folder)) {
          Fail(kFileCreateFailed);
          return false;
        }
        child_path = folder + L"\\";
      }
    }
    auto children = Children(category);
    if (!children) return false;
    levels.push_back({std::move(*children), 0, std::move(child_path)});
    return true;
  };
  if (!enter(node, path)) return -1;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.children.size()) {
      levels.pop_back();
      continue;
    }
    const Node n = level.children[level.next++];  // `level` moves when a level is added
    if (!Continue()) return -1;
    if (n.category) {
      const std::wstring here = level.path;
      if (!enter(n.item, here)) return -1;
      continue;
    }
    if (mode == WalkMode::Convert && !ConvertPicture(n, level.path, counter)) return -1;
    ++counter;
  }
  return 0;
}

// Renders one picture and hands it to the writer.
bool BatchWalk::ConvertPicture(const Node& n, const std::wstring& path, int32_t counter) {
  const BatchOptions opt = page_.options ? page_.options() : BatchOptions{};
  const bool overlay = overlay_;
  // An abort pressed while the previous picture was rendered stops here.
  if (!Continue()) return false;

  cgmodule::MakeBmpResult r;
  if (host_.render)
    r = host_.render(n.entry, overlay);
  else if (host_.module)
    r = host_.module->MakeBmp(n.entry, overlay);
  else
    r.code = -1;
  if (r.faulted) {
    Fail(cgmodule::kInternalErrorMessage);
    return false;
  }
  RenderedPicture p;
  p.block = cgmodule::PictureBlock(r.block);  // owned from here, whatever the result
  if (r.code != 0) {
    Fail(cgmodule::MakeBmpMessage(r.code));
    return false;
  }
  // A block that does not hold what its header promises, or of a depth the file
  // header is not defined for, is never written.
  p.dib = p.block.Locked() ? cgmodule::ValidateDib(p.block.Data(), p.block.Size())
                           : cgmodule::DibLayout{};
  if (!p.dib.ok()) {
    Fail(cgmodule::kUnknownErrorMessage);
    return false;
  }
  const wchar_t* extension = BatchExtension(opt.png);
  const std::wstring name =
      opt.index_names ? n.text + extension : SerialName(opt.prefix, counter, extension);
  if (!IsSafeName(name)) {
    Fail(kFileCreateFailed);
    return false;
  }
  p.file = path + name;
  p.counter = counter;
  p.png = opt.png;
  if (!writer_->Push(std::move(p))) {
    Fail(kFileCreateFailed);
    return false;
  }
  return true;
}

}  // namespace settings
