// The table of descriptive namespaces, and the walk that takes their text
// leaves from a document's model into its full text.
#include "xmp/DescriptiveText.h"

#include "common/Memory.h"
#include "common/Win32.h"
#include "diag/Debugger.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace velmora {

namespace {

// Which leaves of a namespace are descriptive, by the name of the leaf's own
// property or field (for an array item, its array's name).
enum class Take {
    Every,   // every leaf, numbers and identifiers too (the filter's own namespace)
    AllBut,  // every leaf but the names listed, and but identifiers and numbers
    Only,    // only the names listed, and of them no identifiers or numbers
};

struct DescriptiveNamespace {
    const char* uri;
    const char* prefix;  // its usual prefix, registered where the toolkit has none
    Take take;
    const char* const* names;  // null-terminated
};

constexpr const char* kNone[] = {nullptr};
constexpr const char* kDcOut[] = {"format", "identifier", "language", "date", nullptr};
constexpr const char* kPhotoshopOut[] = {"DocumentAncestors", "History", "ICCProfile", "ColorMode", "DateCreated",
                                         "SidecarForExtension", "Urgency", nullptr};
constexpr const char* kXmpIn[] = {"Label", "Nickname", "Title", nullptr};
constexpr const char* kRightsOut[] = {"Marked", nullptr};
constexpr const char* kDigiKamOut[] = {"ImageHistory", "CaptionsDateTimeStamps", nullptr};
constexpr const char* kMicrosoftPhotoOut[] = {"CameraSerialNumber", "DateAcquired", "Rating", nullptr};
constexpr const char* kMpRegionIn[] = {"PersonDisplayName", nullptr};
constexpr const char* kMwgRegionIn[] = {"Name", "Description", nullptr};
constexpr const char* kMwgKeywordIn[] = {"Keyword", nullptr};
constexpr const char* kAcdseeOut[] = {"tagged", "rawrppused", "rpp", "dpp", "datetime", nullptr};
constexpr const char* kExifIn[] = {"UserComment", nullptr};
constexpr const char* kTiffIn[] = {"ImageDescription", "Artist", "Copyright", "Make", "Model", nullptr};
constexpr const char* kAuxIn[] = {"Lens", nullptr};
constexpr const char* kExifExIn[] = {"LensMake", "LensModel", nullptr};
constexpr const char* kPdfIn[] = {"Keywords", "Author", "Title", "Subject", nullptr};
constexpr const char* kPlusOut[] = {"Version", nullptr};

// The one list of what is descriptive. Namespaces not listed here (xmpMM's
// history and IDs, Camera Raw settings, thumbnails, regions' areas...) never
// reach the full text but through a mapped property.
constexpr DescriptiveNamespace kDescriptiveNamespaces[] = {
    {"http://purl.org/dc/elements/1.1/", "dc", Take::AllBut, kDcOut},
    {"http://ns.adobe.com/photoshop/1.0/", "photoshop", Take::AllBut, kPhotoshopOut},
    {"http://ns.adobe.com/xap/1.0/", "xmp", Take::Only, kXmpIn},
    {"http://ns.adobe.com/xap/1.0/rights/", "xmpRights", Take::AllBut, kRightsOut},
    {"http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/", "Iptc4xmpCore", Take::AllBut, kNone},
    {"http://iptc.org/std/Iptc4xmpExt/2008-02-29/", "Iptc4xmpExt", Take::AllBut, kNone},
    {"http://ns.useplus.org/ldf/xmp/1.0/", "plus", Take::AllBut, kPlusOut},
    {"http://ns.adobe.com/lightroom/1.0/", "lr", Take::AllBut, kNone},
    {"http://www.digikam.org/ns/1.0/", "digiKam", Take::AllBut, kDigiKamOut},
    {"http://ns.microsoft.com/photo/1.0", "MicrosoftPhoto", Take::AllBut, kMicrosoftPhotoOut},
    // Windows writes the same namespace with a closing slash as well.
    {"http://ns.microsoft.com/photo/1.0/", nullptr, Take::AllBut, kMicrosoftPhotoOut},
    {"http://ns.microsoft.com/photo/1.2/", "MP", Take::AllBut, kNone},
    {"http://ns.microsoft.com/photo/1.2/t/RegionInfo#", "MPRI", Take::AllBut, kNone},
    {"http://ns.microsoft.com/photo/1.2/t/Region#", "MPReg", Take::Only, kMpRegionIn},
    {"http://www.metadataworkinggroup.com/schemas/regions/", "mwg-rs", Take::Only, kMwgRegionIn},
    {"http://www.metadataworkinggroup.com/schemas/keywords/", "mwg-kw", Take::Only, kMwgKeywordIn},
    {"http://ns.iview-multimedia.com/mediapro/1.0/", "mediapro", Take::AllBut, kNone},
    {"http://ns.acdsee.com/iptc/1.0/", "acdsee", Take::AllBut, kAcdseeOut},
    {"http://ns.adobe.com/exif/1.0/", "exif", Take::Only, kExifIn},
    {"http://ns.adobe.com/tiff/1.0/", "tiff", Take::Only, kTiffIn},
    {"http://ns.adobe.com/exif/1.0/aux/", "aux", Take::Only, kAuxIn},
    {"http://cipa.jp/exif/1.0/", "exifEX", Take::Only, kExifExIn},
    {"http://ns.adobe.com/pdf/1.3/", "pdf", Take::Only, kPdfIn},
    {kVelmoraTextNS, kVelmoraTextPrefix, Take::Every, kNone},
};

bool Listed(const char* const* names, const std::string& name) {
    for (; *names; ++names) {
        if (name == *names) return true;
    }
    return false;
}

bool EndsWith(const std::string& text, const char* tail) {
    const size_t length = std::strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

// Names that say the value identifies something rather than describes it:
// PersonId, LocationId, DigImageGUID, LicensorID, PersonLiveIdCID,
// PersonEmailDigest, LegacyIPTCDigest, ImageUniqueID.
bool IsIdentifierName(const std::string& name) {
    return EndsWith(name, "ID") || EndsWith(name, "Id") || EndsWith(name, "Digest");
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWithNoCase(const std::string& text, const char* head) {
    const size_t length = std::strlen(head);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != head[i]) return false;
    }
    return true;
}

// A value that names or counts rather than says: no letter at all (numbers,
// dates, ratings, coordinates), a URI or document ID, or a run of hex digits
// (GUIDs and digests). Every byte above 0x7F counts as a letter, so text in
// any script passes.
bool IsIdentifierOrNumber(const std::string& value) {
    bool letter = false;
    bool hexOnly = true;
    for (const char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x80 || IsAsciiLetter(c)) letter = true;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '-' ||
                         c == '{' || c == '}';
        if (!hex) hexOnly = false;
    }
    if (!letter) return true;
    if (hexOnly && value.size() >= 16) return true;
    for (const char* scheme : {"uuid:", "xmp.did:", "xmp.iid:", "adobe:docid:", "urn:", "http://", "https://"}) {
        if (StartsWithNoCase(value, scheme)) return true;
    }
    return false;
}

bool IsBlank(const std::string& value) {
    for (const char c : value) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return true;
}

// The prefix and name of the property or field a leaf path ends in, its
// array steps ("[3]", "[?xml:lang=...]") passed over:
// "Iptc4xmpExt:LocationShown[1]/Iptc4xmpExt:City" -> Iptc4xmpExt, City.
bool LeafName(const std::string& path, std::string& prefix, std::string& name) {
    size_t end = path.size();
    while (end > 0 && path[end - 1] == ']') {
        const size_t open = path.rfind('[', end - 1);
        if (open == std::string::npos) return false;
        end = open;
    }
    const size_t slash = path.rfind('/', end == 0 ? 0 : end - 1);
    const size_t start = (slash == std::string::npos || slash >= end) ? 0 : slash + 1;
    const size_t colon = path.find(':', start);
    if (colon == std::string::npos || colon >= end) return false;
    prefix.assign(path, start, colon - start);
    name.assign(path, colon + 1, end - colon - 1);
    return !prefix.empty() && !name.empty();
}

// The table's row for a prefix of the toolkit's, looked up once per prefix.
class NamespaceRows {
public:
    const DescriptiveNamespace* Find(const std::string& prefix) {
        const auto found = rows.find(prefix);
        if (found != rows.end()) return found->second;
        const DescriptiveNamespace* row = nullptr;
        std::string uri;
        try {
            if (SXMPMeta::GetNamespaceURI(prefix.c_str(), &uri)) {
                for (const DescriptiveNamespace& candidate : kDescriptiveNamespaces) {
                    if (uri == candidate.uri) {
                        row = &candidate;
                        break;
                    }
                }
            }
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
        }
        rows.emplace(prefix, row);
        return row;
    }

private:
    std::unordered_map<std::string, const DescriptiveNamespace*> rows;
};

bool IsDescriptive(const DescriptiveNamespace& row, const std::string& name, const std::string& value) {
    if (row.take == Take::Every) return true;
    if (row.take == Take::Only && !Listed(row.names, name)) return false;
    if (row.take == Take::AllBut && Listed(row.names, name)) return false;
    return !IsIdentifierName(name) && !IsIdentifierOrNumber(value);
}

}  // namespace

XmpPacket::TextList CollectDescriptiveText(const SXMPMeta& meta, const XmpPacket::TextList& existing) {
    XmpPacket::TextList added;
    std::unordered_set<std::wstring> seen;
    size_t characters = 0;
    for (const ContentText& text : existing) {
        seen.insert(text.text);
        characters += text.text.size();
    }
    size_t leftOut = 0;
    size_t leftOutCharacters = 0;

    // Memory that runs out where the toolkit passes the failure over must
    // not pass for a document with less text.
    TakeAllocationFailure();
    NamespaceRows rows;
    std::string schema;
    std::string path;
    std::string value;
    std::string prefix;
    std::string name;
    try {
        SXMPIterator leaves(meta, kXMP_IterJustLeafNodes | kXMP_IterOmitQualifiers);
        XMP_OptionBits options = 0;
        while (leaves.Next(&schema, &path, &value, &options)) {
            if ((options & kXMP_PropCompositeMask) || value.empty() || IsBlank(value)) continue;
            if (!LeafName(path, prefix, name)) continue;
            const DescriptiveNamespace* const row = rows.Find(prefix);
            if (!row || !IsDescriptive(*row, name, value)) continue;
            std::wstring text = Utf8ToWide(value);
            if (seen.count(text)) continue;
            const size_t room = characters < kMaxFullTextCharacters ? kMaxFullTextCharacters - characters : 0;
            if (text.size() > room) {
                ++leftOut;
                leftOutCharacters += text.size();
                continue;
            }
            std::string language;
            if ((options & kXMP_PropHasLang) &&
                !meta.GetQualifier(schema.c_str(), path.c_str(), kXMP_NS_XML, "lang", &language, nullptr)) {
                language.clear();
            }
            characters += text.size();
            seen.insert(text);
            added.push_back({std::move(text), std::move(language)});
        }
    } catch (const XMP_Error& error) {
        // A model the iterator cannot walk to its end gives what was walked.
        ThrowIfOutOfMemory(error);
    }
    if (TakeAllocationFailure()) throw std::bad_alloc();
    if (leftOut > 0) {
        wchar_t line[160];
        swprintf(line, std::size(line),
                 L"INFO: full text capped at %u characters: %u descriptive texts of %u characters left out \n",
                 static_cast<unsigned>(kMaxFullTextCharacters), static_cast<unsigned>(leftOut),
                 static_cast<unsigned>(leftOutCharacters));
        debugger.Log(2, line);
    }
    return added;
}

void RegisterDescriptivePrefixes() {
    for (const DescriptiveNamespace& row : kDescriptiveNamespaces) {
        if (!row.prefix) continue;
        try {
            std::string actual;
            SXMPMeta::RegisterNamespace(row.uri, row.prefix, &actual);
        } catch (const XMP_Error& error) {
            // A prefix that another namespace holds: that namespace keeps it.
            ThrowIfOutOfMemory(error);
        }
    }
}

}  // namespace velmora
