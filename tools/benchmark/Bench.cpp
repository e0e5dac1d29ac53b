// velmora-bench: times what a search host does with the filter, per document,
// against the floor of the same work (read the bytes, find the packets with
// the packet search, parse the chosen one) and against the plain read of the
// bytes, reports peak memory per document, and times draining huge values.
//   velmora-bench --list FILE [--repeat N]   every document of FILE (one Windows path per line)
//   velmora-bench --one PATH                 one document in this process: peak working set
//   velmora-bench --drain DIR                draining huge values and arrays (documents made in DIR)
//   velmora-bench --phases FILE [--repeat N] per document and phase, beside the open-read-close floor
//   velmora-bench --first PATH               this process's first document, and its second, over the floor
//   velmora-bench --batch FILE               every document of FILE once, nothing timed (a whole process)
// The filter object comes from CoCreateInstance when the class is registered
// in the prefix, otherwise from DllGetClassObject of the Velmora.dll beside
// this program; the output says which.
#include "HostHarness.h"
#include "Phases.h"
#include "Arguments.h"
#include "ChunkDrain.h"
#include "ReadOnlyStream.h"
#include "common/ComObject.h"
#include "common/Product.h"
#include "packet/PacketSearch.h"
#include "toolkit/XmpToolkit.h"

#include <propsys.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace velmora;

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

// An unnamed stream over a file, read on demand, as a host that hands over
// content only. One that can seek is read in place; one that cannot (a pipe)
// takes the filter's temporary copy.
// Bytes the filter has read through every FileStream, to tell how much of a
// document it needed.
uint64_t streamBytesRead = 0;

class FileStream : public hostkit::ReadOnlyStream<ComObject<IStream>> {
public:
    FileStream(const std::wstring& path, bool seekable)
        : file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
          seekable(seekable) {}
    virtual ~FileStream() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    bool IsOpen() const { return file != INVALID_HANDLE_VALUE; }

    bool Offers(REFIID riid) const override {
        return IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream);
    }
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        DWORD got = 0;
        if (!ReadFile(file, pv, cb, &got, nullptr)) return STG_E_READFAULT;
        streamBytesRead += got;
        if (pcbRead) *pcbRead = got;
        return got < cb ? S_FALSE : S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        if (!seekable) return E_NOTIMPL;
        LARGE_INTEGER now{};
        if (!SetFilePointerEx(file, move, &now, origin)) return STG_E_SEEKERROR;
        if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        LARGE_INTEGER size{};
        GetFileSizeEx(file, &size);
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        return S_OK;
    }
private:
    HANDLE file;
    bool seekable;
};

// How a document reaches the filter.
enum class Way { File, Stream, Initialize, Pipe };
constexpr Way kWays[] = {Way::File, Way::Stream, Way::Initialize, Way::Pipe};
constexpr size_t kWayCount = sizeof kWays / sizeof kWays[0];
const char* const kWayNames[] = {"file", "stream", "IInitializeWithStream", "pipe"};

HRESULT LoadThrough(IFilter* filter, Way way, const std::wstring& path) {
    HRESULT load = E_FAIL;
    if (way == Way::File) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            load = persist->Load(path.c_str(), STGM_READ);
            persist->Release();
        }
        return load;
    }
    auto* source = new FileStream(path, way != Way::Pipe);
    if (way == Way::Initialize) {
        IInitializeWithStream* initialize = nullptr;
        if (SUCCEEDED(filter->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(&initialize)))) {
            load = initialize->Initialize(source, STGM_READ);
            initialize->Release();
        }
    } else {
        IPersistStream* persist = nullptr;
        if (SUCCEEDED(filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)))) {
            load = persist->Load(source);
            persist->Release();
        }
    }
    source->Release();
    return load;
}

// How filter objects are made.
struct Activation {
    const fuzz::VelmoraDll* dll = nullptr;
    bool coCreate = false;

    HRESULT Create(IFilter** filter) const {
        if (coCreate)
            return CoCreateInstance(CLSID_VelmoraFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter,
                                    reinterpret_cast<void**>(filter));
        return dll->CreateFilter(IID_IFilter, reinterpret_cast<void**>(filter));
    }
};

// Seconds spent in each step of the host path, over all documents.
struct Stages {
    double create = 0, load = 0, init = 0, drain = 0, release = 0;
};
Stages stages;

// The host path for one document: create, load, Init, drain, free, Release.
// Returns the number of chunks, or -1 when the load failed.
long HostPath(const Activation& activation, const std::wstring& path, Way way) {
    IFilter* filter = nullptr;
    const double t0 = Now();
    if (FAILED(activation.Create(&filter))) return -2;
    const double t1 = Now();
    const HRESULT load = LoadThrough(filter, way, path);
    const double t2 = Now();
    long chunks = -1;
    ULONG flags = 0;
    double t3 = t2;
    if (SUCCEEDED(load) && SUCCEEDED(filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags))) {
        t3 = Now();
        const fuzz::DrainResult drain = fuzz::DrainChecked(filter);
        chunks = static_cast<long>(drain.valueChunks + drain.textChunks);
    }
    const double t4 = Now();
    filter->Release();
    const double t5 = Now();
    if (way == Way::File) {
        stages.create += t1 - t0;
        stages.load += t2 - t1;
        stages.init += t3 - t2;
        stages.drain += t4 - t3;
        stages.release += t5 - t4;
    }
    return chunks;
}

// The floor: the bytes read in fixed blocks and fed to the packet search, then the
// chosen packet (the last valid one, or the whole file for a single snip)
// read again and parsed in one call. Nothing else.
bool Floor(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    // One block of at most 1 MB, no larger than the file.
    const size_t kBlock = static_cast<size_t>(std::min<LONGLONG>(std::max<LONGLONG>(size.QuadPart, 1), 1 << 20));
    std::unique_ptr<char[]> block(new char[kBlock]);
    bool parsed = false;
    try {
        PacketSearch scanner(static_cast<XMP_Int64>(size.QuadPart));
        XMP_Int64 offset = 0;
        DWORD got = 0;
        while (ReadFile(file, block.get(), kBlock, &got, nullptr) && got > 0) {
            scanner.Scan(block.get(), offset, got);
            offset += got;
        }
        XMPScanner::SnipInfoVector snips;
        scanner.Report(snips);
        const long count = static_cast<long>(snips.size());
        XMP_Int64 packetOffset = 0, packetLength = 0;
        if (count == 1) {
            packetLength = offset;
        } else {
            for (long i = count - 1; i >= 0; --i) {
                if (snips[static_cast<size_t>(i)].fState == XMPScanner::eValidPacketSnip) {
                    packetOffset = snips[static_cast<size_t>(i)].fOffset;
                    packetLength = snips[static_cast<size_t>(i)].fLength;
                    break;
                }
            }
        }
        if (packetLength > 0) {
            SXMPMeta meta;
            LARGE_INTEGER at;
            at.QuadPart = packetOffset;
            SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
            XMP_Int64 left = packetLength;
            while (left > 0) {
                const DWORD want = static_cast<DWORD>(std::min<XMP_Int64>(left, kBlock));
                if (!ReadFile(file, block.get(), want, &got, nullptr) || got == 0) break;
                left -= got;
                meta.ParseFromBuffer(block.get(), got, left > 0 ? kXMP_ParseMoreBuffers : 0);
            }
            parsed = true;
        }
    } catch (...) {
        parsed = false;
    }
    CloseHandle(file);
    return parsed;
}

// The floor of the floor: the same bytes read in the blocks the filter reads
// them in, and nothing else.
bool ReadFloor(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    constexpr DWORD kBlock = 256 * 1024;
    static std::unique_ptr<char[]> block(new char[kBlock]);
    DWORD got = 0;
    volatile char sink = 0;
    while (ReadFile(file, block.get(), kBlock, &got, nullptr) && got > 0) sink = sink + block[got - 1];
    CloseHandle(file);
    return true;
}

// Seconds of the plain read per file kind, beside the host path's.
std::map<std::wstring, double> readSeconds;

// The shortest of `times` runs: on a shared machine the others carry noise.
template <class Run>
double Best(int times, Run run) {
    double best = 0;
    for (int r = 0; r < times; ++r) {
        const double start = Now();
        run();
        const double took = Now() - start;
        if (r == 0 || took < best) best = took;
    }
    return best;
}

void TimeReadFloor(const std::wstring& kind, const std::wstring& path, int times, double scale) {
    readSeconds[kind] += Best(times, [&] { ReadFloor(path); }) * scale;
}

// Drains one loaded document the way a host does, with GetText buffers of
// `buffer` characters. Returns the characters handed out, or -1.
long long DrainWithBuffer(IFilter* filter, ULONG buffer) {
    ULONG flags = 0;
    if (FAILED(filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags))) return -1;
    struct Counter : hostkit::ChunkVisitor {
        long long characters = 0;
        void Text(HRESULT, const WCHAR*, ULONG size) override { characters += size; }
    } counter;
    hostkit::DrainOptions options;
    options.textBuffer = buffer;
    options.maxChunks = SIZE_MAX;
    options.maxPieces = SIZE_MAX;
    hostkit::DrainChunks(filter, options, counter);
    return counter.characters;
}

bool WriteDocument(const std::wstring& path, const std::string& head, const std::string& unit, size_t count,
                   const std::string& tail) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string bytes = head;
    DWORD written = 0;
    bool ok = true;
    for (size_t i = 0; i < count && ok; ++i) {
        bytes += unit;
        if (bytes.size() >= (1u << 20)) {
            ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
            bytes.clear();
        }
    }
    bytes += tail;
    ok = ok && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

// Documents with one huge value, and one with a million array items; then
// each drained through the host path with several GetText buffer sizes. A
// drain linear in its output costs the same per MB whatever the value's size
// and the buffer's.
int DrainBench(const Activation& activation, const std::wstring& directory, const char* arch) {
    CreateDirectoryW(directory.c_str(), nullptr);
    const std::string head =
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>";
    const std::string tail = "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    struct Case {
        const wchar_t* name;
        const char* what;
        std::string unit;
        size_t count;
        std::string open, close;
        std::vector<ULONG> buffers;
    };
    const std::string word = "harbour boats dawn sea ";  // 23 bytes
    const size_t perMb = (1u << 20) / word.size();
    std::vector<Case> cases = {
        {L"value-10mb.xmp", "value 10 MB", word, 10 * perMb, "<dc:source>", "</dc:source>", {4096, 64, 1}},
        {L"value-50mb.xmp", "value 50 MB", word, 50 * perMb, "<dc:source>", "</dc:source>", {4096, 64}},
        {L"items-250k.xmp", "250K array items", "<rdf:li>boat</rdf:li>", 250000, "<dc:subject><rdf:Bag>",
         "</rdf:Bag></dc:subject>", {4096}},
        {L"items-1m.xmp", "1M array items", "<rdf:li>boat</rdf:li>", 1000000, "<dc:subject><rdf:Bag>",
         "</rdf:Bag></dc:subject>", {4096, 64}},
    };
    if (sizeof(void*) == 8) {
        cases.push_back({L"value-100mb.xmp", "value 100 MB", word, 100 * perMb, "<dc:source>", "</dc:source>",
                         {4096, 64}});
    }
    for (const Case& c : cases) {
        const std::wstring path = directory + L"\\" + c.name;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !WriteDocument(path, head + c.open, c.unit, c.count, c.close + tail)) {
            std::fprintf(stderr, "velmora-bench: cannot write %ls\n", path.c_str());
            return 1;
        }
        for (ULONG buffer : c.buffers) {
            IFilter* filter = nullptr;
            if (FAILED(activation.Create(&filter))) return 1;
            IPersistFile* persist = nullptr;
            filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
            const double t0 = Now();
            const HRESULT load = persist->Load(path.c_str(), STGM_READ);
            const double t1 = Now();
            const long long characters = SUCCEEDED(load) ? DrainWithBuffer(filter, buffer) : -1;
            const double t2 = Now();
            persist->Release();
            filter->Release();
            // Text handed out, as MB of UTF-16 (twice: the value chunks and the text chunks).
            const double megabytes = characters * 2.0 / 1048576.0;
            std::printf("drain %s: %-15s buffer %4lu chars: load %6.2f s, drain %6.2f s = %7.2f documents/s,"
                        " %8.1f MB/s of text, %6.1f ns per character\n",
                        arch, c.what, static_cast<unsigned long>(buffer), t1 - t0, t2 - t1, 1.0 / (t2 - t0),
                        megabytes / (t2 - t1), characters > 0 ? (t2 - t1) * 1e9 / characters : 0.0);
        }
    }
    return 0;
}

struct Document {
    std::wstring path;
    std::wstring kind;  // extension, with "large" for 50 MB and more
    double megabytes = 0;
};

struct Totals {
    size_t documents = 0;
    double megabytes = 0;
    double floor = 0;
    double ioFloor = 0;          // open, read 64 KB, close
    double way[kWayCount] = {};  // seconds through each way in
    long failedLoads = 0;
    double megabytesRead = 0;    // what the filter read of the documents, once each
};

double FileSeconds(const Totals& t) { return t.way[static_cast<size_t>(Way::File)]; }

// Rates of the floor and the file path with their ratio to the floor, then
// each way in by stream as a ratio to the file path.
void Print(const wchar_t* label, const Totals& t, int repeat) {
    const double n = static_cast<double>(t.documents) * repeat;
    const double mb = t.megabytes * repeat;
    const double file = FileSeconds(t);
    std::printf("%-10ls %6zu docs %9.1f MB | floor %8.1f docs/s %7.1f MB/s | file %8.1f docs/s %7.1f MB/s x%.2f",
                label, t.documents, t.megabytes, n / t.floor, mb / t.floor, n / file, mb / file, file / t.floor);
    for (size_t w = 1; w < kWayCount; ++w) std::printf(" | %s/file %.2f", kWayNames[w], t.way[w] / file);
    std::printf(" | read %.2f%% of the bytes, %.1f KB per document", 100 * t.megabytesRead / t.megabytes,
                1024 * t.megabytesRead / static_cast<double>(t.documents));
    std::printf(" | open-read-close floor %.3f ms, file x%.2f", t.ioFloor / n * 1e3, file / t.ioFloor);
    std::printf(" | load failures %ld\n", t.failedLoads);
}

// The plain read per file kind, and the host path over it.
void PrintReadFloor(const std::map<std::wstring, Totals>& byKind, const Totals& all, int repeat, const char* arch) {
    double allRead = 0;
    for (const auto& [kind, totals] : byKind) {
        const double read = readSeconds[kind];
        allRead += read;
        std::printf("%-10ls read floor %9.1f MB/s | host path %8.1f MB/s | host path / read floor x%.2f\n",
                    kind.c_str(), totals.megabytes * repeat / read, totals.megabytes * repeat / FileSeconds(totals),
                    FileSeconds(totals) / read);
    }
    std::printf("velmora-bench %s: host path / read floor = %.2f over the corpus\n", arch, FileSeconds(all) / allRead);
}

std::vector<Document> ReadList(const std::wstring& listPath) {
    std::vector<Document> documents;
    std::string bytes;
    if (!fuzz::ReadWholeFile(listPath, bytes)) return documents;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty()) continue;
        Document document;
        const int n = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        document.path.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), document.path.data(), n);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(document.path.c_str(), GetFileExInfoStandard, &data)) continue;
        document.megabytes =
            ((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / 1048576.0;
        const size_t dot = document.path.rfind(L'.');
        document.kind = dot == std::wstring::npos ? L"?" : document.path.substr(dot + 1);
        if (document.megabytes >= 50) document.kind += L"-large";
        documents.push_back(std::move(document));
    }
    return documents;
}

// A search host's filter process: the DLL loaded, then its first document
// (the configuration, the toolkit and the format's handler used for the
// first time) and a second one, each over the open-read-close floor of the
// same file in the same process. Nothing of the toolkit runs in this
// program before the DLL's first document.
int FirstDocument(const std::wstring& path, const char* arch) {
    bench::OpenReadCloseFloor(path);  // the file in the cache, as for every other measure
    const double t0 = Now();
    fuzz::VelmoraDll dll;
    if (!dll.IsLoaded()) return 2;
    const double t1 = Now();
    Activation activation;
    activation.dll = &dll;
    const long firstChunks = HostPath(activation, path, Way::File);
    const double t2 = Now();
    const Stages first = stages;
    HostPath(activation, path, Way::File);
    const double t3 = Now();
    const double floor = Best(50, [&] { bench::OpenReadCloseFloor(path); });
    // The floor of files this process has not opened yet, as the first
    // document was: up to 20 others of its folder, each once.
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    double freshFloor = 0;
    int fresh = 0;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring other = folder + found.cFileName;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || other == path) continue;
            const double start = Now();
            bench::OpenReadCloseFloor(other);
            freshFloor += Now() - start;
            ++fresh;
        } while (fresh < 20 && FindNextFileW(search, &found));
        FindClose(search);
    }
    if (fresh > 0) freshFloor /= fresh;
    double second = t3 - t2;
    second = std::min(second, Best(20, [&] { HostPath(activation, path, Way::File); }));
    std::printf("first document %s: %.2f ms = x%.1f floor (the DLL's load before it %.2f ms); later documents"
                " %.3f ms = x%.2f floor; floor %.3f ms (%ld chunks)\n",
                arch, (t2 - t1) * 1e3, (t2 - t1) / floor, (t1 - t0) * 1e3, second * 1e3, second / floor, floor * 1e3,
                firstChunks);
    if (fresh > 0) {
        std::printf("first document %s over the floor of files not opened before (%d of its folder, %.3f ms):"
                    " x%.1f; with the DLL's load x%.1f\n",
                    arch, fresh, freshFloor * 1e3, (t2 - t1) / freshFloor, (t2 - t0) / freshFloor);
    }
    std::printf("first document %s by step: create (the configuration, the toolkit's start) %.2f ms, load %.2f ms,"
                " Init %.2f ms, drain %.2f ms, release %.2f ms\n",
                arch, first.create * 1e3, first.load * 1e3, first.init * 1e3, first.drain * 1e3, first.release * 1e3);
    return firstChunks < 0 ? 1 : 0;
}

// Every document once through the host path: a whole process to time from
// outside, beside ExifTool's.
int Batch(const std::wstring& listPath) {
    fuzz::VelmoraDll dll;
    if (!dll.IsLoaded()) return 2;
    Activation activation;
    activation.dll = &dll;
    long failed = 0;
    for (const Document& document : ReadList(listPath)) {
        if (HostPath(activation, document.path, Way::File) < 0) ++failed;
    }
    std::printf("batch: %ld load failures\n", failed);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring list, one, drain, phases, first, batch;
    int repeat = 3;
    const auto text = [](std::wstring& target) {
        return [&target](const std::wstring& value) {
            target = value;
            return true;
        };
    };
    hostkit::Arguments arguments;
    arguments.Option(L"--list", text(list));
    arguments.Option(L"--one", text(one));
    arguments.Option(L"--drain", text(drain));
    arguments.Option(L"--phases", text(phases));
    arguments.Option(L"--first", text(first));
    arguments.Option(L"--batch", text(batch));
    arguments.Option(L"--repeat", [&repeat](const std::wstring& value) {
        unsigned long long number = 0;
        if (!hostkit::ParseNumber(value, number) || number == 0 || number > 1000) return false;
        repeat = static_cast<int>(number);
        return true;
    });
    const char* const usage =
        "usage: velmora-bench --list FILE [--repeat N] | --one PATH | --drain DIR | --phases FILE [--repeat N]"
        " | --first PATH | --batch FILE\n";
    std::wstring error;
    if (!arguments.Parse(argc, argv, nullptr, error)) {
        std::fprintf(stderr, "velmora-bench: %ls\n%s", error.c_str(), usage);
        return 1;
    }
    if (list.empty() && one.empty() && drain.empty() && phases.empty() && first.empty() && batch.empty()) {
        std::fprintf(stderr, "%s", usage);
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const char* arch = sizeof(void*) == 8 ? "x64" : "x86";
    if (!first.empty()) return FirstDocument(first, arch);
    if (!batch.empty()) return Batch(batch);
    SXMPMeta::Initialize();

    fuzz::VelmoraDll dll;
    if (!dll.IsLoaded()) {
        std::fprintf(stderr, "velmora-bench: Velmora.dll did not load (error %lu)\n",
                     static_cast<unsigned long>(dll.LoadError()));
        return 2;
    }
    Activation activation;
    activation.dll = &dll;
    IFilter* probe = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_VelmoraFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter,
                                   reinterpret_cast<void**>(&probe)))) {
        probe->Release();
        activation.coCreate = true;
    } else {
        // Builds the configuration, as the first object of a host does.
        if (SUCCEEDED(dll.CreateFilter(IID_IFilter, reinterpret_cast<void**>(&probe)))) probe->Release();
    }

    if (!drain.empty()) {
        const int status = DrainBench(activation, drain, arch);
        SXMPMeta::Terminate();
        return status;
    }
    if (!phases.empty()) {
        std::vector<std::wstring> paths;
        for (const Document& document : ReadList(phases)) paths.push_back(document.path);
        bench::PrintPhases(paths, repeat, arch, [&](const std::wstring& path) { HostPath(activation, path, Way::File); });
        const double n = static_cast<double>(paths.size()) * repeat;
        std::printf("phases %s: host path by step: create %.1f us, load %.1f us, Init %.1f us, drain (the host's"
                    " GetChunk, GetValue and GetText, with its checks) %.1f us, release %.1f us\n",
                    arch, stages.create / n * 1e6, stages.load / n * 1e6, stages.init / n * 1e6,
                    stages.drain / n * 1e6, stages.release / n * 1e6);
        SXMPMeta::Terminate();
        return paths.empty() ? 2 : 0;
    }
    if (!one.empty()) {
        // Peak working set of one document over the process's state before it.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(one.c_str(), GetFileExInfoStandard, &data);
        const double megabytes = ((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / 1048576.0;
        const SIZE_T before = PeakWorkingSet();
        const long chunks = HostPath(activation, one, Way::File);
        const SIZE_T after = PeakWorkingSet();
        std::printf("peak %s %.1f MB file: working set %.1f MB before, peak %.1f MB, +%.1f MB for the document"
                    " (%ld chunks)\n",
                    arch, megabytes, before / 1048576.0, after / 1048576.0, (after - before) / 1048576.0, chunks);
        SXMPMeta::Terminate();
        return chunks < 0 ? 1 : 0;
    }

    const std::vector<Document> documents = ReadList(list);
    if (documents.empty()) {
        std::fprintf(stderr, "velmora-bench: no documents in %ls\n", list.c_str());
        return 2;
    }
    std::printf("velmora-bench %s: %zu documents, %d repetitions, objects from %s\n", arch, documents.size(), repeat,
                activation.coCreate ? "CoCreateInstance (class registered)"
                                    : "DllGetClassObject of the Velmora.dll beside the tool (class not registered)");
    std::map<std::wstring, Totals> byKind;
    Totals all;
    for (const Document& document : documents) {
        // Warm the file cache, so that every measurement reads from memory.
        Floor(document.path);
        // Each measure is the best of `times` runs (two for large documents),
        // counted as `repeat` runs of that time.
        const int times = document.megabytes >= 50 ? 2 : repeat;
        const double scale = repeat;
        const double floor = Best(times, [&] { Floor(document.path); });
        const double ioFloor = Best(times, [&] { bench::OpenReadCloseFloor(document.path); });
        long chunks = 0;
        double seconds[kWayCount] = {};
        for (Way way : kWays) {
            seconds[static_cast<size_t>(way)] = Best(times, [&] {
                const long got = HostPath(activation, document.path, way);
                if (way == Way::File) chunks = got;
            });
        }
        TimeReadFloor(document.kind, document.path, times, scale);
        // What the filter reads of the document, through a stream read in place.
        const uint64_t before = streamBytesRead;
        HostPath(activation, document.path, Way::Stream);
        const double megabytesRead = static_cast<double>(streamBytesRead - before) / (1024.0 * 1024.0);
        for (Totals* t : {&byKind[document.kind], &all}) {
            t->megabytesRead += megabytesRead;
            ++t->documents;
            t->megabytes += document.megabytes;
            t->floor += floor * scale;
            t->ioFloor += ioFloor * scale;
            for (size_t w = 0; w < kWayCount; ++w) t->way[w] += seconds[w] * scale;
            if (chunks < 0) ++t->failedLoads;
        }
    }
    for (const auto& [kind, totals] : byKind) Print(kind.c_str(), totals, repeat);
    Print(L"all", all, repeat);
    PrintReadFloor(byKind, all, repeat, arch);
    const double total = stages.create + stages.load + stages.init + stages.drain + stages.release;
    std::printf("velmora-bench %s: file path time by step: create %.0f%%, load %.0f%%, Init %.0f%%, drain %.0f%%,"
                " release %.0f%%\n",
                arch, 100 * stages.create / total, 100 * stages.load / total, 100 * stages.init / total,
                100 * stages.drain / total, 100 * stages.release / total);
    const double file = all.way[static_cast<size_t>(Way::File)];
    std::printf("velmora-bench %s: host path / open-read-close floor = %.2f (file, %.3f ms per document)\n", arch,
                all.way[static_cast<size_t>(Way::File)] / all.ioFloor,
                all.way[static_cast<size_t>(Way::File)] / (static_cast<double>(all.documents) * repeat) * 1e3);
    std::printf("velmora-bench %s: host path / floor = %.2f (file); stream / file = %.2f (in place), %.2f"
                " (IInitializeWithStream), %.2f (pipe, temporary copy); %.1f documents/s through files\n",
                arch, file / all.floor, all.way[static_cast<size_t>(Way::Stream)] / file,
                all.way[static_cast<size_t>(Way::Initialize)] / file, all.way[static_cast<size_t>(Way::Pipe)] / file,
                static_cast<double>(all.documents) * repeat / file);
    SXMPMeta::Terminate();
    return 0;
}
