// The newer containers, camera raw types and XMP sidecars, each a file that
// ImageMagick, libjxl and ExifTool wrote with the standard metadata set:
// through the built DLL, every one gives the same chunks as the JPEG with
// that set.
#include "LoadedDll.h"
#include "RegistrySandbox.h"

using namespace velmora;
using namespace velmora::test;

namespace {

using Lines = std::vector<std::wstring>;

// What the standard set gives a host that asks for everything (tests/data's
// make-test-data.sh lists the set). The toolkit copies the x-default title
// onto the German item while parsing, so the title comes twice.
const Lines kStandardChunks = {
    L"1 V SummaryInformation/4 LPWSTR=Ana Lima",
    L"2 V SummaryInformation/4 LPWSTR=Ben Okafor",
    L"3 V DublinCore/creator LPWSTR=Ana Lima",
    L"4 V DublinCore/creator LPWSTR=Ben Okafor",
    L"5 V SummaryInformation/5 LPWSTR=harbour",
    L"6 V SummaryInformation/5 LPWSTR=boats",
    L"7 V SummaryInformation/5 LPWSTR=dawn",
    L"8 V DublinCore/subject LPWSTR=harbour",
    L"9 V DublinCore/subject LPWSTR=boats",
    L"10 V DublinCore/subject LPWSTR=dawn",
    L"11 V SummaryInformation/2 LPWSTR=Harbour at dawn",
    L"12 V SummaryInformation/2 LPWSTR=Harbour at dawn",
    L"13 V DublinCore/title LPWSTR=Harbour at dawn",
    L"14 V DublinCore/title LPWSTR=Harbour at dawn",
    L"15 V Photoshop/Urgency INT=5",
    L"16 V SummaryInformation/12 FILETIME=2024-05-04T04:20:30Z",
    L"17 V XmpBasic/CreateDate FILETIME=2024-05-04T04:20:30Z",
    L"18 T Ana Lima",
    L"19 T Ben Okafor",
    L"20 T Ana Lima",
    L"21 T Ben Okafor",
    L"22 T harbour",
    L"23 T boats",
    L"24 T dawn",
    L"25 T harbour",
    L"26 T boats",
    L"27 T dawn",
    L"28 T Harbour at dawn",
    L"29 T Harbour at dawn",
    L"30 T Harbour at dawn",
    L"31 T Harbour at dawn",
    L"32 T 5",
    L"33 T 2024-05-04T06:20:30+02:00",
    L"34 T 2024-05-04T06:20:30+02:00",
};

class NewFileTypes : public testing::Test {
protected:
    RegistrySandbox registry;  // no product key: the defaults
    LoadedDll dll;
};

TEST_F(NewFileTypes, TheStandardJpegGivesTheStandardChunks) {
    EXPECT_EQ(kStandardChunks, dll.Chunks(TestDataPath(L"standard.jpg")));
}

TEST_F(NewFileTypes, EveryNewTypeGivesTheSameChunksAsTheJpeg) {
    const wchar_t* const files[] = {
        L"standard.dng", L"standard.cr2", L"standard.nef", L"standard.nrw", L"standard.arw",
        L"standard.orf", L"standard.rw2", L"standard.raf", L"standard.pef", L"standard.srw",
        L"standard.webp", L"standard.heic", L"standard.avif", L"standard.jxl",
        L"standard.xmp",       // the sidecar ExifTool writes, a packet with its wrapper
        L"standard-bare.xmp",  // the same x:xmpmeta without the wrapper
    };
    for (const wchar_t* file : files) {
        SCOPED_TRACE(Narrow(file));
        EXPECT_EQ(kStandardChunks, dll.Chunks(TestDataPath(file)));
    }
}

}  // namespace
