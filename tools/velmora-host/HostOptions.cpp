// Command-line parsing of velmora-host (with the host-side kit's parser) and
// the names of the property sets.
#include "HostOptions.h"

#include "Arguments.h"
#include "xmp/StandardSchemas.h"

#include <objbase.h>
#include <shlwapi.h>

#include <cwctype>

namespace velmora::host {

namespace {

bool AllDigits(const std::wstring& text) {
    if (text.empty() || text.size() > 9) return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
}

}  // namespace

const wchar_t* const kUsage =
    L"usage: velmora-host [options] FILE\n"
    L"Shows the chunks that the search filter registered for FILE's extension returns.\n"
    L"  --dll PATH         load the filter from this DLL instead of the registry\n"
    L"  --stream           hand the document over as a file stream (IPersistStream)\n"
    L"  --memory-stream    hand it over as an unnamed in-memory copy (IPersistStream)\n"
    L"  --property SET:ID  ask for one property only (repeatable); SET is a name\n"
    L"                     (SummaryInformation, DublinCore, Photoshop, XmpBasic, Storage)\n"
    L"                     or a {GUID}; ID is a number or a property name\n"
    L"  --json             print one JSON object per line\n"
    L"  --help             print this text\n"
    L"exit codes: 0 chunks printed, 1 bad command line, 2 no filter for the file type,\n"
    L"            3 filter cannot be created, 4 document cannot be loaded, 5 filter failed\n";

bool ParseRequestedProperty(const std::wstring& text, RequestedProperty& property) {
    const size_t colon = text.find(L':');
    if (colon == std::wstring::npos || colon == 0 || colon + 1 == text.size()) return false;
    const std::wstring set = text.substr(0, colon);
    const std::wstring id = text.substr(colon + 1);
    bool found = false;
    for (const KnownPropertySet& known : KnownPropertySets()) {
        if (StrCmpIW(known.name, set.c_str()) == 0) {
            property.set = known.set;
            found = true;
        }
    }
    if (!found) {
        std::wstring braced = set.front() == L'{' ? set : L"{" + set + L"}";
        if (FAILED(CLSIDFromString(braced.c_str(), &property.set))) return false;
    }
    property.byName = !AllDigits(id);
    if (property.byName) {
        property.name = id;
    } else {
        property.id = static_cast<PROPID>(std::wcstoul(id.c_str(), nullptr, 10));
    }
    return true;
}

bool ParseHostOptions(int argc, wchar_t** argv, HostOptions& options, std::wstring& error) {
    bool badProperty = false;
    hostkit::Arguments arguments;
    arguments.Switch(L"--help", [&options] { options.help = true; });
    arguments.Switch(L"--json", [&options] { options.json = true; });
    arguments.Switch(L"--stream", [&options] { options.mode = LoadMode::Stream; });
    arguments.Switch(L"--memory-stream", [&options] { options.mode = LoadMode::MemoryStream; });
    arguments.Option(L"--dll", [&options](const std::wstring& value) {
        options.dll = value;
        return true;
    });
    arguments.Option(L"--property", [&options, &badProperty](const std::wstring& value) {
        RequestedProperty property;
        badProperty = !ParseRequestedProperty(value, property);
        if (!badProperty) options.properties.push_back(property);
        return !badProperty;
    });
    std::vector<std::wstring> positional;
    if (!arguments.Parse(argc, argv, &positional, error)) {
        // The tool's own words for its two options with values.
        if (badProperty || error == L"option --property needs a value") {
            error = L"--property needs SET:ID, for example SummaryInformation:2 or DublinCore:creator";
        } else if (error == L"option --dll needs a value") {
            error = L"--dll needs a path";
        }
        return false;
    }
    for (const std::wstring& argument : positional) {
        // The short ways of asking for help, as on Windows.
        if (argument == L"-h" || argument == L"/?") {
            options.help = true;
        } else if (options.file.empty()) {
            options.file = argument;
        } else {
            error = L"only one file can be given";
            return false;
        }
    }
    if (options.file.empty() && !options.help) {
        error = L"no file given";
        return false;
    }
    return true;
}

}  // namespace velmora::host
