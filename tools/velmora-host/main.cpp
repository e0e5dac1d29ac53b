// velmora-host: does what a search host does with the filter for one file
// and prints what comes back, so that an administrator can see what the
// index would receive.
#include "ChunkPrinter.h"
#include "FilterSource.h"
#include "HostOptions.h"

#include <objbase.h>

#include <cstdio>
#include <exception>

using namespace velmora::host;

namespace {

int Fail(const HostError& error) {
    WriteUtf8(stderr, L"velmora-host: " + error.message + L"\n");
    return error.exitCode;
}

std::wstring FullPath(const std::wstring& file) {
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(file.c_str(), MAX_PATH * 4, full, nullptr);
    return length > 0 && length < MAX_PATH * 4 ? std::wstring(full, length) : file;
}

int Run(const HostOptions& options) {
    const std::wstring path = FullPath(options.file);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Fail({4, L"no such file: " + path});
    }
    HostError error;
    FilterSource source;
    const bool created = options.dll.empty() ? source.FromRegistry(path, error) : source.FromDll(options.dll, error);
    if (!created) return Fail(error);
    if (!LoadDocument(source.Filter(), path, options.mode, error)) return Fail(error);
    if (!DrainAndPrint(source.Filter(), options.properties, options.json, stdout, error)) return Fail(error);
    return 0;
}

int Main(int argc, wchar_t** argv) {
    HostOptions options;
    std::wstring message;
    if (!ParseHostOptions(argc, argv, options, message)) {
        WriteUtf8(stderr, L"velmora-host: " + message + L"\n" + kUsage);
        return 1;
    }
    if (options.help) {
        WriteUtf8(stdout, kUsage);
        return 0;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return Fail({3, L"COM cannot be initialised"});
    }
    const int result = Run(options);
    CoUninitialize();
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    // Nothing thrown leaves the tool: running out of memory while printing
    // is reported like any other failure of the run.
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-host: %s\n", e.what());
    } catch (...) {
        std::fputs("velmora-host: unexpected failure\n", stderr);
    }
    return 5;
}
