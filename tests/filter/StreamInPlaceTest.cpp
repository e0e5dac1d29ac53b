// Documents as the search hosts hand them over: a stream that can seek is
// read in place, from where the host left it to its end, with no temporary
// file; a named file that cannot be loaded falls back to its stream; only a
// stream that cannot seek is copied. IInitializeWithStream loads the same way,
// once per object. Every way in gives the chunks of the file itself.
#include "filter/Velmora.h"

#include "ChunkRecorder.h"
#include "LoadFixture.h"
#include "ComPtr.h"
#include "LogCapture.h"
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
using Texts = std::vector<std::wstring>;

namespace {

const std::wstring kPrefix = L"Corvantis Velmora:";
constexpr size_t kBlock = 256 * 1024;

Lines Prefixed(const Lines& texts) {
    Lines lines;
    for (const std::wstring& text : texts) lines.push_back(kPrefix + text);
    return lines;
}

std::string Packet(const std::string& title) {
    return "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
           "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>" +
           title + "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>\n" +
           std::string(200, ' ') + "\n<?xpacket end='w'?>";
}

// How a test hands the document over.
enum class Way { NamedFileStream, MemoryStream, UnnamedFileStream, PipeStream, InitializeWithStream };

const char* Name(Way way) {
    switch (way) {
    case Way::NamedFileStream: return "named file stream";
    case Way::MemoryStream: return "HGLOBAL stream";
    case Way::UnnamedFileStream: return "unnamed stream over the file";
    case Way::PipeStream: return "stream that cannot seek";
    case Way::InitializeWithStream: return "IInitializeWithStream";
    }
    return "?";
}

class StreamInPlaceTest : public LoadFixture {
protected:

    // The load result and the chunks, or the load result alone after a failure.
    struct Outcome {
        HRESULT load = E_FAIL;
        Texts chunks;
        bool operator==(const Outcome& other) const { return load == other.load && chunks == other.chunks; }
    };

    Outcome Finish(CVelmora* object, HRESULT load) const {
        Outcome outcome{load, {}};
        if (FAILED(load)) return outcome;
        ULONG flags = 0;
        const HRESULT init = object->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
        outcome.chunks = FAILED(init) ? Texts{L"Init failed"} : Describe(DrainFilter(object));
        return outcome;
    }

    Outcome OfFile(const std::wstring& path) const {
        ComPtr<CVelmora> object(new CVelmora(*configuration));
        return Finish(object.Get(), object->Load(path.c_str(), 0));
    }

    Outcome OfStream(IStream* stream) const {
        ComPtr<CVelmora> object(new CVelmora(*configuration));
        return Finish(object.Get(), object->Load(stream));
    }

    Outcome Through(Way way, const std::wstring& path) const {
        const std::string bytes = ReadBytes(path);
        ComPtr<IStream> file;
        if (way == Way::NamedFileStream || way == Way::UnnamedFileStream) {
            const HRESULT hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                                      FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, file.Put());
            if (FAILED(hr)) return {hr, {}};
        }
        switch (way) {
        case Way::NamedFileStream: return OfStream(file.Get());
        case Way::MemoryStream: {
            ComPtr<IStream> stream(velmora::test::MemoryStream(bytes));
            return OfStream(stream.Get());
        }
        case Way::UnnamedFileStream: {
            ComPtr<TestStream> stream(TestStream::Over(file.Get()));
            stream->seekable = true;
            stream->unnamed = true;
            return OfStream(stream.Get());
        }
        case Way::PipeStream: {
            ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
            return OfStream(stream.Get());
        }
        case Way::InitializeWithStream: {
            ComPtr<CVelmora> object(new CVelmora(*configuration));
            ComPtr<IInitializeWithStream> initialize;
            if (FAILED(object->QueryInterface(IID_IInitializeWithStream, initialize.PutVoid()))) return {E_NOINTERFACE, {}};
            ComPtr<IStream> stream(velmora::test::MemoryStream(bytes));
            return Finish(object.Get(), initialize->Initialize(stream.Get(), STGM_READ));
        }
        }
        return {};
    }

    void ExpectEveryWayLikeTheFile(const std::wstring& path) const {
        const Outcome reference = OfFile(path);
        for (Way way : {Way::NamedFileStream, Way::MemoryStream, Way::UnnamedFileStream, Way::PipeStream,
                        Way::InitializeWithStream}) {
            const Outcome outcome = Through(way, path);
            EXPECT_EQ(Hr{reference.load}, Hr{outcome.load}) << Narrow(path) << " through " << Name(way);
            EXPECT_EQ(reference.chunks, outcome.chunks) << Narrow(path) << " through " << Name(way);
        }
    }

    TempDirectory scratch;
};

TEST_F(StreamInPlaceTest, EveryWayInGivesTheChunksOfTheFile) {
    for (const std::wstring& directory : {TestDataPath(L""), TestDataPath(L"regressions\\")}) {
        for (const std::wstring& name : FilesIn(directory)) ExpectEveryWayLikeTheFile(directory + name);
    }
    EXPECT_EQ(Texts{}, temp.Files());
}

TEST_F(StreamInPlaceTest, LargeDocumentsWithThePacketAnywhere) {
    const std::string packet = Packet("Far inside");
    const size_t size = 3 * kBlock + 1000;
    const size_t places[] = {0, 1000, kBlock - 10, kBlock - packet.size(), kBlock + 5, 2 * kBlock - 100,
                             size - packet.size()};
    for (size_t at : places) {
        std::string bytes = Filler(size, static_cast<unsigned>(at));
        bytes.replace(at, packet.size(), packet);
        const std::wstring path = scratch.File(L"large-" + std::to_wstring(at) + L".bin");
        WriteBytes(path, bytes);
        const Outcome reference = OfFile(path);
        ASSERT_EQ(Hr{S_OK}, Hr{reference.load});
        EXPECT_NE(Texts{}, reference.chunks) << at;
        ExpectEveryWayLikeTheFile(path);
    }
}

// A stream that can seek is never copied: the temporary directory stays
// empty while it is read, and the exact lines say which way it went.
TEST_F(StreamInPlaceTest, SeekableStreamIsReadInPlaceWithoutATemporaryFile) {
    const std::string bytes = ReadBytes(TestDataPath(L"standard.jpg"));
    ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
    stream->seekable = true;
    size_t filesSeen = 0;
    stream->onRead = [&]() { filesSeen += temp.Files().size() + FilesIn(scratch.Path()).size(); };

    EXPECT_HR(S_OK, filter->Load(stream.Get()));
    EXPECT_EQ(0u, filesSeen);
    EXPECT_FALSE(stream->reads.empty());
    EXPECT_EQ(Prefixed({L"INFO: entered IPersistStream::Load \n",
                        L"INFO: stream size = " + std::to_wstring(bytes.size()) + L" \n",
                        L"INFO: IStorage has no name \n", L"INFO: reading the stream in place \n",
                        L"INFO: stream bytes to read = " + std::to_wstring(bytes.size()) + L" \n",
                        L"INFO: XMP read by the JPEG handler, native metadata imported \n",
                        L"INFO: loaded from the stream \n", L"INFO: exited IPersistStream::Load \n"}),
              capture.Lines());
    LPOLESTR name = nullptr;
    EXPECT_HR(E_FAIL, filter->GetCurFile(&name));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ(1, stream->References());  // nothing holds the host's stream any more
    EXPECT_EQ(OfFile(TestDataPath(L"standard.jpg")), Finish(filter.Get(), S_OK));
}

// The document starts where the host left the stream: what lies before is
// not part of it, even a packet.
TEST_F(StreamInPlaceTest, StreamHandedOverMidwayIsReadFromThere) {
    const std::string before = Packet("Not this one") + Filler(5000, 1);
    const std::string document = ReadBytes(TestDataPath(L"standard.jpg"));
    for (bool seekable : {true, false}) {
        ComPtr<TestStream> stream(TestStream::FromBytes(before + document));
        stream->seekable = true;
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(before.size());
        ASSERT_HR(S_OK, stream->Seek(to, STREAM_SEEK_SET, nullptr));
        stream->seekable = seekable;
        EXPECT_EQ(OfFile(TestDataPath(L"standard.jpg")), OfStream(stream.Get())) << seekable;
    }
}

// The size comes from the stream itself, not from what Stat claims.
TEST_F(StreamInPlaceTest, StatFailingOrMisreportingTheSizeChangesNothing) {
    const std::wstring path = TestDataPath(L"standard.jpg");
    const std::string bytes = ReadBytes(path);
    const Outcome reference = OfFile(path);
    for (int64_t claimed : {int64_t{-2}, int64_t{0}, int64_t{10}, static_cast<int64_t>(bytes.size()) * 3}) {
        ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
        stream->seekable = true;
        if (claimed == -2) {
            stream->statResult = STG_E_ACCESSDENIED;
        } else {
            stream->statSize = claimed;
        }
        EXPECT_EQ(reference, OfStream(stream.Get())) << claimed;
    }
}

// A read failing at any block fails the load with the read's own code and
// leaves no document; a read ending early is the document's end.
TEST_F(StreamInPlaceTest, ReadFailingAtEveryBlock) {
    std::string bytes = Filler(3 * kBlock + 77, 9);
    const std::string packet = Packet("Deep");
    bytes.replace(2 * kBlock + 50, packet.size(), packet);
    int reads = 0;
    {
        ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
        stream->seekable = true;
        ASSERT_EQ(S_OK, OfStream(stream.Get()).load);
        reads = static_cast<int>(stream->reads.size());
    }
    ASSERT_GE(reads, 5);  // four blocks and the packet read back
    for (int k = 1; k <= reads; ++k) {
        ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
        stream->seekable = true;
        stream->failAtRead = k;
        stream->failResult = STG_E_READFAULT;
        capture.Clear();
        ComPtr<CVelmora> object(new CVelmora(*configuration));
        EXPECT_HR(STG_E_READFAULT, object->Load(stream.Get())) << k;
        EXPECT_EQ(Lines{kPrefix + L"ERROR: the stream could not be read, error code = 0x8003001e \n"},
                  capture.LinesWith(L"ERROR:")) << k;
        ULONG flags = 0;
        EXPECT_HR(E_FAIL, object->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags)) << k;
    }
}

// A stream that will not seek is copied as before; one whose Seek fails once
// it has been measured fails the load with that code.
TEST_F(StreamInPlaceTest, SeekFailures) {
    const std::wstring path = TestDataPath(L"standard.jpg");
    const std::string bytes = ReadBytes(path);
    const Outcome reference = OfFile(path);
    struct Case {
        int failAtSeek;
        Outcome expected;
    };
    const Case cases[] = {{1, reference}, {2, reference}, {3, {STG_E_SEEKERROR, {}}}};
    for (const Case& c : cases) {
        ComPtr<TestStream> stream(TestStream::FromBytes(bytes));
        stream->seekable = true;
        stream->failAtSeek = c.failAtSeek;
        stream->failResult = STG_E_SEEKERROR;
        capture.Clear();
        EXPECT_EQ(c.expected, OfStream(stream.Get())) << c.failAtSeek;
        EXPECT_EQ(c.failAtSeek < 3 ? 1u : 0u,
                  capture.LinesWith(L"INFO: the stream cannot seek (0x80030019), copying it to a temporary file")
                      .size());
    }
    EXPECT_EQ(Texts{}, temp.Files());
}

TEST_F(StreamInPlaceTest, EmptySeekableStreamFails) {
    ComPtr<TestStream> stream(TestStream::FromBytes(""));
    stream->seekable = true;
    EXPECT_HR(E_FAIL, filter->Load(stream.Get()));
    EXPECT_EQ(Lines{kPrefix + L"ERROR: the stream could not be read, error code = 0x80004005 \n"},
              capture.LinesWith(L"ERROR:"));
}

// A host that may not open the file the stream names still has the stream.
TEST_F(StreamInPlaceTest, LockedNamedFileFallsBackToTheStream) {
    const std::wstring path = scratch.File(L"locked.jpg");
    WriteBytes(path, ReadBytes(TestDataPath(L"standard.jpg")));
    const Outcome reference = OfFile(path);
    UniqueFileHandle lock(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);

    for (bool seekable : {true, false}) {
        ComPtr<TestStream> stream(TestStream::FromBytes(ReadBytes(TestDataPath(L"standard.jpg"))));
        stream->seekable = seekable;
        stream->hasName = true;
        stream->name = path;
        capture.Clear();
        EXPECT_EQ(reference, OfStream(stream.Get())) << seekable;
        EXPECT_EQ(1u, capture.LinesWith(L"INFO: the named file could not be loaded (0x80004005), reading the stream \n")
                          .size());
    }
    EXPECT_EQ(Texts{}, temp.Files());
}

TEST_F(StreamInPlaceTest, InitializeWithStreamLoadsOnce) {
    ComPtr<IInitializeWithStream> initialize;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IInitializeWithStream, initialize.PutVoid()));
    EXPECT_EQ(Lines{kPrefix + L"INFO: IInitializeWithStream interface queried \n"}, capture.Lines());
    ComPtr<IUnknown> a, b;
    ASSERT_HR(S_OK, initialize->QueryInterface(IID_IUnknown, a.PutVoid()));
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IUnknown, b.PutVoid()));
    EXPECT_EQ(a.Get(), b.Get());

    EXPECT_HR(E_INVALIDARG, initialize->Initialize(nullptr, STGM_READ));
    ComPtr<TestStream> empty(TestStream::FromBytes(""));
    empty->seekable = true;
    EXPECT_HR(E_FAIL, initialize->Initialize(empty.Get(), STGM_READ));  // not initialised by a failure

    ComPtr<IStream> stream(velmora::test::MemoryStream(ReadBytes(TestDataPath(L"standard.jpg"))));
    capture.Clear();
    EXPECT_HR(S_OK, initialize->Initialize(stream.Get(), STGM_READ));
    const Lines lines = capture.Lines();
    ASSERT_LE(2u, lines.size());
    EXPECT_EQ(Prefixed({L"INFO: entered IInitializeWithStream::Initialize \n", L"INFO: entered IPersistStream::Load \n"}),
              Lines(lines.begin(), lines.begin() + 2));
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED), initialize->Initialize(stream.Get(), STGM_READ));
    EXPECT_EQ(OfFile(TestDataPath(L"standard.jpg")), Finish(filter.Get(), S_OK));
}

}  // namespace
