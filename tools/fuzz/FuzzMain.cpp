// velmora-fuzz: the long fuzzing run against the built Velmora.dll.
//   velmora-fuzz [--count N] [--seconds S] [--seed N] [--input-seconds S]
//                [--seeds DIR] [--findings DIR] [--max-nesting N]
//   velmora-fuzz --replay DIR    (every file of DIR once, timed, no mutation)
// Seeds default to the test data; findings are written to DIR (created when
// missing). The registry is a private sandbox for the run, with "TempPath"
// pointing at a scratch directory that is checked after every input.
// Exit code: 0 no findings, 1 findings or a bad command line (with the usage
// lines), 2 the run could not start; a crash or hang ends the process with 3
// or 4; the input is then input.bin of DIR.
#include "Arguments.h"
#include "FuzzLoop.h"

#include "Files.h"
#include "MallocSpy.h"
#include "RegistrySandbox.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <type_traits>

using namespace velmora;

namespace {

const wchar_t* const kUsage =
    L"usage: velmora-fuzz [--count N] [--seconds S] [--seed N] [--input-seconds S]\n"
    L"                    [--seeds DIR] [--findings DIR] [--max-nesting N]\n"
    L"       velmora-fuzz --replay DIR\n";

std::wstring WithBackslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    fuzz::FuzzOptions options;
    options.count = 200000;
    options.seconds = 3600;
    std::wstring seedsDirectory = WithBackslash(VELMORA_TEST_DATA_DIR);
    std::wstring findings;
    std::wstring replay;
    const auto number = [](auto& target) {
        return [&target](const std::wstring& text) {
            unsigned long long value = 0;
            if (!hostkit::ParseNumber(text, value)) return false;
            target = static_cast<std::remove_reference_t<decltype(target)>>(value);
            return true;
        };
    };
    const auto directory = [](std::wstring& target) {
        return [&target](const std::wstring& text) {
            target = WithBackslash(text);
            return true;
        };
    };
    hostkit::Arguments arguments;
    arguments.Option(L"--count", number(options.count));
    arguments.Option(L"--seconds", number(options.seconds));
    arguments.Option(L"--seed", number(options.seed));
    arguments.Option(L"--input-seconds", number(options.inputSeconds));
    arguments.Option(L"--max-nesting", number(options.maxNesting));
    arguments.Option(L"--seeds", directory(seedsDirectory));
    arguments.Option(L"--replay", directory(replay));
    arguments.Option(L"--findings", directory(findings));
    std::wstring error;
    if (!arguments.Parse(argc, argv, nullptr, error)) {
        std::fprintf(stderr, "velmora-fuzz: %ls\n%ls", error.c_str(), kUsage);
        return 1;
    }
    if (!replay.empty()) seedsDirectory = replay;
    for (auto& [name, bytes] : fuzz::ReadDirectory(seedsDirectory)) options.seeds.push_back(std::move(bytes));
    // The camera raw files of the test data are seeds of their own folder.
    for (auto& [name, bytes] : fuzz::ReadDirectory(seedsDirectory + L"raw\\")) options.seeds.push_back(std::move(bytes));
    if (options.seeds.empty()) {
        std::fprintf(stderr, "velmora-fuzz: no seed files in %ls\n", seedsDirectory.c_str());
        return 2;
    }
    if (!findings.empty()) CreateDirectoryW(findings.c_str(), nullptr);
    options.findingsDirectory = findings;
    options.verbose = true;

    hostkit::RegistrySandbox sandbox;
    hostkit::TempDirectory work(L"velmora-fuzz");
    hostkit::TempDirectory filterTemp(L"velmora-fuzz");
    hostkit::RegistrySandbox::SetString(L"SOFTWARE\\Corvantis\\Velmora", L"TempPath", filterTemp.Path());
    // With a findings directory the current input is written there, so that
    // it survives a process that had to end abruptly.
    options.workDirectory = findings.empty() ? work.Path() : findings;
    options.filterTempDirectory = filterTemp.Path();

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    hostkit::MallocSpy spy;
    if (!spy.Registered()) return 2;
    options.spy = &spy;
    fuzz::VelmoraDll dll;
    if (!dll.IsLoaded()) {
        std::fprintf(stderr, "velmora-fuzz: Velmora.dll did not load (error %lu)\n",
                     static_cast<unsigned long>(dll.LoadError()));
        return 2;
    }

    // The configuration lives as long as the DLL: build it before counting.
    IFilter* first = nullptr;
    if (SUCCEEDED(dll.CreateFilter(IID_IFilter, reinterpret_cast<void**>(&first)))) first->Release();

    if (!replay.empty()) {
        int bad = 0;
        for (const auto& [name, bytes] : fuzz::ReadDirectory(replay)) {
            const DWORD start = GetTickCount();
            const std::string finding =
                fuzz::CheckInput(dll, bytes, options.workDirectory + L"input.bin", options.filterTempDirectory, &spy);
            std::printf("%ls: %zu bytes, %lu ms: %s\n", name.c_str(), bytes.size(),
                        static_cast<unsigned long>(GetTickCount() - start), finding.empty() ? "ok" : finding.c_str());
            std::fflush(stdout);
            bad += !finding.empty();
        }
        return bad ? 1 : 0;
    }

    std::printf("velmora-fuzz: %s, seed %llu, %zu seed files, at most %llu inputs in %lu s\n",
                sizeof(void*) == 8 ? "x64" : "x86", static_cast<unsigned long long>(options.seed),
                options.seeds.size(), static_cast<unsigned long long>(options.count),
                static_cast<unsigned long>(options.seconds));
    std::fflush(stdout);
    const fuzz::FuzzReport report = fuzz::RunFuzz(dll, options);
    const double seconds = report.milliseconds / 1000.0;
    std::printf("velmora-fuzz: %llu inputs (%llu with chunks, %llu chunks, %.1f MB) in %.1f s, %.0f inputs/s, "
                "%zu findings\n",
                static_cast<unsigned long long>(report.inputs), static_cast<unsigned long long>(report.loadedWithXmp),
                static_cast<unsigned long long>(report.chunks), report.bytes / 1048576.0, seconds,
                seconds > 0 ? report.inputs / seconds : 0.0, report.findings.size());
    return report.findings.empty() ? 0 : 1;
}
