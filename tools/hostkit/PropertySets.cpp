#include "PropertySets.h"

#include "xmp/StandardSchemas.h"

#include <ntquery.h>
#include <objbase.h>

#include <cwchar>

namespace velmora::hostkit {

const std::vector<KnownPropertySet>& KnownPropertySets() {
    static const std::vector<KnownPropertySet> sets = {
        {L"SummaryInformation", FMTID_SummaryInformation},
        {L"DublinCore", FMTID_XmpDublinCore},
        {L"Photoshop", FMTID_XmpPhotoshop},
        {L"XmpBasic", FMTID_XmpBasic},
        {L"Storage", PSGUID_STORAGE},
    };
    return sets;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring PropertySetName(const GUID& set) {
    for (const KnownPropertySet& known : KnownPropertySets()) {
        if (IsEqualGUID(known.set, set)) return known.name;
    }
    return GuidText(set);
}

std::wstring FormatFileTime(const FILETIME& time) {
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) return L"(invalid FILETIME)";
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
             utc.wSecond);
    return text;
}

}  // namespace velmora::hostkit
