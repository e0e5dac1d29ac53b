// One document as the filter sees it: the parsed data model of its XMP
// packet (found by the format handlers or the packet search, from a file or a
// host's stream), and typed value queries over it. Every value read is also
// kept as wide text.
// A packet belongs to one filter object and has no lock of its own.
#pragma once

#include "io/ByteSource.h"
#include "xmp/ValueConversion.h"
#include "toolkit/XmpToolkit.h"

#include <windows.h>
#include <wtypes.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// The slot that a value query fills. Only the field of the kind is meaningful.
struct PropertyValue {
    enum Kind : int32_t { None = -1, Text = 0, Date = 1, Integer = 2, Scalar = 3 };

    std::wstring text;
    FILETIME time{};
    int32_t number = 0;
    int32_t kind = None;
    PROPVARIANT scalar{};  // kind Scalar: a number or boolean, owning nothing
};

// One text of the document's contents: a value as read, and the language its
// item declares (the xml:lang of an alternative of a language-alternative
// array; empty for every other value).
struct ContentText {
    std::wstring text;
    std::string language;
};

// What one value query gives: a value in the slot, no value for this item (its
// text did not convert to the declared type; the slot is left as it was), or
// no more items. `next` is the index to ask for next, except after the last.
struct ValueResult {
    enum class Outcome { Value, NoValue, NoMoreItems };

    Outcome outcome = Outcome::NoMoreItems;
    int32_t next = 0;

    static ValueResult Found(int32_t next) { return {Outcome::Value, next}; }
    static ValueResult Skipped(int32_t next) { return {Outcome::NoValue, next}; }
    static ValueResult End() { return {Outcome::NoMoreItems, 0}; }

    bool HasValue() const { return outcome == Outcome::Value; }
    bool IsEnd() const { return outcome == Outcome::NoMoreItems; }
};

class XmpPacket {
public:
    using TextList = std::list<ContentText>;

    // How a document's metadata is found: through the toolkit's handler for
    // its format (with or without the format's native metadata), and where
    // that finds nothing, by the packet search; or by the packet search alone.
    struct Reading {
        bool formatHandlers = true;
        bool nativeMetadata = true;
    };

    // Reads and parses the file when path is not null; never throws for an
    // unreadable file: IsLoaded and IsEmpty tell the outcome. Memory running
    // out, here and in every call below, throws std::bad_alloc: it never
    // passes for the end of a document.
    XmpPacket(const wchar_t* path, bool joinArrayItems);
    virtual ~XmpPacket();
    XmpPacket(const XmpPacket&) = delete;
    XmpPacket& operator=(const XmpPacket&) = delete;

    // Both give the code of the open or read that failed (the packet is then
    // not loaded), else the outcome of the parse.
    HRESULT Load(const wchar_t* path, bool joinArrayItems);
    HRESULT Load(ByteSource& source, bool joinArrayItems);

    // For the loads that follow.
    void SetReading(const Reading& how) { reading = how; }

    bool IsLoaded() const { return loaded; }
    bool IsEmpty() const { return !meta; }
    SXMPMeta* GetMeta() const { return meta.get(); }

    // Fills value with item `index` (1-based) of the property. An item whose
    // text does not convert gives no value but does not end the property: the
    // items after it are still read. In join mode a VT_LPWSTR property is
    // delivered as one value of all remaining items. A value map, when given,
    // turns each item's text into the text its row names before the type's
    // conversion; an item no row names gives no value.
    ValueResult GetValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type, int32_t index,
                         PropertyValue& value, const ValueMap* valueMap = nullptr);
    // Reads exactly one item.
    ValueResult GetItemValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                             int32_t index, PropertyValue& value, const ValueMap* valueMap = nullptr);

    void ClearText() { texts.clear(); }
    // Appends the model's descriptive texts (xmp/DescriptiveText.h) that the
    // text list does not hold yet; on failure the list is as it was.
    void AddDescriptiveText();
    TextList::const_iterator TextBegin() const { return texts.begin(); }
    TextList::const_iterator TextEnd() const { return texts.end(); }

private:
    // The property a query looked up last and its options. The model does
    // not change once loaded, so the items after the first of one property
    // go straight to the item: one lookup per item instead of three.
    struct Lookup {
        std::string schemaNS;
        std::string propPath;
        XMP_OptionBits options = 0;
        bool valid = false;
    };

    // The leaf paths a definition path with "[*]" steps names in this
    // document (xmp/WildcardPaths.h), for the property queried last.
    struct Expansion {
        std::string schemaNS;
        std::string propPath;
        std::vector<std::string> leaves;
        bool valid = false;
    };

    void Forget(bool joinArrayItems);
    ValueResult GetWildcardItem(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                int32_t index, PropertyValue& value, const ValueMap* valueMap);
    // S_FALSE when the handler gave nothing to use and the packet search is next.
    HRESULT LoadThroughHandler(ByteSource& source);
    HRESULT LoadThroughPacketSearch(ByteSource& source);
    static std::unique_ptr<SXMPMeta> MakeModel();
    ValueResult ConvertItem(const std::string& text, VARTYPE type, int32_t index, PropertyValue& value);
    // The xml:lang of an alt-text array's item, or empty.
    std::string ItemLanguage(const std::string& schemaNS, const std::string& propPath, int32_t index) const;

    bool loaded = false;
    bool joinArrayItems = false;
    Reading reading;
    std::unique_ptr<SXMPMeta> meta;
    TextList texts;
    Lookup last;
    Expansion expansion;
};

// An XMP date (already in UTC) as a FILETIME; fractions of a second dropped.
bool DateTimeToFileTime(const XMP_DateTime& dateTime, FILETIME& fileTime);

namespace StringUtils {
// Decimal text to a 32-bit integer the way `istringstream >> int` reads it;
// throws std::runtime_error when no number can be read.
int32_t ConvertToInt(const std::string& text);
// The same without the exception: false when no number can be read.
bool TryConvertToInt(const std::string& text, int32_t& number);
}  // namespace StringUtils

}  // namespace velmora
