#include "tests/support/shell_env.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <atomic>

#include "shellview/shview.h"
#include "base/text.h"

namespace shtest {
namespace {

std::atomic<long> g_live{0};
std::atomic<int> g_failIn{0};

// Counts blocks allocated while registered and freed again.
class CountingSpy final : public IMallocSpy {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // Zero makes the allocation fail.
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cb) override {
    return g_failIn > 0 && --g_failIn == 0 ? 0 : cb;
  }
  void* STDMETHODCALLTYPE PostAlloc(void* p) override {
    if (p) ++g_live;
    return p;
  }
  void* STDMETHODCALLTYPE PreFree(void* p, BOOL spyed) override {
    if (p && spyed) --g_live;
    return p;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* p, SIZE_T cb, void** out, BOOL spyed) override {
    *out = p;
    return cb;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* p, BOOL) override { return p; }
  void* STDMETHODCALLTYPE PreGetSize(void* p, BOOL) override { return p; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cb, BOOL) override { return cb; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* p, BOOL) override { return p; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

CountingSpy g_spy;

class ShellEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    ASSERT_EQ(CoRegisterMallocSpy(&g_spy), S_OK);
    state_ = new shview::ShellState();
    ASSERT_TRUE(state_->ok());
  }
  void TearDown() override {
    delete state_;
    EXPECT_EQ(shview::ShellMalloc(), nullptr);
    CoRevokeMallocSpy();
    OleUninitialize();
  }

 private:
  shview::ShellState* state_ = nullptr;
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

}  // namespace

long LiveTaskBlocks() { return g_live.load(); }

void FailAllocation(int nth) { g_failIn = nth; }

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = path + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

shview::AbsoluteIDList ParsePath(const std::string& path) {
  shview::AbsoluteIDList list;
  std::wstring w = base::FromAcp(path);
  ULONG eaten = 0;
  shview::DesktopFolder()->ParseDisplayName(nullptr, nullptr, w.data(), &eaten,
                                            reinterpret_cast<PIDLIST_RELATIVE*>(list.receive()),
                                            nullptr);
  return list;
}

TempTree::TempTree(const std::string& name) : root_("C:\\" + name) {
  RemoveTree(root_);
  CreateDirectoryA(root_.c_str(), nullptr);
}

TempTree::~TempTree() { RemoveTree(root_); }

std::string TempTree::Dir(const std::string& rel) const {
  const std::string full = root_ + "\\" + rel;
  for (size_t i = root_.size() + 1; i <= full.size(); ++i) {
    if (i == full.size() || full[i] == '\\') CreateDirectoryA(full.substr(0, i).c_str(), nullptr);
  }
  return full;
}

std::string TempTree::File(const std::string& rel) const {
  const std::string full = root_ + "\\" + rel;
  HANDLE h = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return full;
}

}  // namespace shtest
