#pragma once
// The views hand over count items as one list, their one-item identifiers back
// to back; the shell wants an array of separate one-item lists.
#include <vector>

#include "shellview/shview.h"

namespace shcom {

class ItemSplit {
 public:
  // False when the list holds fewer than count items (or a copy fails).
  bool Take(PCUIDLIST_RELATIVE items, int count) {
    PCUIDLIST_RELATIVE at = items;
    for (int i = 0; i < count; ++i) {
      if (!at || !at->mkid.cb) return false;
      shview::ChildIDList one = shview::CopyFirstItemID(at);
      if (!one) return false;
      pointers_.push_back(one.get());
      owned_.push_back(std::move(one));
      at = shview::GetNextItemID(at);
    }
    return true;
  }
  UINT count() const { return static_cast<UINT>(pointers_.size()); }
  PCUITEMID_CHILD_ARRAY data() { return pointers_.data(); }

 private:
  std::vector<shview::ChildIDList> owned_;
  std::vector<PCUITEMID_CHILD> pointers_;
};

using shview::DesktopReference;

}  // namespace shcom
