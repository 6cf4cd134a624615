// Item-identifier list operations, names, comparisons and icons, against the
// real shell namespace of the running system (and one small folder double for
// the STRRET kinds that Wine's folders never produce).
#include "shellview/shview.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/shell_double.h"
#include "tests/support/shell_env.h"
#include "base/text.h"

using namespace shview;

namespace {

// A list from item sizes; each item's data bytes are its index + 1.
AbsoluteIDList MakeList(std::initializer_list<USHORT> sizes) {
  UINT total = 2;
  for (USHORT cb : sizes) total += cb;
  auto* p = static_cast<BYTE*>(ShellAlloc(total));
  BYTE* at = p;
  BYTE tag = 1;
  for (USHORT cb : sizes) {
    std::memcpy(at, &cb, 2);
    std::memset(at + 2, tag++, cb - 2);
    at += cb;
  }
  return AbsoluteIDList(reinterpret_cast<PIDLIST_ABSOLUTE>(p));
}

std::vector<BYTE> Bytes(PCUIDLIST_RELATIVE list) {
  const BYTE* p = reinterpret_cast<const BYTE*>(list);
  return std::vector<BYTE>(p, p + ItemIDListSize(list));
}

AbsoluteIDList Parse(const std::string& path) { return shtest::ParsePath(path); }

// Answers GetDisplayNameOf with a preset STRRET; CompareIDs with a preset result.
class NameFolder final : public comtest::StubFolder {
 public:
  STRRET answer{};
  HRESULT result = S_OK;
  HRESULT compare = E_FAIL;

  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
    return compare;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET* out) override {
    *out = answer;
    return result;
  }
};

}  // namespace

TEST(ItemIDList, AllocZeroFillsAndFreeAcceptsNone) {
  const long before = shtest::LiveTaskBlocks();
  auto* p = static_cast<BYTE*>(ShellAlloc(64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], 0) << i;
  ShellFree(p);
  ShellFree(nullptr);
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);
}

TEST(ItemIDList, SizesAndWalks) {
  EXPECT_EQ(ItemIDListSize(nullptr), 0u);
  auto empty = MakeList({});
  EXPECT_EQ(ItemIDListSize(empty.get()), 2u);
  auto two = MakeList({14, 20});
  EXPECT_EQ(ItemIDListSize(two.get()), 36u);

  PCUIDLIST_RELATIVE second = GetNextItemID(two.get());
  ASSERT_EQ(second, NextItemID(two.get()));
  EXPECT_EQ(second->mkid.cb, 20);
  EXPECT_EQ(GetNextItemID(second), nullptr);       // the last item has no next item
  EXPECT_EQ(GetNextItemID(empty.get()), nullptr);  // nor has the terminator
  EXPECT_EQ(NextItemID(second)->mkid.cb, 0);
}

TEST(ItemIDList, CopiesAndConcatenationsOwnNewBlocks) {
  const long before = shtest::LiveTaskBlocks();
  {
    auto empty = MakeList({});
    auto three = MakeList({6, 8, 10});
    const auto original = Bytes(three.get());

    EXPECT_FALSE(CopyFirstItemID(nullptr));
    auto first_of_empty = CopyFirstItemID(empty.get());
    ASSERT_TRUE(first_of_empty);
    EXPECT_NE(static_cast<void*>(first_of_empty.get()), static_cast<void*>(empty.get()));
    EXPECT_EQ(ItemIDListSize(first_of_empty.get()), 2u);
    auto first = CopyFirstItemID(three.get());
    EXPECT_EQ(Bytes(first.get()), (std::vector<BYTE>{6, 0, 1, 1, 1, 1, 0, 0}));

    auto none2 = ConcatItemIDLists(nullptr, nullptr);
    ASSERT_TRUE(none2);
    EXPECT_EQ(ItemIDListSize(none2.get()), 2u);
    auto empty_x = ConcatItemIDLists(empty.get(), three.get());
    EXPECT_EQ(Bytes(empty_x.get()), original);
    auto x_none = ConcatItemIDLists(three.get(), nullptr);
    EXPECT_EQ(Bytes(x_none.get()), original);
    auto xx = ConcatItemIDLists(three.get(), first.get());
    EXPECT_EQ(ItemIDListSize(xx.get()), 24u + 8u);

    // Consumes both inputs: nothing of them stays allocated.
    auto joined =
        ConcatItemIDListsFree(CopyParentItemIDList(three.get()), CopyLastItemID(three.get()));
    EXPECT_EQ(Bytes(joined.get()), original);

    EXPECT_FALSE(CopyParentItemIDList(nullptr));
    EXPECT_FALSE(CopyParentItemIDList(empty.get()));
    EXPECT_FALSE(CopyParentItemIDList(MakeList({6}).get()));
    auto parent = CopyParentItemIDList(three.get());
    ASSERT_TRUE(parent);
    EXPECT_EQ(ItemIDListSize(parent.get()), 6u + 8u + 2u);
    EXPECT_EQ(std::memcmp(parent.get(), three.get(), 14), 0);
    EXPECT_EQ(Bytes(three.get()), original);

    // An allocation failing part-way gives none, never a shorter parent.
    for (int nth = 1; nth <= 6; ++nth) {
      shtest::FailAllocation(nth);
      auto p = CopyParentItemIDList(three.get());
      shtest::FailAllocation(0);
      if (p) {
        EXPECT_EQ(ItemIDListSize(p.get()), 6u + 8u + 2u) << nth;
      }
    }

    EXPECT_FALSE(CopyLastItemID(nullptr));
    auto last_of_empty = CopyLastItemID(empty.get());
    EXPECT_EQ(ItemIDListSize(last_of_empty.get()), 2u);
    auto last = CopyLastItemID(three.get());
    ASSERT_EQ(ItemIDListSize(last.get()), 12u);
    EXPECT_EQ(std::memcmp(last.get(), reinterpret_cast<BYTE*>(three.get()) + 14, 12), 0);
  }
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);
}

TEST(ItemIDList, OwnersReleaseAndTakeOver) {
  const long before = shtest::LiveTaskBlocks();
  PIDLIST_ABSOLUTE handed = nullptr;
  PITEMID_CHILD child = nullptr;
  {
    AbsoluteIDList a = MakeList({4, 6});
    child = CopyLastItemID(a.get()).release();
    handed = a.release();
    EXPECT_FALSE(a);
  }
  EXPECT_EQ(shtest::LiveTaskBlocks(), before + 2);
  {
    AbsoluteIDList b(handed);
    AbsoluteIDList c = std::move(b);
    c.reset(ConcatItemIDLists(nullptr, c.get()).release());  // frees the old block
    ChildIDList owned(child);
    c = ConcatItemIDListsFree(std::move(c), std::move(owned));
    EXPECT_FALSE(owned);
    EXPECT_EQ(ItemIDListSize(c.get()), 4u + 6u + 6u + 2u);
    EXPECT_EQ(shtest::LiveTaskBlocks(), before + 1);
  }
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);
}

TEST(ShellNames, RealFoldersAnswerInTheAnsiCodePage) {
  shtest::TempTree tree("shv_names");
  // A name beyond ASCII that the ANSI code page can spell.
  const std::string jp = base::ToAcp(GetACP() == 932 ? L"\u753B\u50CF" : L"caf\u00E9");
  const std::string dir = tree.Dir(jp);
  auto list = Parse(dir);
  ASSERT_TRUE(list);

  const long before = shtest::LiveTaskBlocks();
  std::string name = "stale";
  ASSERT_TRUE(GetItemDisplayName(DesktopFolder(), list.get(), SHGDN_FORPARSING, name));
  EXPECT_EQ(name, dir);
  std::wstring wname;
  ASSERT_TRUE(GetItemDisplayNameW(DesktopFolder(), list.get(), SHGDN_FORPARSING, wname));
  EXPECT_EQ(wname, base::FromAcp(dir));
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);  // the shell's wide string is freed

  // Named relative to the parent folder, the last item gives the short name.
  auto parent = CopyParentItemIDList(list.get());
  auto last = CopyLastItemID(list.get());
  ComPtr<IShellFolder> folder;
  ASSERT_EQ(DesktopFolder()->BindToObject(parent.get(), nullptr, KOLBRI_IID_PPV(folder)), S_OK);
  EXPECT_TRUE(GetItemDisplayName(folder.get(), last.get(), SHGDN_INFOLDER, name));
  EXPECT_EQ(name, jp);

  // Drive roots end in a backslash; the desktop parses as its directory.
  auto drive = Parse("C:\\");
  ASSERT_TRUE(GetItemDisplayName(DesktopFolder(), drive.get(), SHGDN_FORPARSING, name));
  EXPECT_EQ(name, "C:\\");
  auto desktop = MakeList({});
  ASSERT_TRUE(GetItemDisplayName(DesktopFolder(), desktop.get(), SHGDN_FORPARSING, name));
  char expected[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, expected, CSIDL_DESKTOPDIRECTORY, FALSE));
  EXPECT_EQ(name, expected);
}

TEST(ShellNames, OffsetAndBufferKindsAndFailures) {
  NameFolder folder;
  // STRRET_OFFSET: the text lives inside the named list, after the item's cb.
  const char text[] = "\x89\xe6\x91\x9c.bmp";  // 画像.bmp in code page 932
  const USHORT cb = static_cast<USHORT>(2 + sizeof text);
  auto* raw = static_cast<BYTE*>(ShellAlloc(cb + 2));
  std::memcpy(raw, &cb, 2);
  std::memcpy(raw + 2, text, sizeof text);
  ChildIDList item(reinterpret_cast<PITEMID_CHILD>(raw));
  folder.answer.uType = STRRET_OFFSET;
  folder.answer.uOffset = 2;
  std::string name;
  ASSERT_TRUE(GetItemDisplayName(&folder, item.get(), SHGDN_NORMAL, name));
  EXPECT_EQ(name, text);

  // STRRET_CSTR: up to the first zero, or the whole 260 bytes without one.
  folder.answer.uType = STRRET_CSTR;
  std::memset(folder.answer.cStr, 0, sizeof folder.answer.cStr);
  std::strcpy(folder.answer.cStr, "abc");
  ASSERT_TRUE(GetItemDisplayName(&folder, item.get(), SHGDN_NORMAL, name));
  EXPECT_EQ(name, "abc");
  std::memset(folder.answer.cStr, 'x', sizeof folder.answer.cStr);
  ASSERT_TRUE(GetItemDisplayName(&folder, item.get(), SHGDN_NORMAL, name));
  EXPECT_EQ(name, std::string(260, 'x'));
  std::wstring wname;
  ASSERT_TRUE(GetItemDisplayNameW(&folder, item.get(), SHGDN_NORMAL, wname));
  EXPECT_EQ(wname.size(), 260u);

  // STRRET_WSTR from a folder of ours: converted and freed.
  const long before = shtest::LiveTaskBlocks();
  folder.answer.uType = STRRET_WSTR;
  folder.answer.pOleStr = static_cast<LPWSTR>(CoTaskMemAlloc(16));
  std::wcscpy(folder.answer.pOleStr, L"\u753B\u50CF");
  ASSERT_TRUE(GetItemDisplayName(&folder, item.get(), SHGDN_NORMAL, name));
  EXPECT_EQ(name, base::ToAcp(L"\u753B\u50CF"));
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);

  // An unknown kind or a refusal: false, and the previous text is gone.
  folder.answer.uType = 7;
  name = "stale";
  EXPECT_FALSE(GetItemDisplayName(&folder, item.get(), SHGDN_NORMAL, name));
  EXPECT_EQ(name, "");
  folder.answer.uType = STRRET_CSTR;
  folder.result = S_FALSE;
  name = "stale";
  EXPECT_FALSE(GetItemDisplayName(&folder, item.get(), SHGDN_NORMAL, name));
  EXPECT_EQ(name, "");

  // A failing comparison reads as a mismatch; the low word is signed.
  EXPECT_EQ(CompareItemIDs(&folder, item.get(), item.get()), -1);
  folder.compare = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0xFFFF);
  EXPECT_EQ(CompareItemIDs(&folder, item.get(), item.get()), -1);
  folder.compare = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  EXPECT_EQ(CompareItemIDs(&folder, item.get(), item.get()), 1);
}

TEST(ShellCompare, AbsoluteListsThroughTheDesktop) {
  shtest::TempTree tree("shv_cmp");
  auto a = Parse(tree.Dir("a"));
  auto b = Parse(tree.Dir("b\\deep"));
  auto a2 = Parse(tree.path() + "\\a");
  ASSERT_TRUE(a && b && a2);
  EXPECT_EQ(CompareItemIDs(DesktopFolder(), a.get(), a2.get()), 0);
  EXPECT_LT(CompareItemIDs(DesktopFolder(), a.get(), b.get()), 0);
  EXPECT_GT(CompareItemIDs(DesktopFolder(), b.get(), a.get()), 0);
  // The parent of a parsed folder is the parsed parent.
  auto parent = CopyParentItemIDList(b.get());
  auto b_parsed = Parse(tree.path() + "\\b");
  EXPECT_EQ(CompareItemIDs(DesktopFolder(), parent.get(), b_parsed.get()), 0);
}

TEST(ShellIcons, SystemImageListIsSharedAndIndexesAreValid) {
  HIMAGELIST small = SystemImageList(true);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(SystemImageList(true), small);
  EXPECT_NE(SystemImageList(false), small);
  shtest::TempTree tree("shv_icons");
  auto dir = Parse(tree.Dir("x"));
  const int normal = GetItemIconIndex(dir.get(), kSmallIconFlags);
  const int open = GetItemIconIndex(dir.get(), kSmallOpenIconFlags);
  EXPECT_GE(normal, 0);
  EXPECT_LT(normal, ImageList_GetImageCount(small));
  EXPECT_LT(open, ImageList_GetImageCount(small));
  // A list the shell cannot resolve gets the fixed index.
  BYTE junk[] = {6, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0, 0};
  EXPECT_EQ(GetItemIconIndex(reinterpret_cast<PCIDLIST_ABSOLUTE>(junk), kSmallIconFlags),
            kFallbackIconIndex);
}
