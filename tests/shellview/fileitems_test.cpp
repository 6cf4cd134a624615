// The list's item logic without a window: mask, column texts and order.
#include "shellview/fileitems.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace shview;

TEST(FileItems, MaskTakesTheExtensionAfterTheLastSeparator) {
  const std::vector<std::string> mask = {".bmp", ".JPG"};
  EXPECT_TRUE(MaskAdmits(mask, "C:\\p\\a.BMP", 1252));
  EXPECT_TRUE(MaskAdmits(mask, "C:\\p\\b.jpg", 1252));
  EXPECT_FALSE(MaskAdmits(mask, "C:\\p\\c.jpeg", 1252));
  EXPECT_FALSE(MaskAdmits(mask, "C:\\p\\noext", 1252));
  EXPECT_FALSE(MaskAdmits(mask, "C:\\p\\d.bmp.txt", 1252));
  EXPECT_FALSE(MaskAdmits(mask, "C:\\p.bmp\\plain", 1252));
  EXPECT_FALSE(MaskAdmits({"*.bmp"}, "C:\\p\\a.bmp", 1252));  // lines are extensions, whole
  EXPECT_TRUE(MaskAdmits({}, "C:\\p\\noext", 1252));

  // Shift-JIS: U+8868 is 95 5C, its trail byte a backslash; U+30A1 is 83 9F
  // and U+30E1 83 81, with U+FF41 (82 81) a trail byte in the letter range.
  const std::string hyo = "\x95\x5C";
  EXPECT_EQ(MaskExtension("C:\\p\\" + hyo + ".bmp", 932), ".BMP");
  EXPECT_EQ(MaskExtension("C:\\p\\a." + hyo, 932), "." + hyo);
  EXPECT_EQ(MaskExtension("C:\\p\\a." + hyo, 1252), "");  // there it is a separator
  EXPECT_EQ(MaskExtension("C:\\p\\a.x\x82\x61", 932), ".X\x82\x61");
  EXPECT_TRUE(MaskAdmits({"." + hyo}, "C:\\p\\a." + hyo, 932));
}

TEST(FileItems, SizeIsWholeKilobytesPlusOneInEightColumns) {
  EXPECT_EQ(FileSizeText(0), L"       1KB");
  EXPECT_EQ(FileSizeText(1023), L"       1KB");
  EXPECT_EQ(FileSizeText(1024), L"       2KB");
  EXPECT_EQ(FileSizeText(5000000), L"    4883KB");
  EXPECT_EQ(FileSizeText(5ull << 30), L" 5242881KB");
  EXPECT_EQ(FileSizeText(100ull << 40), L"107374182401KB");  // longer numbers are not cut
}

TEST(FileItems, SubItemColumnsSortByValueWithItemsWithoutFileDataFirst) {
  FileListItem none, small, big, later;
  small.has_file_data = big.has_file_data = later.has_file_data = true;
  small.bytes = 99999999;  // eight digits
  big.bytes = 100000000;   // nine
  small.written = {0, 2000};
  big.written = {0, 1000};
  later.written = {0, 3000};
  small.type = L"b";
  big.type = L"a";
  EXPECT_LT(CompareByColumn(small, big, kSizeColumn), 0);
  EXPECT_GT(CompareByColumn(small, big, kDateColumn), 0);
  EXPECT_LT(CompareByColumn(small, later, kDateColumn), 0);
  EXPECT_LT(CompareByColumn(none, big, kSizeColumn), 0);
  EXPECT_EQ(CompareByColumn(none, FileListItem{}, kDateColumn), 0);
  EXPECT_GT(CompareByColumn(small, big, kTypeColumn), 0);
  EXPECT_EQ(CompareByColumn(small, big, 0), 0);  // the name column sorts through the shell
}
