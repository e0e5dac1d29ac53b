// Positioned reads over a file and over a host's stream: any order of reads
// gives exactly the bytes at their offsets, whichever read went before.
#include "io/ByteSource.h"

#include "common/ComPtr.h"

#include "TestSupport.h"

#include <shlwapi.h>

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Read {
    uint64_t offset;
    DWORD wanted;
};

// Forward in order, the same offset twice, backwards, a jump ahead, across
// and past the end, and back to the start after the end.
std::vector<Read> Reads(uint64_t size) {
    return {{0, 4096},          {4096, 4096},     {8192, 100},      {8192, 100},     {100, 50},
            {size - 10, 4096},  {size, 16},       {0, 10},          {size / 2, 65536},
            {size / 2 + 65536, 65536}, {7, 1},    {size - 1, 1},    {size + 5, 8},   {1, 3}};
}

std::string Expected(const std::string& bytes, const Read& read) {
    if (read.offset >= bytes.size()) return "";
    return bytes.substr(static_cast<size_t>(read.offset), read.wanted);
}

std::string ReadAt(ByteSource& source, const Read& read, HRESULT& hr) {
    std::string buffer(read.wanted, '\0');
    DWORD got = 0;
    hr = source.ReadAt(read.offset, &buffer[0], read.wanted, got);
    buffer.resize(got);
    return buffer;
}

TEST(ByteSource, ReadsInAnyOrderGiveTheBytesAtTheirOffsets) {
    TempDirectory dir;
    const std::string bytes = Filler(3 * 1024 * 1024 + 17, 5);
    WriteBytes(dir.File(L"data.bin"), bytes);

    FileSource file;
    ASSERT_HR(S_OK, file.Open(dir.File(L"data.bin").c_str()));
    ComPtr<IStream> stream;
    ASSERT_HR(S_OK, SHCreateStreamOnFileEx(dir.File(L"data.bin").c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                           FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, stream.Put()));
    StreamSource streamed;
    ASSERT_HR(S_OK, streamed.Open(stream.Get()));
    EXPECT_EQ(bytes.size(), file.Size());
    EXPECT_EQ(bytes.size(), streamed.Size());

    for (const Read& read : Reads(bytes.size())) {
        for (ByteSource* source : {static_cast<ByteSource*>(&file), static_cast<ByteSource*>(&streamed)}) {
            HRESULT hr = E_FAIL;
            const std::string got = ReadAt(*source, read, hr);
            EXPECT_HR(S_OK, hr) << read.offset;
            EXPECT_TRUE(got == Expected(bytes, read)) << "offset " << read.offset << ", " << got.size() << " bytes";
        }
    }
}

TEST(ByteSource, AFileCutShortAfterOpeningEndsWhereItNowEnds) {
    TempDirectory dir;
    const std::string bytes = Filler(600 * 1024, 9);
    WriteBytes(dir.File(L"cut.bin"), bytes);
    FileSource file;
    ASSERT_HR(S_OK, file.Open(dir.File(L"cut.bin").c_str()));
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(ReadAt(file, {0, 4096}, hr) == bytes.substr(0, 4096));

    // Another program cuts the file to 100 000 bytes while it is open.
    {
        UniqueFileHandle writer(CreateFileW(dir.File(L"cut.bin").c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer);
        LARGE_INTEGER at{};
        at.QuadPart = 100000;
        ASSERT_TRUE(SetFilePointerEx(writer.Get(), at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(writer.Get()));
    }
    EXPECT_EQ(bytes.size(), file.Size());  // what it held when opened
    const Read reads[] = {{4096, 8192}, {99990, 4096}, {200000, 4096}, {0, 10}};
    const size_t sizes[] = {8192, 10, 0, 10};
    for (size_t i = 0; i < 4; ++i) {
        const std::string got = ReadAt(file, reads[i], hr);
        EXPECT_HR(S_OK, hr) << reads[i].offset;
        EXPECT_EQ(sizes[i], got.size()) << reads[i].offset;
        EXPECT_TRUE(got == bytes.substr(static_cast<size_t>(reads[i].offset), got.size())) << reads[i].offset;
    }
}

}  // namespace
