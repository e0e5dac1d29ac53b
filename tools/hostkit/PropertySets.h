// What a host-side tool or test prints about the filter's chunks: the property
// sets that hosts meet from this filter, by name, GUIDs in registry form, and
// FILETIMEs as ISO 8601 UTC. Shared by velmora-host, the robustness harness,
// the benchmark and the tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::hostkit {

struct KnownPropertySet {
    const wchar_t* name;
    GUID set;
};
// SummaryInformation, DublinCore, Photoshop, XmpBasic and Storage, in that order.
const std::vector<KnownPropertySet>& KnownPropertySets();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::wstring GuidText(const GUID& guid);

// The set's name, or its GUID in braces when it is not a known one.
std::wstring PropertySetName(const GUID& set);

// "2024-05-04T04:20:30Z", or "(invalid FILETIME)".
std::wstring FormatFileTime(const FILETIME& time);

}  // namespace velmora::hostkit
