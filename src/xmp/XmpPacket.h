// One document as the filter sees it: the parsed data model of its XMP
// packet (chosen and parsed by PacketReader, from a file or a host's stream),
// and typed value queries over it. Every value read is also kept as wide text.
// A packet belongs to one filter object and has no lock of its own.
#pragma once

#include "xmp/ByteSource.h"
#include "xmp/XmpToolkit.h"

#include <windows.h>
#include <wtypes.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>

namespace velmora {

// The slot that a value query fills. Only the field of the kind is meaningful.
struct PropertyValue {
    enum Kind : int32_t { None = -1, Text = 0, Date = 1, Integer = 2 };

    std::wstring text;
    FILETIME time{};
    int32_t number = 0;
    int32_t kind = None;
};

class XmpPacket {
public:
    using TextList = std::list<std::wstring>;

    // Reads and parses the file when path is not null; never throws for an
    // unreadable file: IsLoaded and IsEmpty tell the outcome.
    XmpPacket(const wchar_t* path, bool joinArrayItems);
    virtual ~XmpPacket();
    XmpPacket(const XmpPacket&) = delete;
    XmpPacket& operator=(const XmpPacket&) = delete;

    // Both give the code of the open or read that failed (the packet is then
    // not loaded), else the outcome of the parse.
    HRESULT Load(const wchar_t* path, bool joinArrayItems);
    HRESULT Load(ByteSource& source, bool joinArrayItems);

    bool IsLoaded() const { return loaded; }
    bool IsEmpty() const { return !meta; }
    SXMPMeta* GetMeta() const { return meta.get(); }

    // Fills value with item `index` (1-based) of the property and returns the
    // index to ask for next, or -1 when there is no such value. In join mode a
    // VT_LPWSTR property is delivered as one value of all remaining items.
    int32_t GetValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type, int32_t index,
                     PropertyValue& value);
    // Reads exactly one item.
    int32_t GetItemValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type, int32_t index,
                         PropertyValue& value);

    void ClearText() { texts.clear(); }
    TextList::const_iterator TextBegin() const { return texts.begin(); }
    TextList::const_iterator TextEnd() const { return texts.end(); }

private:
    void Forget(bool joinArrayItems);

    bool loaded = false;
    bool joinArrayItems = false;
    std::unique_ptr<SXMPMeta> meta;
    TextList texts;
};

// An XMP date (already in UTC) as a FILETIME; fractions of a second dropped.
bool DateTimeToFileTime(const XMP_DateTime& dateTime, FILETIME& fileTime);

namespace StringUtils {
// Decimal text to a 32-bit integer the way `istringstream >> int` reads it;
// throws std::runtime_error when no number can be read.
int32_t ConvertToInt(const std::string& text);
}  // namespace StringUtils

}  // namespace velmora
