// The x86_64 installer in a fresh prefix: a silent install puts the viewer,
// its help and read-me into %LOCALAPPDATA%\Programs\kolbri with a Start menu
// entry; the installed viewer (given the stand-in module) starts and writes its
// settings file beside itself at exit; a silent uninstall removes every file
// it installed and the entry, and leaves the settings file and a saved picture.
// Arguments: the installer, the folder holding the stand-in module and sample.kol.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/testsupport.h"

namespace {

std::wstring g_setup, g_standin;

std::wstring KnownFolder(int csidl) {
  wchar_t buf[MAX_PATH]{};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf);
  return buf;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a program to its end; the exit code, or -1 when it did not start or end.
int RunToEnd(const std::wstring& exe, const std::wstring& args, DWORD wait_ms = 120000) {
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, wait_ms) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

bool UninstallKeyExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\kolbri", 0, KEY_READ,
                    &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

// Starts the installed viewer, waits for its main window and closes it.
bool StartAndClose(const std::wstring& exe, const std::wstring& args) {
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return false;
  const HWND main = testsupport::WaitForMainWindow(pi.dwProcessId);
  if (main) PostMessageW(main, WM_CLOSE, 0, 0);
  const bool ended = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return main && ended;
}

TEST(Installer, InstallsPerUserStartsAndUninstallsKeepingTheUsersFiles) {
  const std::wstring dir = KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\kolbri";
  const std::wstring shortcut = KnownFolder(CSIDL_PROGRAMS) + L"\\コルブリ.lnk";
  const wchar_t* installed[] = {L"kolbri.exe", L"readme.txt", L"help\\index.html",
                                L"uninstall.exe"};

  ASSERT_EQ(RunToEnd(g_setup, L"/S"), 0);
  for (const wchar_t* f : installed) EXPECT_TRUE(Exists(dir + L"\\" + f)) << f;
  EXPECT_TRUE(Exists(shortcut));
  EXPECT_TRUE(UninstallKeyExists());

  for (const wchar_t* f : {L"kolbri.dll", L"sample.kol"})
    ASSERT_TRUE(CopyFileW((g_standin + L"\\" + f).c_str(), (dir + L"\\" + f).c_str(), FALSE)) << f;
  EXPECT_TRUE(StartAndClose(dir + L"\\kolbri.exe", L"\"" + dir + L"\\sample.kol\""));
  EXPECT_TRUE(Exists(dir + L"\\kolbri.ini"));
  const std::wstring saved = dir + L"\\saved.bmp";
  HANDLE h = CreateFileW(saved.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  // The uninstaller runs a copy of itself from the temporary folder and returns
  // at once; its last step removes its registry key.
  ASSERT_EQ(RunToEnd(dir + L"\\uninstall.exe", L"/S"), 0);
  for (int i = 0; i < 600 && UninstallKeyExists(); ++i) Sleep(100);
  EXPECT_FALSE(UninstallKeyExists());
  for (const wchar_t* f : installed) EXPECT_FALSE(Exists(dir + L"\\" + f)) << f;
  EXPECT_FALSE(Exists(dir + L"\\help"));
  EXPECT_FALSE(Exists(shortcut));
  EXPECT_TRUE(Exists(dir + L"\\kolbri.ini"));
  EXPECT_TRUE(Exists(saved));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 3) {
    fwprintf(stderr, L"usage: install_test SETUP.exe STANDIN_DIR\n");
    return 2;
  }
  g_setup = argv[1];
  g_standin = argv[2];
  return RUN_ALL_TESTS();
}
