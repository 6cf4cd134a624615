// The installer of the tree's edition in a fresh prefix: a silent install puts
// the viewer, its help and read-me into %LOCALAPPDATA%\Programs\<edition> with
// a Start menu entry and an uninstall entry of the edition's own, beside the
// other edition's (left as it was); the installed viewer (given the stand-in
// module) starts and writes its settings file beside itself at exit; while it
// runs, setup and the uninstaller change nothing and end non-zero; a second
// install over the first keeps the user's files; a silent uninstall removes
// every file it installed and its own entry, and leaves the settings file, the
// module and a saved picture.
// Arguments: the installer, the folder holding the stand-in module and
// sample.kol, setup's exit code while the viewer runs.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/handle.h"
#include "tests/support/testsupport.h"

namespace {

std::wstring g_setup, g_standin;
int g_in_use_exit = 0;

#ifdef _WIN64
constexpr wchar_t kEdition[] = L"kolbri-x64", kName[] = L"コルブリ (64-bit)";
constexpr wchar_t kOtherEdition[] = L"kolbri", kOtherName[] = L"コルブリ";
#else
constexpr wchar_t kEdition[] = L"kolbri", kName[] = L"コルブリ";
constexpr wchar_t kOtherEdition[] = L"kolbri-x64", kOtherName[] = L"コルブリ (64-bit)";
#endif
const std::wstring kUninstallRoot = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring KnownFolder(int csidl) {
  wchar_t buf[MAX_PATH]{};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf);
  return buf;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

FILETIME WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA a{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a);
  return a.ftLastWriteTime;
}

// Runs a program, with every process it starts, to their end and returns the
// program's exit code (-1 when it did not start or end). The uninstaller hands
// over to a copy of itself in the temporary folder and returns at once: the
// job's last process ending is the event the copy's work is done.
int RunToEnd(const std::wstring& exe, const std::wstring& args) {
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  base::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  base::UniqueHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT link{job.get(), port.get()};
  if (!job || !port ||
      !SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation, &link,
                               sizeof link))
    return -1;
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &si, &pi))
    return -1;
  const base::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (!AssignProcessToJobObject(job.get(), process.get())) {
    TerminateProcess(process.get(), 1);
    return -1;
  }
  ResumeThread(thread.get());
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED detail = nullptr;
  while (GetQueuedCompletionStatus(port.get(), &message, &key, &detail, 120000) &&
         message != JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
  }
  DWORD code = static_cast<DWORD>(-1);
  if (message != JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO || !GetExitCodeProcess(process.get(), &code) ||
      code == STILL_ACTIVE)
    return -1;
  return static_cast<int>(code);
}

bool KeyExists(const std::wstring& edition) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (kUninstallRoot + edition).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

// A value of the edition's uninstall entry as text ("" when missing): strings
// as they are, DWORDs in decimal.
std::wstring EntryValue(const std::wstring& edition, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (kUninstallRoot + edition).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return L"";
  wchar_t buf[1024]{};
  DWORD type = 0, size = sizeof buf - sizeof(wchar_t);
  const LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return L"";
  if (type == REG_DWORD) {
    DWORD n = 0;
    memcpy(&n, buf, sizeof n);
    return std::to_wstring(n);
  }
  return type == REG_SZ ? buf : L"?";
}

// A string of the program's Japanese version record.
std::wstring VersionString(const std::wstring& exe, const wchar_t* name) {
  DWORD ignored = 0;
  std::string data(GetFileVersionInfoSizeW(exe.c_str(), &ignored), '\0');
  void* value = nullptr;
  UINT len = 0;
  if (data.empty() ||
      !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueW(data.data(), (L"\\StringFileInfo\\041104B0\\" + std::wstring(name)).c_str(),
                      &value, &len))
    return L"";
  return static_cast<const wchar_t*>(value);
}

// The installed viewer, started and running until Close().
class RunningViewer {
 public:
  RunningViewer(const std::wstring& exe, const std::wstring& args) {
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
      return;
    process_.reset(pi.hProcess);
    CloseHandle(pi.hThread);
    // Idle in its message loop: past the start, where it took the mutex.
    WaitForInputIdle(process_.get(), 30000);
    main_ = testsupport::WaitForMainWindow(pi.dwProcessId);
  }
  ~RunningViewer() {
    if (process_) TerminateProcess(process_.get(), 1);
  }
  bool running() const { return main_ != nullptr; }
  // Closes the main window; whether the viewer then ended.
  bool Close() {
    if (main_) PostMessageW(main_, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process_.get(), 30000) == WAIT_OBJECT_0;
    if (ended) process_.reset();
    return main_ && ended;
  }

 private:
  base::UniqueHandle process_;
  HWND main_ = nullptr;
};

TEST(Installer, InstallsBesideTheOtherEditionRefusesARunningViewerAndUninstallsOnlyItself) {
  const std::wstring programs = KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\";
  const std::wstring dir = programs + kEdition;
  const std::wstring shortcut = KnownFolder(CSIDL_PROGRAMS) + L"\\" + kName + L".lnk";
  const wchar_t* installed[] = {L"kolbri.exe", L"readme.txt", L"help\\index.html",
                                L"uninstall.exe"};

  // The other edition, as its installer leaves it: folder, Start menu entry, uninstall entry.
  const std::wstring other_dir = programs + kOtherEdition;
  const std::wstring other_shortcut = KnownFolder(CSIDL_PROGRAMS) + L"\\" + kOtherName + L".lnk";
  ASSERT_TRUE(SHCreateDirectoryExW(nullptr, other_dir.c_str(), nullptr) == ERROR_SUCCESS);
  ASSERT_TRUE(testsupport::WriteFileBytes(other_dir + L"\\kolbri.exe", "other edition"));
  ASSERT_TRUE(testsupport::WriteFileBytes(other_shortcut, "other edition"));
  HKEY other_key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kUninstallRoot + kOtherEdition).c_str(), 0, nullptr,
                            0, KEY_WRITE, nullptr, &other_key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(other_key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(kOtherName),
                 sizeof kOtherName);
  RegCloseKey(other_key);

  ASSERT_EQ(RunToEnd(g_setup, L"/S"), 0);
  for (const wchar_t* f : installed) EXPECT_TRUE(Exists(dir + L"\\" + f)) << f;
  EXPECT_TRUE(Exists(shortcut));

  // The entry, read back (printed for the release note).
  const std::wstring exe = dir + L"\\kolbri.exe";
  const wchar_t* fields[] = {L"DisplayName",     L"DisplayVersion",  L"Publisher",
                             L"EstimatedSize",   L"URLInfoAbout",    L"DisplayIcon",
                             L"InstallLocation", L"UninstallString", L"QuietUninstallString",
                             L"NoModify",        L"NoRepair"};
  for (const wchar_t* f : fields) {
    const std::wstring v = EntryValue(kEdition, f);
    char line[2048];
    WideCharToMultiByte(CP_UTF8, 0, (std::wstring(f) + L" = " + v).c_str(), -1, line, sizeof line,
                        nullptr, nullptr);
    printf("HKCU\\%ls%ls: %s\n", kUninstallRoot.c_str(), kEdition, line);
  }
  EXPECT_EQ(EntryValue(kEdition, L"DisplayName"), kName);
  EXPECT_EQ(EntryValue(kEdition, L"DisplayVersion"), VersionString(exe, L"ProductVersion"));
  EXPECT_EQ(EntryValue(kEdition, L"Publisher"), VersionString(exe, L"CompanyName"));
  EXPECT_FALSE(VersionString(exe, L"CompanyName").empty());
  EXPECT_FALSE(VersionString(exe, L"LegalCopyright").empty());
  EXPECT_EQ(EntryValue(kEdition, L"InstallLocation"), dir);
  EXPECT_EQ(EntryValue(kEdition, L"QuietUninstallString"), L"\"" + dir + L"\\uninstall.exe\" /S");
  // Kilobytes of the installed files: at least their sum, at most each rounded up.
  ULONGLONG bytes = 0, rounded_kb = 0;
  for (const wchar_t* f : {L"kolbri.exe", L"readme.txt", L"help\\index.html"}) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    GetFileAttributesExW((dir + L"\\" + f).c_str(), GetFileExInfoStandard, &a);
    bytes += a.nFileSizeLow;
    rounded_kb += (a.nFileSizeLow + 1023) / 1024;
  }
  const ULONGLONG estimated = std::stoull(L"0" + EntryValue(kEdition, L"EstimatedSize"));
  EXPECT_GE(estimated, bytes / 1024);
  EXPECT_LE(estimated, rounded_kb);

  for (const wchar_t* f : {L"kolbri.dll", L"sample.kol"})
    ASSERT_TRUE(CopyFileW((g_standin + L"\\" + f).c_str(), (dir + L"\\" + f).c_str(), FALSE)) << f;
  {
    RunningViewer viewer(exe, L"\"" + dir + L"\\sample.kol\"");
    ASSERT_TRUE(viewer.running());
    // A file setup would write, marked: it must come through untouched.
    const std::wstring readme = dir + L"\\readme.txt";
    ASSERT_TRUE(testsupport::WriteFileBytes(readme, "old"));
    const FILETIME exe_time = WriteTime(exe);
    EXPECT_EQ(RunToEnd(g_setup, L"/S"), g_in_use_exit);
    EXPECT_EQ(testsupport::ReadFileBytes(readme), "old");
    const FILETIME exe_time_after = WriteTime(exe);
    EXPECT_EQ(CompareFileTime(&exe_time, &exe_time_after), 0);
    // In place (_?=), so that its own exit code comes back.
    EXPECT_EQ(RunToEnd(dir + L"\\uninstall.exe", L"/S _?=" + dir), g_in_use_exit);
    for (const wchar_t* f : installed) EXPECT_TRUE(Exists(dir + L"\\" + f)) << f;
    EXPECT_TRUE(KeyExists(kEdition));
    EXPECT_TRUE(viewer.Close());
  }
  EXPECT_TRUE(Exists(dir + L"\\kolbri.ini"));

  // Over itself: the files again, the user's files kept.
  ASSERT_EQ(RunToEnd(g_setup, L"/S"), 0);
  EXPECT_NE(testsupport::ReadFileBytes(dir + L"\\readme.txt"), "old");
  EXPECT_TRUE(Exists(dir + L"\\kolbri.ini"));
  EXPECT_TRUE(Exists(dir + L"\\kolbri.dll"));
  const std::wstring saved = dir + L"\\saved.bmp";
  ASSERT_TRUE(testsupport::WriteFileBytes(saved, "BM"));

  ASSERT_EQ(RunToEnd(dir + L"\\uninstall.exe", L"/S"), 0);
  EXPECT_FALSE(KeyExists(kEdition));
  for (const wchar_t* f : installed) EXPECT_FALSE(Exists(dir + L"\\" + f)) << f;
  EXPECT_FALSE(Exists(dir + L"\\help"));
  EXPECT_FALSE(Exists(shortcut));
  for (const wchar_t* f : {L"kolbri.ini", L"kolbri.dll", L"saved.bmp"})
    EXPECT_TRUE(Exists(dir + L"\\" + f)) << f;
  // The other edition is as it was.
  EXPECT_EQ(testsupport::ReadFileBytes(other_dir + L"\\kolbri.exe"), "other edition");
  EXPECT_TRUE(Exists(other_shortcut));
  EXPECT_EQ(EntryValue(kOtherEdition, L"DisplayName"), kOtherName);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 4) {
    fwprintf(stderr, L"usage: install_test SETUP.exe STANDIN_DIR IN_USE_EXIT\n");
    return 2;
  }
  g_setup = argv[1];
  g_standin = argv[2];
  g_in_use_exit = _wtoi(argv[3]);
  return RUN_ALL_TESTS();
}
