// The tests use the product's COM pointer.
#pragma once

#include "common/ComPtr.h"

namespace velmora::test {
using velmora::ComPtr;
}  // namespace velmora::test
