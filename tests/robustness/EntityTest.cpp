// Documents whose document type declares XML entities, through the DLL as a
// search host drives it: they load with no XMP and the refusal is logged;
// nothing of an entity reaches the index. A document type with an external
// identifier only, as SVG files carry, still parses.
#include "DllFixture.h"

namespace velmora::fuzz::test {
namespace {

class Entities : public DllTest {};

const wchar_t* const kRefusal = L"ERROR: XMP packet declares XML entities and is refused \n";

TEST_F(Entities, DeclarationsAreRefusedBeforeParsing) {
    LoadDll(true, 1);
    // The classic expansion, a quadratic blowup (a whole-file parse), an
    // external entity naming a local file, a parameter entity.
    const wchar_t* const files[] = {L"regressions\\entity-expansion-billion-laughs.bin",
                                    L"regressions\\entity-quadratic-blowup.bin",
                                    L"regressions\\entity-external-local-file.bin",
                                    L"regressions\\entity-parameter.bin"};
    for (const wchar_t* name : files) {
        SCOPED_TRACE(velmora::test::Narrow(name));
        for (Face face : {Face::File, Face::Stream}) {
            log->Clear();
            const HostRun run = RunDocument(*dll, face, velmora::test::TestDataPath(name), Data(name));
            EXPECT_HR(S_OK, run.load);
            EXPECT_HR(S_OK, run.init);
            EXPECT_EQ("", run.fault);
            EXPECT_HR(FILTER_E_END_OF_CHUNKS, run.drain.end);
            EXPECT_EQ(0u, run.drain.valueChunks + run.drain.textChunks);
            EXPECT_EQ(std::vector<std::wstring>{Line(kRefusal)}, log->Lines());
        }
    }
}

// A harmless internal entity used to be expanded into the indexed values;
// now the packet is refused like the others, in any character width.
TEST_F(Entities, AnInternalEntityIsNotExpandedIntoTheIndex) {
    LoadDll(true, 1);
    const std::string packet =
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><!DOCTYPE x:xmpmeta [<!ENTITY who 'Ana Lima'>]>"
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:source>&who;</dc:source>"
        "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    std::string utf16 = "\xFF\xFE";
    for (char c : packet) utf16 += std::string{c, '\0'};
    for (const std::string& bytes : {"binary" + packet + "binary", packet, utf16}) {
        log->Clear();
        const std::wstring path = work.File(L"entity.xmp");
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        const HostRun run = RunDocument(*dll, Face::File, path, bytes);
        EXPECT_HR(S_OK, run.load);
        EXPECT_EQ(0u, run.drain.valueChunks + run.drain.textChunks);
        EXPECT_EQ(std::vector<std::wstring>{Line(kRefusal)}, log->Lines());
    }
}

TEST_F(Entities, AnSvgWithTheStandardDoctypeStillParses) {
    LoadDll(true, 1);
    const std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">\n"
        " <metadata>\n"
        "  <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "   <rdf:Description rdf:about=\"\"><dc:source>Harbour map</dc:source></rdf:Description>\n"
        "  </rdf:RDF>\n"
        " </metadata>\n"
        " <rect width=\"64\" height=\"64\"/>\n"
        "</svg>\n";
    const std::wstring path = work.File(L"map.svg");
    ASSERT_TRUE(WriteWholeFile(path, svg));
    for (Face face : {Face::File, Face::Stream}) {
        log->Clear();
        const HostRun run = RunDocument(*dll, face, path, svg);
        EXPECT_HR(S_OK, run.load);
        EXPECT_EQ("", run.fault);
        // dc:source as a value and as text.
        EXPECT_EQ(1u, run.drain.valueChunks);
        EXPECT_EQ(1u, run.drain.textChunks);
        EXPECT_EQ(std::vector<std::wstring>{}, log->Lines());
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
