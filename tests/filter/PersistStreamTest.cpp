// Loading a document through IPersistStream: a stream that names an existing
// file loads that file; any other stream is copied into a temporary file in
// the configured directory, 4093 bytes per read, and the copy is gone when
// Load returns, whatever happened.
#include "filter/Velmora.h"

#include "ChunkRecorder.h"
#include "LoadFixture.h"
#include "ComPtr.h"
#include "LogCapture.h"
#include "MallocSpy.h"
#include "RegistrySandbox.h"
#include "TestStream.h"
#include "TestSupport.h"

#include <shlwapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using Lines = std::vector<std::wstring>;
using Sizes = std::vector<ULONG>;

namespace {

const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
const std::wstring kPrefix = L"Corvantis Velmora:";
const std::wstring kCopy = L"<copy>";  // stands for the temporary file's path in expected lines
// What a stream that refuses to seek (E_NOTIMPL) is told before it is copied.
const std::wstring kCannotSeek = L"INFO: the stream cannot seek (0x80004001), copying it to a temporary file \n";

std::wstring L(const std::wstring& text) { return kPrefix + text; }

Lines Prefixed(const Lines& texts) {
    Lines lines;
    for (const std::wstring& text : texts) lines.push_back(L(text));
    return lines;
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string Repeat(size_t size) {
    std::string bytes(size, 'x');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

// The copies in the temporary directory, seen from inside a Read call.
struct CopySeen {
    std::vector<std::wstring> files;
};

class PersistStreamTest : public LoadFixture {
protected:

    // Records, at the stream's first read, which files the temporary directory holds.
    void WatchCopy(TestStream* stream) {
        stream->onRead = [this]() {
            if (!seen.files.empty()) return;
            seen.files = temp.Files();
        };
    }

    // Log lines with the temporary file's path replaced by "<copy>".
    Lines LogLines() const {
        Lines lines = capture.Lines();
        if (seen.files.empty()) return lines;
        const std::wstring path = temp.File(seen.files[0]);
        for (std::wstring& line : lines) {
            for (size_t at = line.find(path); at != std::wstring::npos; at = line.find(path, at + kCopy.size())) {
                line.replace(at, path.size(), kCopy);
            }
        }
        return lines;
    }

    // What the file load logs for a file holding bytes, with its path as "<copy>".
    Lines FileLoadLines(const std::string& bytes) {
        const std::wstring path = reference.File(L"reference.bin");
        WriteBytes(path, bytes);
        ComPtr<CVelmora> other(new CVelmora(*configuration));
        capture.Clear();
        other->Load(path.c_str(), 0);
        Lines lines;
        for (std::wstring line : capture.Lines()) {
            line = line.substr(kPrefix.size());
            for (size_t at = line.find(path); at != std::wstring::npos; at = line.find(path, at + kCopy.size())) {
                line.replace(at, path.size(), kCopy);
            }
            lines.push_back(line);
        }
        capture.Clear();
        return lines;
    }

    std::wstring CurrentFile() const {
        LPOLESTR name = nullptr;
        const HRESULT hr = filter->GetCurFile(&name);
        std::wstring text = SUCCEEDED(hr) && name ? name : L"<none>";
        CoTaskMemFree(name);
        return text;
    }

    std::vector<std::wstring> Chunks(CVelmora* object) const {
        ULONG flags = 0;
        const HRESULT hr = object->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
        if (FAILED(hr)) return {L"Init failed"};
        return Describe(DrainFilter(object));
    }

    std::vector<std::wstring> ChunksOfFile(const std::wstring& path) const {
        ComPtr<CVelmora> other(new CVelmora(*configuration));
        if (FAILED(other->Load(path.c_str(), 0))) return {L"Load failed"};
        return Chunks(other.Get());
    }

    TempDirectory reference;
    CopySeen seen;
};

TEST_F(PersistStreamTest, NullStreamIsRefusedAfterTheEntryMessage) {
    EXPECT_HR(E_INVALIDARG, filter->Load(static_cast<IStream*>(nullptr)));
    EXPECT_EQ(Lines{L(L"INFO: entered IPersistStream::Load \n")}, capture.Lines());
}

TEST_F(PersistStreamTest, ReadOnlyOperationsOfTheStreamFace) {
    ComPtr<IPersistStream> persist;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistStream, persist.PutVoid()));
    CLSID clsid{};
    EXPECT_HR(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_VelmoraFilter, clsid));
    EXPECT_HR(S_FALSE, persist->IsDirty());
    ComPtr<IStream> stream(MemoryStream("abc"));
    EXPECT_HR(E_NOTIMPL, persist->Save(stream.Get(), TRUE));
    ULARGE_INTEGER size{};
    EXPECT_HR(E_NOTIMPL, persist->GetSizeMax(&size));
}

// A stream over a real file names that file: it is loaded itself, nothing is
// read from the stream, and no exit message follows.
TEST_F(PersistStreamTest, NamedStreamLoadsItsFileDirectly) {
    const std::wstring path = TestDataPath(L"standard.jpg");
    ComPtr<IStream> file;
    ASSERT_HR(S_OK, SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                                           FALSE, nullptr, file.Put()));
    STATSTG stat{};
    ASSERT_HR(S_OK, file->Stat(&stat, STATFLAG_DEFAULT));
    const std::wstring name = stat.pwcsName ? stat.pwcsName : L"";
    CoTaskMemFree(stat.pwcsName);
    ASSERT_EQ(GetFileAttributesW(path.c_str()), GetFileAttributesW(name.c_str())) << Narrow(name);

    ComPtr<TestStream> stream(TestStream::Over(file.Get()));
    EXPECT_HR(S_OK, filter->Load(stream.Get()));

    EXPECT_EQ(Prefixed({L"INFO: entered IPersistStream::Load \n",
                        L"INFO: stream size = " + std::to_wstring(ReadBytes(path).size()) + L" \n",
                        L"INFO: IStorage name is " + name + L" \n", L"INFO: entered IPersistFile::Load \n",
                        L"INFO: loading for " + name + L" \n",
                        L"INFO: XMP read by the JPEG handler, native metadata imported \n",
                        L"INFO: loaded for " + name + L" \n"}),
              capture.Lines());
    EXPECT_EQ(Sizes{}, stream->AskedSizes());
    EXPECT_EQ(name, CurrentFile());
    EXPECT_EQ(ChunksOfFile(path), Chunks(filter.Get()));
    EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
}

// Unnamed streams that cannot seek go through a temporary copy, read 4093
// bytes at a time until a read delivers less.
TEST_F(PersistStreamTest, UnnamedStreamsAreCopiedInReadsOf4093Bytes) {
    struct Case {
        size_t size;
        Sizes delivered;
        HRESULT result;
    };
    const Case cases[] = {
        {0, {0}, E_FAIL},
        {4093, {4093, 0}, S_OK},
        {4094, {4093, 1}, S_OK},
        {10000, {4093, 4093, 1814}, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const Lines fileLoad = FileLoadLines(Repeat(c.size));
        ComPtr<CVelmora> object(new CVelmora(*configuration));
        ComPtr<IStream> memory(MemoryStream(Repeat(c.size)));
        ComPtr<TestStream> stream(TestStream::Over(memory.Get()));
        seen = {};
        WatchCopy(stream.Get());
        capture.Clear();

        EXPECT_HR(c.result, object->Load(stream.Get()));

        EXPECT_EQ(Sizes(c.delivered.size(), 4093), stream->AskedSizes());
        EXPECT_EQ(c.delivered, stream->DeliveredSizes());
        ASSERT_EQ(1u, seen.files.size());
        EXPECT_EQ(L".tmp", seen.files[0].substr(seen.files[0].size() - 4)) << Narrow(seen.files[0]);
        EXPECT_EQ(Prefixed(Join({{L"INFO: entered IPersistStream::Load \n",
                                  L"INFO: stream size = " + std::to_wstring(c.size) + L" \n",
                                  L"INFO: IStorage has no name \n",
                                  kCannotSeek, L"INFO: bytesWritten = " + std::to_wstring(c.size) + L" \n"},
                                 fileLoad,
                                 {L"INFO: exited IPersistStream::Load \n"}})),
                  LogLines());
        LPOLESTR name = nullptr;
        EXPECT_HR(E_FAIL, object->GetCurFile(&name));
        EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
    }
}

// A document handed over in memory gives the same chunks as the file itself.
TEST_F(PersistStreamTest, MemoryStreamOfADocumentGivesTheFilesChunks) {
    const std::wstring path = TestDataPath(L"standard.jpg");
    ComPtr<IStream> stream(MemoryStream(ReadBytes(path)));
    EXPECT_HR(S_OK, filter->Load(stream.Get()));
    const std::vector<std::wstring> expected = ChunksOfFile(path);
    EXPECT_LT(0u, expected.size());
    EXPECT_EQ(expected, Chunks(filter.Get()));
    EXPECT_EQ(L"<none>", CurrentFile());
    EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
}

// Streams that misbehave, after a document was loaded from a file. A failure
// before the file load leaves that document in place; once the copy is
// loaded the earlier document is gone.
TEST_F(PersistStreamTest, StreamsThatFailAtAChosenPoint) {
    const std::wstring earlier = TestDataPath(L"standard.jpg");
    const std::wstring missing = temp.Path() + L"missing.jpg";
    const Lines copyOf10Bytes = FileLoadLines(Repeat(10));
    const Lines copyOfNothing = FileLoadLines("");
    struct Case {
        const char* what;
        std::function<TestStream*()> make;
        HRESULT result;
        Sizes asked;
        Lines lines;
        bool keepsEarlierDocument;
    };
    const Case cases[] = {
        {"statistics unavailable",
         [] {
             TestStream* s = TestStream::FromBytes(Repeat(10));
             s->statResult = STG_E_ACCESSDENIED;
             return s;
         },
         S_OK, {4093},
         Join({{L"INFO: entered IPersistStream::Load \n",
                L"INFO: Unable to retrieve STAT from IStorage stream. Error = 0x80030005 \n",
                kCannotSeek, L"INFO: bytesWritten = 10 \n"},
               copyOf10Bytes,
               {L"INFO: exited IPersistStream::Load \n"}}),
         false},
        {"named file missing",
         [&] {
             TestStream* s = TestStream::FromBytes(Repeat(10));
             s->hasName = true;
             s->name = missing;
             return s;
         },
         S_OK, {4093},
         Join({{L"INFO: entered IPersistStream::Load \n", L"INFO: stream size = 10 \n",
                L"INFO: IStorage name is " + missing + L" \n", L"INFO: access() return code = 2 \n",
                kCannotSeek, L"INFO: bytesWritten = 10 \n"},
               copyOf10Bytes,
               {L"INFO: exited IPersistStream::Load \n"}}),
         false},
        {"end of file at once",
         [] {
             TestStream* s = TestStream::FromBytes(Repeat(10));
             s->EndAtOnce();
             return s;
         },
         E_FAIL, {4093},
         Join({{L"INFO: entered IPersistStream::Load \n", L"INFO: stream size = 10 \n",
                L"INFO: IStorage has no name \n", kCannotSeek, L"INFO: bytesWritten = 0 \n"},
               copyOfNothing,
               {L"INFO: exited IPersistStream::Load \n"}}),
         false},
        {"second read fails",
         [] {
             TestStream* s = TestStream::FromBytes(Repeat(10000));
             s->failAtRead = 2;
             s->failResult = STG_E_READFAULT;
             return s;
         },
         STG_E_READFAULT, {4093, 4093},
         {L"INFO: entered IPersistStream::Load \n", L"INFO: stream size = 10000 \n", L"INFO: IStorage has no name \n",
          kCannotSeek, L"INFO: bytesWritten = 4093 \n", L"ERROR: saving Stream to temporary file failed \n",
          L"INFO: exited IPersistStream::Load \n"},
         true},
        {"first read fails",
         [] {
             TestStream* s = TestStream::FromBytes(Repeat(10));
             s->failAtRead = 1;
             s->failResult = E_OUTOFMEMORY;
             return s;
         },
         E_OUTOFMEMORY, {4093},
         {L"INFO: entered IPersistStream::Load \n", L"INFO: stream size = 10 \n", L"INFO: IStorage has no name \n",
          kCannotSeek, L"INFO: bytesWritten = 0 \n", L"ERROR: saving Stream to temporary file failed \n",
          L"INFO: exited IPersistStream::Load \n"},
         true},
        {"read claims more than it was asked for",
         [] {
             TestStream* s = TestStream::FromBytes(Repeat(10000));
             s->lieAtRead = 2;
             return s;
         },
         E_FAIL, {4093, 4093},
         {L"INFO: entered IPersistStream::Load \n", L"INFO: stream size = 10000 \n", L"INFO: IStorage has no name \n",
          kCannotSeek, L"INFO: bytesWritten = 4093 \n", L"ERROR: saving Stream to temporary file failed \n",
          L"INFO: exited IPersistStream::Load \n"},
         true},
    };
    const std::vector<std::wstring> earlierChunks = ChunksOfFile(earlier);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<CVelmora> object(new CVelmora(*configuration));
        ASSERT_HR(S_OK, object->Load(earlier.c_str(), 0));
        ComPtr<TestStream> stream(c.make());
        seen = {};
        WatchCopy(stream.Get());
        capture.Clear();

        EXPECT_HR(c.result, object->Load(stream.Get()));

        EXPECT_EQ(c.asked, stream->AskedSizes());
        EXPECT_EQ(Prefixed(c.lines), LogLines());
        EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
        LPOLESTR name = nullptr;
        if (c.keepsEarlierDocument) {
            ASSERT_HR(S_OK, object->GetCurFile(&name));
            EXPECT_EQ(earlier, std::wstring(name));
            CoTaskMemFree(name);
            EXPECT_EQ(earlierChunks, Chunks(object.Get()));
        } else {
            EXPECT_HR(E_FAIL, object->GetCurFile(&name));
            EXPECT_NE(earlierChunks, Chunks(object.Get()));
        }
        EXPECT_EQ(1, stream->References());
    }
}

// A stream handed over positioned at its end is not rewound: read in place
// it holds nothing, and a stream that cannot seek gives an empty copy.
TEST_F(PersistStreamTest, StreamAtItsEndHoldsNothing) {
    ComPtr<IStream> memory(MemoryStream(ReadBytes(TestDataPath(L"standard.jpg"))));
    LARGE_INTEGER zero{};
    ASSERT_HR(S_OK, memory->Seek(zero, STREAM_SEEK_END, nullptr));
    capture.Clear();
    EXPECT_HR(E_FAIL, filter->Load(memory.Get()));
    EXPECT_EQ(Lines{L(L"INFO: stream bytes to read = 0 \n")}, capture.LinesWith(L"bytes to read"));
    EXPECT_EQ(Lines{L(L"ERROR: the stream could not be read, error code = 0x80004005 \n")},
              capture.LinesWith(L"ERROR:"));

    ComPtr<TestStream> pipe(TestStream::Over(memory.Get()));
    capture.Clear();
    EXPECT_HR(E_FAIL, filter->Load(pipe.Get()));
    EXPECT_EQ(Lines{L(L"INFO: bytesWritten = 0 \n")}, capture.LinesWith(L"bytesWritten"));
    EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
}

// No temporary file can be made in a directory that does not exist: the
// stream is not read and the earlier document stays loaded.
TEST_F(PersistStreamTest, UnwritableTemporaryDirectoryKeepsTheEarlierDocument) {
    const std::wstring earlier = TestDataPath(L"standard.jpg");
    const std::wstring directory = temp.Path() + L"no-such-directory\\";
    configuration->tempDirectory = directory;
    ASSERT_HR(S_OK, filter->Load(earlier.c_str(), 0));
    const std::vector<std::wstring> earlierChunks = Chunks(filter.Get());
    ComPtr<TestStream> stream(TestStream::FromBytes(Repeat(10)));
    capture.Clear();

    EXPECT_HR(E_FAIL, filter->Load(stream.Get()));

    EXPECT_EQ(Prefixed({L"INFO: entered IPersistStream::Load \n", L"INFO: stream size = 10 \n",
                        L"INFO: IStorage has no name \n",
                        kCannotSeek, L"ERROR: CreateTempFilename() failure, error code = 267 \n",
                        L"ERROR: temp path for CreateTempFilename() is " + directory + L" \n",
                        L"INFO: exited IPersistStream::Load \n"}),
              capture.Lines());
    EXPECT_EQ(Sizes{}, stream->AskedSizes());
    EXPECT_EQ(earlier, CurrentFile());
    EXPECT_EQ(earlierChunks, Chunks(filter.Get()));
    EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
}

// The name that Stat hands over belongs to the caller: every path frees it.
TEST_F(PersistStreamTest, StatisticsNamesAreFreedOnEveryPath) {
    ASSERT_HR(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        MallocSpy spy;
        ASSERT_TRUE(spy.Registered());
        const std::wstring names[] = {TestDataPath(L"standard.jpg"), temp.Path() + L"missing.jpg", temp.Path()};
        for (const std::wstring& name : names) {
            ComPtr<CVelmora> object(new CVelmora(*configuration));
            ComPtr<TestStream> stream(TestStream::FromBytes(Repeat(10)));
            stream->hasName = true;
            stream->name = name;
            object->Load(stream.Get());
            EXPECT_EQ(1, stream->statCalls);
        }
        EXPECT_LE(3u, spy.Allocations());
        EXPECT_EQ(0u, spy.Outstanding());
    }
    CoUninitialize();
    EXPECT_EQ(std::vector<std::wstring>{}, temp.Files());
}

}  // namespace
