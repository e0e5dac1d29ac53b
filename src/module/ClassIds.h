// The two class identifiers of the server. Both are fixed for the product's
// life: hosts and installed registrations refer to them.
#pragma once

#include <windows.h>

namespace velmora {

// {2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}: the filter class, served by DllGetClassObject.
inline constexpr CLSID CLSID_VelmoraFilter = {
    0x2BD5D05B, 0xF921, 0x4FB6, {0xB4, 0xD1, 0x2F, 0x5C, 0xEE, 0x09, 0x47, 0x1D}};

// {7F0BCA34-AF00-403A-B243-23F2837DF0B1}: the persistent handler; only ever registered.
inline constexpr CLSID CLSID_VelmoraPersistentHandler = {
    0x7F0BCA34, 0xAF00, 0x403A, {0xB2, 0x43, 0x23, 0xF2, 0x83, 0x7D, 0xF0, 0xB1}};

}  // namespace velmora
