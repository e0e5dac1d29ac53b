// The packet search against the toolkit's own scanner, fed the same bytes in
// the same blocks: every snip must be the same (offset, length, state,
// character form, access and bytes attribute). Inputs: the test data and the
// regression files, fuzz-mutated inputs, packets of every character form at
// every position around block boundaries, streams cut at every byte of a
// header, bad, truncated and several packets, and noise made of header
// fragments.
#include "packet/PacketReader.h"
#include "packet/PacketSearch.h"
#include "xmp/XmpPacket.h"

#include "Mutator.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using velmora::fuzz::Random;

namespace {

using Snips = XMPScanner::SnipInfoVector;

std::string Describe(const Snips& snips, const std::string& error) {
    std::ostringstream out;
    for (const XMPScanner::SnipInfo& s : snips) {
        out << "[" << s.fOffset << "+" << s.fLength << " state " << int(s.fState) << " form " << int(s.fCharForm)
            << " access " << int(s.fAccess) << " bytes " << s.fBytesAttr << "] ";
    }
    if (!error.empty()) out << "threw: " << error;
    return out.str();
}

// Feeds bytes in blocks whose sizes come from `sizes` (cycled), then reports.
template <typename Scanner>
std::string Run(const std::string& bytes, const std::vector<size_t>& sizes) {
    Snips snips;
    std::string error;
    try {
        Scanner scanner(static_cast<XMP_Int64>(bytes.size()));
        size_t offset = 0;
        for (size_t i = 0; offset < bytes.size(); ++i) {
            const size_t n = std::min(sizes[i % sizes.size()], bytes.size() - offset);
            scanner.Scan(bytes.data() + offset, static_cast<XMP_Int64>(offset), static_cast<XMP_Int64>(n));
            offset += n;
        }
        scanner.Report(snips);
    } catch (const std::exception& e) {
        error = e.what()[0] ? e.what() : "exception";
    }
    return Describe(snips, error);
}

// True when both give the same snips; on a difference, says where.
::testing::AssertionResult Same(const std::string& bytes, const std::vector<size_t>& sizes) {
    const std::string oracle = Run<XMPScanner>(bytes, sizes);
    const std::string search = Run<PacketSearch>(bytes, sizes);
    if (oracle == search) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "blocks of " << sizes[0] << "...\n XMPScanner:   " << oracle
                                         << "\n PacketSearch: " << search;
}

// The block layouts every input is scanned with.
const std::vector<std::vector<size_t>> kLayouts = {
    {1}, {3}, {16}, {61}, {4096}, {PacketReader::kReadBlockSize}, {7, 1, 200, 2, 33}, {1u << 30},
};

::testing::AssertionResult SameInEveryLayout(const std::string& bytes) {
    for (const std::vector<size_t>& layout : kLayouts) {
        // Byte-by-byte layouts only for small inputs: the scanner allocates per block.
        if (layout[0] < 16 && bytes.size() > 20000) continue;
        ::testing::AssertionResult result = Same(bytes, layout);
        if (!result) return result;
    }
    return ::testing::AssertionSuccess();
}

// Characters of a packet written in one of the scanner's character forms.
enum class Form { Utf8, Utf8NoBom, Utf16Big, Utf16Little, Utf32Big, Utf32Little };
const Form kForms[] = {Form::Utf8, Form::Utf8NoBom, Form::Utf16Big, Form::Utf16Little, Form::Utf32Big,
                       Form::Utf32Little};

// ASCII text in the form; '\x01' stands for the byte order mark.
std::string Encode(const std::string& text, Form form) {
    std::string out;
    for (char c : text) {
        if (c == '\x01') {
            switch (form) {
            case Form::Utf8: out += "\xEF\xBB\xBF"; break;
            case Form::Utf8NoBom: break;
            case Form::Utf16Big: out += "\xFE\xFF"; break;
            case Form::Utf16Little: out += "\xFF\xFE"; break;
            case Form::Utf32Big: out += std::string("\0\0\xFE\xFF", 4); break;
            case Form::Utf32Little: out += std::string("\xFF\xFE\0\0", 4); break;
            }
            continue;
        }
        switch (form) {
        case Form::Utf8:
        case Form::Utf8NoBom: out += c; break;
        case Form::Utf16Big: out += std::string{'\0', c}; break;
        case Form::Utf16Little: out += std::string{c, '\0'}; break;
        case Form::Utf32Big: out += std::string{'\0', '\0', '\0', c}; break;
        case Form::Utf32Little: out += std::string{c, '\0', '\0', '\0'}; break;
        }
    }
    return out;
}

std::string Packet(Form form, const std::string& headerAttributes = "", const std::string& padding = "  \n ",
                   const std::string& end = "w") {
    return Encode("<?xpacket begin=\"\x01\" id=\"W5M0MpCehiHzreSzNTczkc9d\"" + headerAttributes +
                      "?><x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>" + padding +
                      "<?xpacket end=\"" + end + "\"?>",
                  form);
}

std::string Noise(Random& random, size_t size) {
    static const char kBytes[] = {'<', '?', 'x', 'p', ' ', '\0', '"', '\'', '>', 'a', '\xEF', '\xFE', '\xFF'};
    std::string out(size, '\0');
    for (char& c : out) c = random.OneIn(3) ? kBytes[random.Below(sizeof kBytes)] : static_cast<char>(random.Next());
    return out;
}

std::vector<std::string> TestFiles() {
    std::vector<std::string> files;
    for (const std::wstring& directory : {TestDataPath(L""), TestDataPath(L"regressions\\")}) {
        for (const std::wstring& name : FilesIn(directory)) files.push_back(ReadBytes(directory + name));
    }
    return files;
}

TEST(PacketSearch, TestDataAndRegressionFiles) {
    const std::vector<std::string> files = TestFiles();
    ASSERT_GE(files.size(), 20u);
    for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(SameInEveryLayout(files[i])) << "file " << i;
}

TEST(PacketSearch, FuzzMutatedInputs) {
    std::vector<std::string> seeds = TestFiles();
    for (Form form : kForms) seeds.push_back("filler" + Packet(form) + "filler" + Packet(form, " bytes='400'"));
    fuzz::Mutator mutator(seeds, 12, 64 * 1024, 300);
    Random blocks(7);
    for (int i = 0; i < 4000; ++i) {
        std::string description;
        const std::string input = mutator.Next(description);
        const std::vector<size_t> layout = {1 + blocks.Below(5000), 1 + blocks.Below(64), 1 + blocks.Below(20000)};
        EXPECT_TRUE(Same(input, layout)) << "input " << i << ": " << description;
        EXPECT_TRUE(Same(input, {PacketReader::kReadBlockSize})) << "input " << i << ": " << description;
    }
}

TEST(PacketSearch, PacketsOfEveryFormAtEveryPositionAroundBlockBoundaries) {
    Random random(3);
    const size_t block = 256;
    for (Form form : kForms) {
        const std::string packet = Packet(form);
        for (size_t at = block - 40; at < block + 40; ++at) {
            std::string bytes = Noise(random, at) + packet + Noise(random, 300);
            EXPECT_TRUE(Same(bytes, {block})) << "form " << int(form) << " at " << at;
            // Directly before and after other packets, and at the very end.
            EXPECT_TRUE(Same(Noise(random, at) + packet + packet, {block})) << "form " << int(form) << " at " << at;
            EXPECT_TRUE(Same(Packet(Form::Utf8) + Noise(random, at % 7) + packet, {block, 5}));
            // In one large block, with a stretch to hunt through after it.
            const std::string large = Noise(random, at) + packet + Noise(random, 40000) + packet;
            EXPECT_TRUE(Same(large, {large.size()})) << "form " << int(form) << " at " << at;
        }
    }
}

TEST(PacketSearch, StreamsEndingAtEveryByteOfAPacket) {
    Random random(5);
    for (Form form : kForms) {
        const std::string packet = Packet(form);
        const std::string before = Noise(random, 100) + "<";
        for (size_t cut = 0; cut <= packet.size(); ++cut) {
            const std::string bytes = before + packet.substr(0, cut);
            EXPECT_TRUE(SameInEveryLayout(bytes)) << "form " << int(form) << " cut at " << cut;
        }
    }
    // A lone '<' as the last byte after other markup.
    for (const std::string& bytes : {std::string("<"), std::string("abc<"), std::string("a<b<"),
                                     std::string("<?<") , Packet(Form::Utf16Big) + "<", Packet(Form::Utf32Big) + "x<",
                                     Packet(Form::Utf8) + "<a" + std::string(300, ' ') + "<",
                                     // Large blocks: hunted after the packet, not read by its scanner.
                                     Packet(Form::Utf16Big) + std::string(20000, 'x') + "<",
                                     Packet(Form::Utf32Big) + std::string(20000, 'x') + "<",
                                     Packet(Form::Utf16Big) + "x<" + std::string(20000, 'x') + "<",
                                     Packet(Form::Utf8) + "x<" + std::string(20000, 'x') + "<"}) {
        EXPECT_TRUE(SameInEveryLayout(bytes)) << bytes;
    }
}

TEST(PacketSearch, BadTruncatedAndSeveralPackets) {
    std::vector<std::string> inputs;
    for (Form form : kForms) {
        inputs.push_back(Packet(form, " bytes='abc'"));                      // bytes not a number
        inputs.push_back(Packet(form, " bytes='10'"));                       // bytes too small
        inputs.push_back(Packet(form, " bytes='4000'"));                     // padding past the end
        inputs.push_back(Packet(form, " bytes='300'", "  \n "));             // padding that is not white space
        inputs.push_back(Packet(form, " encoding='UTF-8' bytes=''"));
        inputs.push_back(Packet(form, "", " ", "x"));                        // bad access mode
        inputs.push_back(Packet(form, " 9bad='1'"));                         // bad attribute name
        inputs.push_back(Packet(form, " bytes='1' x") + Packet(form));      // failed header, then a packet
        inputs.push_back(Packet(form, " bytes='1' x='1'?") + Packet(form)); // state left by a failed header
        inputs.push_back(Packet(form).substr(0, 80));
        // The scanner goes on after a big-endian packet's last byte, one or
        // three bytes past its snip: a header right there is passed over.
        inputs.push_back(Packet(form) + Packet(Form::Utf8NoBom) + "<" + Packet(form));
        inputs.push_back(Packet(form) + Packet(form, " bytes='400'") + Packet(form).substr(0, 90));
    }
    Random random(9);
    for (const std::string& input : inputs) {
        EXPECT_TRUE(SameInEveryLayout(input));
        EXPECT_TRUE(SameInEveryLayout(Noise(random, 500) + input + Noise(random, 500)));
        // Blocks much larger than the packets: the search takes what its
        // scanner reported up to a packet's end and hunts on from there.
        // A packet too long for the first window right after a big-endian one.
        const std::string longPacket = Packet(Form::Utf8NoBom, "", std::string(20000, ' '));
        const std::string large =
            Noise(random, 500) + input + longPacket + Noise(random, 40000) + input + Noise(random, 40000);
        EXPECT_TRUE(Same(large, {large.size()}));
        EXPECT_TRUE(Same(large, {30000}));
    }
}

TEST(PacketSearch, HeaderFragmentsInNoise) {
    Random random(11);
    const std::string fragments[] = {"<?xpacket begin=", std::string("<\0?\0x\0p\0a", 9),
                                     std::string("<\0\0\0?\0\0\0x\0\0\0", 12), std::string("<\0\0?", 4),
                                     std::string("<\0?<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>", 54),
                                     "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'", "<?xpacket end='w'?>"};
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        while (bytes.size() < 3000) {
            bytes += Noise(random, random.Below(40));
            bytes += random.OneIn(4) ? Packet(kForms[random.Below(6)]) : fragments[random.Below(7)];
        }
        EXPECT_TRUE(Same(bytes, {1 + random.Below(300)})) << "input " << i;
        EXPECT_TRUE(Same(bytes, {4096})) << "input " << i;
    }
}

TEST(PacketSearch, LargeStreamInReadBlocks) {
    // Packets at and across the boundaries of the blocks files are read in.
    Random random(13);
    const size_t block = PacketReader::kReadBlockSize;
    std::string bytes(4 * block + 1000, '\0');
    for (char& c : bytes) c = static_cast<char>(random.Next());
    size_t at = 0;
    for (Form form : kForms) {
        const std::string packet = Packet(form, "", std::string(2000, ' '));
        for (size_t place : {at * block + 100, (at + 1) * block - packet.size() / 2, (at + 1) * block - 1}) {
            if (place + packet.size() <= bytes.size()) bytes.replace(place, packet.size(), packet);
        }
        at = (at + 1) % 4;
        EXPECT_TRUE(Same(bytes, {block})) << "form " << int(form);
    }
    // Cut inside the last packet's header.
    EXPECT_TRUE(Same(bytes.substr(0, 4 * block - 1 + 10), {block}));
}

TEST(PacketSearch, CallsOutsideTheStreamAreRefusedAsTheScannerRefusesThem) {
    const std::string bytes(100, 'x');
    PacketSearch search(100);
    EXPECT_THROW(search.Scan(bytes.data(), 100, 1), XMPScanner::ScanError);
    EXPECT_THROW(search.Scan(bytes.data(), 0, 101), XMPScanner::ScanError);
    EXPECT_THROW(search.Scan(nullptr, 0, 10), XMPScanner::ScanError);
    search.Scan(bytes.data(), 0, 50);
    EXPECT_THROW(search.Scan(bytes.data(), 10, 10), XMPScanner::ScanError);
    EXPECT_THROW(search.Scan(bytes.data(), 60, 10), XMPScanner::ScanError);
    search.Scan(bytes.data(), 50, 0);  // nothing, as for the scanner
    Snips snips;
    search.Report(snips);
    ASSERT_EQ(2u, snips.size());
    EXPECT_EQ(XMPScanner::eRawInputSnip, snips[0].fState);
    EXPECT_EQ(XMPScanner::eNotSeenSnip, snips[1].fState);
    EXPECT_EQ(50, snips[1].fOffset);
    EXPECT_EQ(50, snips[1].fLength);
}

}  // namespace
