// Packets of non-Latin text in every form XMP allows, through the DLL as a
// search host drives it: a UTF-16 or UTF-32 packet gives exactly the chunks
// of its UTF-8 twin, through the file and through a stream, although many
// of its code units hold the bytes of '<', '>', '"' and '\''. Deep nesting
// and entity declarations written wide are still refused.
#include "DllFixture.h"

#include "TextForms.h"

namespace velmora::fuzz::test {
namespace {

using hostkit::Encode;
using hostkit::kTextForms;
using hostkit::TextForm;

class WideText : public DllTest {
protected:
    // The packet inside a small GIF-like container, with bytes before and after it.
    HostRun Run(Face face, const std::u32string& packet, TextForm form) {
        static const char kHeader[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00!\xFF\x0BXMP DataXMP";
        const std::string bytes = std::string(kHeader, sizeof kHeader - 1) +
                                  Encode(packet, form) + std::string("\x01\x00;", 3);
        const std::wstring path = work.File(L"wide.gif");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return RunDocument(*dll, face, path, bytes);
    }
};

std::u32string Ascii(const std::string& text) { return std::u32string(text.begin(), text.end()); }
std::u32string Number(int n) { return Ascii(std::to_string(n)); }

std::u32string Packet(const std::u32string& description, const std::u32string& doctype = U"") {
    return U"<?xpacket begin='\uFEFF' id='W5M0MpCehiHzreSzNTczkc9d'?>" + doctype +
           U"<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           U"<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>" +
           description + U"</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

// Keywords, a title and creators in one script.
std::u32string Description(const std::u32string& word, int keywords) {
    std::u32string bag;
    for (int i = 1; i <= keywords; ++i) bag += U"<rdf:li>" + word + U" " + Number(i) + U"</rdf:li>";
    return U"<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>" + word + U"</rdf:li></rdf:Alt></dc:title>"
           U"<dc:creator><rdf:Seq><rdf:li>" + word + U"</rdf:li></rdf:Seq></dc:creator>"
           U"<dc:subject><rdf:Bag>" + bag + U"</rdf:Bag></dc:subject>";
}

TEST_F(WideText, EveryFormGivesTheChunksOfItsUtf8Twin) {
    LoadDll(true, 0);
    struct Script {
        const char* what;
        std::u32string word;
    };
    const Script scripts[] = {
        // U+043C holds 0x3C ('<'), U+043E 0x3E ('>'), U+0422 0x22 ('"'), U+0427 0x27 ('\'').
        {"Cyrillic", U"\u043C\u0438\u0440 \u041E\u0442\u0447\u0451\u0442 \u0422\u0427"},
        // Hindi with the nukta U+093C, which holds 0x3C.
        {"Devanagari", U"\u0915\u093C\u0932\u092E \u095B\u093F\u0902\u0926\u0917\u0940"},
        {"CJK", U"\u4E2D\u6587 \u3C3E\u2722\u3E22 \u6771\u4EAC"},
        {"beyond the Basic Multilingual Plane", U"\U0001F33C\U0002003C"},
    };
    for (const Script& script : scripts) {
        // In the stream too, the keywords' letters come both as text and in quoted values.
        const std::u32string packet =
            Packet(Description(script.word, 300) + U"<dc:source>" + script.word + U"</dc:source>");
        for (Face face : {Face::File, Face::Stream}) {
            const HostRun twin = Run(face, packet, TextForm::Utf8);
            ASSERT_HR(S_OK, twin.load) << script.what;
            ASSERT_GT(twin.drain.valueChunks, 300u) << script.what;
            for (TextForm form : kTextForms) {
                SCOPED_TRACE(std::string(script.what) + ", " + hostkit::Name(form) +
                             (face == Face::File ? ", file" : ", stream"));
                const HostRun run = Run(face, packet, form);
                EXPECT_EQ("", run.fault);
                EXPECT_HR(S_OK, run.load);
                EXPECT_EQ(twin.drain.valueChunks, run.drain.valueChunks);
                EXPECT_EQ(twin.drain.textChunks, run.drain.textChunks);
                EXPECT_EQ(twin.drain.digest, run.drain.digest);
            }
        }
    }
}

TEST_F(WideText, DeepNestingAndEntitiesWrittenWideAreStillRefused) {
    LoadDll(true, 1);
    const std::u32string letters = U"\u043C\u093C\u3C3E";
    std::u32string deep = U"<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>" + letters + U"</rdf:li></rdf:Alt></dc:title>";
    for (int i = 0; i < 400; ++i) deep = U"<dc:x rdf:parseType='Resource' a='" + letters + U"'>" + deep + U"</dc:x>";
    const std::u32string entity =
        Packet(U"<dc:source>&e;</dc:source>", U"<!DOCTYPE x:xmpmeta [<!ENTITY e '" + letters + U"'>]>");
    struct Case {
        const char* what;
        std::u32string packet;
        const wchar_t* line;
    };
    const Case cases[] = {
        {"400 levels", Packet(deep), L"ERROR: XMP packet is nested too deeply to parse \n"},
        {"an entity declaration", entity, L"ERROR: XMP packet declares XML entities and is refused \n"},
    };
    for (const Case& c : cases) {
        for (TextForm form : kTextForms) {
            SCOPED_TRACE(std::string(c.what) + ", " + hostkit::Name(form));
            log->Clear();
            const HostRun run = Run(Face::File, c.packet, form);
            EXPECT_HR(S_OK, run.load);
            EXPECT_EQ(0u, run.drain.valueChunks + run.drain.textChunks);
            EXPECT_EQ(std::vector<std::wstring>{Line(c.line)}, log->Lines());
        }
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
