#include "raw/TiffBlocks.h"

#include "common/ByteOrder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velmora {

namespace {

constexpr uint16_t kExifPointer = 0x8769;
constexpr uint16_t kGpsPointer = 0x8825;
constexpr uint16_t kInteropPointer = 0xA005;
constexpr uint16_t kSubIfds = 0x014A;
constexpr uint16_t kMakerNote = 0x927C;
constexpr uint16_t kLong = 4;
// More entries than any real IFD holds.
constexpr size_t kMaxEntries = 1024;

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    std::string_view value;  // inline or pointed at, as it stands
};

struct Piece {
    bool bigEndian = false;
    std::vector<Entry> entries;
};

size_t TypeSize(uint16_t type) {
    static constexpr uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof kSizes ? kSizes[type] : 0;
}

bool HeaderOf(std::string_view block, bool& bigEndian) {
    if (block.size() < 8) return false;
    if (block.compare(0, 4, std::string_view("II*\0", 4)) == 0) {
        bigEndian = false;
    } else if (block.compare(0, 4, std::string_view("MM\0*", 4)) == 0) {
        bigEndian = true;
    } else {
        return false;
    }
    return true;
}

// The first IFD's entries, each value checked to lie inside the block.
bool ReadPiece(std::string_view block, Piece& piece) {
    if (!HeaderOf(block, piece.bigEndian)) return false;
    const bool big = piece.bigEndian;
    const uint32_t ifd = Read32(block.data() + 4, big);
    if (ifd > block.size() || block.size() - ifd < 2) return true;
    const size_t count = std::min<size_t>(Read16(block.data() + ifd, big), kMaxEntries);
    const size_t whole = std::min(count, (block.size() - ifd - 2) / 12);
    for (size_t i = 0; i < whole; ++i) {
        const char* const e = block.data() + ifd + 2 + 12 * i;
        Entry entry{Read16(e, big), Read16(e + 2, big), Read32(e + 4, big), {}};
        const uint64_t length = uint64_t{TypeSize(entry.type)} * entry.count;
        if (length == 0 || entry.tag == kExifPointer || entry.tag == kGpsPointer || entry.tag == kInteropPointer ||
            entry.tag == kSubIfds || entry.tag == kMakerNote) {
            continue;
        }
        if (length <= 4) {
            entry.value = std::string_view(e + 8, static_cast<size_t>(length));
        } else {
            const uint32_t at = Read32(e + 8, big);
            if (at > block.size() || length > block.size() - at) continue;
            entry.value = block.substr(at, static_cast<size_t>(length));
        }
        piece.entries.push_back(entry);
    }
    return true;
}

class Writer {
public:
    explicit Writer(bool bigEndian) : big(bigEndian) {}
    void Put16(std::string& out, size_t at, uint16_t v) const {
        out[at + (big ? 0 : 1)] = static_cast<char>(v >> 8);
        out[at + (big ? 1 : 0)] = static_cast<char>(v & 0xFF);
    }
    void Put32(std::string& out, size_t at, uint32_t v) const {
        for (int i = 0; i < 4; ++i) out[at + (big ? 3 - i : i)] = static_cast<char>(v >> (8 * i) & 0xFF);
    }

private:
    bool big;
};

// Writes the IFD at `at` (its room already made) and its values at the end
// of out, as far as the cap allows.
void WriteIfd(std::string& out, size_t at, std::vector<Entry>& entries, const Writer& writer, size_t cap) {
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    size_t written = 0;
    for (const Entry& entry : entries) {
        const size_t e = at + 2 + 12 * written;
        if (entry.value.size() > 4) {
            if (out.size() % 2) out += '\0';
            if (entry.value.size() > cap || out.size() > cap - entry.value.size()) continue;
            writer.Put32(out, e + 8, static_cast<uint32_t>(out.size()));
            out.append(entry.value);
        } else {
            writer.Put32(out, e + 8, 0);
            out.replace(e + 8, entry.value.size(), entry.value);
        }
        writer.Put16(out, e, entry.tag);
        writer.Put16(out, e + 2, entry.type);
        writer.Put32(out, e + 4, entry.count);
        ++written;
    }
    writer.Put16(out, at, static_cast<uint16_t>(written));
}

}  // namespace

std::string JoinTiffBlocks(std::string_view ifd0, std::string_view exif, std::string_view gps, size_t cap) {
    Piece main, exifPiece, gpsPiece;
    const bool haveMain = ReadPiece(ifd0, main);
    const bool haveExif = ReadPiece(exif, exifPiece);
    const bool haveGps = ReadPiece(gps, gpsPiece);
    if (!haveMain) main.bigEndian = haveExif ? exifPiece.bigEndian : gpsPiece.bigEndian;
    const bool useExif = haveExif && exifPiece.bigEndian == main.bigEndian && !exifPiece.entries.empty();
    const bool useGps = haveGps && gpsPiece.bigEndian == main.bigEndian && !gpsPiece.entries.empty();
    if (!haveMain && !useExif && !useGps) return {};
    if (useExif) main.entries.push_back({kExifPointer, kLong, 1, {}});
    if (useGps) main.entries.push_back({kGpsPointer, kLong, 1, {}});
    const auto ifdSize = [](const Piece& piece) { return 2 + 12 * piece.entries.size() + 4; };
    const size_t mainAt = 8, exifAt = mainAt + ifdSize(main);
    const size_t gpsAt = exifAt + (useExif ? ifdSize(exifPiece) : 0);
    const size_t valuesAt = gpsAt + (useGps ? ifdSize(gpsPiece) : 0);
    if (valuesAt > cap) return {};
    std::string out(valuesAt, '\0');
    out.replace(0, 4, main.bigEndian ? std::string_view("MM\0*", 4) : std::string_view("II*\0", 4));
    const Writer writer(main.bigEndian);
    writer.Put32(out, 4, static_cast<uint32_t>(mainAt));
    if (useExif) WriteIfd(out, exifAt, exifPiece.entries, writer, cap);
    if (useGps) WriteIfd(out, gpsAt, gpsPiece.entries, writer, cap);
    // The pointers' values are the sub-IFDs' places: inline, 4 bytes each.
    std::string exifValue(4, '\0'), gpsValue(4, '\0');
    writer.Put32(exifValue, 0, static_cast<uint32_t>(exifAt));
    writer.Put32(gpsValue, 0, static_cast<uint32_t>(gpsAt));
    for (Entry& entry : main.entries) {
        if (entry.tag == kExifPointer) entry.value = exifValue;
        if (entry.tag == kGpsPointer) entry.value = gpsValue;
    }
    WriteIfd(out, mainAt, main.entries, writer, cap);
    return out;
}

}  // namespace velmora
