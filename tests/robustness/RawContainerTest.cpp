// Camera raw files with a container or a magic of their own, as cameras and
// the programs around them wrote them (tests/data/raw/README.md): through
// the DLL, each way a host hands a document over, every one gives the
// capture date, make and model that ExifTool reads from it, under the
// property pack's keys; and every damaged file ends with a result.
#include "HandlerFixture.h"

#include "PropertyPack.h"

namespace velmora::fuzz::test {
namespace {

const std::wstring kDateTaken = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/36867";
const std::wstring kCameraManufacturer = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/271";
const std::wstring kCameraModel = L"{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/272";

std::wstring Raw(const std::wstring& name) { return TestDataPath(L"raw\\" + name); }

class RawContainers : public FormatHandlers {};

TEST_F(RawContainers, EachFormatGivesItsDateMakeAndModel) {
    velmora::test::DeclarePropertyPack();
    LoadDll(true, 2);
    struct Case {
        const wchar_t* file;
        const wchar_t* make;
        const wchar_t* model;
        const wchar_t* taken;  // exiftool's DateTimeOriginal, with the file's offset where it has one
        const wchar_t* also;   // another value the file's XMP gives, or null
    };
    const Case cases[] = {
        {L"Panasonic.rw2", L"Panasonic", L"DMC-LX3", L"2008-08-06T15:21:56Z", nullptr},
        {L"olympus-exif.orf", L"OLYMPUS OPTICAL CO.,LTD", L"C2000Z", L"1999-12-06T16:38:40Z", nullptr},
        {L"FujiFilm.raf", L"FUJIFILM", L"FinePix S5Pro", L"2007-05-22T13:58:30Z", nullptr},
        {L"CanonRaw.cr3", L"Canon", L"Canon EOS M50", L"2018-02-21T12:08:56Z", nullptr},
        {L"Canon-R6-pruned-nopreview.cr3", L"Canon", L"Canon EOS R6", L"2021-05-12T10:21:21Z", nullptr},
        {L"Minolta.mrw", L"Konica Minolta Camera, Inc.", L"DiMAGE A2", L"2004-11-18T23:14:58Z", nullptr},
        {L"PhaseOne.iiq", L"Leaf", L"Credo 40", L"2013-06-19T15:44:21Z", nullptr},
        {L"CanonRaw.crw", L"Canon", L"Canon EOS DIGITAL REBEL", L"2003-11-10T17:39:26Z",
         L"DublinCore/description LPWSTR=CRW with embedded XMP"},
        {L"exiv2-canon-powershot-s40.crw", L"Canon", L"Canon PowerShot S40", L"2005-04-23T17:54:36Z", nullptr},
        {L"Sigma.x3f", L"SIGMA", L"SIGMA SD10", L"2001-01-01T00:36:35Z", nullptr},
        {L"SigmaDP2.x3f", L"SIGMA", L"SIGMA DP2", L"2009-11-28T13:05:20Z", nullptr},
    };
    for (const Case& c : cases) {
        for (Way way : {Way::File, Way::StreamInPlace, Way::InitializeWithStream, Way::StreamThatCannotSeek}) {
            SCOPED_TRACE(velmora::test::Narrow(c.file) + ", way " + std::to_string(static_cast<int>(way)));
            const Lines values = ValuesOf(Raw(c.file), way);
            EXPECT_TRUE(Has(values, kCameraManufacturer + L" LPWSTR=" + c.make));
            EXPECT_TRUE(Has(values, kCameraModel + L" LPWSTR=" + c.model));
            EXPECT_TRUE(Has(values, kDateTaken + L" FILETIME=" + c.taken));
            if (c.also) {
                EXPECT_TRUE(Has(values, c.also));
            }
            if (HasFailure()) {
                for (const std::wstring& value : values) ADD_FAILURE() << velmora::test::Narrow(value);
                return;
            }
        }
    }
}

// Files that fuzzers made of real ones (a metadata library's regression
// inputs): each load ends, with a result or a clear failure, and leaves
// nothing behind (the fixture's tear-down checks).
TEST_F(RawContainers, DamagedFilesEnd) {
    LoadDll(true, 2);
    const std::wstring folder = Raw(L"damaged\\");
    const std::vector<std::wstring> files = FilesIn(folder);
    ASSERT_GE(files.size(), 10u);
    for (const std::wstring& file : files) {
        SCOPED_TRACE(velmora::test::Narrow(file));
        for (Way way : {Way::File, Way::InitializeWithStream}) {
            const Lines values = ValuesOf(folder + file, way);
            EXPECT_FALSE(Has(values, L"Init failed"));
        }
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
