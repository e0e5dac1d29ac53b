// Definition paths with "[*]" steps: "every item of this array", anywhere in
// the path (mwg-rs:Regions/mwg-rs:RegionList[*]/mwg-rs:Name). Expanded per
// document into the paths of the leaves they reach, in array order; a leaf
// that is itself an array gives each of its items. Bounded: at most
// kMaxWildcardLeaves leaves and kMaxWildcardSteps items visited per path.
#pragma once

#include "toolkit/XmpToolkit.h"

#include <cstddef>
#include <string>
#include <vector>

namespace velmora {

constexpr size_t kMaxWildcardLeaves = 1000;
constexpr size_t kMaxWildcardSteps = 20000;

bool IsWildcardPath(const std::string& path);

// Appends to leaves the item paths of every value path names under schemaNS
// in meta. Returns false when a bound cut the expansion short (logged once
// per call). A path the toolkit refuses reaches nothing. Throws std::bad_alloc.
bool ExpandWildcardPath(const SXMPMeta& meta, const std::string& schemaNS, const std::string& path,
                        std::vector<std::string>& leaves);

}  // namespace velmora
