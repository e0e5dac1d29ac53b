// The IFD0 walk for Windows' text tags and the IPTC tags, and the decoding
// of UTF-16LE tags, IPTC-IIM datasets and Photoshop image resources.
#include "native/ExifTags.h"

#include "common/ByteOrder.h"
#include "common/Utf8.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr uint16_t kXPTitle = 0x9C9B;
constexpr uint16_t kXPComment = 0x9C9C;
constexpr uint16_t kXPAuthor = 0x9C9D;
constexpr uint16_t kXPKeywords = 0x9C9E;
constexpr uint16_t kXPSubject = 0x9C9F;
constexpr uint16_t kIptcNaa = 33723;
constexpr uint16_t kPhotoshopResources = 34377;

constexpr uint16_t kByteType = 1;
constexpr uint16_t kLongType = 4;
constexpr uint16_t kUndefinedType = 7;

// The tag's home in texts, or null for a tag not read here.
std::string* TargetOf(uint16_t tag, TiffTexts& texts) {
    switch (tag) {
    case kXPTitle: return &texts.xpTitle;
    case kXPComment: return &texts.xpComment;
    case kXPAuthor: return &texts.xpAuthor;
    case kXPKeywords: return &texts.xpKeywords;
    case kXPSubject: return &texts.xpSubject;
    case kIptcNaa: return &texts.iptc;
    case kPhotoshopResources: return &texts.resources;
    default: return nullptr;
    }
}

const uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    const size_t units = bytes.size() / 2;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const uint32_t unit = ReadLittle16(Bytes(bytes) + 2 * i);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
            const uint32_t low = ReadLittle16(Bytes(bytes) + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                ++i;
                continue;
            }
        }
        AppendUtf8(unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit, out);
    }
    return out;
}

HRESULT ReadTiffTexts(ByteSource& source, uint64_t base, uint64_t length, TiffTexts& texts) {
    if (length < 8 || base > source.Size() || length > source.Size() - base) return S_FALSE;
    uint8_t header[8];
    HRESULT hr = source.ReadExactly(base, header, sizeof header);
    if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
    const bool big = header[0] == 'M' && header[1] == 'M';
    if (!big && !(header[0] == 'I' && header[1] == 'I')) return S_FALSE;
    const uint64_t ifd = Read32(header + 4, big);
    if (ifd < 8 || ifd > length - 2) return S_FALSE;
    uint8_t countBytes[2];
    hr = source.ReadExactly(base + ifd, countBytes, 2);
    if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
    // Entries cut off by the structure's end are not read.
    const uint64_t count = std::min<uint64_t>(Read16(countBytes, big), (length - ifd - 2) / 12);
    std::string entries(static_cast<size_t>(count * 12), '\0');
    if (count > 0) {
        hr = source.ReadExactly(base + ifd + 2, entries.data(), static_cast<DWORD>(entries.size()));
        if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
    }
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* entry = Bytes(entries) + i * 12;
        std::string* target = TargetOf(Read16(entry, big), texts);
        const uint16_t type = Read16(entry + 2, big);
        if (!target || (type != kByteType && type != kUndefinedType && type != kLongType)) continue;
        const uint64_t size = uint64_t{Read32(entry + 4, big)} * (type == kLongType ? 4 : 1);
        if (size == 0 || size > kMaxTagValue) continue;
        std::string value;
        if (size <= 4) {
            value.assign(reinterpret_cast<const char*>(entry + 8), static_cast<size_t>(size));
        } else {
            const uint64_t offset = Read32(entry + 8, big);
            if (offset > length || size > length - offset) continue;
            value.resize(static_cast<size_t>(size));
            hr = source.ReadExactly(base + offset, value.data(), static_cast<DWORD>(size));
            if (FAILED(hr)) return hr;
            if (hr != S_OK) continue;
        }
        const bool windowsText = target != &texts.iptc && target != &texts.resources;
        *target = windowsText ? Utf16LeToUtf8(value) : std::move(value);
    }
    return S_OK;
}

std::vector<IptcDataSet> ParseIptc(std::string_view block) {
    std::vector<IptcDataSet> dataSets;
    size_t at = 0;
    // Each dataset takes 5 bytes at least, so the count is bounded by the block.
    while (block.size() - at >= 5 && static_cast<uint8_t>(block[at]) == 0x1C) {
        IptcDataSet dataSet;
        dataSet.record = static_cast<uint8_t>(block[at + 1]);
        dataSet.number = static_cast<uint8_t>(block[at + 2]);
        uint32_t size = ReadBig16(Bytes(block) + at + 3);
        at += 5;
        if (size & 0x8000) {
            // An extended length: the count of length bytes that follow.
            const uint32_t lengthBytes = size & 0x7FFF;
            if (lengthBytes == 0 || lengthBytes > 4 || block.size() - at < lengthBytes) break;
            size = 0;
            for (uint32_t i = 0; i < lengthBytes; ++i) size = size << 8 | static_cast<uint8_t>(block[at + i]);
            at += lengthBytes;
            if (size > block.size() - at) break;
            at += size;  // no text dataset is this long
            continue;
        }
        if (size > block.size() - at) break;
        dataSet.data = block.substr(at, size);
        at += size;
        dataSets.push_back(dataSet);
    }
    return dataSets;
}

bool IptcDeclaresUtf8(const std::vector<IptcDataSet>& dataSets) {
    for (const IptcDataSet& dataSet : dataSets) {
        if (dataSet.record == 1 && dataSet.number == 90) {
            return dataSet.data == std::string_view("\x1B%G", 3) || dataSet.data == std::string_view("\x1B%/I", 4);
        }
    }
    return false;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t more = 0;
        uint32_t c = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            more = 1, c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            more = 2, c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            more = 3, c = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= more) return false;
        for (size_t k = 1; k <= more; ++k) {
            const uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = c << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c < 0xE000)) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

std::string IptcText(std::string_view data, bool declaredUtf8) {
    if (declaredUtf8 || IsValidUtf8(data)) return std::string(data);
    std::string out;
    out.reserve(data.size() * 2);
    for (const char c : data) AppendUtf8(static_cast<uint8_t>(c), out);
    return out;
}

std::string_view IptcOfResources(std::string_view resources) {
    size_t at = 0;
    // "8BIM", a 2-byte identifier, a padded Pascal name, a 4-byte size and
    // the data, padded to an even length.
    while (resources.size() - at >= 12 && resources.compare(at, 4, "8BIM") == 0) {
        const uint16_t id = ReadBig16(Bytes(resources) + at + 4);
        const size_t nameLength = static_cast<uint8_t>(resources[at + 6]);
        const size_t nameSize = (nameLength + 2) & ~size_t{1};
        if (resources.size() - at - 6 < nameSize + 4) break;
        const size_t sizeAt = at + 6 + nameSize;
        const uint32_t size = ReadBig32(Bytes(resources) + sizeAt);
        if (size > resources.size() - sizeAt - 4) break;
        if (id == 0x0404) return resources.substr(sizeAt + 4, size);
        const size_t padded = size_t{size} + (size & 1);
        if (padded > resources.size() - sizeAt - 4) break;
        at = sizeAt + 4 + padded;
    }
    return {};
}

}  // namespace velmora
