// The one owner every handle alias uses: exactly one close per owned value;
// and the COM reference, whose interface ids come from its type.
#include "base/handle.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <vector>

#include "base/com.h"

namespace {

std::vector<int*> closed;
void Close(int* p) { closed.push_back(p); }
void CloseFailing(int* p) {
  Close(p);
  SetLastError(ERROR_INVALID_HANDLE);
}
using Owner = base::UniqueAny<int*, &Close>;
int a = 1, b = 2;

class UniqueAnyTest : public ::testing::Test {
 protected:
  void SetUp() override { closed.clear(); }
};

TEST_F(UniqueAnyTest, ClosesOnceAtScopeEndAndNeverTheInvalidValue) {
  { Owner o(&a); }
  { Owner empty; }
  EXPECT_EQ(closed, std::vector<int*>{&a});
}

TEST_F(UniqueAnyTest, MoveHandsOverWithoutClosing) {
  Owner o(&a);
  Owner moved(std::move(o));
  EXPECT_FALSE(o);
  EXPECT_TRUE(closed.empty());
  Owner target(&b);
  target = std::move(moved);  // closes what target held, once
  EXPECT_EQ(closed, std::vector<int*>{&b});
  target = std::move(target);
  EXPECT_EQ(target.get(), &a);
  target.reset();
  EXPECT_EQ(closed, (std::vector<int*>{&b, &a}));
}

TEST_F(UniqueAnyTest, ReleaseGivesUpAndResetToTheSameValueKeepsIt) {
  Owner o(&a);
  EXPECT_EQ(o.release(), &a);
  EXPECT_FALSE(o);
  o.reset(&b);
  o.reset(&b);
  EXPECT_TRUE(closed.empty());
  *o.receive() = &a;  // receive closes b first
  EXPECT_EQ(closed, std::vector<int*>{&b});
  EXPECT_EQ(o.get(), &a);
}

TEST(HandleAliasTest, FileOwnersTreatInvalidHandleValueAsEmpty) {
  base::UniqueFile file(
      CreateFileW(L"C:\\no\\such\\dir\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(file);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(base::UniqueHandle());
}

TEST_F(UniqueAnyTest, ClosingKeepsTheCallersLastError) {
  // A close that fails sets an error of its own; the caller's stays.
  using Failing = base::UniqueAny<int*, &CloseFailing>;
  Failing o(&a);
  SetLastError(ERROR_PATH_NOT_FOUND);
  o.reset(&b);
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  SetLastError(ERROR_ACCESS_DENIED);
  { Failing gone(std::move(o)); }
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(closed, (std::vector<int*>{&a, &b}));
}

TEST(ScopeExitTest, RunsUnlessDismissed) {
  int runs = 0;
  {
    base::ScopeExit run([&] { ++runs; });
    base::ScopeExit skip([&] { runs += 10; });
    skip.Dismiss();
  }
  EXPECT_EQ(runs, 1);
}

TEST(ComPtrTest, PutReleasesTheOldReferenceAndQueriesGoByType) {
  base::ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  IStream* const first = stream.get();
  first->AddRef();  // ours, to read the count at the end
  const base::ComPtr<ISequentialStream> read = stream.As<ISequentialStream>();
  EXPECT_EQ(read.get(), static_cast<ISequentialStream*>(first));
  base::ComPtr<IStream> again;
  ASSERT_EQ(read->QueryInterface(KOLBRI_IID_PPV(again)), S_OK);
  EXPECT_EQ(again.get(), first);
  EXPECT_FALSE(stream.As<IShellFolder>());  // E_NOINTERFACE: none
  EXPECT_FALSE(base::QueryAs<IStream>(static_cast<IUnknown*>(nullptr)));

  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  EXPECT_NE(stream.get(), first);
  EXPECT_EQ(first->Release(), 2u);  // read and again hold it, stream no longer
}

}  // namespace
