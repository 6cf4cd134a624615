// Reading the module's memory: hostile index shapes, texts and version records
// (the shapes the fuzzing module hands over, built here directly).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cgmodule/boundary.h"
#include "standin/core/fuzz.h"

using cgmodule::ReadIndex;

namespace {

// Index arrays ended by a null Name, owned by the test.
struct Arrays {
  std::vector<std::vector<OrvuIndexEntry>> keep;
  OrvuIndexEntry* New(size_t n) {
    keep.emplace_back(n + 1, OrvuIndexEntry{});
    return keep.back().data();
  }
};

void Cat(OrvuIndexEntry& e, const char* name, OrvuIndexEntry* children) {
  e.Code = kCategoryCode;
  e.Name = name;
  e.Children = children;
}

void Pic(OrvuIndexEntry& e, const char* name, uint32_t code = 1) {
  e.Code = code;
  e.Name = name;
}

std::vector<std::string> Names(const cgmodule::IndexWalk& w) {
  std::vector<std::string> v;
  for (const auto& i : w.items) v.push_back(i.name);
  return v;
}

TEST(ReadIndex, CutsACycleSkippingTheEntryAndKeepsTheRest) {
  Arrays a;
  OrvuIndexEntry* root = a.New(2);
  OrvuIndexEntry* kids = a.New(3);
  Cat(root[0], "A", kids);
  Pic(root[1], "after");
  Pic(kids[0], "p");
  Cat(kids[1], "back-to-root", root);
  Cat(kids[2], "back-to-self", kids + 1);
  const auto w = ReadIndex(root);
  EXPECT_EQ(Names(w), (std::vector<std::string>{"A", "p", "after"}));
  EXPECT_EQ(w.items[1].parent, 0);
  EXPECT_EQ(w.items[2].parent, -1);
  EXPECT_TRUE(w.cut);
  EXPECT_EQ(w.reason, cgmodule::IndexCut::Cycle);
  EXPECT_EQ(w.where, 0);  // inside A
}

TEST(ReadIndex, DeepAndHugeIndexesLoadWholeAndOnlyTheCapCuts) {
  Arrays a;
  OrvuIndexEntry* root = a.New(1);
  OrvuIndexEntry* at = root;
  for (int i = 0; i < 100000; ++i) {
    OrvuIndexEntry* next = a.New(1);
    Cat(*at, "d", next);
    at = next;
  }
  auto w = ReadIndex(root);
  EXPECT_EQ(w.items.size(), 100000u);
  EXPECT_EQ(w.items.back().parent, 99998);
  EXPECT_FALSE(w.cut);

  OrvuIndexEntry* many = a.New(1000000);
  for (size_t i = 0; i < 1000000; ++i) Pic(many[i], "m", uint32_t(i));
  OrvuIndexEntry* top = a.New(1);
  Cat(*top, "c", many);
  w = ReadIndex(top);
  EXPECT_EQ(w.items.size(), 1000001u);
  EXPECT_FALSE(w.cut);
  w = ReadIndex(top, 1000);
  EXPECT_EQ(w.items.size(), 1000u);
  EXPECT_EQ(w.reason, cgmodule::IndexCut::TooMany);
  EXPECT_EQ(w.where, 0);
}

TEST(ReadIndex, StopsAtMemoryItCannotRead) {
  standin::fuzz::Arena arena;
  EXPECT_TRUE(ReadIndex(static_cast<OrvuIndexEntry*>(arena.NoAccess())).items.empty());

  // Two entries and no terminator before a no-access page; the second's name
  // is not terminated before one either, the first's Children is wild.
  auto* arr = static_cast<OrvuIndexEntry*>(arena.AtPageEnd(2 * sizeof(OrvuIndexEntry)));
  Cat(arr[0], "wild", reinterpret_cast<OrvuIndexEntry*>(uintptr_t(0x10)));
  Pic(arr[1], arena.Text("open", false, true));
  const auto w = ReadIndex(arr);
  EXPECT_EQ(Names(w), (std::vector<std::string>{"wild", "open"}));
  EXPECT_TRUE(w.items[0].category);
  EXPECT_EQ(w.reason, cgmodule::IndexCut::Unreadable);
}

TEST(ReadModuleText, CutsLongTextsAndSurvivesUnreadableOnes) {
  standin::fuzz::Arena arena;
  EXPECT_EQ(cgmodule::ReadModuleText(nullptr), "");
  EXPECT_EQ(cgmodule::ReadModuleText(static_cast<char*>(arena.NoAccess())), "");
  EXPECT_EQ(cgmodule::ReadModuleText(std::string(65536, 'x').c_str()).size(),
            cgmodule::kMaxModuleText);
  // A double-byte character straddling the bound is left out whole.
  std::string dbcs = std::string(cgmodule::kMaxModuleText - 1, 'x') + "\x89\xe6";
  EXPECT_EQ(cgmodule::ReadModuleText(dbcs.c_str()).size(), cgmodule::kMaxModuleText - 1);
  // A guard page raises its exception at the first touch only: the text still reads.
  EXPECT_EQ(cgmodule::ReadModuleText(arena.GuardedText("guarded")), "guarded");
}

TEST(ReadVersionRecord, NullOrUnreadableRecordsAndFieldsGiveEmptyTexts) {
  standin::fuzz::Arena arena;
  EXPECT_FALSE(cgmodule::ReadVersionRecord(nullptr).present);
  EXPECT_FALSE(
      cgmodule::ReadVersionRecord(static_cast<OrvuVersionInfo*>(arena.NoAccess())).present);
  OrvuVersionInfo v{nullptr, 0x12345, static_cast<char*>(arena.NoAccess()), "n"};
  const auto r = cgmodule::ReadVersionRecord(&v);
  EXPECT_TRUE(r.present);
  EXPECT_EQ(r.name + "|" + r.date + "|" + r.notice, "||n");
  EXPECT_EQ(r.version, 0x12345);
}

}  // namespace
