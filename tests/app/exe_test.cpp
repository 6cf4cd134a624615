// The real kolbri.exe seen from outside: started with sample.kol on its
// command line, its tree and status bar are read across the process boundary,
// a picture is selected by message, and WM_CLOSE ends it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/testsupport.h"
#include "base/text.h"

namespace {

struct ClassQuery {
  const wchar_t* cls;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND h, LPARAM lp) {
  auto* q = reinterpret_cast<ClassQuery*>(lp);
  wchar_t name[64]{};
  GetClassNameW(h, name, 64);
  if (_wcsicmp(name, q->cls) == 0) {
    q->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND ChildOfClass(HWND parent, const wchar_t* cls) {
  ClassQuery q{cls, nullptr};
  EnumChildWindows(parent, &MatchClass, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

// Memory inside the viewer's process for messages that carry pointers.
class Remote {
 public:
  Remote(DWORD pid, size_t size)
      : proc_(OpenProcess(
            PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
            FALSE, pid)),
        mem_(proc_ ? VirtualAllocEx(proc_, nullptr, size, MEM_COMMIT, PAGE_READWRITE) : nullptr) {}
  ~Remote() {
    if (mem_) VirtualFreeEx(proc_, mem_, 0, MEM_RELEASE);
    if (proc_) CloseHandle(proc_);
  }
  char* at(size_t off) const { return static_cast<char*>(mem_) + off; }
  void Write(size_t off, const void* p, size_t n) {
    WriteProcessMemory(proc_, at(off), p, n, nullptr);
  }
  void Read(size_t off, void* p, size_t n) { ReadProcessMemory(proc_, at(off), p, n, nullptr); }
  bool ok() const { return mem_ != nullptr; }

 private:
  HANDLE proc_;
  void* mem_;
};

std::wstring RemoteTreeText(Remote& r, HWND tree, HTREEITEM item) {
  TVITEMW it{};
  it.mask = TVIF_TEXT | TVIF_HANDLE;
  it.hItem = item;
  it.pszText = reinterpret_cast<wchar_t*>(r.at(512));
  it.cchTextMax = 256;
  r.Write(0, &it, sizeof it);
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(r.at(0)));
  wchar_t text[256]{};
  r.Read(512, text, sizeof text - 2);
  return text;
}

std::wstring RemoteStatus(Remote& r, HWND status, int panel) {
  wchar_t zero[256]{};
  r.Write(512, zero, sizeof zero);
  SendMessageW(status, SB_GETTEXTW, panel, reinterpret_cast<LPARAM>(r.at(512)));
  wchar_t text[256]{};
  r.Read(512, text, sizeof text - 2);
  return text;
}

TEST(RealProgram, ShowsTheSampleTitleAndClosesOnRequest) {
  testsupport::TempDir dir;
  for (const wchar_t* f : {L"kolbri.exe", L"kolbri.dll", L"sample.kol"})
    ASSERT_TRUE(testsupport::CopyInto(testsupport::BinDir() + f, dir.path(), f));
  std::wstring cmd = L"\"" + dir.path() + L"kolbri.exe\" \"" + dir.path() + L"sample.kol\"";
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             dir.path().c_str(), &si, &pi));
  HWND main = testsupport::WaitForMainWindow(pi.dwProcessId);
  ASSERT_NE(main, nullptr);
  HWND tree = ChildOfClass(main, WC_TREEVIEWW);
  HWND status = ChildOfClass(main, STATUSCLASSNAMEW);
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(status, nullptr);
  Remote r(pi.dwProcessId, 4096);
  ASSERT_TRUE(r.ok());

  std::vector<std::wstring> top;
  for (auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
       item; item = reinterpret_cast<HTREEITEM>(
                 SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item))))
    top.push_back(RemoteTreeText(r, tree, item));
  EXPECT_EQ(top, (std::vector<std::wstring>{L"風景", L"人物", L"イベント", L"表紙"}));
  EXPECT_EQ(RemoteStatus(r, status, 0), L"サンプルタイトル「コルブリの庭」");
  EXPECT_EQ(RemoteStatus(r, status, 1), L"(未選択)");

  // Selecting 表紙 renders it (the CD-ROM letter holds the sample title).
  auto last = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  for (int i = 0; i < 3; ++i)
    last = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(last)));
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(last));
  EXPECT_EQ(RemoteStatus(r, status, 1), L"(640x480 pix, 32768 col.)");

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // Bound run: the settings file was written beside the program.
  const std::string ini = testsupport::ReadFileBytes(dir.path() + L"kolbri.ini");
  EXPECT_NE(ini.find("RootDir=q:\\"), std::string::npos) << ini;
  EXPECT_NE(ini.find("OptionSave=1"), std::string::npos);
}

}  // namespace
