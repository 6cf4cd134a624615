#pragma once
// Test support: OLE and the shared shell state for the whole test program, a
// counter of live task-allocator blocks, and directory trees on disk.
#include <windows.h>
#include <objidl.h>

#include <string>

#include "shellview/shview.h"

namespace shtest {

// Live blocks of the COM task allocator (which the shell allocator is),
// counted from when the spy was registered at program start.
long LiveTaskBlocks();
// The nth task-allocator allocation from now fails (0: none fails).
void FailAllocation(int nth);

// A fresh directory below C:\ for one test, removed with everything in it.
class TempTree {
 public:
  explicit TempTree(const std::string& name);
  ~TempTree();
  const std::string& path() const { return root_; }
  // Creates a directory (and its parents) relative to the root; returns its path.
  std::string Dir(const std::string& rel) const;
  std::string File(const std::string& rel) const;

 private:
  std::string root_;
};

void RemoveTree(const std::string& path);

// The absolute list of a path (ANSI code page), none when the shell cannot parse it.
shview::AbsoluteIDList ParsePath(const std::string& path);

}  // namespace shtest
