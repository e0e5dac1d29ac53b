// The nesting guard that keeps pathologically deep XML away from the
// toolkit's recursive tree code, alone and in front of the packet parser.
#include "xmp/XmlDepthGuard.h"
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

std::string Nested(uint32_t depth, const std::string& open = "<a>", const std::string& close = "</a>") {
    std::string text;
    for (uint32_t i = 0; i < depth; ++i) text += open;
    for (uint32_t i = 0; i < depth; ++i) text += close;
    return text;
}

std::string Repeat(const std::string& text, uint32_t times) {
    std::string out;
    for (uint32_t i = 0; i < times; ++i) out += text;
    return out;
}

bool Passes(const std::string& text) {
    XmlDepthGuard guard;
    return guard.Feed(text.data(), text.size());
}

TEST(XmlDepthGuard, CountsOnlyRealElementNesting) {
    const uint32_t limit = XmlDepthGuard::kMaxDepth;
    struct Case {
        const char* what;
        std::string text;
        bool passes;
    };
    const std::string siblings = [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s += "<li a='1/>'/><b x=\"</c>\">t</b>";
        return s;
    }();
    const Case cases[] = {
        {"at the limit", Nested(limit), true},
        {"one past the limit", Nested(limit + 1), false},
        {"attributes", Nested(limit + 1, "<a x='1' y=\"2\">"), false},
        {"many siblings, self-closing ones with '/>' in quotes", "<r>" + siblings + "</r>", true},
        {"comments, CDATA and instructions hold no elements",
         "<?xpacket begin='' id='x'?><!-- <a><a><a> --><r><![CDATA[" + Nested(limit + 1) + "]]></r><?x <a>?>", true},
        {"a declaration with an internal subset", "<!DOCTYPE r [ <!ENTITY e '<a>'> ]><r/>", true},
        {"self-closing at every level", Nested(limit - 1, "<a><b/>", "<c/></a>"), true},
        {"a self-closing element one past the limit", Repeat("<a>", limit) + "<b/>", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.passes, Passes(c.text)) << c.what;
}

TEST(XmlDepthGuard, FollowsTheTextAcrossPiecesAndUtf16) {
    const std::string deep = Nested(XmlDepthGuard::kMaxDepth + 1, "<rdf:li x='>'>", "</rdf:li>");
    XmlDepthGuard pieces;
    bool passed = true;
    for (size_t i = 0; i < deep.size(); i += 3) passed = pieces.Feed(deep.data() + i, std::min<size_t>(3, deep.size() - i));
    EXPECT_FALSE(passed);
    EXPECT_TRUE(pieces.Exceeded());

    std::string utf16;
    for (char c : deep) utf16 += std::string{c, '\0'};
    EXPECT_FALSE(Passes(utf16));
    EXPECT_TRUE(Passes(std::string("\0<\0r\0/\0>", 9)));
}

std::string Packet(uint32_t depth) {
    std::string body = "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>deep</rdf:li></rdf:Alt></dc:title>";
    for (uint32_t i = 0; i < depth; ++i) body = "<dc:x rdf:parseType='Resource'>" + body + "</dc:x>";
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>" +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

TEST(XmlDepthGuard, TooDeepAPacketIsNotParsedAndSaysSo) {
    RegistrySandbox registry;
    RegistrySandbox::SetDword(kProductKeyPath, L"DebugMode", 1);
    debugger.Initialize(kProductKeyPath, kProductDisplayName);
    TempDirectory dir;
    LogCapture log;

    // Inside the limit the document parses as usual.
    WriteBytes(dir.File(L"ok.xmp"), "binary" + Packet(100) + "binary");
    XmpPacket ok(dir.File(L"ok.xmp").c_str(), false);
    EXPECT_TRUE(ok.IsLoaded());
    EXPECT_FALSE(ok.IsEmpty());
    EXPECT_EQ(std::vector<std::wstring>{}, log.Lines());

    // A packet among other bytes, and a file that is the packet alone.
    for (const std::string& bytes : {"binary" + Packet(5000) + "binary", Packet(5000)}) {
        log.Clear();
        WriteBytes(dir.File(L"deep.xmp"), bytes);
        XmpPacket deep(dir.File(L"deep.xmp").c_str(), false);
        EXPECT_TRUE(deep.IsLoaded());
        EXPECT_TRUE(deep.IsEmpty());
        EXPECT_EQ(std::vector<std::wstring>{L"Corvantis Velmora:ERROR: XMP packet is nested too deeply to parse \n"},
                  log.Lines());
    }
}

}  // namespace
