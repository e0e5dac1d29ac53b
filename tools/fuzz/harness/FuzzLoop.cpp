// The fuzzing loop with its crash and hang guards.
#include "FuzzLoop.h"

#include "Mutator.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace velmora::fuzz {

namespace {

// What the guards need when the process has to end abruptly.
struct CurrentInput {
    const std::string* bytes = nullptr;
    std::wstring findingsDirectory;
    std::string description;
    uint64_t seed = 0;
    uint64_t index = 0;
    volatile LONG busy = 0;
    volatile DWORD startTick = 0;
    DWORD limitMs = 0;
    HANDLE stop = nullptr;
};
CurrentInput current;

std::wstring FindingName(const char* kind, uint64_t seed, uint64_t index) {
    wchar_t name[96];
    swprintf(name, 96, L"%hs-%llu-%llu", kind, static_cast<unsigned long long>(seed),
             static_cast<unsigned long long>(index));
    return name;
}

void Record(const char* kind, const std::string& bytes, const std::string& what) {
    if (current.findingsDirectory.empty()) return;
    const std::wstring base = current.findingsDirectory + FindingName(kind, current.seed, current.index);
    WriteWholeFile(base + L".bin", bytes);
    WriteWholeFile(base + L".txt", std::string(kind) + ": " + what + "\r\n" + current.description + "\r\n");
}

[[noreturn]] void Abort(const char* kind, const std::string& what, UINT exitCode) {
    if (current.bytes) Record(kind, *current.bytes, what);
    std::fprintf(stderr, "velmora-fuzz: %s at input %llu (%s): %s\n", kind,
                 static_cast<unsigned long long>(current.index), current.description.c_str(), what.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), exitCode);
    for (;;) Sleep(INFINITE);
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) {
    char what[64];
    std::snprintf(what, sizeof what, "exception 0x%08lX",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    Abort("crash", what, 3);
}

void OnTerminate() { Abort("crash", "std::terminate", 3); }

// A stuck input may hold the heap or the C runtime's locks (a stack overflow
// inside a free, say), so the watchdog neither allocates nor formats: the
// input is still in input.bin of the work directory, written before the run.
DWORD WINAPI Watchdog(void*) {
    static const char message[] = "velmora-fuzz: hang or stuck crash: the input is input.bin of the work directory\n";
    while (WaitForSingleObject(current.stop, 250) == WAIT_TIMEOUT) {
        if (current.busy && GetTickCount() - current.startTick > current.limitMs) {
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof message - 1, &written, nullptr);
            TerminateProcess(GetCurrentProcess(), 4);
        }
    }
    return 0;
}

// Installs the guards for one loop and removes them again.
class Guards {
public:
    Guards(DWORD limitMs) {
        current.limitMs = limitMs;
        current.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        previousFilter = SetUnhandledExceptionFilter(OnUnhandled);
        previousTerminate = std::set_terminate(OnTerminate);
        watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    }
    ~Guards() {
        SetEvent(current.stop);
        if (watchdog) {
            WaitForSingleObject(watchdog, INFINITE);
            CloseHandle(watchdog);
        }
        CloseHandle(current.stop);
        current.stop = nullptr;
        SetUnhandledExceptionFilter(previousFilter);
        std::set_terminate(previousTerminate);
        current.bytes = nullptr;
    }
    Guards(const Guards&) = delete;
    Guards& operator=(const Guards&) = delete;

private:
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter;
    std::terminate_handler previousTerminate;
    HANDLE watchdog;
};

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace

std::string CheckInput(const VelmoraDll& dll, const std::string& bytes, const std::wstring& inputPath,
                       const std::wstring& filterTempDirectory, const hostkit::MallocSpy* spy, size_t* chunks) {
    if (!WriteWholeFile(inputPath, bytes)) return "harness: cannot write the input file";
    const size_t before = spy ? spy->Outstanding() : 0;

    const HostRun file = RunDocument(dll, Face::File, inputPath, bytes);
    if (!file.fault.empty()) return "file: " + file.fault;
    const HostRun stream = RunDocument(dll, Face::Stream, inputPath, bytes);
    if (!stream.fault.empty()) return "stream: " + stream.fault;
    if (chunks) *chunks = file.drain.valueChunks + file.drain.textChunks;

    if (spy && spy->Outstanding() != before)
        return "leak: " + std::to_string(spy->Outstanding() - before) + " task allocations outstanding";
    if (!FilesIn(filterTempDirectory).empty()) return "leak: a temporary file was left behind";
    if (dll.CanUnloadNow() != S_OK) return "leak: DllCanUnloadNow is not S_OK";
    // The two faces load the same bytes, so they must agree on everything.
    if (file.load != stream.load) return "divergence: file load " + Hex(file.load) + ", stream load " + Hex(stream.load);
    if (file.drain.digest != stream.drain.digest) return "divergence: the file and the stream gave different chunks";
    return {};
}

FuzzReport RunFuzz(const VelmoraDll& dll, const FuzzOptions& options) {
    FuzzReport report;
    Mutator mutator(options.seeds, options.seed, options.maxInputSize, options.maxNesting);
    current.findingsDirectory = options.findingsDirectory;
    current.seed = options.seed;
    Guards guards(options.inputSeconds * 1000);

    const std::wstring inputPath = options.workDirectory + L"input.bin";
    const DWORD start = GetTickCount();
    for (uint64_t i = 0; i < options.count; ++i) {
        if (GetTickCount() - start >= options.seconds * 1000) break;
        std::string description;
        const std::string input = mutator.Next(description);
        current.bytes = &input;
        current.description = description;
        current.index = i;
        current.startTick = GetTickCount();
        current.busy = 1;

        size_t chunks = 0;
        const std::string finding = CheckInput(dll, input, inputPath, options.filterTempDirectory, options.spy, &chunks);

        current.busy = 0;
        ++report.inputs;
        report.bytes += input.size();
        report.chunks += chunks;
        if (chunks) ++report.loadedWithXmp;
        if (!finding.empty()) {
            const std::string kind = finding.substr(0, finding.find(':'));
            Record(kind == "leak" ? "leak" : "fault", input, finding);
            report.findings.push_back(finding + " [" + description + ", input " + std::to_string(i) + "]");
            if (options.verbose) std::printf("finding: %s\n", report.findings.back().c_str());
            // Whatever the filter left behind must not spoil the next input.
            for (const std::wstring& name : FilesIn(options.filterTempDirectory))
                DeleteFileW((options.filterTempDirectory + name).c_str());
            if (options.stopAtFirstFinding) break;
        }
        current.bytes = nullptr;
        if (options.verbose && (i + 1) % 10000 == 0) {
            std::printf("velmora-fuzz: progress %llu\n", static_cast<unsigned long long>(i + 1));
            std::fflush(stdout);
        }
    }
    report.milliseconds = GetTickCount() - start;
    DeleteFileW(inputPath.c_str());
    return report;
}

std::vector<std::pair<std::wstring, std::string>> ReadDirectory(const std::wstring& directory) {
    std::vector<std::pair<std::wstring, std::string>> files;
    std::vector<std::wstring> names = FilesIn(directory);
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        std::string bytes;
        if (ReadWholeFile(directory + name, bytes)) files.emplace_back(name, std::move(bytes));
    }
    return files;
}

}  // namespace velmora::fuzz
