// Native values that reach the host and never spoil the document's own:
// Windows' XP tags, PNG text chunks and eXIf, IPTC text in its right
// encoding, blank native values, SVG's title and description, and dates
// with ":" between year, month and day. Real files that ExifTool and
// ImageMagick wrote (tests/data/native/make-native.sh); ExifTool is the
// oracle. Each file is read every way a host loads it.
#include "HandlerFixture.h"

#include "PropertyPack.h"

namespace velmora::fuzz::test {
namespace {

std::wstring Native(const wchar_t* name) { return TestDataPath(std::wstring(L"native\\") + name); }

class NativeValues : public FormatHandlers {};

TEST_F(NativeValues, RealFilesGiveTheirValuesWhereTheDocumentHasNone) {
    velmora::test::DeclarePropertyPack();
    LoadDll(true, 2);
    struct Case {
        const wchar_t* file;
        Lines present;  // among the value chunks
        Lines absent;
    };
    const Case cases[] = {
        {L"xp-tags.jpg",
         {L"SummaryInformation/2 LPWSTR=כותרת בעברית", L"SummaryInformation/3 LPWSTR=主题",
          L"SummaryInformation/4 LPWSTR=דנה לוי", L"SummaryInformation/4 LPWSTR=Li Wei",
          L"SummaryInformation/5 LPWSTR=שלום", L"SummaryInformation/5 LPWSTR=中文", L"SummaryInformation/5 LPWSTR=harbour",
          L"SummaryInformation/6 LPWSTR=评论 ok"},
         {}},
        // The XMP's title stays; the keywords join the XMP's, each once.
        {L"xp-tags-xmp.jpg",
         {L"SummaryInformation/2 LPWSTR=XMP title", L"SummaryInformation/5 LPWSTR=harbour",
          L"SummaryInformation/5 LPWSTR=boats", L"SummaryInformation/5 LPWSTR=שלום", L"SummaryInformation/5 LPWSTR=中文"},
         {L"SummaryInformation/2 LPWSTR=כותרת בעברית"}},
        // UTF-8 IPTC without 1:90, and a digest that says it changed.
        {L"utf8-iptc.jpg", {L"DublinCore/rights LPWSTR=© Corbis", L"SummaryInformation/4 LPWSTR=Zoë Brontë"},
         {L"DublinCore/rights LPWSTR=Â© Corbis", L"SummaryInformation/4 LPWSTR=ZoÃ« BrontÃ«"}},
        // A blank Exif ImageDescription beside the IPTC caption.
        {L"blank-description.jpg", {L"SummaryInformation/3 LPWSTR=Caption from IPTC"},
         {L"SummaryInformation/3 LPWSTR=          ", L"SummaryInformation/3 LPWSTR="}},
        {L"png-text.png",
         {L"SummaryInformation/2 LPWSTR=PNG title", L"SummaryInformation/4 LPWSTR=Ana Lima",
          L"SummaryInformation/3 LPWSTR=Описание", L"DublinCore/rights LPWSTR=© Ana Lima",
          L"XmpBasic/CreatorTool LPWSTR=Velmora make-native", L"XmpBasic/CreateDate FILETIME=2021-03-04T05:06:07Z",
          L"Photoshop/DateCreated FILETIME=2021-03-04T05:06:07Z", L"SummaryInformation/5 LPWSTR=中文"},
         {}},
        {L"gimp-date.png",
         {L"XmpBasic/CreateDate FILETIME=2022-08-24T20:07:07Z", L"XmpBasic/ModifyDate FILETIME=2022-08-24T20:07:07Z"},
         {}},
        // The XMP's title and description win over <title> and a blank <desc>.
        {L"empty-desc.svg", {L"SummaryInformation/2 LPWSTR=XMP title", L"SummaryInformation/3 LPWSTR=XMP description"},
         {L"SummaryInformation/2 LPWSTR=SVG title", L"SummaryInformation/3 LPWSTR= "}},
    };
    for (const Case& c : cases) {
        for (Way way : {Way::File, Way::StreamInPlace, Way::InitializeWithStream, Way::StreamThatCannotSeek}) {
            SCOPED_TRACE(velmora::test::Narrow(c.file) + ", way " + std::to_string(static_cast<int>(way)));
            log->Clear();
            const Lines values = ValuesOf(Native(c.file), way);
            for (const std::wstring& value : c.present) EXPECT_TRUE(Has(values, value)) << velmora::test::Narrow(value);
            for (const std::wstring& value : c.absent) EXPECT_FALSE(Has(values, value)) << velmora::test::Narrow(value);
            // A keyword the XMP and XPKeywords both hold is one item.
            EXPECT_GE(1, std::count(values.begin(), values.end(), L"DublinCore/subject LPWSTR=harbour"));
            EXPECT_EQ(Lines{}, LinesWith(L"ERROR"));
        }
    }
}

// A stream read failing at any point of the native readers' walks fails the
// load with the read's own code; one ending early never crashes.
TEST_F(NativeValues, StreamReadsFailingOrEndingEarly) {
    LoadDll(true, 2);
    for (const wchar_t* file : {L"xp-tags.jpg", L"png-text.png", L"gif-comment.gif", L"utf8-iptc.jpg", L"empty-desc.svg"}) {
        const std::wstring name = std::wstring(L"native\\") + file;
        ExpectEveryReadToFailOrEnd(name, Data(name.c_str()), 2, 0);
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
