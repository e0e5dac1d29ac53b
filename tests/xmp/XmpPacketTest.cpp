// XmpPacket loading: reading real files, which packet the scanner's snips
// lead to, the load outcome (IsLoaded, IsEmpty, HRESULT) and its log line.
#include "packet/PacketReader.h"
#include "xmp/XmpPacket.h"

#include "diag/Debugger.h"

#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

const std::string kDc = "http://purl.org/dc/elements/1.1/";
const std::wstring kPrefix = L"Corvantis Velmora:";

// The first dc:title item of a packet, or "none" when there is none.
std::wstring FirstTitle(XmpPacket& packet) {
    PropertyValue value;
    if (!packet.GetValue(kDc, "title", VT_LPWSTR, 1, value).HasValue()) return L"none";
    return value.text;
}

void EnableLog(DWORD mode) {
    RegistrySandbox::SetDword(kProductKeyPath, L"DebugMode", mode);
    debugger.Initialize(kProductKeyPath, kProductDisplayName);
}

TEST(XmpPacketLoad, ChoosesThePacketAndReportsTheOutcome) {
    struct Case {
        const wchar_t* file;
        HRESULT hr;
        bool loaded;
        bool empty;
        const wchar_t* title;  // first dc:title item, "none" for none
    };
    const Case cases[] = {
        // One packet between raw snips, in every image format.
        {L"standard.jpg", S_OK, true, false, L"Harbour at dawn"},
        {L"standard.tif", S_OK, true, false, L"Harbour at dawn"},
        {L"standard.png", S_OK, true, false, L"Harbour at dawn"},
        {L"standard.gif", S_OK, true, false, L"Harbour at dawn"},
        {L"standard.psd", S_OK, true, false, L"Harbour at dawn"},
        {L"standard.eps", S_OK, true, false, L"Harbour at dawn"},
        // Several packets: the last valid one wins.
        {L"two-packets.bin", S_OK, true, false, L"Second packet"},
        {L"last-packet-bad.bin", S_OK, true, false, L"Earlier valid packet"},
        {L"last-packet-truncated.bin", S_OK, true, false, L"Earlier valid packet"},
        {L"utf16-packet.bin", S_OK, true, false, L"UTF-16 packet"},
        // Several snips, none valid: an empty model.
        {L"truncated-packet.bin", S_OK, true, false, L"none"},
        {L"bad-packet.bin", S_OK, true, false, L"none"},
        // A valid wrapper around content that does not parse.
        {L"invalid-xml-packet.bin", E_FAIL, true, true, L"none"},
        // One snip: the whole file goes to the parser.
        {L"whole-packet.xmp", S_OK, true, false, L"Whole file packet"},
        {L"logo.svg", S_OK, true, false, L"Velmora logo"},
        {L"binary-no-packet.bin", E_FAIL, true, true, L"none"},
        {L"no-xmp.jpg", E_FAIL, true, true, L"none"},
        // Nothing read.
        {L"empty.bin", E_FAIL, false, true, L"none"},
        {L"does-not-exist.jpg", E_HANDLE, false, true, L"none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.file));
        XmpPacket packet(nullptr, false);
        EXPECT_HR(c.hr, packet.Load(TestDataPath(c.file).c_str(), false));
        EXPECT_EQ(c.loaded, packet.IsLoaded());
        EXPECT_EQ(c.empty, packet.IsEmpty());
        EXPECT_EQ(c.empty, packet.GetMeta() == nullptr);
        EXPECT_EQ(std::wstring(c.title), FirstTitle(packet));

        // The constructor reaches the same state.
        XmpPacket constructed(TestDataPath(c.file).c_str(), false);
        EXPECT_EQ(c.loaded, constructed.IsLoaded());
        EXPECT_EQ(c.empty, constructed.IsEmpty());
    }
}

TEST(XmpPacketLoad, NullPathLeavesThePacketUnread) {
    XmpPacket packet(nullptr, true);
    EXPECT_FALSE(packet.IsLoaded());
    EXPECT_TRUE(packet.IsEmpty());
    EXPECT_EQ(nullptr, packet.GetMeta());
    EXPECT_EQ(packet.TextBegin(), packet.TextEnd());
    EXPECT_EQ(L"none", FirstTitle(packet));
    EXPECT_HR(E_INVALIDARG, packet.Load(nullptr, false));
    EXPECT_FALSE(packet.IsLoaded());
}

TEST(XmpPacketLoad, ReloadingReplacesModelTextsAndState) {
    XmpPacket packet(TestDataPath(L"two-packets.bin").c_str(), false);
    EXPECT_EQ(L"Second packet", FirstTitle(packet));
    ASSERT_NE(packet.TextBegin(), packet.TextEnd());

    EXPECT_HR(S_OK, packet.Load(TestDataPath(L"whole-packet.xmp").c_str(), false));
    EXPECT_EQ(packet.TextBegin(), packet.TextEnd());
    EXPECT_EQ(L"Whole file packet", FirstTitle(packet));

    EXPECT_HR(E_HANDLE, packet.Load(TestDataPath(L"does-not-exist.jpg").c_str(), false));
    EXPECT_FALSE(packet.IsLoaded());
    EXPECT_TRUE(packet.IsEmpty());
    EXPECT_EQ(packet.TextBegin(), packet.TextEnd());
}

TEST(XmpPacketLoad, RuntimeFilesWithoutAndAroundPackets) {
    TempDirectory temp;
    const std::string packet =
        ReadBytes(TestDataPath(L"whole-packet.xmp"));  // exactly one packet
    struct Case {
        const char* name;
        std::string bytes;
        HRESULT hr;
        bool empty;
        const wchar_t* title;
    };
    const Case cases[] = {
        {"one byte", "x", E_FAIL, true, L"none"},
        {"packet with one byte before", "\x01" + packet, S_OK, false, L"Whole file packet"},
        {"packet with one byte after", packet + "\x01", S_OK, false, L"Whole file packet"},
        {"two copies back to back", packet + packet, S_OK, false, L"Whole file packet"},
        {"text before a packet", "plain text " + packet, S_OK, false, L"Whole file packet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = temp.File(L"runtime.bin");
        WriteBytes(path, c.bytes);
        XmpPacket xmp(nullptr, false);
        EXPECT_HR(c.hr, xmp.Load(path.c_str(), false));
        EXPECT_TRUE(xmp.IsLoaded());
        EXPECT_EQ(c.empty, xmp.IsEmpty());
        EXPECT_EQ(std::wstring(c.title), FirstTitle(xmp));
    }
}

// A whole-file packet around the given rdf:Description content.
std::string PacketAround(const std::string& properties) {
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>" +
           properties + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

TEST(XmpPacketLoad, MalformedXmlFailsWhileRdfRepairsAreAccepted) {
    TempDirectory temp;
    struct Case {
        const char* name;
        std::string bytes;
        HRESULT hr;
        const wchar_t* source;  // dc:source, "none" for none
    };
    const Case cases[] = {
        {"well-formed", PacketAround("<dc:source>kept</dc:source>"), S_OK, L"kept"},
        // The toolkit repairs these and keeps the rest of the packet.
        {"duplicate property", PacketAround("<dc:format>a</dc:format><dc:format>b</dc:format><dc:source>kept</dc:source>"),
         S_OK, L"kept"},
        {"misplaced rdf:li", PacketAround("<rdf:li>stray</rdf:li><dc:source>kept</dc:source>"), S_OK, L"kept"},
        // Not XML: no model at all.
        {"unclosed element", PacketAround("<dc:source>kept</dc:source><dc:format>"), E_FAIL, L"none"},
        {"mismatched end tag", PacketAround("<dc:source>kept</dc:format>"), E_FAIL, L"none"},
        {"unbound prefix", PacketAround("<dc:source>kept</dc:source><zz:x>1</zz:x>"), E_FAIL, L"none"},
        {"plain text", "just some words", E_FAIL, L"none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = temp.File(L"packet.xmp");
        WriteBytes(path, c.bytes);
        XmpPacket packet(nullptr, false);
        EXPECT_HR(c.hr, packet.Load(path.c_str(), false));
        EXPECT_TRUE(packet.IsLoaded());
        EXPECT_EQ(FAILED(c.hr), packet.IsEmpty());
        PropertyValue value;
        const ValueResult result = packet.GetValue(kDc, "source", VT_LPWSTR, 1, value);
        EXPECT_EQ(std::wstring(c.source), result.HasValue() ? value.text : L"none");
    }
}

TEST(XmpPacketLoad, UnreadableFilesAreLoggedAtLevelThree) {
    RegistrySandbox registry;
    EnableLog(3);
    LogCapture log;
    TempDirectory temp;

    XmpPacket missing(TestDataPath(L"does-not-exist.jpg").c_str(), false);
    XmpPacket empty(TestDataPath(L"empty.bin").c_str(), false);
    XmpPacket directory(temp.Path().c_str(), false);
    XmpPacket good(TestDataPath(L"standard.jpg").c_str(), false);
    XmpPacket unparsable(TestDataPath(L"binary-no-packet.bin").c_str(), false);

    const std::vector<std::wstring> expected = {
        kPrefix + L"ERROR:  BinaryCopy failure error code = 0x80070006",
        kPrefix + L"ERROR:  BinaryCopy failure error code = 0x80004005",
        kPrefix + L"ERROR:  BinaryCopy failure error code = 0x80070006",
        kPrefix + L"INFO: XMP read by the JPEG handler, native metadata imported \n",
        kPrefix + L"INFO: no format handler for this document, searching for XMP packets \n",
    };
    EXPECT_EQ(expected, log.Lines());
}

TEST(XmpPacketLoad, LevelTwoDoesNotShowTheBinaryCopyFailure) {
    RegistrySandbox registry;
    EnableLog(2);
    LogCapture log;
    XmpPacket missing(TestDataPath(L"does-not-exist.jpg").c_str(), false);
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(std::vector<std::wstring>{}, log.Lines());
}

TEST(BinaryCopy, ReadsWholeFilesAndReportsEachFailure) {
    TempDirectory temp;
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes += static_cast<char>((i * 37 + 11) % 256);
    struct Case {
        const char* name;
        std::size_t size;  // bytes written at runtime; npos for no file
        HRESULT hr;
    };
    const std::size_t none = std::string::npos;
    const Case cases[] = {
        {"empty", 0, E_FAIL},           {"one byte", 1, S_OK},
        {"one block", 4096, S_OK},      {"one block and one byte", 4097, S_OK},
        {"several blocks", 10000, S_OK}, {"missing", none, E_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = temp.File(std::wstring(c.name, c.name + std::char_traits<char>::length(c.name)));
        if (c.size != none) WriteBytes(path, bytes.substr(0, c.size));
        std::string buffer = "stale";
        EXPECT_HR(c.hr, BinaryCopy(path.c_str(), buffer));
        if (c.hr == S_OK) {
            EXPECT_EQ(bytes.substr(0, c.size), buffer);
        }
    }

    std::string buffer;
    EXPECT_HR(E_INVALIDARG, BinaryCopy(nullptr, buffer));
    EXPECT_HR(E_HANDLE, BinaryCopy(temp.Path().c_str(), buffer));  // a directory
    EXPECT_HR(S_OK, BinaryCopy(TestDataPath(L"standard.jpg").c_str(), buffer));
    EXPECT_EQ(ReadBytes(TestDataPath(L"standard.jpg")), buffer);
}

TEST(BinaryCopy, ReadsAFileThatAnotherHandleHoldsOpenForWriting) {
    TempDirectory temp;
    const std::wstring path = temp.File(L"open.bin");
    WriteBytes(path, "abc");
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    std::string buffer;
    EXPECT_HR(S_OK, BinaryCopy(path.c_str(), buffer));
    EXPECT_EQ("abc", buffer);
    CloseHandle(writer);
}

TEST(XmpPacketParse, ParsesOneStretchOfTheBuffer) {
    const std::string packet = ReadBytes(TestDataPath(L"whole-packet.xmp"));
    const std::string buffer = "junk" + packet + "junk";
    const uint32_t size = static_cast<uint32_t>(packet.size());
    struct Case {
        const char* name;
        uint32_t offset;
        uint32_t length;
        HRESULT hr;
    };
    const Case cases[] = {
        {"the packet", 4, size, S_OK},
        {"the packet cut short", 4, size / 2, E_FAIL},
        {"junk before the packet", 0, size, E_FAIL},
        {"past the end", 4, size + 5, E_FAIL},
        {"offset past the end", static_cast<uint32_t>(buffer.size() + 1), 0, E_FAIL},
        {"length wrapping around", 4, 0xFFFFFFFFu, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SXMPMeta meta;
        EXPECT_HR(c.hr, PacketReader::ParsePacket(&meta, buffer, c.offset, c.length));
    }
    EXPECT_HR(E_FAIL, PacketReader::ParsePacket(nullptr, buffer, 4, size));

    SXMPMeta meta;
    ASSERT_HR(S_OK, PacketReader::ParsePacket(&meta, buffer, 4, size));
    std::string title;
    EXPECT_TRUE(meta.GetLocalizedText(kDc.c_str(), "title", "", "x-default", nullptr, &title, nullptr));
    EXPECT_EQ("Whole file packet", title);
}

}  // namespace
