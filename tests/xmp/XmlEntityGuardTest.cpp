// The guard that keeps entity declarations away from the XML parser, alone
// and in front of the packet parser.
#include "xmp/PacketReader.h"
#include "xmp/XmlEntityGuard.h"
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

bool Passes(const std::string& text) {
    XmlEntityGuard guard;
    return guard.Feed(text.data(), text.size());
}

TEST(XmlEntityGuard, RefusesEntityDeclarationsOnly) {
    struct Case {
        const char* what;
        std::string text;
        bool passes;
    };
    const Case cases[] = {
        {"a general entity", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>", false},
        {"a parameter entity", "<!DOCTYPE r [<!ENTITY % p 'x'> %p;]><r/>", false},
        {"an external entity", "<!DOCTYPE r [\n  <!ENTITY e SYSTEM 'file:///c:/windows/win.ini'>\n]><r/>", false},
        {"after other declarations and a comment",
         "<?xml version='1.0'?><!DOCTYPE r [<!-- c --><!ELEMENT r ANY><!ATTLIST r a CDATA ']>'><!ENTITY e 'x'>]><r/>",
         false},
        {"inside a packet", "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><!DOCTYPE x [<!ENTITY e 'x'>]><x/>",
         false},
        {"an external identifier only, as SVG files carry",
         "<?xml version='1.0'?><!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
         "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\"><svg/>",
         true},
        {"an internal subset without entities", "<!DOCTYPE r [<!ELEMENT r ANY><?pi <!ENTITY?>]><r/>", true},
        {"the word in comments, CDATA, instructions, quotes and text",
         "<!-- <!ENTITY e 'x'> --><r a='<!ENTITY' b=\"<!ENTITY\"><![CDATA[<!ENTITY e 'x'>]]><?p <!ENTITY?>"
         "ENTITY</r>",
         true},
        {"a quoted literal of the document type", "<!DOCTYPE r SYSTEM '[<!ENTITY e>'><r/>", true},
        {"standard entity and character references", "<r a='&amp;&#60;'>&lt;&gt;&#x41;</r>", true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.passes, Passes(c.text)) << c.what;
}

TEST(XmlEntityGuard, FollowsTheTextAcrossPiecesAndUtf16) {
    const std::string text = "<?xml version='1.0'?><!-- x --><!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e 'x'>]><r/>";
    for (size_t piece : {1u, 2u, 3u, 7u}) {
        XmlEntityGuard guard;
        bool passed = true;
        for (size_t i = 0; i < text.size(); i += piece) {
            passed = guard.Feed(text.data() + i, std::min(piece, text.size() - i));
        }
        EXPECT_FALSE(passed) << piece;
        EXPECT_TRUE(guard.Refused());
    }
    std::string utf16be;
    for (char c : text) utf16be += std::string{'\0', c};
    EXPECT_FALSE(Passes(utf16be));
}

std::string Packet(const std::string& doctype) {
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>" + doctype +
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:source>a</dc:source>"
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

TEST(XmlEntityGuard, APacketDeclaringEntitiesIsNotParsedAndSaysSo) {
    RegistrySandbox registry;
    RegistrySandbox::SetDword(kProductKeyPath, L"DebugMode", 1);
    debugger.Initialize(kProductKeyPath, kProductDisplayName);
    TempDirectory dir;
    LogCapture log;

    WriteBytes(dir.File(L"ok.xmp"), "binary" + Packet("<!DOCTYPE x:xmpmeta SYSTEM 'x.dtd'>") + "binary");
    XmpPacket ok(dir.File(L"ok.xmp").c_str(), false);
    EXPECT_FALSE(ok.IsEmpty());
    EXPECT_EQ(std::vector<std::wstring>{}, log.Lines());

    // A packet among other bytes, a file that is the packet alone, and a
    // whole-file parse whose document type spans the file's read blocks.
    const std::string entity = "<!DOCTYPE x:xmpmeta [<!ENTITY e 'x'>]>";
    const std::string spanning = "<?xml version='1.0'?><!DOCTYPE r [<!ELEMENT r ANY>" +
                                 std::string(PacketReader::kReadBlockSize, ' ') + "<!ENTITY e 'x'>]><r/>";
    for (const std::string& bytes : {"binary" + Packet(entity) + "binary", Packet(entity), spanning}) {
        log.Clear();
        WriteBytes(dir.File(L"entity.xmp"), bytes);
        XmpPacket refused(dir.File(L"entity.xmp").c_str(), false);
        EXPECT_TRUE(refused.IsLoaded());
        EXPECT_TRUE(refused.IsEmpty());
        EXPECT_EQ(std::vector<std::wstring>{L"Corvantis Velmora:ERROR: XMP packet declares XML entities and is refused \n"},
                  log.Lines());
    }
}

}  // namespace
