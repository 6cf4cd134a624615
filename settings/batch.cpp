#include "settings/batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/diag.h"
#include "base/handle.h"
#include "base/png.h"
#include "cgmodule/picture.h"
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

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t PixelOffset(uint16_t bit_count) {
  switch (bit_count) {
    case 4: return cgmodule::kBitmapHeadersSize + 16 * 4;
    case 8: return cgmodule::kBitmapHeadersSize + 256 * 4;
    case 24: return cgmodule::kBitmapHeadersSize;
    default: return 0;
  }
}

bool FillFileHeader(uint16_t bit_count, uint32_t image_size,
                    uint8_t out[cgmodule::kBitmapFileHeaderSize]) {
  const uint32_t offset = PixelOffset(bit_count);
  if (!offset) return false;
  out[0] = 'B';
  out[1] = 'M';
  Put32(out + 2, image_size + offset);
  Put16(out + 6, 0);
  Put16(out + 8, 0);
  Put32(out + 10, offset);
  return true;
}

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

// Writes one rendered picture; a file that could not be written whole is
// taken away (a short file would pass for a picture).
bool WritePicture(const RenderedPicture& p, std::unique_ptr<base::PngEncoder>& encoder) {
  bool written = false;
  if (p.png) {
    if (!encoder) encoder = std::make_unique<base::PngEncoder>();
    const auto* info = static_cast<const BITMAPINFO*>(p.block.Data());
    const auto* bits = static_cast<const uint8_t*>(p.block.Data()) + p.dib.bits_offset;
    written = encoder->WriteFile(base::PngFromDib(info, bits), p.file, base::kPngBandBytes, false);
    if (!written && GetFileAttributesW(p.file.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  } else {
    uint8_t header[cgmodule::kBitmapFileHeaderSize];
    if (!FillFileHeader(p.dib.bit_count, p.dib.image_size, header)) return false;
    const DWORD rest = p.dib.bits_offset + p.dib.image_size;  // what follows the file header
    base::UniqueFile f(CreateFileW(p.file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return false;
    written = WriteAll(f.get(), header, sizeof header) && WriteAll(f.get(), p.block.Data(), rest);
    // A failed close can lose buffered data, so it counts as a failed write.
    written = CloseHandle(f.release()) && written;
  }
  if (!written) base::LogIfFalse(DeleteFileW(p.file.c_str()), "DeleteFile (short picture file)");
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

// The writer thread: encodes and writes in the order rendered while the worker
// renders the next picture. It touches no window.
class PictureWriter {
 public:
  // written(counter) runs after each file, on the writer thread.
  explicit PictureWriter(std::function<void(int32_t)> written) : written_(std::move(written)) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // No second thread: each picture is written as it is handed over.
    }
  }
  ~PictureWriter() { (void)Finish(); }
  PictureWriter(const PictureWriter&) = delete;
  PictureWriter& operator=(const PictureWriter&) = delete;

  // Waits while two rendered pictures are held; false (and the picture
  // dropped) once a write has failed.
  bool Push(RenderedPicture&& p) {
    if (!thread_.joinable()) {
      if (failed_ || !WritePicture(p, encoder_)) return !(failed_ = true);
      written_(p.counter);
      return true;
    }
    std::unique_lock lock(m_);
    changed_.wait(lock, [&] { return held_ < kHeld || failed_; });
    if (failed_) return false;
    queue_.push_back(std::move(p));
    ++held_;
    changed_.notify_all();
    return true;
  }
  // Writes what is queued and ends the thread; false when a write failed.
  bool Finish() {
    if (thread_.joinable()) {
      {
        std::lock_guard lock(m_);
        closing_ = true;
      }
      changed_.notify_all();
      thread_.join();
    }
    return !failed_;
  }

 private:
  static constexpr int kHeld = 2;

  void Run() {
    std::unique_lock lock(m_);
    for (;;) {
      changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
      if (queue_.empty()) break;
      RenderedPicture p = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      const bool ok = WritePicture(p, encoder_);
      const int32_t counter = p.counter;
      p = RenderedPicture{};  // the block is freed before the worker may render again
      if (ok) written_(counter);
      lock.lock();
      --held_;
      if (!ok) {
        failed_ = true;
        held_ -= static_cast<int>(queue_.size());
        queue_.clear();  // rendered after the failure: never written
      }
      changed_.notify_all();
      if (failed_) break;
    }
    encoder_.reset();  // COM ends on the thread that began it
  }

  std::mutex m_;
  std::condition_variable changed_;
  std::deque<RenderedPicture> queue_;
  int held_ = 0;  // queued or being written
  bool closing_ = false;
  bool failed_ = false;
  std::function<void(int32_t)> written_;
  std::unique_ptr<base::PngEncoder> encoder_;
  std::thread thread_;
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
  wchar_t text[1024] = {};
  TVITEMW it{};
  it.mask = TVIF_TEXT | TVIF_PARAM;
  it.hItem = item;
  it.pszText = text;
  it.cchTextMax = static_cast<int>(std::size(text));
  Node n;
  if (SendMessageW(host_.index_tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) {
    n.item = item;
    n.text = text;
    // The node data is the viewer's own copy of what the index said: the walk
    // never reads the module's memory, on this thread or the worker.
    if (const auto* node = reinterpret_cast<const cgmodule::IndexNode*>(it.lParam)) {
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
