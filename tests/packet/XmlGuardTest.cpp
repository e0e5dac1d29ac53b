// The guard in front of the XML parser: pathologically deep XML kept away
// from the toolkit's recursive tree code, and entity declarations kept away
// from the parser; alone and in front of the packet parser.
#include "packet/CharacterForm.h"
#include "packet/PacketReader.h"
#include "packet/XmlGuard.h"
#include "xmp/XmpPacket.h"
#include "diag/Debugger.h"

#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TextForms.h"
#include "TestSupport.h"

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using velmora::hostkit::Encode;
using velmora::hostkit::kTextForms;
using velmora::hostkit::Name;
using velmora::hostkit::TextForm;

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

// The verdict on a text read in the form its first bytes tell, as the parser reads it.
CharacterForm FormOf(const std::string& text) {
    return DetectCharacterForm(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

XmlVerdict Verdict(const std::string& text) {
    XmlGuard guard(FormOf(text));
    return guard.Feed(text.data(), text.size());
}

std::u32string Ascii(const std::string& text) { return std::u32string(text.begin(), text.end()); }

constexpr XmlVerdict kPasses = XmlVerdict::Passes;
constexpr XmlVerdict kTooDeep = XmlVerdict::TooDeep;
constexpr XmlVerdict kEntities = XmlVerdict::DeclaresEntities;

struct Case {
    const char* what;
    std::string text;
    XmlVerdict verdict;
};

TEST(XmlGuard, CountsOnlyRealElementNesting) {
    const uint32_t limit = XmlGuard::kMaxDepth;
    const std::string siblings = [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s += "<li a='1/>'/><b x=\"</c>\">t</b>";
        return s;
    }();
    const Case cases[] = {
        {"at the limit", Nested(limit), kPasses},
        {"one past the limit", Nested(limit + 1), kTooDeep},
        {"attributes", Nested(limit + 1, "<a x='1' y=\"2\">"), kTooDeep},
        {"many siblings, self-closing ones with '/>' in quotes", "<r>" + siblings + "</r>", kPasses},
        {"comments, CDATA and instructions hold no elements",
         "<?xpacket begin='' id='x'?><!-- <a><a><a> --><r><![CDATA[" + Nested(limit + 1) + "]]></r><?x <a>?>",
         kPasses},
        {"a declaration with an internal subset", "<!DOCTYPE r [ <!ATTLIST r a CDATA '<a>'> <!ELEMENT r ANY> ]><r/>",
         kPasses},
        {"markup in an internal subset opens no element",
         "<!DOCTYPE r [" + Repeat("<a>", limit + 1) + "]>" + Nested(limit), kPasses},
        {"self-closing at every level", Nested(limit - 1, "<a><b/>", "<c/></a>"), kPasses},
        {"a self-closing element one past the limit", Repeat("<a>", limit) + "<b/>", kTooDeep},
        {"'/' and '>' apart do not close", Repeat("<a / >", limit + 1), kTooDeep},
    };
    for (const Case& c : cases) EXPECT_EQ(c.verdict, Verdict(c.text)) << c.what;
}

// Each document fed whole, in pieces of 1 to 7 bytes, and as UTF-16 and
// UTF-32 in both byte orders, in pieces too, gets the same verdict.
TEST(XmlGuard, FollowsTheTextAcrossPiecesAndForms) {
    const uint32_t limit = XmlGuard::kMaxDepth;
    const Case cases[] = {
        {"deep, with '>' in quoted values", Nested(limit + 1, "<rdf:li x='>' y=\"/>\">", "</rdf:li>"), kTooDeep},
        {"'<' and '/>' in quoted values", Nested(limit, "<a x='</a><b/>'>"), kPasses},
        {"an entity after comments and declarations",
         "<?xml version='1.0'?><!-- x --><!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e 'x'>]><r/>", kEntities},
        {"an entity declared first, then too deep",
         "<!DOCTYPE r [<!ENTITY e 'x'>]>" + Nested(limit + 1), kEntities},
        {"too deep first, then an entity", Repeat("<a>", limit + 1) + "<!DOCTYPE r [<!ENTITY e 'x'>]>", kTooDeep},
        {"a packet in text", "binary<?xpacket begin='' id='x'?>" + Nested(20, "<a b='1'>") + "<?xpacket end='w'?>",
         kPasses},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.verdict, Verdict(c.text)) << c.what;
        for (size_t piece = 1; piece <= 7; ++piece) {
            XmlGuard guard;
            for (size_t i = 0; i < c.text.size(); i += piece) guard.Feed(c.text.data() + i, std::min(piece, c.text.size() - i));
            EXPECT_EQ(c.verdict, guard.Verdict()) << c.what << ", pieces of " << piece;
        }
        for (TextForm form : kTextForms) {
            const std::string text = Encode(Ascii(c.text), form);
            EXPECT_EQ(c.verdict, Verdict(text)) << c.what << ", " << Name(form);
            for (size_t piece = 1; piece <= 5; ++piece) {
                XmlGuard guard(FormOf(text));
                for (size_t i = 0; i < text.size(); i += piece) guard.Feed(text.data() + i, std::min(piece, text.size() - i));
                EXPECT_EQ(c.verdict, guard.Verdict()) << c.what << ", " << Name(form) << ", pieces of " << piece;
            }
        }
    }
    EXPECT_EQ(kPasses, Verdict(std::string("\0<\0r\0/\0>", 9)));
}

// Wide text is read by code unit: a unit whose bytes hold '<', '>', '"' or
// '\'' is a letter (U+043C Cyrillic em, U+093C Devanagari nukta, U+3C3E and
// U+2722 among CJK and symbols), never markup. Markup written wide is still
// seen for what it is.
TEST(XmlGuard, WideLettersHoldingMarkupBytesAreText) {
    const std::u32string letters = U"\u043C\u0438\u0440 \u0915\u093C \u3C3E\u2722\u273C\u3E22 \U0001F33C";
    std::u32string keywords;
    for (int i = 0; i < 600; ++i) keywords += U"<rdf:li>" + letters + U"</rdf:li>";
    const std::u32string packet = Ascii("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta><rdf:Bag>") +
                                  keywords + Ascii("</rdf:Bag></x:xmpmeta><?xpacket end='w'?>");
    std::u32string deep;
    for (uint32_t i = 0; i <= XmlGuard::kMaxDepth; ++i) deep += U"<a t='" + letters + U"'>" + letters;
    const std::u32string entity = Ascii("<!DOCTYPE r [<!ENTITY e '") + letters + Ascii("'>]><r>") + letters + U"</r>";
    const std::u32string quoted = U"<r a='" + letters + U"' b=\"\u2722\u273C\">\u3C3E</r>";
    for (TextForm form : kTextForms) {
        SCOPED_TRACE(Name(form));
        EXPECT_EQ(kPasses, Verdict(Encode(packet, form)));
        EXPECT_EQ(kPasses, Verdict(Encode(quoted, form)));
        EXPECT_EQ(kTooDeep, Verdict(Encode(deep, form)));
        EXPECT_EQ(kEntities, Verdict(Encode(entity, form)));
    }
}

TEST(XmlGuard, RefusesEntityDeclarationsOnly) {
    const Case cases[] = {
        {"a general entity", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>", kEntities},
        {"a parameter entity", "<!DOCTYPE r [<!ENTITY % p 'x'> %p;]><r/>", kEntities},
        {"an external entity", "<!DOCTYPE r [\n  <!ENTITY e SYSTEM 'file:///c:/windows/win.ini'>\n]><r/>", kEntities},
        {"after other declarations and a comment",
         "<?xml version='1.0'?><!DOCTYPE r [<!-- c --><!ELEMENT r ANY><!ATTLIST r a CDATA ']>'><!ENTITY e 'x'>]><r/>",
         kEntities},
        {"inside a packet", "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><!DOCTYPE x [<!ENTITY e 'x'>]><x/>",
         kEntities},
        {"an external identifier only, as SVG files carry",
         "<?xml version='1.0'?><!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
         "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\"><svg/>",
         kPasses},
        {"an internal subset without entities", "<!DOCTYPE r [<!ELEMENT r ANY><?pi <!ENTITY?>]><r/>", kPasses},
        {"the word in comments, CDATA, instructions, quotes and text",
         "<!-- <!ENTITY e 'x'> --><r a='<!ENTITY' b=\"<!ENTITY\"><![CDATA[<!ENTITY e 'x'>]]><?p <!ENTITY?>"
         "ENTITY</r>",
         kPasses},
        {"a quoted literal of the document type", "<!DOCTYPE r SYSTEM '[<!ENTITY e>'><r/>", kPasses},
        {"standard entity and character references", "<r a='&amp;&#60;'>&lt;&gt;&#x41;</r>", kPasses},
    };
    for (const Case& c : cases) EXPECT_EQ(c.verdict, Verdict(c.text)) << c.what;
}

std::string Packet(uint32_t depth) {
    std::string body = "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>deep</rdf:li></rdf:Alt></dc:title>";
    for (uint32_t i = 0; i < depth; ++i) body = "<dc:x rdf:parseType='Resource'>" + body + "</dc:x>";
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>" +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

std::string PacketWith(const std::string& doctype) {
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>" + doctype +
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:source>a</dc:source>"
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

// Through the packet reader: a refused packet loads with no model and its
// log line; one inside the limits parses without a line.
TEST(XmlGuard, ARefusedPacketIsNotParsedAndSaysSo) {
    RegistrySandbox registry;
    RegistrySandbox::SetDword(kProductKeyPath, L"DebugMode", 1);
    debugger.Initialize(kProductKeyPath, kProductDisplayName);
    TempDirectory dir;
    LogCapture log;

    const std::wstring tooDeep = L"Corvantis Velmora:ERROR: XMP packet is nested too deeply to parse \n";
    const std::wstring entities = L"Corvantis Velmora:ERROR: XMP packet declares XML entities and is refused \n";
    const std::string entity = "<!DOCTYPE x:xmpmeta [<!ENTITY e 'x'>]>";
    // A whole-file parse whose document type spans the file's read blocks.
    const std::string spanning = "<?xml version='1.0'?><!DOCTYPE r [<!ELEMENT r ANY>" +
                                 std::string(PacketReader::kReadBlockSize, ' ') + "<!ENTITY e 'x'>]><r/>";
    struct Refusal {
        const char* what;
        std::string bytes;
        std::wstring line;  // empty: parses
    };
    const Refusal cases[] = {
        {"100 levels among other bytes", "binary" + Packet(100) + "binary", L""},
        {"an external document type", "binary" + PacketWith("<!DOCTYPE x:xmpmeta SYSTEM 'x.dtd'>") + "binary", L""},
        {"5000 levels among other bytes", "binary" + Packet(5000) + "binary", tooDeep},
        {"5000 levels, the packet alone", Packet(5000), tooDeep},
        {"an entity among other bytes", "binary" + PacketWith(entity) + "binary", entities},
        {"an entity, the packet alone", PacketWith(entity), entities},
        {"an entity past the first block of a whole-file parse", spanning, entities},
    };
    for (const Refusal& c : cases) {
        log.Clear();
        WriteBytes(dir.File(L"packet.xmp"), c.bytes);
        XmpPacket packet(dir.File(L"packet.xmp").c_str(), false);
        EXPECT_TRUE(packet.IsLoaded()) << c.what;
        EXPECT_EQ(c.line.empty(), !packet.IsEmpty()) << c.what;
        EXPECT_EQ(c.line.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{c.line}, log.Lines())
            << c.what;
    }
}

}  // namespace
