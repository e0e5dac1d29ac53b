// The toolkit's view of a document: an XMP_IO over a file or a stream that
// gives the bytes at every offset, however the reads are cut and ordered;
// that costs one read of the source per block, not one per small read; and
// that refuses writing, growing, reading past the end and reads too large
// for any metadata block, and tells the code of a source that failed.
#include "toolkit/SourceIO.h"

#include "common/ComPtr.h"

#include "TestStream.h"
#include "TestSupport.h"

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

std::string ReadThrough(SourceIO& io, XMP_Int64 offset, XMP_Uns32 count) {
    io.Seek(offset, kXMP_SeekFromStart);
    std::string buffer(count, '\0');
    buffer.resize(io.Read(&buffer[0], count));
    return buffer;
}

struct Read {
    XMP_Int64 offset;
    XMP_Uns32 count;
};

TEST(SourceIO, ReadsOfAnySizeInAnyOrderGiveTheBytesAtTheirOffsets) {
    TempDirectory dir;
    const std::string bytes = Filler(300 * 1024 + 5, 3);
    WriteBytes(dir.File(L"data.bin"), bytes);
    const XMP_Int64 size = static_cast<XMP_Int64>(bytes.size());
    const Read reads[] = {{0, 2},          {2, 2},           {4, 65536},       {65540, 10},   {65530, 12},
                          {200000, 70000}, {size - 3, 3},    {size - 3, 100},  {size, 4},     {10, 1},
                          {131072, 131072}, {1, 200000},     {65536 * 4, 17}};
    FileSource file;
    ASSERT_HR(S_OK, file.Open(dir.File(L"data.bin").c_str()));
    SourceIO io(file);
    EXPECT_EQ(size, io.Length());

    for (const Read& read : reads) {
        const std::string expected =
            read.offset < size ? bytes.substr(static_cast<size_t>(read.offset), read.count) : std::string();
        EXPECT_TRUE(ReadThrough(io, read.offset, read.count) == expected) << read.offset << " + " << read.count;
        EXPECT_EQ(read.offset + static_cast<XMP_Int64>(expected.size()), io.Offset());

    }
    EXPECT_HR(S_OK, io.ReadFailure());
    EXPECT_GT(io.BytesRead(), 0u);
}

TEST(SourceIO, SmallReadsCostOneSourceReadPerBlock) {
    const std::string bytes = Filler(3 * SourceIO::kBlockSize, 4);
    ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
    stream->seekable = true;
    StreamSource source;
    ASSERT_HR(S_OK, source.Open(stream.Get()));
    SourceIO io(source);
    std::string whole;
    char piece[7];
    for (XMP_Uns32 got; (got = io.Read(piece, sizeof piece)) != 0;) whole.append(piece, got);
    EXPECT_TRUE(whole == bytes);
    EXPECT_EQ(3u, stream->reads.size());
    EXPECT_EQ(bytes.size(), io.BytesRead());
}

TEST(SourceIO, RefusesWhatAReadOnlyDocumentCannotDo) {
    const std::string bytes = Filler(1000, 5);
    ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
    stream->seekable = true;
    StreamSource source;
    ASSERT_HR(S_OK, source.Open(stream.Get()));
    SourceIO io(source);
    const auto code = [](auto&& call) -> XMP_Int32 {
        try {
            call();
        } catch (const XMP_Error& error) {
            return error.GetID();
        }
        return kXMPErr_NoError;
    };
    char buffer[16];
    EXPECT_EQ(kXMPErr_FilePermission, code([&] { io.Write("x", 1); }));
    EXPECT_EQ(kXMPErr_FilePermission, code([&] { io.Truncate(10); }));
    EXPECT_EQ(kXMPErr_FilePermission, code([&] { io.DeriveTemp(); }));
    EXPECT_EQ(kXMPErr_FilePermission, code([&] { io.AbsorbTemp(); }));
    EXPECT_EQ(kXMPErr_EnforceFailure, code([&] { io.Seek(1001, kXMP_SeekFromStart); }));
    EXPECT_EQ(kXMPErr_EnforceFailure, code([&] { io.Seek(-1, kXMP_SeekFromStart); }));
    EXPECT_EQ(kXMPErr_EnforceFailure, code([&] { io.Seek(1, kXMP_SeekFromEnd); }));
    EXPECT_EQ(1000, io.Seek(0, kXMP_SeekFromEnd));
    EXPECT_EQ(990, io.Seek(-10, kXMP_SeekFromCurrent));
    EXPECT_EQ(kXMPErr_EnforceFailure, code([&] { io.ReadAll(buffer, 11); }));
    EXPECT_EQ(10u, io.Read(buffer, 16));
    EXPECT_EQ(0u, io.Read(buffer, 16));
    EXPECT_HR(S_OK, io.ReadFailure());
}

TEST(SourceIO, AReadLargerThanAnyMetadataBlockIsRefused) {
    TempDirectory dir;
    const std::wstring path = dir.File(L"large.bin");
    {
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end{};
        end.QuadPart = SourceIO::kMaxRead + 2;
        ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.Get()));
    }
    FileSource file;
    ASSERT_HR(S_OK, file.Open(path.c_str()));
    SourceIO io(file);
    std::string buffer(SourceIO::kMaxRead + 1, '\0');
    EXPECT_THROW(io.Read(&buffer[0], SourceIO::kMaxRead + 1), XMP_Error);
    EXPECT_EQ(0u, io.BytesRead());
    EXPECT_EQ(SourceIO::kMaxRead, io.Read(&buffer[0], SourceIO::kMaxRead));
}

TEST(SourceIO, AFailingSourceStopsTheReadWithItsCode) {
    const std::string bytes = Filler(4 * SourceIO::kBlockSize, 6);
    ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
    stream->seekable = true;
    stream->failAtRead = 2;
    stream->failResult = STG_E_READFAULT;
    StreamSource source;
    ASSERT_HR(S_OK, source.Open(stream.Get()));
    SourceIO io(source);
    char buffer[100];
    EXPECT_EQ(100u, io.Read(buffer, sizeof buffer));
    io.Seek(2 * SourceIO::kBlockSize, kXMP_SeekFromStart);
    try {
        io.Read(buffer, sizeof buffer);
        ADD_FAILURE() << "no exception";
    } catch (const XMP_Error& error) {
        EXPECT_EQ(kXMPErr_ReadError, error.GetID());
    }
    EXPECT_HR(STG_E_READFAULT, io.ReadFailure());
}

}  // namespace
