// Writing native values into the model where it lacks them, and the two
// corrections of the toolkit's import: IPTC text read in the wrong encoding,
// and blank native values that took the place of the document's own.
#include "native/NativeText.h"

#include "common/Win32.h"
#include "diag/Debugger.h"

#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr char kItemPath[] = "Comments";

struct Descriptive {
    const char* ns;
    const char* name;
    uint8_t iptcDataSet;  // of record 2, or 0 for none
    bool list;            // an array of the dataset's every occurrence
};

// The properties that the toolkit fills from native metadata and that a
// blank native value may spoil.
const Descriptive kDescriptive[] = {
    {kXMP_NS_DC, "title", 5, false},
    {kXMP_NS_DC, "description", 120, false},
    {kXMP_NS_DC, "rights", 116, false},
    {kXMP_NS_DC, "creator", 80, true},
    {kXMP_NS_Photoshop, "Headline", 105, false},
    {kXMP_NS_Photoshop, "City", 90, false},
    {kXMP_NS_Photoshop, "State", 95, false},
    {kXMP_NS_Photoshop, "Country", 101, false},
    {kXMP_NS_Photoshop, "Credit", 110, false},
    {kXMP_NS_Photoshop, "Source", 115, false},
    {kXMP_NS_Photoshop, "CaptionWriter", 122, false},
    {kXMP_NS_Photoshop, "AuthorsPosition", 85, false},
    {kXMP_NS_Photoshop, "Instructions", 40, false},
    {kXMP_NS_TIFF, "ImageDescription", 0, false},
    {kXMP_NS_TIFF, "Artist", 0, false},
    {kXMP_NS_TIFF, "Copyright", 0, false},
    {kXMP_NS_EXIF, "UserComment", 0, false},
};

std::string Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> SplitList(const std::string& items) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= items.size()) {
        size_t end = items.find(';', at);
        if (end == std::string::npos) end = items.size();
        std::string part = Trimmed(std::string_view(items).substr(at, end - at));
        if (!part.empty()) parts.push_back(std::move(part));
        at = end + 1;
    }
    return parts;
}

bool HasItem(const SXMPMeta& meta, const char* ns, const char* name, const std::string& value) {
    return HasValue(meta, ns, name, value);
}

// Whether the property exists with some text that is not blank.
bool HasText(const SXMPMeta& meta, const char* ns, const char* name) {
    if (!meta.DoesPropertyExist(ns, name)) return false;
    SXMPIterator leaves(meta, ns, name, kXMP_IterJustLeafNodes | kXMP_IterOmitQualifiers);
    std::string schema, path, value;
    while (leaves.Next(&schema, &path, &value)) {
        if (!IsBlank(value)) return true;
    }
    return false;
}

// The toolkit's import keeps CR and CRLF as LF.
std::string LineFeeds(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// What the toolkit makes of text without a declared encoding: the system's
// code page, unless it is ASCII.
std::string AsCodePage(std::string_view data) {
    bool ascii = true;
    for (const char c : data) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
    if (ascii || data.size() > kMaxTagValue) return std::string(data);
    const int size = static_cast<int>(data.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, data.data(), size, nullptr, 0);
    if (wide <= 0) return std::string(data);
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, data.data(), size, text.data(), wide);
    return WideToUtf8(text);
}

}  // namespace

bool IsBlank(std::string_view text) { return Trimmed(text).empty(); }

bool HasValue(const SXMPMeta& meta, const char* ns, const char* name, const std::string& value) {
    std::string text;
    XMP_OptionBits options = 0;
    if (!meta.GetProperty(ns, name, &text, &options)) return false;
    if (!(options & kXMP_PropValueIsArray)) return !(options & kXMP_PropCompositeMask) && text == value;
    const XMP_Index count = meta.CountArrayItems(ns, name);
    for (XMP_Index i = 1; i <= count; ++i) {
        std::string item;
        if (meta.GetArrayItem(ns, name, i, &item, nullptr) && item == value) return true;
    }
    return false;
}

void FillLangAlt(SXMPMeta& meta, const char* ns, const char* name, const std::string& text) {
    if (IsBlank(text) || HasText(meta, ns, name)) return;
    meta.DeleteProperty(ns, name);
    meta.SetLocalizedText(ns, name, "", "x-default", Trimmed(text));
}

void FillSimple(SXMPMeta& meta, const char* ns, const char* name, const std::string& text) {
    if (IsBlank(text) || HasText(meta, ns, name)) return;
    meta.SetProperty(ns, name, Trimmed(text));
}

bool FillDate(SXMPMeta& meta, const char* ns, const char* name, const std::string& text) {
    std::string date = Trimmed(text);
    // Exif's spelling, "2022:08:24 22:07:07", as an XMP date.
    if (date.size() >= 10 && date[4] == ':' && date[7] == ':') {
        date[4] = date[7] = '-';
        if (date.size() > 10 && date[10] == ' ') date[10] = 'T';
    }
    XMP_DateTime parsed{};
    try {
        SXMPUtils::ConvertToDate(date, &parsed);
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
        return false;
    }
    if (parsed.year == 0) return false;
    if (!meta.DoesPropertyExist(ns, name)) meta.SetProperty(ns, name, date);
    return true;
}

void FillList(SXMPMeta& meta, const char* ns, const char* name, const std::string& items) {
    if (HasText(meta, ns, name)) return;
    const std::vector<std::string> parts = SplitList(items);
    if (parts.empty()) return;
    meta.DeleteProperty(ns, name);
    for (const std::string& part : parts) meta.AppendArrayItem(ns, name, kXMP_PropArrayIsOrdered, part);
}

void AddKeywords(SXMPMeta& meta, const std::string& keywords) {
    for (const std::string& keyword : SplitList(keywords)) {
        if (!HasItem(meta, kXMP_NS_DC, "subject", keyword)) {
            meta.AppendArrayItem(kXMP_NS_DC, "subject", kXMP_PropValueIsArray, keyword);
        }
    }
}

void AddFullText(SXMPMeta& meta, const std::string& text) {
    if (IsBlank(text)) return;
    std::string value = Trimmed(text);
    if (value.size() > kMaxNativeTextSize) {
        debugger.Log(1, L"ERROR: a native text is longer than is read; it is passed over \n");
        return;
    }
    if (static_cast<size_t>(meta.CountArrayItems(kVelmoraTextNS, kItemPath)) >= kMaxNativeTexts) {
        debugger.Log(1, L"ERROR: a document holds more native texts than are read; the others are passed over \n");
        return;
    }
    if (HasItem(meta, kVelmoraTextNS, kItemPath, value)) return;
    meta.AppendArrayItem(kVelmoraTextNS, kItemPath, kXMP_PropValueIsArray, value);
}

void AddWindowsTags(SXMPMeta& meta, const TiffTexts& texts) {
    FillLangAlt(meta, kXMP_NS_DC, "title", texts.xpTitle);
    FillLangAlt(meta, kXMP_NS_DC, "description", texts.xpSubject);
    FillLangAlt(meta, kXMP_NS_EXIF, "UserComment", texts.xpComment);
    FillList(meta, kXMP_NS_DC, "creator", texts.xpAuthor);
    AddKeywords(meta, texts.xpKeywords);
    // Each text also reaches the full text where its home was taken.
    for (const std::string* text : {&texts.xpTitle, &texts.xpSubject, &texts.xpComment}) {
        if (!IsBlank(*text) && !HasItem(meta, kXMP_NS_DC, "title", Trimmed(*text)) &&
            !HasItem(meta, kXMP_NS_DC, "description", Trimmed(*text)) &&
            !HasItem(meta, kXMP_NS_EXIF, "UserComment", Trimmed(*text))) {
            AddFullText(meta, *text);
        }
    }
}

void CorrectIptcText(SXMPMeta& meta, std::string_view iptc) {
    const std::vector<IptcDataSet> dataSets = ParseIptc(iptc);
    if (dataSets.empty() || IptcDeclaresUtf8(dataSets)) return;
    std::vector<std::pair<std::string, std::string>> readings;  // the toolkit's, the right one
    for (const IptcDataSet& dataSet : dataSets) {
        if (dataSet.record != 2) continue;
        std::string wrong = LineFeeds(AsCodePage(dataSet.data));
        std::string right = LineFeeds(IptcText(dataSet.data, false));
        if (wrong != right) readings.emplace_back(std::move(wrong), std::move(right));
    }
    if (readings.empty()) return;
    std::vector<std::pair<std::string, std::string>> fixes;  // schema and path, value
    std::vector<std::string> schemas;
    {
        SXMPIterator leaves(meta, kXMP_IterJustLeafNodes | kXMP_IterOmitQualifiers);
        std::string schema, path, value;
        while (leaves.Next(&schema, &path, &value)) {
            for (const auto& reading : readings) {
                if (value != reading.first) continue;
                schemas.push_back(schema);
                fixes.emplace_back(path, reading.second);
                break;
            }
        }
    }
    for (size_t i = 0; i < fixes.size(); ++i) meta.SetProperty(schemas[i].c_str(), fixes[i].first.c_str(), fixes[i].second);
}

bool HasBlankValues(const SXMPMeta& meta) {
    for (const Descriptive& property : kDescriptive) {
        if (meta.DoesPropertyExist(property.ns, property.name) && !HasText(meta, property.ns, property.name)) return true;
    }
    return false;
}

void RestoreFrom(SXMPMeta& meta, const SXMPMeta& own, const char* ns, const char* name) {
    if (!HasText(own, ns, name)) return;
    meta.DeleteProperty(ns, name);
    SXMPUtils::DuplicateSubtree(own, &meta, ns, name);
}

void DropBlankValues(SXMPMeta& meta, const SXMPMeta* own, std::string_view iptc) {
    const std::vector<IptcDataSet> dataSets = ParseIptc(iptc);
    const bool declaredUtf8 = IptcDeclaresUtf8(dataSets);
    for (const Descriptive& property : kDescriptive) {
        if (!meta.DoesPropertyExist(property.ns, property.name) || HasText(meta, property.ns, property.name)) continue;
        meta.DeleteProperty(property.ns, property.name);
        if (own && HasText(*own, property.ns, property.name)) {
            SXMPUtils::DuplicateSubtree(*own, &meta, property.ns, property.name);
            continue;
        }
        for (const IptcDataSet& dataSet : dataSets) {
            if (property.iptcDataSet == 0 || dataSet.record != 2 || dataSet.number != property.iptcDataSet) continue;
            const std::string text = LineFeeds(IptcText(dataSet.data, declaredUtf8));
            if (IsBlank(text)) continue;
            if (property.list) {
                meta.AppendArrayItem(property.ns, property.name, kXMP_PropArrayIsOrdered, Trimmed(text));
                continue;
            }
            if (property.ns == std::string_view(kXMP_NS_DC)) {
                meta.SetLocalizedText(property.ns, property.name, "", "x-default", Trimmed(text));
            } else {
                meta.SetProperty(property.ns, property.name, Trimmed(text));
            }
            break;
        }
    }
}

}  // namespace velmora
