// What photo programs' descriptive metadata gives a host through the built
// DLL: every descriptive text once in the full text (places, events, people,
// region names, lens), identifiers and numbers left out; and with the property
// pack, people from three sources (IPTC Extension, MWG face regions, Windows
// Photo Gallery regions) and keywords from two, each value once. The pictures
// are those of tests/data/people (README.md there); ExifTool is the oracle.
#include "LoadedDll.h"
#include "LogCapture.h"
#include "PropertyPack.h"
#include "RegistrySandbox.h"

#include <algorithm>

using namespace velmora;
using namespace velmora::test;

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
const std::wstring kPeopleNames = L"{E8309B6E-084C-49B4-B1FC-90A80331B638}/100";
const std::wstring kKeywords = L"SummaryInformation/5";

// The texts of a drain's text chunks, locale marks kept ("T(0x0407) ...").
Lines Texts(const Lines& chunks) {
    Lines texts;
    for (const std::wstring& chunk : chunks) {
        const size_t space = chunk.find(L' ');
        if (space != std::wstring::npos && chunk.compare(space + 1, 1, L"T") == 0) texts.push_back(chunk.substr(space + 1));
    }
    return texts;
}

// The values of the value chunks under one property, in order.
Lines Values(const Lines& chunks, const std::wstring& property) {
    Lines values;
    const std::wstring head = L"V " + property + L" LPWSTR=";
    for (const std::wstring& chunk : chunks) {
        const size_t at = chunk.find(head);
        if (at != std::wstring::npos) values.push_back(chunk.substr(at + head.size()));
    }
    return values;
}

size_t CountOf(const Lines& lines, const std::wstring& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

std::string Packet(const std::string& namespaces, const std::string& properties) {
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           "<rdf:Description rdf:about=''" + namespaces + ">\n" + properties +
           "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n"
           "<?xpacket end='w'?>";
}

// The filter's own namespace for comments, with numbers and an ID beside them.
const std::string kCommentsPacket = Packet(
    " xmlns:velmoraText='http://ns.corvantis.com/velmora/text/1.0/'"
    " xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/'"
    " xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/'",
    "<velmoraText:Comments><rdf:Bag><rdf:li>Scanned by the archive</rdf:li><rdf:li>1987</rdf:li>"
    "</rdf:Bag></velmoraText:Comments>\n"
    "<Iptc4xmpExt:LocationShown><rdf:Bag><rdf:li rdf:parseType='Resource'>"
    "<Iptc4xmpExt:LocationName><rdf:Alt><rdf:li xml:lang='de'>Hafen</rdf:li></rdf:Alt></Iptc4xmpExt:LocationName>"
    "<Iptc4xmpExt:LocationId><rdf:Bag><rdf:li>urn:place:7</rdf:li></rdf:Bag></Iptc4xmpExt:LocationId>"
    "<Iptc4xmpExt:GPSAltitude>35</Iptc4xmpExt:GPSAltitude>"
    "</rdf:li></rdf:Bag></Iptc4xmpExt:LocationShown>\n"
    "<xmpMM:InstanceID>Preview of the harbour</xmpMM:InstanceID>\n");

class DescriptiveTextChunks : public testing::Test {
protected:
    std::wstring Document(const std::string& bytes) {
        const std::wstring path = temp.File(L"document" + std::to_wstring(++documents) + L".jpg");
        WriteBytes(path, bytes);
        return path;
    }

    RegistrySandbox registry;
    TempDirectory temp;
    int documents = 0;
};

struct FullTextCase {
    const char* what;
    const wchar_t* file;    // under tests/data, or null for kCommentsPacket
    bool descriptiveText;   // the "DescriptiveText" value
    Lines once;             // text chunks each present exactly once
    Lines absent;           // text chunks never present
};

TEST_F(DescriptiveTextChunks, EveryDescriptiveTextOnceAndNoIdentifiers) {
    const FullTextCase cases[] = {
        {"Lightroom faces, places and an event", L"people\\lightroom-faces.jpg", true,
         {L"T Ribeira", L"T Porto", L"T Portugal", L"T Cais da Ribeira", L"T Vila Nova de Gaia", L"T Porto District",
          L"T Festa de São João", L"T Clube Naval", L"T Ben Okafor", L"T Chloé Martin", L"T on the quay",
          L"T Ovo 35mm F1.8", L"T Places|Porto"},
         {L"T xmp.did:4F2A17C0B9E611EEA1B2C3D4E5F60718", L"T https://sws.geonames.org/2735943/", L"T Face", L"T 0.3",
          L"T pixel", L"T 16", L"T normalized"}},
        {"Photo Gallery people and keyword copies", L"people\\photo-gallery-people.jpg", true,
         {L"T Dana Cruz", L"T Eli Novak", L"T Grandma"},
         {L"T A1B2C3D4E5F60718293A4B5C6D7E8F90A1B2C3D4", L"T 0.1, 0.2, 0.3, 0.4"}},
        {"the filter's comments, a language, an identifier and numbers", nullptr, true,
         {L"T Scanned by the archive", L"T 1987", L"T(0x0407) Hafen"},
         {L"T urn:place:7", L"T 35", L"T Preview of the harbour"}},
        {"switched off", L"people\\lightroom-faces.jpg", false, {},
         {L"T Ribeira", L"T Porto", L"T Festa de São João", L"T Chloé Martin", L"T Ovo 35mm F1.8"}},
    };
    for (const FullTextCase& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox::SetDword(kKey, L"DescriptiveText", c.descriptiveText ? 1 : 0);
        RegistrySandbox::SetDword(kKey, L"DebugMode", 2);
        LogCapture log;
        LoadedDll dll;
        const Lines texts = Texts(dll.Chunks(c.file ? TestDataPath(c.file) : Document(kCommentsPacket)));
        for (const std::wstring& text : c.once) EXPECT_EQ(1u, CountOf(texts, text)) << Narrow(text);
        for (const std::wstring& text : c.absent) EXPECT_EQ(0u, CountOf(texts, text)) << Narrow(text);
        // The mapped values' texts stay as they were: the creator twice (the
        // summary author and dc:creator), never a third time.
        if (c.file && std::wstring(c.file).find(L"lightroom") != std::wstring::npos) {
            EXPECT_EQ(2u, CountOf(texts, L"T Ana Lima"));
        }
        EXPECT_EQ(c.descriptiveText ? 0u : 1u, log.LinesWith(L"INFO: descriptive text is off").size());
    }
}

// A document whose descriptive text runs past the cap: the full text stops
// short of it, and the log says once what was left out.
TEST_F(DescriptiveTextChunks, FullTextOfADocumentIsCapped) {
    std::string items;
    const std::string filler(990, 'x');
    for (int i = 0; i < 700; ++i) items += "<rdf:li>comment " + std::to_string(1000 + i) + " " + filler + "</rdf:li>";
    const std::wstring path = Document(Packet(" xmlns:velmoraText='http://ns.corvantis.com/velmora/text/1.0/'",
                                              "<velmoraText:Comments><rdf:Bag>" + items +
                                                  "</rdf:Bag></velmoraText:Comments>\n"));
    RegistrySandbox::SetDword(kKey, L"DebugMode", 2);
    LogCapture log;
    LoadedDll dll;
    const Lines texts = Texts(dll.Chunks(path));
    size_t characters = 0;
    for (const std::wstring& text : texts) characters += text.size() - 2;
    EXPECT_LE(characters, 512u * 1024u);
    EXPECT_GT(texts.size(), 500u);
    EXPECT_LT(texts.size(), 700u);
    EXPECT_EQ(1u, log.LinesWith(L"INFO: full text capped at 524288 characters").size());
}

struct PeopleCase {
    const char* what;
    const wchar_t* file;
    std::wstring property;
    Lines values;  // in chunk order
};

// Each name once per document, whichever sources give it.
TEST_F(DescriptiveTextChunks, PeopleAndKeywordsFromEverySourceOnce) {
    const PeopleCase cases[] = {
        {"IPTC person and MWG face regions", L"people\\lightroom-faces.jpg", kPeopleNames,
         {L"Ben Okafor", L"Chloé Martin"}},
        {"IPTC person and Photo Gallery regions", L"people\\photo-gallery-people.jpg", kPeopleNames,
         {L"Eli Novak", L"Dana Cruz"}},
        {"dc:subject and the Photo Gallery keyword copy", L"people\\photo-gallery-people.jpg", kKeywords,
         {L"family", L"birthday", L"Grandma"}},
    };
    DeclarePropertyPack();
    LoadedDll dll;
    for (const PeopleCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.values, Values(dll.Chunks(TestDataPath(c.file)), c.property));
    }
}

// A face-region list far longer than any photo's: the wildcard path gives a
// bounded number of names, and the log says the rest were left out.
TEST_F(DescriptiveTextChunks, AWildcardOverAHugeArrayIsBounded) {
    std::string regions;
    for (int i = 0; i < 3000; ++i) {
        regions += "<rdf:li rdf:parseType='Resource'><mwg-rs:Name>Person " + std::to_string(i) +
                   "</mwg-rs:Name></rdf:li>";
    }
    const std::wstring path = Document(Packet(
        " xmlns:mwg-rs='http://www.metadataworkinggroup.com/schemas/regions/'",
        "<mwg-rs:Regions rdf:parseType='Resource'><mwg-rs:RegionList><rdf:Bag>" + regions +
            "</rdf:Bag></mwg-rs:RegionList></mwg-rs:Regions>\n"));
    DeclarePropertyPack();
    RegistrySandbox::SetDword(kKey, L"DebugMode", 2);
    LogCapture log;
    LoadedDll dll;
    const Lines names = Values(dll.Chunks(path), kPeopleNames);
    ASSERT_EQ(1000u, names.size());
    EXPECT_EQ(L"Person 0", names.front());
    EXPECT_EQ(L"Person 999", names.back());
    EXPECT_EQ(1u, log.LinesWith(L"mwg-rs:Regions/mwg-rs:RegionList[*]/mwg-rs:Name reaches more items").size());
}

}  // namespace
