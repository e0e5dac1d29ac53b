// The newer containers, camera raw types and XMP sidecars, each a file that
// ImageMagick, libjxl and ExifTool wrote with the standard metadata set:
// through the built DLL, every one gives the same chunks as the JPEG with
// that set.
#include "LoadedDll.h"
#include "RegistrySandbox.h"
#include "StandardChunks.h"

using namespace velmora;
using namespace velmora::test;

namespace {

using Lines = std::vector<std::wstring>;

// Every file with the standard set gives what the JPEG gives.
const Lines& kStandardChunks = kStandardJpegChunks;

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
        L"standard.webp", L"standard.heic", L"standard.heif", L"standard.avif", L"standard.jxl",
        L"standard.xmp",       // the sidecar ExifTool writes, a packet with its wrapper
        L"standard-bare.xmp",  // the same x:xmpmeta without the wrapper
    };
    for (const wchar_t* file : files) {
        SCOPED_TRACE(Narrow(file));
        EXPECT_EQ(kStandardChunks, dll.Chunks(TestDataPath(file)));
    }
}

}  // namespace
