// XmpPacket over files far larger than its read block: the packet chosen and
// the model parsed are those of a whole-file reading (scanner over the whole
// buffer in one call, one parse of the chosen stretch), wherever the packets
// lie against the block boundaries; and memory stays bounded.
#include "packet/PacketReader.h"
#include "xmp/XmpPacket.h"

#include "common/Win32.h"

#include "TestSupport.h"

#include "XMPScanner.hpp"

#include <psapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

const std::string kDc = "http://purl.org/dc/elements/1.1/";
constexpr size_t kBlock = PacketReader::kReadBlockSize;

std::string Packet(const std::string& title, const std::string& header = "", size_t padding = 64,
                   const std::string& description = "") {
    std::string packet = "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'" + header +
                         "?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                         "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                         "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                         "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>" +
                         title + "</rdf:li></rdf:Alt></dc:title>";
    if (!description.empty()) {
        packet += "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>" + description +
                  "</rdf:li></rdf:Alt></dc:description>";
    }
    packet += "</rdf:Description></rdf:RDF></x:xmpmeta>\n";
    for (size_t i = 0; i < padding; i += 64) packet += std::string(63, ' ') + "\n";
    return packet + "<?xpacket end='w'?>";
}

std::string Utf16Le(const std::string& utf8) {
    const std::wstring wide = Utf8ToWide(utf8);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::string Repeat(const std::string& text, size_t times) {
    std::string result;
    result.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) result += text;
    return result;
}

std::string Serialize(const SXMPMeta* meta) {
    if (!meta) return "(no model)";
    try {
        std::string text;
        meta->SerializeToBuffer(&text, kXMP_OmitPacketWrapper);
        return text;
    } catch (...) {
        return "(cannot serialize)";
    }
}

struct Outcome {
    HRESULT hr = E_FAIL;
    bool loaded = false;
    std::string model;  // serialised, or "(no model)"
};

// What a whole-file reading gives: the file in memory, one scan over it, the
// last valid packet (or everything for a single snip) parsed in one call.
Outcome WholeFileReading(const std::wstring& path) {
    Outcome outcome;
    std::string buffer;
    outcome.hr = BinaryCopy(path.c_str(), buffer);
    if (FAILED(outcome.hr)) return outcome;
    outcome.loaded = true;
    SXMPMeta meta;
    XMPScanner scanner(static_cast<XMP_Int64>(buffer.size()));
    scanner.Scan(buffer.data(), 0, static_cast<XMP_Int64>(buffer.size()));
    outcome.hr = S_OK;
    if (scanner.GetSnipCount() == 1) {
        outcome.hr = PacketReader::ParsePacket(&meta, buffer, 0, static_cast<uint32_t>(buffer.size()));
    } else {
        XMPScanner::SnipInfoVector snips;
        scanner.Report(snips);
        for (auto snip = snips.rbegin(); snip != snips.rend(); ++snip) {
            if (snip->fState != XMPScanner::eValidPacketSnip) continue;
            outcome.hr = PacketReader::ParsePacket(&meta, buffer, static_cast<uint32_t>(snip->fOffset),
                                                static_cast<uint32_t>(snip->fLength));
            break;
        }
    }
    outcome.model = SUCCEEDED(outcome.hr) ? Serialize(&meta) : Serialize(nullptr);
    return outcome;
}

std::wstring FirstTitle(XmpPacket& packet) {
    PropertyValue value;
    if (!packet.GetValue(kDc, "title", VT_LPWSTR, 1, value).HasValue()) return L"none";
    return value.text;
}

struct Case {
    std::string name;
    std::string bytes;
    HRESULT hr;
    std::wstring title;  // first dc:title item, "none" for none
};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void CheckCases(const std::vector<Case>& cases) {
    TempDirectory temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " (" + std::to_string(c.bytes.size()) + " bytes)");
        const std::wstring path = temp.File(L"large.bin");
        WriteBytes(path, c.bytes);

        XmpPacket packet(nullptr, false);
        EXPECT_HR(c.hr, packet.Load(path.c_str(), false));
        EXPECT_TRUE(packet.IsLoaded());
        EXPECT_EQ(FAILED(c.hr), packet.IsEmpty());
        EXPECT_EQ(c.title, FirstTitle(packet));

        const Outcome whole = WholeFileReading(path);
        EXPECT_HR(whole.hr, packet.Load(path.c_str(), false));
        EXPECT_EQ(whole.loaded, packet.IsLoaded());
        EXPECT_EQ(whole.model, Serialize(packet.GetMeta()));
    }
}

TEST(XmpPacketLargeFile, PacketAtTheStartInTheMiddleAndAtTheEnd) {
    const std::string megabyte = Filler(1 << 20, 1);
    CheckCases({
        {"at the start", Packet("At the start") + Filler(3 << 20, 2), S_OK, L"At the start"},
        {"in the middle", Filler(3 << 19, 3) + Packet("In the middle") + Filler(3 << 19, 4), S_OK, L"In the middle"},
        {"at the end", Filler(3 << 20, 5) + Packet("At the end"), S_OK, L"At the end"},
        {"on a block boundary", Filler(2 * kBlock, 6) + Packet("On a boundary") + megabyte, S_OK, L"On a boundary"},
        {"ending on a block boundary",
         Filler(2 * kBlock - Packet("Ending on a boundary").size(), 7) + Packet("Ending on a boundary") + megabyte,
         S_OK, L"Ending on a boundary"},
    });
}

TEST(XmpPacketLargeFile, PacketAcrossABlockBoundary) {
    // The packet starts `before` bytes ahead of a boundary: the boundary falls
    // inside "<?xpacket", inside the header attributes, inside the body and
    // inside the trailer in turn.
    const size_t length = Packet("Across 0000000").size();
    std::vector<Case> cases;
    for (size_t before : {size_t{1}, size_t{2}, size_t{5}, size_t{9}, size_t{17}, size_t{30}, size_t{48}, size_t{60},
                          size_t{100}, length / 2, length - 19, length - 10, length - 2, length - 1}) {
        char title[32];
        std::snprintf(title, sizeof title, "Across %07u", static_cast<unsigned>(before));
        cases.push_back({"starting " + std::to_string(before) + " bytes before a boundary",
                         Filler(3 * kBlock - before, static_cast<unsigned>(before)) + Packet(title) +
                             Filler(kBlock + 123, 8),
                         S_OK, Wide(title)});
    }
    CheckCases(cases);
}

// Pads bytes with filler up to `before` bytes ahead of the block boundary
// after the next one.
std::string& PadToBoundary(std::string& bytes, size_t before, unsigned seed) {
    const size_t target = (bytes.size() / kBlock + 2) * kBlock - before;
    bytes += Filler(target - bytes.size(), seed);
    return bytes;
}

TEST(XmpPacketLargeFile, SeveralPacketsTheLastValidOneWins) {
    std::string threeValid = Filler(100000, 11) + Packet("One") + Filler(1 << 20, 12) + Packet("Two");
    PadToBoundary(threeValid, 40, 13) += Packet("Three") + Filler(500000, 14);
    std::string badLast = Filler(200000, 15) + Packet("Good");
    PadToBoundary(badLast, 25, 16) += Packet("Bad", " bytes='12x'") + Filler(300000, 17);
    CheckCases({
        {"three valid packets, the last across a boundary", threeValid, S_OK, L"Three"},
        {"a bad last packet across a boundary", badLast, S_OK, L"Good"},
        {"a truncated packet at the end",
         Filler(2 << 20, 18) + Packet("Good") + Filler(1 << 20, 19) + Packet("Cut off").substr(0, 200), S_OK,
         L"Good"},
        {"only a bad packet", Filler(2 << 20, 20) + Packet("Bad", " bytes='12x'") + Filler(1 << 20, 21), S_OK, L"none"},
        {"only a truncated packet", Filler(2 << 20, 22) + Packet("Cut off").substr(0, 200), S_OK, L"none"},
        {"a UTF-16 packet across a boundary",
         Filler(3 * kBlock - 33, 23) + Utf16Le(Packet("Sixteen bits")) + Filler(200000, 24), S_OK, L"Sixteen bits"},
        {"an invalid packet last", Filler(100000, 25) + Packet("Good") + Filler(kBlock, 26) +
                                       Packet("Bad</rdf:li>") + Filler(100000, 27),
         E_FAIL, L"none"},
    });
}

TEST(XmpPacketLargeFile, SingleSnipFilesAreParsedWholeInBlocks) {
    // Two-byte characters at every offset, so that some straddle a boundary.
    const std::string longText = Repeat("\xC3\xA9", 150000) + "x" + Repeat("\xE2\x98\x95", 50000);
    std::string svg = "<?xml version='1.0' encoding='UTF-8'?>\n<svg xmlns='http://www.w3.org/2000/svg'>\n";
    for (int i = 0; i < 20000; ++i) svg += "<path d='M0 0 L" + std::to_string(i) + " 10'/>\n";
    svg += "<metadata><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' "
           "xmlns:dc='http://purl.org/dc/elements/1.1/'><rdf:Description rdf:about=''>"
           "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Gro\xC3\x9F"
           "es Logo</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></metadata>\n</svg>\n";
    CheckCases({
        {"one packet with a long value", Packet("Whole", "", 64, longText), S_OK, L"Whole"},
        {"one packet with long padding", Packet("Padded", "", 300000), S_OK, L"Padded"},
        {"a large SVG with a bare rdf:RDF", svg, S_OK, L"Gro\u00dfes Logo"},
        {"large XML without XMP", "<doc>" + Repeat("text ", 400000) + "</doc>", S_OK, L"none"},
        {"large XML cut short", "<doc>" + Repeat("<p>text</p>", 200000), E_FAIL, L"none"},
        {"large binary data", Filler(3 << 20, 28), E_FAIL, L"none"},
    });
}

// Writes a file of `size` bytes that holds the given pieces at their offsets
// and zeros elsewhere, sparse where the file system allows it (so that the
// zeros take no disk space).
struct Piece {
    LONGLONG offset;
    std::string bytes;
};
void WriteSparseFile(const std::wstring& path, LONGLONG size, const std::vector<Piece>& pieces) {
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD returned = 0;
    DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // best effort
    for (const Piece& piece : pieces) {
        LARGE_INTEGER at;
        at.QuadPart = piece.offset;
        ASSERT_TRUE(SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN));
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file.Get(), piece.bytes.data(), static_cast<DWORD>(piece.bytes.size()), &written, nullptr));
    }
    LARGE_INTEGER end;
    end.QuadPart = size;
    ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
}

TEST(XmpPacketLargeFile, TheOneDocumentInMemoryIsAtMostABlockAndAPacket) {
    // 512 MB: two packets, one in the middle and one near the end. Reading it
    // whole would raise the working set by the file size; streaming must not.
    TempDirectory temp;
    const std::wstring path = temp.File(L"sparse.bin");
    const LONGLONG size = 512LL << 20;
    ASSERT_NO_FATAL_FAILURE(
        WriteSparseFile(path, size, {{size / 2 - 77, Packet("Middle")}, {size - 4096, Packet("Near the end")}}));

    PROCESS_MEMORY_COUNTERS before{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before));
    XmpPacket packet(path.c_str(), false);
    PROCESS_MEMORY_COUNTERS after{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after));

    ASSERT_TRUE(packet.IsLoaded());
    ASSERT_FALSE(packet.IsEmpty());
    EXPECT_EQ(L"Near the end", FirstTitle(packet));
    // Earlier work in the process may have left a higher peak behind; the
    // load must not raise the peak above that, or above where it started
    // plus 32 MB. Reading the file whole would add 512 MB.
    const SIZE_T limit = std::max(before.PeakWorkingSetSize, before.WorkingSetSize + (SIZE_T{32} << 20));
    EXPECT_LE(after.PeakWorkingSetSize, limit)
        << "peak working set " << (after.PeakWorkingSetSize >> 20) << " MB, started at "
        << (before.WorkingSetSize >> 20) << " MB with an earlier peak of " << (before.PeakWorkingSetSize >> 20)
        << " MB";
}

TEST(XmpPacketLargeFile, OffsetsBeyondFourGigabytesAreKept) {
    // A packet just past the 4 GB mark, and one 4 GB before it, at the same
    // offset modulo 2^32: 32-bit offsets would pick the wrong one.
    TempDirectory temp;
    const std::wstring path = temp.File(L"huge.bin");
    const LONGLONG four = 1LL << 32;
    ASSERT_NO_FATAL_FAILURE(WriteSparseFile(
        path, four + (8LL << 20), {{1000, Packet("Below 4 GB")}, {four + 1000, Packet("Above 4 GB")}}));
    XmpPacket packet(path.c_str(), false);
    ASSERT_TRUE(packet.IsLoaded());
    ASSERT_FALSE(packet.IsEmpty());
    EXPECT_EQ(L"Above 4 GB", FirstTitle(packet));
}

}  // namespace
