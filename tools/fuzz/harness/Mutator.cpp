// The mutations. Each one keeps the input within maxSize and works on any
// bytes, with or without a packet in them.
#include "Mutator.h"

#include "Containers.h"
#include "TextForms.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace velmora::fuzz {

const Mutator::Named Mutator::kMutations[] = {
    {"flip-bits", &Mutator::FlipBits},         {"interesting-bytes", &Mutator::InterestingBytes},
    {"truncate", &Mutator::Truncate},          {"splice-packet", &Mutator::SplicePacket},
    {"duplicate-packet", &Mutator::DuplicatePacket}, {"wide-packet", &Mutator::WidePacket},
    {"huge-attribute", &Mutator::HugeAttribute}, {"deep-nesting", &Mutator::DeepNesting},
    {"stray-markers", &Mutator::StrayMarkers}, {"cut-range", &Mutator::CutRange},
    {"copy-range", &Mutator::CopyRange},       {"odd-values", &Mutator::OddValues},
    {"container-structure", &Mutator::ContainerStructure}, {"compressed-block", &Mutator::CompressedBlock},
    {"huge-array", &Mutator::HugeArray},       {"native-text", &Mutator::NativeText},
};

Mutator::Mutator(std::vector<std::string> seeds, uint64_t seed, size_t maxSize, size_t maxNesting)
    : seeds(std::move(seeds)), random(seed), maxSize(maxSize), maxNesting(maxNesting ? maxNesting : 1) {
    if (this->seeds.empty()) this->seeds.push_back(std::string());
}

std::string Mutator::Next(std::string& description) {
    const size_t seedIndex = random.Below(seeds.size());
    std::string data = seeds[seedIndex];
    description = "seed " + std::to_string(seedIndex);
    const size_t count = 1 + random.Below(3);
    for (size_t i = 0; i < count; ++i) {
        const Named& mutation = kMutations[random.Below(sizeof kMutations / sizeof kMutations[0])];
        (this->*mutation.apply)(data);
        description += std::string(" ") + mutation.name;
        if (data.size() > maxSize) data.resize(maxSize);
    }
    return data;
}

bool Mutator::FindPacket(const std::string& data, size_t& begin, size_t& end) const {
    begin = data.find("<?xpacket begin");
    if (begin != std::string::npos) {
        const size_t close = data.find("<?xpacket end", begin);
        if (close != std::string::npos) {
            const size_t tail = data.find("?>", close);
            end = tail == std::string::npos ? data.size() : tail + 2;
            return true;
        }
    }
    begin = data.find("<x:xmpmeta");
    if (begin == std::string::npos) begin = data.find("<rdf:RDF");
    if (begin == std::string::npos) return false;
    size_t close = data.find("</x:xmpmeta>", begin);
    if (close != std::string::npos) {
        end = close + 12;
        return true;
    }
    close = data.find("</rdf:RDF>", begin);
    end = close == std::string::npos ? data.size() : close + 10;
    return true;
}

void Mutator::FlipBits(std::string& data) {
    if (data.empty()) return;
    const size_t flips = 1 + random.Below(8);
    for (size_t i = 0; i < flips; ++i) data[random.Below(data.size())] ^= static_cast<char>(1u << random.Below(8));
}

void Mutator::InterestingBytes(std::string& data) {
    static const char kBytes[] = {'\0', '\xFF', '<', '>', '"', '\'', '?', '&', '=', '/', '\xEF', '\xC0', '\x80'};
    if (data.empty()) return;
    const size_t count = 1 + random.Below(6);
    for (size_t i = 0; i < count; ++i) data[random.Below(data.size())] = kBytes[random.Below(sizeof kBytes)];
}

void Mutator::Truncate(std::string& data) {
    size_t begin = 0, end = 0;
    // Prefer cutting inside the packet, where the scanner and parser look.
    if (FindPacket(data, begin, end) && random.OneIn(2)) {
        data.resize(begin + random.Below(end - begin + 1));
    } else {
        data.resize(random.Below(data.size() + 1));
    }
}

void Mutator::SplicePacket(std::string& data) {
    const std::string& other = AnySeed();
    size_t begin = 0, end = 0;
    if (!FindPacket(other, begin, end)) return;
    const std::string packet = other.substr(begin, end - begin);
    data.insert(random.Below(data.size() + 1), packet);
}

void Mutator::DuplicatePacket(std::string& data) {
    size_t begin = 0, end = 0;
    if (!FindPacket(data, begin, end)) return;
    const std::string packet = data.substr(begin, end - begin);
    const size_t copies = 1 + random.Below(random.OneIn(8) ? 200 : 4);
    for (size_t i = 0; i < copies && data.size() + packet.size() <= maxSize; ++i) {
        data.insert(random.OneIn(2) ? end : random.Below(data.size() + 1), packet);
    }
}

// Letters whose code units hold the bytes of markup ('<' 0x3C, '>' 0x3E,
// '"' 0x22, '\'' 0x27), in Cyrillic, Devanagari (a nukta), CJK and beyond
// the Basic Multilingual Plane.
namespace {

const char32_t kWideLetters[] = {0x043C, 0x043E, 0x0422, 0x0427, 0x093C, 0x0915, 0x3C3E, 0x2722,
                                 0x273C, 0x3E22, 0x4E2D, 0x6587, 0x1F33C, 0x00E9};

}  // namespace

void Mutator::WidePacket(std::string& data) {
    size_t begin = 0, end = 0;
    if (!FindPacket(data, begin, end)) return;
    std::u32string text = hostkit::DecodeUtf8(data.substr(begin, end - begin));
    // Letters of other scripts in text and quoted values.
    const size_t letters = random.Below(64);
    for (size_t i = 0; i < letters && !text.empty(); ++i) {
        const size_t at = random.Below(text.size());
        if (text[at] >= U'a' && text[at] <= U'z') text[at] = kWideLetters[random.Below(std::size(kWideLetters))];
    }
    const hostkit::TextForm forms[] = {hostkit::TextForm::Utf16Little, hostkit::TextForm::Utf16Big,
                                       hostkit::TextForm::Utf32Little, hostkit::TextForm::Utf32Big};
    const hostkit::TextForm form = forms[random.Below(std::size(forms))];
    std::string wide;
    if (random.OneIn(2)) wide = hostkit::Encode(U"\uFEFF", form);
    wide += hostkit::Encode(text, form);
    // Sometimes drop a byte, so that the code units are misaligned.
    if (random.OneIn(4) && !wide.empty()) wide.erase(random.Below(wide.size()), 1);
    data.replace(begin, end - begin, wide);
}

void Mutator::HugeAttribute(std::string& data) {
    size_t begin = 0, end = 0;
    const size_t size = 1 + random.Below(random.OneIn(4) ? (1u << 20) : 65536);
    const char fill = "aZ0 &<\xC3"[random.Below(7)];
    const std::string value(size, fill);
    size_t at = data.find("<rdf:Description", FindPacket(data, begin, end) ? begin : 0);
    if (at == std::string::npos) {
        data.insert(random.Below(data.size() + 1), "<rdf:Description dc:format=\"" + value + "\"/>");
        return;
    }
    at += 16;
    static const char* kNames[] = {" dc:format=\"", " xmp:Label=\"", " photoshop:Urgency=\"", " xmp:CreateDate=\"",
                                   " xmlns:big=\""};
    data.insert(at, kNames[random.Below(5)] + value + "\"");
}

void Mutator::DeepNesting(std::string& data) {
    size_t begin = 0, end = 0;
    const size_t depth = 1 + random.Below(random.OneIn(4) ? maxNesting : std::min<size_t>(2000, maxNesting));
    static const char* kOpen[] = {"<rdf:Bag><rdf:li>", "<rdf:Description><dc:x>", "<a>", "<rdf:Seq><rdf:li rdf:parseType=\"Resource\"><dc:s>"};
    static const char* kClose[] = {"</rdf:li></rdf:Bag>", "</dc:x></rdf:Description>", "</a>", "</dc:s></rdf:li></rdf:Seq>"};
    const size_t kind = random.Below(4);
    std::string open, close;
    const size_t openLength = std::char_traits<char>::length(kOpen[kind]);
    const size_t closeLength = std::char_traits<char>::length(kClose[kind]);
    const size_t budget = maxSize > data.size() ? (maxSize - data.size()) / (openLength + closeLength) : 0;
    const size_t levels = std::min(depth, budget);
    open.reserve(levels * openLength);
    close.reserve(levels * closeLength);
    for (size_t i = 0; i < levels; ++i) {
        open += kOpen[kind];
        close += kClose[kind];
    }
    const bool balanced = !random.OneIn(4);
    std::string nest = "<dc:subject>" + open + "x" + (balanced ? close : std::string()) + "</dc:subject>";
    size_t at = data.find("</rdf:Description>", FindPacket(data, begin, end) ? begin : 0);
    if (at == std::string::npos) at = random.Below(data.size() + 1);
    data.insert(at, nest);
}

void Mutator::HugeArray(std::string& data) {
    // Face regions (a wildcard path of the property pack walks them), the
    // filter's own comments and IPTC locations (the full-text walk takes
    // them); item texts short, long, empty, numeric or not Latin.
    struct Shape {
        const char* open;
        const char* item;  // the item's text goes between item and close
        const char* itemClose;
        const char* close;
    };
    static const Shape kShapes[] = {
        {"<mwg-rs:Regions xmlns:mwg-rs='http://www.metadataworkinggroup.com/schemas/regions/' rdf:parseType='Resource'>"
         "<mwg-rs:RegionList><rdf:Bag>",
         "<rdf:li rdf:parseType='Resource'><mwg-rs:Type>Face</mwg-rs:Type><mwg-rs:Name>", "</mwg-rs:Name></rdf:li>",
         "</rdf:Bag></mwg-rs:RegionList></mwg-rs:Regions>"},
        {"<velmoraText:Comments xmlns:velmoraText='http://ns.corvantis.com/velmora/text/1.0/'><rdf:Bag>", "<rdf:li>",
         "</rdf:li>", "</rdf:Bag></velmoraText:Comments>"},
        {"<Iptc4xmpExt:LocationShown xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/'><rdf:Bag>",
         "<rdf:li rdf:parseType='Resource'><Iptc4xmpExt:City>", "</Iptc4xmpExt:City></rdf:li>",
         "</rdf:Bag></Iptc4xmpExt:LocationShown>"},
        {"<MP:RegionInfo xmlns:MP='http://ns.microsoft.com/photo/1.2/' xmlns:MPRI='http://ns.microsoft.com/photo/1.2/t/RegionInfo#'"
         " xmlns:MPReg='http://ns.microsoft.com/photo/1.2/t/Region#' rdf:parseType='Resource'><MPRI:Regions><rdf:Bag>",
         "<rdf:li rdf:parseType='Resource'><MPReg:PersonDisplayName>", "</MPReg:PersonDisplayName></rdf:li>",
         "</rdf:Bag></MPRI:Regions></MP:RegionInfo>"},
    };
    static const char* kTexts[] = {"Ana Lima", "", "1987", "\xE6\xB8\xAF", "uuid:0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"};
    const Shape& shape = kShapes[random.Below(std::size(kShapes))];
    const size_t items = 1 + random.Below(random.OneIn(4) ? 100000 : 2000);
    const size_t longText = random.OneIn(8) ? 1 + random.Below(4096) : 0;
    std::string array = shape.open;
    for (size_t i = 0; i < items && data.size() + array.size() < maxSize; ++i) {
        array += shape.item;
        array += longText ? std::string(longText, 'w') + std::to_string(i) : kTexts[random.Below(std::size(kTexts))];
        if (random.OneIn(2)) array += std::to_string(i);
        array += shape.itemClose;
    }
    array += shape.close;
    size_t begin = 0, end = 0;
    size_t at = data.find("</rdf:Description>", FindPacket(data, begin, end) ? begin : 0);
    if (at == std::string::npos) at = random.Below(data.size() + 1);
    data.insert(at, array);
}

void Mutator::StrayMarkers(std::string& data) {
    static const char* kMarkers[] = {
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>",
        "<?xpacket end=\"w\"?>",
        "<?xpacket end=\"r\"?>",
        "<?xpacket begin=",
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d' bytes='99999999'?>",
        "<?xpacket end='x'?>",
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">",
        "</x:xmpmeta>",
    };
    const size_t count = 1 + random.Below(4);
    for (size_t i = 0; i < count; ++i) data.insert(random.Below(data.size() + 1), kMarkers[random.Below(8)]);
}

void Mutator::CutRange(std::string& data) {
    if (data.empty()) return;
    const size_t at = random.Below(data.size());
    data.erase(at, 1 + random.Below(std::min<size_t>(data.size() - at, 512)));
}

void Mutator::CopyRange(std::string& data) {
    if (data.empty()) return;
    const size_t from = random.Below(data.size());
    const std::string piece = data.substr(from, 1 + random.Below(std::min<size_t>(data.size() - from, 4096)));
    data.insert(random.Below(data.size() + 1), piece);
}

void Mutator::OddValues(std::string& data) {
    // Replace the text of one element or attribute value with text the type
    // conversions have to survive: huge numbers, odd dates, broken UTF-8.
    static const char* kValues[] = {
        "99999999999999999999", "-2147483649", "2147483647", "-0", "+", " 7x", "0x10",
        "0000-00-00T00:00:00", "1600-01-01", "30827-12-31T23:59:59Z", "2024-13-45T25:61:61+99:99",
        "T10:20:30", "2006-05-04T10:20:30.123456789+02:00", "\xC3", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "&#0;", "&#xD800;", "&amp;&lt;", ""};
    if (data.empty()) return;
    const size_t at = random.Below(data.size());
    size_t open = data.find_first_of(">\"", at);
    if (open == std::string::npos) return;
    const char closer = data[open] == '>' ? '<' : '"';
    const size_t close = data.find(closer, open + 1);
    if (close == std::string::npos) return;
    data.replace(open + 1, close - open - 1, kValues[random.Below(sizeof kValues / sizeof kValues[0])]);
}

namespace {

// The length fields of a container's blocks: where each sits and how wide it
// is, so that a mutation can forge one. JPEG segments (16-bit big-endian),
// PNG chunks (32-bit big-endian), RIFF/WebP chunks (32-bit little-endian),
// Photoshop image resources (32-bit big-endian), GIF sub-blocks (8-bit),
// TIFF directory entries (the count and the value offset) and the boxes of
// an ISO base media file (HEIF, AVIF), with the items' numbers, locations
// and references inside its `meta` box.
struct Field {
    size_t at;
    size_t width;
    bool bigEndian;
};

uint32_t Read(const std::string& data, size_t at, size_t width, bool bigEndian) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        const uint32_t byte = static_cast<unsigned char>(data[at + i]);
        value |= byte << (8 * (bigEndian ? width - 1 - i : i));
    }
    return value;
}

// The fields of one `iloc` box body (after version and flags): item count,
// each item's number, base offset, extent count and every extent's offset
// and length (wider fields by their low 32 bits).
void ItemLocationFields(const std::string& data, size_t at, size_t end, uint32_t version, std::vector<Field>& fields) {
    if (at + 2 > end) return;
    const uint32_t sizes = Read(data, at, 2, true);
    const size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15, baseSize = sizes >> 4 & 15;
    const size_t indexSize = version >= 1 ? (sizes & 15) : 0;
    const size_t idSize = version < 2 ? 2 : 4;
    const auto field = [&](size_t width) {
        if (width >= 4 && at + width <= end) fields.push_back({at + width - 4, 4, true});
        if (width == 2 && at + 2 <= end) fields.push_back({at, 2, true});
        at += width;
    };
    at += 2;
    if (at + idSize > end) return;
    const size_t items = std::min<size_t>(Read(data, at, idSize, true), 64);
    field(idSize);
    for (size_t i = 0; i < items && at < end && fields.size() < 512; ++i) {
        field(idSize);
        if (version >= 1) field(2);  // construction method
        at += 2;                     // data reference index
        field(baseSize);
        if (at + 2 > end) return;
        const size_t extents = std::min<size_t>(Read(data, at, 2, true), 32);
        field(2);
        for (size_t e = 0; e < extents && at < end; ++e) {
            at += indexSize;
            field(offsetSize);
            field(lengthSize);
        }
    }
}

// Every box's size from `at` to `end`, into the boxes that hold boxes.
void BoxFields(const std::string& data, size_t at, size_t end, int depth, std::vector<Field>& fields) {
    while (at + 8 <= end && fields.size() < 512) {
        fields.push_back({at, 4, true});
        const size_t size = Read(data, at, 4, true);
        const std::string type = data.substr(at + 4, 4);
        const size_t boxEnd = size < 8 ? end : std::min(end, at + size);
        const size_t body = at + 8;
        if (depth < 6) {
            if (type == "meta" && body + 4 <= boxEnd) {
                BoxFields(data, body + 4, boxEnd, depth + 1, fields);
            } else if (type == "iprp" || type == "ipco" || type == "dinf" || type == "moov") {
                BoxFields(data, body, boxEnd, depth + 1, fields);
            } else if (type == "uuid" && body + 16 <= boxEnd) {
                BoxFields(data, body + 16, boxEnd, depth + 1, fields);  // CR3's CMT and XMP boxes
            } else if (type == "iinf" && body + 6 <= boxEnd) {
                const size_t countWidth = data[body] == 0 ? 2 : 4;
                fields.push_back({body + 4, countWidth, true});
                BoxFields(data, body + 4 + countWidth, boxEnd, depth + 1, fields);
            } else if (type == "iref" && body + 4 <= boxEnd) {
                // Each reference: its size, the item it is from, the count and the items it names.
                BoxFields(data, body + 4, boxEnd, depth + 1, fields);
                for (size_t ref = body + 4; ref + 14 <= boxEnd;) {
                    for (size_t f = ref + 8; f + 2 <= std::min(boxEnd, ref + 14); f += 2) fields.push_back({f, 2, true});
                    const size_t refSize = Read(data, ref, 4, true);
                    if (refSize < 8) break;
                    ref += refSize;
                }
            } else if ((type == "pitm" || type == "infe") && body + 6 <= boxEnd) {
                fields.push_back({body + 4, 2, true});  // the item's number
            } else if (type == "iloc" && body + 4 <= boxEnd) {
                ItemLocationFields(data, body + 4, boxEnd, static_cast<unsigned char>(data[body]), fields);
            }
        }
        if (size < 8) break;
        at += size;
    }
}

std::vector<Field> LengthFields(const std::string& data) {
    std::vector<Field> fields;
    const auto starts = [&](const char* magic, size_t length) { return data.compare(0, length, magic, length) == 0; };
    if (starts("\xFF\xD8", 2)) {
        for (size_t at = 2; at + 4 <= data.size() && fields.size() < 256;) {
            if (static_cast<unsigned char>(data[at]) != 0xFF) break;
            fields.push_back({at + 2, 2, true});
            at += 2 + Read(data, at + 2, 2, true);
        }
    } else if (starts("\x89PNG\r\n\x1A\n", 8)) {
        for (size_t at = 8; at + 12 <= data.size() && fields.size() < 256;) {
            fields.push_back({at, 4, true});
            at += 12 + static_cast<size_t>(Read(data, at, 4, true));
        }
    } else if (starts("RIFF", 4)) {
        fields.push_back({4, 4, false});
        for (size_t at = 12; at + 8 <= data.size() && fields.size() < 256;) {
            fields.push_back({at + 4, 4, false});
            const size_t size = Read(data, at + 4, 4, false);
            at += 8 + size + (size & 1);
        }
    } else if (starts("8BPS", 4) && data.size() > 30) {
        // Header (26), colour mode data (length), then the image resources.
        const size_t resources = 26 + 4 + Read(data, 26, 4, true);
        if (resources + 4 <= data.size()) fields.push_back({resources, 4, true});
        for (size_t at = resources + 4; at + 12 <= data.size() && fields.size() < 256;) {
            if (data.compare(at, 4, "8BIM") != 0) break;
            const size_t nameLength = static_cast<unsigned char>(data[at + 6]);
            const size_t sizeAt = at + 6 + ((nameLength + 2) & ~size_t{1});
            if (sizeAt + 4 > data.size()) break;
            fields.push_back({sizeAt, 4, true});
            const size_t size = Read(data, sizeAt, 4, true);
            at = sizeAt + 4 + size + (size & 1);
        }
    } else if (starts("GIF8", 4)) {
        for (size_t at = 13; at < data.size() && fields.size() < 256; ++at) {
            if (data[at] == '!' && at + 2 < data.size()) fields.push_back({at + 2, 1, false});
        }
    } else if (starts("\0\0\0\x0CJXL ", 8)) {
        for (size_t at = 0; at + 8 <= data.size() && fields.size() < 256;) {
            fields.push_back({at, 4, true});
            const size_t size = Read(data, at, 4, true);
            if (size < 8) break;
            at += size;
        }
    } else if (data.size() >= 8 && data.compare(4, 4, "ftyp") == 0) {
        BoxFields(data, 0, data.size(), 0, fields);
    } else if (starts("FUJIFILMCCD-RAW ", 16)) {
        for (size_t at = 0x54; at < 0x6C && at + 4 <= data.size(); at += 4) fields.push_back({at, 4, true});
    } else if (starts("\0MRM", 4)) {
        fields.push_back({4, 4, true});
        for (size_t at = 8; at + 8 <= data.size() && fields.size() < 64;) {
            fields.push_back({at + 4, 4, true});
            at += 8 + static_cast<size_t>(Read(data, at + 4, 4, true));
        }
    } else if (data.size() >= 14 && data.compare(6, 8, "HEAPCCDR") == 0) {
        // The root heap's table offset (its last 4 bytes), its count and
        // each record's length and offset.
        const bool big = data[0] == 'M';
        fields.push_back({data.size() - 4, 4, big});
        const size_t start = Read(data, 2, 4, big), table = start + Read(data, data.size() - 4, 4, big);
        if (table + 2 <= data.size()) {
            fields.push_back({table, 2, big});
            for (size_t i = 0, n = Read(data, table, 2, big); i < n && i < 64 && table + 12 + 10 * i <= data.size(); ++i) {
                fields.push_back({table + 2 + 10 * i + 2, 4, big});
                fields.push_back({table + 2 + 10 * i + 6, 4, big});
            }
        }
    } else if (starts("FOVb", 4) && data.size() >= 16) {
        // The directory's offset (the last 4 bytes), its count and each
        // section's offset and length.
        fields.push_back({data.size() - 4, 4, false});
        const size_t directory = Read(data, data.size() - 4, 4, false);
        if (directory + 12 <= data.size()) {
            fields.push_back({directory + 8, 4, false});
            for (size_t i = 0; i < 16 && directory + 24 + 12 * i <= data.size(); ++i) {
                fields.push_back({directory + 12 + 12 * i, 4, false});
                fields.push_back({directory + 16 + 12 * i, 4, false});
            }
        }
    } else if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("IIU\0", 4) || starts("IIRO", 4) ||
               starts("IIRS", 4) || starts("MMOR", 4)) {
        const bool big = data[0] == 'M';
        const size_t ifd = Read(data, 4, 4, big);
        if (ifd + 2 <= data.size()) {
            fields.push_back({ifd, 2, big});
            const size_t entries = std::min<size_t>(Read(data, ifd, 2, big), 64);
            for (size_t i = 0; i < entries && ifd + 2 + 12 * (i + 1) <= data.size(); ++i) {
                fields.push_back({ifd + 2 + 12 * i + 4, 4, big});  // count
                fields.push_back({ifd + 2 + 12 * i + 8, 4, big});  // value or its offset
            }
        }
    }
    return fields;
}

}  // namespace

// Forges a length of the container's structure, or drops or doubles a block
// at it: lengths past the end, zero, one off, or huge.
void Mutator::ContainerStructure(std::string& data) {
    const std::vector<Field> fields = LengthFields(data);
    if (fields.empty()) return;
    const Field field = fields[random.Below(fields.size())];
    if (field.at + field.width > data.size()) return;
    const uint32_t old = Read(data, field.at, field.width, field.bigEndian);
    const uint32_t max = field.width == 4 ? 0xFFFFFFFFu : (1u << (8 * field.width)) - 1;
    const uint32_t values[] = {0, 1, old + 1, old - 1, max, max / 2, static_cast<uint32_t>(data.size()),
                               static_cast<uint32_t>(data.size() - field.at), old * 2};
    const uint32_t value = values[random.Below(sizeof values / sizeof values[0])] & max;
    if (random.OneIn(6)) {
        // Double the block that starts at the field, as far as the old length says.
        const size_t length = std::min<size_t>(old, data.size() - field.at);
        data.insert(field.at, data.substr(field.at, length));
        return;
    }
    for (size_t i = 0; i < field.width; ++i) {
        const size_t shift = 8 * (field.bigEndian ? field.width - 1 - i : i);
        data[field.at + i] = static_cast<char>(value >> shift & 0xFF);
    }
}

void Mutator::CompressedBlock(std::string& data) {
    const bool png = data.compare(0, 8, "\x89PNG\r\n\x1A\n", 8) == 0;
    const bool jxl = data.compare(0, 8, std::string("\0\0\0\x0CJXL ", 8)) == 0;
    if (!png && !jxl) return;
    size_t begin = 0, end = 0;
    std::string packet;
    if (FindPacket(data, begin, end)) {
        packet = data.substr(begin, end - begin);
    } else {
        const std::string& other = AnySeed();
        if (FindPacket(other, begin, end)) packet = other.substr(begin, end - begin);
    }
    // The packet, cut short, with bits flipped, or now and then a bomb
    // (each costs the time of expanding 64 MB, several times an input).
    static constexpr size_t kNoBomb[] = {0, 2, 3};
    const size_t kind = random.OneIn(16) ? 1 : kNoBomb[random.Below(3)];
    const bool rawProfile = png && random.OneIn(3);
    if (rawProfile) packet = hostkit::RawProfile("xmp", packet);
    std::string compressed;
    if (kind == 1) {
        if (png && zlibBomb.empty()) zlibBomb = hostkit::ZlibBomb((64u << 20) + 1 + random.Below(1 << 20));
        compressed = png ? zlibBomb : hostkit::kBrotliBomb100MB;
    } else {
        compressed = png ? hostkit::ZlibCompress(packet) : hostkit::BrotliStored(packet);
    }
    if (kind == 2 && !compressed.empty()) compressed.resize(random.Below(compressed.size()));
    if (kind == 3 && !compressed.empty()) {
        for (size_t i = 0, flips = 1 + random.Below(4); i < flips; ++i) {
            compressed[random.Below(compressed.size())] ^= static_cast<char>(1u << random.Below(8));
        }
    }
    if (jxl) {
        const std::string box = hostkit::Box("brob", (random.OneIn(4) ? "Exif" : "xml ") + compressed);
        // After the signature and file type boxes, or at the end.
        const size_t at = random.OneIn(2) && data.size() >= 32 ? 32 : data.size();
        data.insert(at, box);
        return;
    }
    const std::string keyword = rawProfile ? "Raw profile type xmp" : "XML:com.adobe.xmp";
    const std::string chunk = random.OneIn(2) ? hostkit::PngChunk("zTXt", keyword + std::string("\0\0", 2) + compressed)
                                              : hostkit::PngChunk("iTXt", keyword + std::string("\0\1\0\0\0", 5) + compressed);
    // After the header chunk, or before the end chunk.
    const size_t at = random.OneIn(2) && data.size() >= 33 ? 33 : (data.size() >= 12 ? data.size() - 12 : data.size());
    data.insert(at, chunk);
}

namespace {

void Append16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}
void Append32(std::string& out, uint32_t value) {
    Append16(out, value & 0xFFFF);
    Append16(out, value >> 16);
}

// UTF-16LE text that Windows' tags may hold, and the odd forms they must bear.
std::string XpText(Random& random) {
    static const uint16_t kUnits[] = {'a', ';', ' ', 0x05E9, 0x4E2D, 0xD83D, 0xDE00, 0xDC00, 0xD800, 0, 0xFFFF};
    std::string text;
    for (size_t i = 0, n = random.Below(24); i < n; ++i) Append16(text, kUnits[random.Below(std::size(kUnits))]);
    if (random.OneIn(3)) text += 'x';  // an odd length
    return text;
}

// A little-endian TIFF structure whose IFD0 holds some of Windows' XP tags,
// now and then with a count or an offset forged.
std::string XpTiff(Random& random) {
    const size_t count = 1 + random.Below(5);
    std::vector<std::string> values(count);
    std::string tiff("II*\0\x08\0\0\0", 8);
    Append16(tiff, random.OneIn(8) ? 0xFFFF : static_cast<uint32_t>(count));
    uint32_t offset = static_cast<uint32_t>(8 + 2 + 12 * count + 4);
    std::string data;
    for (size_t i = 0; i < count; ++i) {
        const std::string text = XpText(random);
        Append16(tiff, 0x9C9B + static_cast<uint32_t>(random.Below(5)));
        Append16(tiff, random.OneIn(6) ? 7 : 1);
        const uint32_t length = random.OneIn(8) ? 0xFFFFFFFFu - static_cast<uint32_t>(random.Below(16))
                                                : static_cast<uint32_t>(text.size());
        Append32(tiff, length);
        if (text.size() <= 4 && !random.OneIn(8)) {
            std::string inline_ = text;
            inline_.resize(4, '\0');
            tiff += inline_;
            continue;
        }
        Append32(tiff, random.OneIn(8) ? 0xFFFFFFF0u : offset + static_cast<uint32_t>(data.size()));
        data += text;
    }
    Append32(tiff, 0);
    return tiff + data;
}

}  // namespace

void Mutator::NativeText(std::string& data) {
    const bool png = data.compare(0, 8, "\x89PNG\r\n\x1A\n", 8) == 0;
    const bool jpeg = data.compare(0, 3, "\xFF\xD8\xFF", 3) == 0;
    if (!png && !jpeg) return;
    static const char* const kKeywords[] = {"Title", "Author", "Description", "Copyright", "Creation Time",
                                            "Software", "Comment", "Warning", "Raw profile type exif",
                                            "Raw profile type iptc"};
    std::string text;
    for (size_t i = 0, n = random.Below(64); i < n; ++i) text += static_cast<char>(random.Below(256));
    if (random.OneIn(4)) text = "2022:08:24T22:07:07+02:00";
    if (random.OneIn(4)) text = std::string(1 + random.Below(8), ' ');
    const std::string tiff = XpTiff(random);
    if (jpeg) {
        std::string segment;
        if (random.OneIn(3)) {
            segment = "\xFF\xFE";
        } else {
            segment = "\xFF\xE1";
            text = std::string("Exif\0\0", 6) + tiff;
        }
        const size_t length = std::min<size_t>(text.size() + 2, 0xFFFF);
        segment += static_cast<char>(length >> 8);
        segment += static_cast<char>(length & 0xFF);
        data.insert(2, segment + text.substr(0, length - 2));
        return;
    }
    std::string chunk;
    const std::string keyword = kKeywords[random.Below(std::size(kKeywords))];
    if (keyword.compare(0, 11, "Raw profile") == 0) text = hostkit::RawProfile("exif", std::string("Exif\0\0", 6) + tiff);
    switch (random.Below(4)) {
    case 0: chunk = hostkit::PngChunk("tEXt", keyword + '\0' + text); break;
    case 1: chunk = hostkit::PngChunk("zTXt", keyword + std::string("\0\0", 2) + hostkit::ZlibCompress(text)); break;
    case 2: chunk = hostkit::PngChunk("iTXt", keyword + std::string("\0\0\0en\0\0", 7) + text); break;
    default: chunk = hostkit::PngChunk("eXIf", tiff); break;
    }
    const size_t at = random.OneIn(2) && data.size() >= 33 ? 33 : (data.size() >= 12 ? data.size() - 12 : data.size());
    data.insert(at, chunk);
}

}  // namespace velmora::fuzz
