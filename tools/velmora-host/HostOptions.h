// The command line of velmora-host: which file, how the filter is found,
// how the document is handed over, which properties are asked for and how
// chunks are printed.
#pragma once

#include "PropertySets.h"

#include <windows.h>
#include <filter.h>

#include <string>
#include <vector>

namespace velmora::host {

enum class LoadMode { File, Stream, MemoryStream };

// One property asked for on the command line: a set and an identifier or name.
struct RequestedProperty {
    GUID set{};
    bool byName = false;
    PROPID id = 0;
    std::wstring name;
};

struct HostOptions {
    std::wstring file;
    std::wstring dll;  // empty: find the filter through the registry
    LoadMode mode = LoadMode::File;
    std::vector<RequestedProperty> properties;
    bool json = false;
    bool help = false;
};

// Parses argv; false with a message in error for a command line that makes no sense.
bool ParseHostOptions(int argc, wchar_t** argv, HostOptions& options, std::wstring& error);

// "SummaryInformation:2", "DublinCore:creator", "{GUID}:name" or "{GUID}:5".
bool ParseRequestedProperty(const std::wstring& text, RequestedProperty& property);

// Property-set names, GUID text and times come from the host-side kit.
using hostkit::FormatFileTime;
using hostkit::GuidText;
using hostkit::KnownPropertySet;
using hostkit::KnownPropertySets;
using hostkit::PropertySetName;

extern const wchar_t* const kUsage;

}  // namespace velmora::host
