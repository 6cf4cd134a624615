#pragma once
// The views' name for the counted COM reference of base/com.h.
#include "base/com.h"

namespace shview {
using base::ComPtr;
}  // namespace shview
