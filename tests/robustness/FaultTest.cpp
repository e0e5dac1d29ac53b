// Injected faults along a document's path: the k-th task allocation fails for
// every k; a stream's Read fails at every block; the temporary directory
// vanishes or cannot be written; the file is locked, deleted or replaced
// between calls. Each ends in the expected code and log line, with nothing
// leaked and no temporary file left (checked by the fixture as well).
#include "DllFixture.h"

#include "TestStream.h"

#include <cstdio>

namespace velmora::fuzz::test {
namespace {

using velmora::test::TestStream;

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

bool IsOneOf(HRESULT hr, std::initializer_list<HRESULT> codes) {
    for (HRESULT code : codes)
        if (hr == code) return true;
    return false;
}

class AllocationFaults : public DllTest {
protected:
    // A custom schema over the Dublin Core namespace without a definition
    // file: its properties are discovered in each document and reach the
    // host under names, so the path also copies names.
    static void DeclareDiscoveredSchema() {
        const std::wstring key = std::wstring(kKey) + L"\\CustomSchemas\\Discovered";
        RegistrySandbox::SetString(key, L"GUID", L"{5A1F3C2E-8B7D-4E6F-9A0B-1C2D3E4F5A6B}");
        RegistrySandbox::SetString(key, L"NameSpace", L"http://purl.org/dc/elements/1.1/");
    }
};

// Fails each task allocation of the whole host path in turn, through both faces.
TEST_F(AllocationFaults, EveryAllocationAlongTheHostPath) {
    DeclareDiscoveredSchema();
    LoadDll(true, 0);
    const std::wstring path = velmora::test::TestDataPath(L"standard.jpg");
    const std::string bytes = Data(L"standard.jpg");
    for (Face face : {Face::File, Face::Stream}) {
        SCOPED_TRACE(face == Face::File ? "file" : "stream");
        const size_t before = spy.Allocations();
        const HostRun reference = RunDocument(*dll, face, path, bytes);
        ASSERT_EQ("", reference.fault);
        ASSERT_HR(S_OK, reference.load);
        ASSERT_GT(reference.drain.valueChunks, 0u);
        const size_t steps = spy.Allocations() - before;
        ASSERT_GT(steps, 0u);

        size_t failedLoads = 0, failedInits = 0, lostValues = 0;
        for (size_t k = 1; k <= steps + 1; ++k) {
            SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(steps));
            const size_t outstanding = spy.Outstanding();
            spy.FailAllocations(1, k - 1);
            const HostRun run = RunDocument(*dll, face, path, bytes, true);
            spy.FailAllocations(0);
            EXPECT_EQ("", run.fault);
            EXPECT_TRUE(IsOneOf(run.create, {S_OK, E_OUTOFMEMORY})) << velmora::test::Narrow(Hex(run.create));
            EXPECT_TRUE(IsOneOf(run.load, {S_OK, E_OUTOFMEMORY})) << velmora::test::Narrow(Hex(run.load));
            EXPECT_TRUE(IsOneOf(run.init, {S_OK, E_OUTOFMEMORY})) << velmora::test::Narrow(Hex(run.init));
            EXPECT_EQ(outstanding, spy.Outstanding()) << "task allocations leaked";
            EXPECT_HR(S_OK, dll->CanUnloadNow());
            EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());
            failedLoads += FAILED(run.load);
            failedInits += FAILED(run.init);
            lostValues += run.drain.failedValues;
            if (k == steps + 1) {
                // Past the last allocation nothing fails: the reference result.
                EXPECT_EQ(reference.drain.digest, run.drain.digest);
            }
        }
        std::printf("%s path: %zu task allocations; a failure there gave %zu failed loads, %zu failed Init "
                    "calls, %zu lost values\n",
                    face == Face::File ? "file" : "stream", steps, failedLoads, failedInits, lostValues);
    }
}

// The two allocations of IFilter::GetValue: the PROPVARIANT, then its string.
TEST_F(AllocationFaults, GetValueReportsEachAllocation) {
    LoadDll(true, 0);
    const std::wstring path = velmora::test::TestDataPath(L"standard.jpg");
    IFilter* probe = NewFilter();
    ASSERT_HR(S_OK, LoadFile(probe, path));
    HRESULT init = S_OK;
    const DrainResult reference = InitAndDrain(probe, init);
    ASSERT_HR(S_OK, init);
    probe->Release();
    ASSERT_GT(reference.valueChunks, 0u);

    size_t textValues = 0;
    for (size_t target = 1; target <= reference.valueChunks; ++target) {
        struct Row {
            size_t failAt;  // 1: the PROPVARIANT, 2: the string of a text value
        };
        for (const Row row : {Row{1}, Row{2}}) {
            SCOPED_TRACE("value chunk " + std::to_string(target) + ", allocation " + std::to_string(row.failAt));
            IFilter* filter = NewFilter();
            ASSERT_HR(S_OK, LoadFile(filter, path));
            ULONG flags = 0;
            ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
            // Walk to the target value chunk, taking the values before it normally.
            STAT_CHUNK stat{};
            size_t values = 0;
            for (;;) {
                ASSERT_HR(S_OK, filter->GetChunk(&stat));
                if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
                ASSERT_EQ(static_cast<DWORD>(CHUNK_VALUE), static_cast<DWORD>(stat.flags));
                if (++values == target) break;
                PROPVARIANT* value = nullptr;
                ASSERT_HR(S_OK, filter->GetValue(&value));
                PropVariantClear(value);
                CoTaskMemFree(value);
            }
            // Find out the value's type first on a twin object.
            IFilter* twin = NewFilter();
            ASSERT_HR(S_OK, LoadFile(twin, path));
            ASSERT_HR(S_OK, twin->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
            VARTYPE vt = VT_EMPTY;
            for (size_t i = 1; i <= target; ++i) {
                STAT_CHUNK twinStat{};
                ASSERT_HR(S_OK, twin->GetChunk(&twinStat));
                if (twinStat.attribute.psProperty.ulKind == PRSPEC_LPWSTR)
                    CoTaskMemFree(twinStat.attribute.psProperty.lpwstr);
                PROPVARIANT* value = nullptr;
                ASSERT_HR(S_OK, twin->GetValue(&value));
                vt = value->vt;
                PropVariantClear(value);
                CoTaskMemFree(value);
            }
            twin->Release();

            spy.FailAllocations(1, row.failAt - 1);
            PROPVARIANT* value = nullptr;
            const HRESULT hr = filter->GetValue(&value);
            spy.FailAllocations(0);
            if (row.failAt == 1) {
                EXPECT_HR(E_OUTOFMEMORY, hr);
                EXPECT_EQ(nullptr, value);
            } else if (vt == VT_LPWSTR) {
                ++textValues;
                EXPECT_HR(E_OUTOFMEMORY, hr);
                EXPECT_EQ(nullptr, value);
            } else {
                // Dates and numbers need no second allocation.
                EXPECT_HR(S_OK, hr);
                if (value) {
                    PropVariantClear(value);
                    CoTaskMemFree(value);
                }
            }
            // The value counts as handed out either way.
            PROPVARIANT* again = nullptr;
            EXPECT_HR(FILTER_E_NO_MORE_VALUES, filter->GetValue(&again));
            // The rest of the document is still delivered.
            const DrainResult rest = DrainChecked(filter, false, 200000, static_cast<ULONG>(target + 1));
            EXPECT_EQ("", rest.fault);
            EXPECT_EQ(reference.valueChunks - target, rest.valueChunks);
            EXPECT_EQ(reference.textChunks, rest.textChunks);
            filter->Release();
        }
    }
    EXPECT_GT(textValues, 0u);
}

TEST_F(AllocationFaults, GetCurFileOutOfMemory) {
    LoadDll(true, 0);
    IFilter* filter = NewFilter();
    const std::wstring path = velmora::test::TestDataPath(L"standard.jpg");
    ASSERT_HR(S_OK, LoadFile(filter, path));
    IPersistFile* persist = nullptr;
    ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    spy.FailAllocations(1);
    EXPECT_HR(E_OUTOFMEMORY, persist->GetCurFile(&name));
    spy.FailAllocations(0);
    EXPECT_EQ(nullptr, name);
    ASSERT_HR(S_OK, persist->GetCurFile(&name));
    EXPECT_EQ(path, std::wstring(name));
    CoTaskMemFree(name);
    persist->Release();
    filter->Release();
}

// A chunk whose named attribute cannot be copied fails with E_OUTOFMEMORY, and the next call goes on.
TEST_F(AllocationFaults, NamedAttributeOutOfMemory) {
    DeclareDiscoveredSchema();
    LoadDll(true, 0);
    const std::wstring path = velmora::test::TestDataPath(L"standard.jpg");
    IFilter* filter = NewFilter();
    ASSERT_HR(S_OK, LoadFile(filter, path));
    ULONG flags = 0;
    ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    size_t named = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        spy.FailAllocations(1);
        STAT_CHUNK stat{};
        const HRESULT hr = filter->GetChunk(&stat);
        spy.FailAllocations(0);
        if (hr == FILTER_E_END_OF_CHUNKS) break;
        // A named property's chunk without memory for its name is lost, as
        // a value is; the walk goes on with the next chunk.
        if (hr == E_OUTOFMEMORY) {
            ++named;
            continue;
        }
        ASSERT_HR(S_OK, hr);
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
            EXPECT_NE(nullptr, stat.attribute.psProperty.lpwstr);
            CoTaskMemFree(stat.attribute.psProperty.lpwstr);
        }
        if (stat.flags == CHUNK_VALUE) {
            PROPVARIANT* value = nullptr;
            if (SUCCEEDED(filter->GetValue(&value))) {
                PropVariantClear(value);
                CoTaskMemFree(value);
            }
        }
    }
    filter->Release();
    EXPECT_GT(named, 0u) << "the discovered schema gave no named attribute";
}

// ---------------------------------------------------------------------------

class StreamFaults : public DllTest {
protected:
    // standard.jpg followed by zeros, so that the copy takes four reads
    // (4093, 4093, 4093, 500 bytes) and the packet lies in the first block.
    static std::string Padded() {
        std::string bytes = Data(L"standard.jpg");
        bytes.resize(3 * 4093 + 500, '\0');
        return bytes;
    }
};

TEST_F(StreamFaults, ReadFailsAtEveryBlock) {
    LoadDll();
    const std::string bytes = Padded();
    const std::wstring earlier = velmora::test::TestDataPath(L"standard.tif");
    for (int block = 1; block <= 4; ++block) {
        SCOPED_TRACE("read " + std::to_string(block));
        IFilter* filter = NewFilter();
        ASSERT_HR(S_OK, LoadFile(filter, earlier));
        HRESULT init = S_OK;
        const DrainResult earlierChunks = InitAndDrain(filter, init);

        TestStream* stream = TestStream::FromBytes(bytes);
        stream->failAtRead = block;
        stream->failResult = STG_E_READFAULT;
        log->Clear();
        EXPECT_HR(STG_E_READFAULT, LoadStream(filter, stream));
        EXPECT_EQ(static_cast<size_t>(block), stream->reads.size());
        stream->Release();
        EXPECT_EQ(1u, LinesWith(L"ERROR: saving Stream to temporary file failed").size());
        EXPECT_EQ(std::vector<std::wstring>{Line(L"ERROR: saving Stream to temporary file failed \n")},
                  LinesWith(L"saving Stream"));
        EXPECT_EQ(std::vector<std::wstring>{Line(L"INFO: bytesWritten = " + std::to_wstring((block - 1) * 4093) +
                                                 L" \n")},
                  LinesWith(L"bytesWritten"));
        EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());
        // The earlier document is still the one the filter works on.
        HRESULT hr = S_OK;
        EXPECT_EQ(earlier, CurFile(filter, hr));
        const DrainResult after = InitAndDrain(filter, init);
        EXPECT_HR(S_OK, init);
        EXPECT_EQ(earlierChunks.digest, after.digest);
        filter->Release();
    }
}

TEST_F(StreamFaults, EndOfStreamAtEveryBlock) {
    LoadDll();
    const std::string bytes = Padded();
    IFilter* probe = NewFilter();
    HRESULT init = S_OK;
    ASSERT_HR(S_OK, LoadFile(probe, velmora::test::TestDataPath(L"standard.jpg")));
    const DrainResult reference = InitAndDrain(probe, init);
    probe->Release();
    for (int block = 1; block <= 5; ++block) {
        SCOPED_TRACE("read " + std::to_string(block));
        IFilter* filter = NewFilter();
        TestStream* stream = TestStream::FromBytes(bytes);
        stream->failAtRead = block;
        stream->failResult = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
        log->Clear();
        const HRESULT hr = LoadStream(filter, stream);
        stream->Release();
        const size_t written = static_cast<size_t>(std::min(block - 1, 3)) * 4093 + (block == 5 ? 500 : 0);
        EXPECT_EQ(std::vector<std::wstring>{Line(L"INFO: bytesWritten = " + std::to_wstring(written) + L" \n")},
                  LinesWith(L"bytesWritten"));
        EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());
        if (block == 1) {
            // An empty copy cannot be loaded.
            EXPECT_HR(E_FAIL, hr);
            EXPECT_EQ(1u, LinesWith(L"ERROR: document open failure: ").size());
        } else {
            EXPECT_HR(S_OK, hr);
            const DrainResult chunks = InitAndDrain(filter, init);
            EXPECT_EQ(reference.digest, chunks.digest);
        }
        filter->Release();
    }
}

// A stream that can seek is read in place: its first bytes, which tell the
// format (here none the handlers read), then block by block, and the packet
// is read back from it. A read failing at any of those calls fails the load
// with the read's code and leaves no document and no file behind; one ending
// early is judged by what it held.
TEST_F(StreamFaults, SeekableStreamFailsOrEndsAtEveryRead) {
    LoadDll();
    std::string bytes(3 * 256 * 1024 + 100, '\0');
    const std::string document = Data(L"standard.jpg");
    bytes.replace(2 * 256 * 1024 + 10, document.size(), document);
    const int reads = ReadsOfSeekableLoad(bytes);
    ASSERT_EQ(6, reads);  // the first bytes, four blocks, then the packet read back
    for (HRESULT failure : {STG_E_READFAULT, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)}) {
        for (int k = 1; k <= reads; ++k) {
            SCOPED_TRACE("read " + std::to_string(k));
            IFilter* filter = NewFilter();
            log->Clear();
            const HRESULT hr = LoadFailingAtRead(filter, bytes, k, failure);
            EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());
            HRESULT init = S_OK;
            if (failure == STG_E_READFAULT) {
                EXPECT_HR(STG_E_READFAULT, hr);
                EXPECT_EQ(std::vector<std::wstring>{Line(
                              L"ERROR: the stream could not be read, error code = 0x8003001e \n")},
                          LinesWith(L"ERROR:"));
                ULONG flags = 0;
                EXPECT_HR(E_FAIL, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
            } else if (k == 1) {
                // No first bytes: no format, and the search reads the rest.
                EXPECT_HR(S_OK, hr);
                EXPECT_GT(InitAndDrain(filter, init).valueChunks, 0u);
            } else if (k == 2) {
                EXPECT_HR(E_FAIL, hr);  // nothing at all
            } else {
                // Loaded either way: cut in the last block, after the packet,
                // it still holds the packet; cut before it, or short when the
                // packet is read back, it holds none.
                EXPECT_HR(S_OK, hr);
                EXPECT_EQ(k == 5, InitAndDrain(filter, init).valueChunks > 0);
            }
            filter->Release();
        }
    }
}

// A HEIF document read in place: libheif's reads of the container and of
// the metadata items go through the same source, so a read failing at any
// call fails the load with the read's code; one ending early leaves a
// document cut short, and either way the stream is let go of and no file is
// left behind.
TEST_F(StreamFaults, HeifContainerFailsOrEndsAtEveryRead) {
    LoadDll();
    ExpectEveryReadToFailOrEnd(L"heif\\two-images.heic", Data(L"heif\\two-images.heic"), 2, 1);
}

// The camera raw containers read in place: a read failing at any call of
// their readers (and of the handler they hand a preview or a TIFF block to)
// fails the load with the read's code; one ending early leaves a document
// cut short. Either way the stream is let go of and no file is left behind.
TEST_F(StreamFaults, RawContainersFailOrEndAtEveryRead) {
    LoadDll();
    for (const wchar_t* name : {L"raw\\Panasonic.rw2", L"raw\\olympus-exif.orf", L"raw\\FujiFilm.raf",
                                L"raw\\CanonRaw.cr3", L"raw\\Minolta.mrw", L"raw\\CanonRaw.crw", L"raw\\Sigma.x3f",
                                L"raw\\SigmaDP2.x3f"})
        ExpectEveryReadToFailOrEnd(name, Data(name), 2, 1);
}

TEST_F(StreamFaults, StatFails) {
    LoadDll();
    IFilter* filter = NewFilter();
    TestStream* stream = TestStream::FromBytes(Data(L"standard.jpg"));
    stream->statResult = STG_E_ACCESSDENIED;
    EXPECT_HR(S_OK, LoadStream(filter, stream));
    stream->Release();
    EXPECT_EQ(std::vector<std::wstring>{Line(L"INFO: Unable to retrieve STAT from IStorage stream. Error = 0x80030005 \n")},
              LinesWith(L"Unable to retrieve STAT"));
    HRESULT init = S_OK;
    const DrainResult chunks = InitAndDrain(filter, init);
    EXPECT_EQ("", chunks.fault);
    EXPECT_GT(chunks.valueChunks, 0u);
    filter->Release();
}

// ---------------------------------------------------------------------------

class TempDirectoryFaults : public DllTest {
protected:
    // Streams a document into the filter, with an earlier document loaded,
    // when the temporary directory cannot take the copy. The platform decides
    // where that shows: GetTempFileNameW fails, or the file it names cannot
    // be created.
    void ExpectCopyRefused(const std::wstring& directory) {
        IFilter* filter = NewFilter();
        const std::wstring earlier = velmora::test::TestDataPath(L"standard.tif");
        ASSERT_HR(S_OK, LoadFile(filter, earlier));
        wchar_t probe[MAX_PATH] = {};
        const UINT unique = GetTempFileNameW(directory.c_str(), L"", 0, probe);
        const DWORD probeError = GetLastError();
        const bool probeCreated = unique != 0 && GetFileAttributesW(probe) != INVALID_FILE_ATTRIBUTES;
        ASSERT_FALSE(probeCreated) << "the directory can be written to";

        TestStream* stream = TestStream::FromBytes(Data(L"standard.jpg"));
        log->Clear();
        EXPECT_HR(E_FAIL, LoadStream(filter, stream));
        EXPECT_TRUE(stream->reads.empty() || unique != 0);
        stream->Release();
        if (unique == 0) {
            EXPECT_EQ((std::vector<std::wstring>{
                          Line(L"ERROR: CreateTempFilename() failure, error code = " + std::to_wstring(probeError) +
                               L" \n"),
                          Line(L"ERROR: temp path for CreateTempFilename() is " + directory + L" \n")}),
                      LinesWith(L"CreateTempFilename()"));
        } else {
            EXPECT_EQ(std::vector<std::wstring>{Line(L"ERROR: saving Stream to temporary file failed \n")},
                      LinesWith(L"saving Stream"));
        }
        EXPECT_EQ(1u, LinesWith(L"INFO: exited IPersistStream::Load").size());
        HRESULT hr = S_OK;
        EXPECT_EQ(earlier, CurFile(filter, hr));
        HRESULT init = S_OK;
        const DrainResult chunks = InitAndDrain(filter, init);
        EXPECT_HR(S_OK, init);
        EXPECT_GT(chunks.valueChunks, 0u);
        filter->Release();
    }
};

TEST_F(TempDirectoryFaults, DirectoryVanishedAfterTheConfigurationWasBuilt) {
    const std::wstring directory = work.Path() + L"vanishing\\";
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    RegistrySandbox::SetString(kKey, L"TempPath", directory);
    LoadDll(false);
    ASSERT_TRUE(RemoveDirectoryW(directory.c_str()));
    ExpectCopyRefused(directory);
}

TEST_F(TempDirectoryFaults, DirectoryThatCannotBeWritten) {
    // /proc exists and no one, root included, may create files in it.
    const std::wstring directory = L"Z:\\proc\\";
    if (GetFileAttributesW(directory.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no Z:\\proc";
    RegistrySandbox::SetString(kKey, L"TempPath", directory);
    LoadDll(false);
    ExpectCopyRefused(directory);
}

// ---------------------------------------------------------------------------

class FileFaults : public DllTest {};

TEST_F(FileFaults, LockedFileIsAnOpenFailureUntilUnlocked) {
    LoadDll();
    const std::wstring path = work.File(L"locked.jpg");
    ASSERT_TRUE(WriteWholeFile(path, Data(L"standard.jpg")));
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    IFilter* filter = NewFilter();
    EXPECT_HR(E_FAIL, LoadFile(filter, path));
    EXPECT_EQ(std::vector<std::wstring>{Line(L"ERROR:  BinaryCopy failure error code = 0x80070006")},
              LinesWith(L"BinaryCopy"));
    EXPECT_EQ(std::vector<std::wstring>{Line(L"ERROR: document open failure: " + path + L" \n")},
              LinesWith(L"document open failure"));
    ULONG flags = 0;
    EXPECT_HR(E_FAIL, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));

    // A stream naming the locked file goes to that file, and when that fails
    // to the stream itself.
    TestStream* stream = TestStream::FromBytes(Data(L"standard.jpg"));
    stream->hasName = true;
    stream->name = path;
    EXPECT_HR(S_OK, LoadStream(filter, stream));
    stream->Release();

    CloseHandle(lock);
    EXPECT_HR(S_OK, LoadFile(filter, path));
    HRESULT init = S_OK;
    EXPECT_GT(InitAndDrain(filter, init).valueChunks, 0u);
    filter->Release();
}

TEST_F(FileFaults, FileOpenForWritingElsewhereStillLoads) {
    LoadDll();
    const std::wstring path = work.File(L"writing.jpg");
    ASSERT_TRUE(WriteWholeFile(path, Data(L"standard.jpg")));
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    IFilter* filter = NewFilter();
    EXPECT_HR(S_OK, LoadFile(filter, path));
    CloseHandle(writer);
    HRESULT init = S_OK;
    EXPECT_GT(InitAndDrain(filter, init).valueChunks, 0u);
    filter->Release();
}

TEST_F(FileFaults, DeletedOrReplacedBetweenCalls) {
    LoadDll();
    const std::wstring path = work.File(L"document.jpg");
    ASSERT_TRUE(WriteWholeFile(path, Data(L"standard.jpg")));
    IFilter* filter = NewFilter();
    ASSERT_HR(S_OK, LoadFile(filter, path));
    HRESULT init = S_OK;
    const DrainResult reference = InitAndDrain(filter, init);
    ASSERT_GT(reference.valueChunks, 0u);

    // Deleted after the load: the document was read, so every chunk still comes.
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(reference.digest, InitAndDrain(filter, init).digest);
    HRESULT hr = S_OK;
    EXPECT_EQ(path, CurFile(filter, hr));
    // Deleted between Init and the chunks.
    ASSERT_TRUE(WriteWholeFile(path, Data(L"standard.jpg")));
    ASSERT_HR(S_OK, LoadFile(filter, path));
    ULONG flags = 0;
    ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(reference.digest, DrainChecked(filter).digest);
    // Gone before the next load: an open failure, and nothing of the old document.
    EXPECT_HR(E_FAIL, LoadFile(filter, path));
    EXPECT_HR(E_FAIL, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    // Replaced by a file without XMP: a good load with no chunks.
    ASSERT_TRUE(WriteWholeFile(path, Data(L"no-xmp.jpg")));
    EXPECT_HR(S_OK, LoadFile(filter, path));
    const DrainResult empty = InitAndDrain(filter, init);
    EXPECT_HR(S_OK, init);
    EXPECT_EQ(0u, empty.valueChunks + empty.textChunks);
    filter->Release();
}

TEST_F(FileFaults, NamedStreamWhoseFileVanished) {
    LoadDll();
    const std::wstring path = work.File(L"gone.jpg");
    TestStream* stream = TestStream::FromBytes(Data(L"standard.jpg"));
    stream->hasName = true;
    stream->name = path;
    size_t copiesSeen = 0;
    const std::wstring directory = filterTemp.Path();
    stream->onRead = [&copiesSeen, directory]() { copiesSeen = std::max(copiesSeen, FilesIn(directory).size()); };
    IFilter* filter = NewFilter();
    EXPECT_HR(S_OK, LoadStream(filter, stream));
    stream->Release();
    EXPECT_EQ(std::vector<std::wstring>{Line(L"INFO: access() return code = 2 \n")}, LinesWith(L"access()"));
    EXPECT_EQ(1u, copiesSeen) << "the stream was copied to a temporary file";
    HRESULT hr = S_OK;
    CurFile(filter, hr);
    EXPECT_HR(E_FAIL, hr);
    HRESULT init = S_OK;
    EXPECT_GT(InitAndDrain(filter, init).valueChunks, 0u);
    filter->Release();
}

}  // namespace
}  // namespace velmora::fuzz::test
