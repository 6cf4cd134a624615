// The libraries must export exactly the contract's bare names (plus the
// plug-ins' private OrvuIdvIndex): decorated names like Foo@12 would not be
// found by GetProcAddress, and stray exports would hide a faulty build.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace {

std::vector<std::string> ExportNames(const std::wstring& path) {
  std::vector<std::string> names;
  HMODULE h = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!h) return names;
  const auto* base = reinterpret_cast<const uint8_t*>(h);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress) {
    const auto* exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const auto* rvas = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i)
      names.emplace_back(reinterpret_cast<const char*>(base + rvas[i]));
  }
  FreeLibrary(h);
  std::sort(names.begin(), names.end());
  return names;
}

using Names = std::vector<std::string>;

TEST(Exports, ModuleAndVariantsExportBareNames) {
  const Names five{"OrvuCmnInitialize", "OrvuCmnLoadPlugin", "OrvuCmnMakeBmp", "OrvuCmnTerminate",
                   "OrvuCmnUnloadPlugin"};
  const std::wstring bin = testsupport::BinDir();
  EXPECT_EQ(ExportNames(bin + L"kolbri.dll"), five);
  for (const wchar_t* v : {L"wrongmagic", L"v255", L"v256", L"nocontext", L"initfault", L"preinfo"})
    EXPECT_EQ(ExportNames(bin + L"variants\\" + v + L"\\kolbri.dll"), five) << v;
  Names four = five;
  four.erase(std::find(four.begin(), four.end(), "OrvuCmnTerminate"));
  EXPECT_EQ(ExportNames(bin + L"variants\\noentry\\kolbri.dll"), four);
}

TEST(Exports, PluginsExportTheirTwoEntryPointsAndTheIndex) {
  const std::wstring bin = testsupport::BinDir();
  const Names three{"OrvuIdvIndex", "OrvuIdvInitialize", "OrvuIdvTerminate"};
  for (const wchar_t* p : {L"sample.kol", L"folder.kol", L"listed.kol"})
    EXPECT_EQ(ExportNames(bin + p), three) << testing::PrintToString(std::wstring(p));
  EXPECT_EQ(ExportNames(bin + L"testplugins\\good.kol"), (Names{"OrvuIdvInitialize", "OrvuIdvTerminate"}));
  EXPECT_EQ(ExportNames(bin + L"testplugins\\noterm.kol"), (Names{"OrvuIdvInitialize"}));
}

}  // namespace
