// The XMP Toolkit's client templates over std::string (SXMPMeta, SXMPUtils,
// SXMPIterator). Include this header, never XMP.hpp directly.
#pragma once

#include <string>

#define TXMP_STRING_TYPE std::string
#include "XMP.hpp"
