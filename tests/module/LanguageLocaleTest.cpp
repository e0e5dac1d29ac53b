// A host sees each alternative of a language-alternative property in its own
// language: the text chunk carries the locale of the item's xml:lang, so the
// host's word breaker for that language splits it. Through the built DLL, as
// a host loads it, with the locales pinned as numbers.
#include "LoadedDll.h"
#include "RegistrySandbox.h"

#include <utility>

using namespace velmora;
using namespace velmora::test;

namespace {

using TextLocales = std::vector<std::pair<std::wstring, LCID>>;

const wchar_t kProductKey[] = L"SOFTWARE\\Corvantis\\Velmora";

std::string Titles(const std::string& items) {
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
           "<dc:title><rdf:Alt>" + items + "</rdf:Alt></dc:title>\n"
           "<dc:subject><rdf:Bag><rdf:li>harbour</rdf:li></rdf:Bag></dc:subject>\n"
           "</rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end='w'?>";
}

class LanguageLocales : public testing::Test {
protected:
    // The text chunks of a document holding the given title items (and one
    // keyword, which has no language), with their locales.
    TextLocales Texts(const std::string& items) {
        const std::wstring path = temp.File(L"titles" + std::to_wstring(++documents) + L".jpg");
        WriteBytes(path, Titles(items));
        LoadedDll dll;
        std::wstring failure;
        const Drain drain = dll.Drained(path, failure);
        EXPECT_EQ(L"", failure);
        TextLocales texts;
        for (const Chunk& chunk : drain.chunks) {
            // Value chunks keep the system locale.
            if (chunk.stat.flags == CHUNK_VALUE) {
                EXPECT_EQ(GetSystemDefaultLCID(), chunk.stat.locale);
            }
            if (chunk.stat.flags == CHUNK_TEXT) texts.emplace_back(chunk.text, chunk.stat.locale);
        }
        return texts;
    }

    RegistrySandbox registry;
    TempDirectory temp;
    int documents = 0;
    const LCID system = GetSystemDefaultLCID();
};

// Keywords, then titles, each read twice: under the summary information set
// and under Dublin Core.
TEST_F(LanguageLocales, EnglishGermanAndJapaneseTitlesCarryTheirLocales) {
    const std::wstring japanese = L"\u6e2f\u306e\u591c\u660e\u3051";
    const TextLocales titles = {{L"Harbour at dawn", 0x0409}, {L"Hafen im Morgengrauen", 0x0407}, {japanese, 0x0411}};
    TextLocales expected = {{L"harbour", system}, {L"harbour", system}};
    expected.insert(expected.end(), titles.begin(), titles.end());
    expected.insert(expected.end(), titles.begin(), titles.end());
    EXPECT_EQ(expected, Texts("<rdf:li xml:lang='en'>Harbour at dawn</rdf:li>"
                              "<rdf:li xml:lang='de'>Hafen im Morgengrauen</rdf:li>"
                              "<rdf:li xml:lang='ja'>\xE6\xB8\xAF\xE3\x81\xAE\xE5\xA4\x9C\xE6\x98\x8E\xE3\x81\x91</rdf:li>"));
}

// Region tags give their own locale; x-default, a language Windows has no
// locale for and a malformed tag keep the system locale.
TEST_F(LanguageLocales, RegionsAndLanguagesWithoutALocale) {
    const TextLocales titles = {{L"default", system}, {L"swiss", 0x0807}, {L"brazil", 0x0416},
                                {L"klingon", system}, {L"made up", system}, {L"odd", system}};
    TextLocales expected = {{L"harbour", system}, {L"harbour", system}};
    expected.insert(expected.end(), titles.begin(), titles.end());
    expected.insert(expected.end(), titles.begin(), titles.end());
    EXPECT_EQ(expected, Texts("<rdf:li xml:lang='x-default'>default</rdf:li>"
                              "<rdf:li xml:lang='de-CH'>swiss</rdf:li>"
                              "<rdf:li xml:lang='pt-BR'>brazil</rdf:li>"
                              "<rdf:li xml:lang='tlh'>klingon</rdf:li>"
                              "<rdf:li xml:lang='qq-zz'>made up</rdf:li>"
                              "<rdf:li xml:lang='de_DE'>odd</rdf:li>"));
}

TEST_F(LanguageLocales, SwitchedOffEveryChunkKeepsTheSystemLocale) {
    RegistrySandbox::SetDword(kProductKey, L"LanguageLocales", 0);
    const TextLocales titles = {{L"Harbour", system}, {L"Hafen", system}, {L"Port", system}};
    TextLocales expected = {{L"harbour", system}, {L"harbour", system}};
    expected.insert(expected.end(), titles.begin(), titles.end());
    expected.insert(expected.end(), titles.begin(), titles.end());
    EXPECT_EQ(expected, Texts("<rdf:li xml:lang='en'>Harbour</rdf:li><rdf:li xml:lang='de'>Hafen</rdf:li>"
                              "<rdf:li xml:lang='fr'>Port</rdf:li>"));
}

}  // namespace
