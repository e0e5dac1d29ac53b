// regsvr32 of the built DLL in the Wine prefix itself, with the regsvr32 of
// the test program's own bitness: the layout read back in the registry view
// that this bitness writes to, the host tool finding the filter by extension
// alone, and unregistration. These tests change the prefix's real registry:
// they hold the same named mutex as the fake products for their whole run,
// and put back a registration that was there before them.
#include "RegistrationFixture.h"

#include "TestSupport.h"

#include <shlwapi.h>

#include <algorithm>
#include <utility>
#include <string>
#include <vector>

using namespace velmora::test;

namespace {

const std::wstring kClasses = L"Software\\Classes\\";

#ifdef _WIN64
constexpr REGSAM kView = KEY_WOW64_64KEY;
#else
constexpr REGSAM kView = KEY_WOW64_32KEY;
#endif

struct ProcessResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs a command line to its end and collects what it wrote to stdout and stderr.
ProcessResult RunProgram(const std::wstring& commandLine) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring mutableLine = commandLine;
    const BOOL started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        // Reads what is there while the program runs, and what is left once
        // it has ended: a process it started (Wine's desktop, say) may hold
        // the pipe open long after, so the pipe's end is not the program's.
        char buffer[4096];
        for (bool ended = false;;) {
            if (!ended) ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
            DWORD available = 0;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // closed
            if (available == 0) {
                if (ended) break;
                continue;
            }
            DWORD read = 0;
            if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) || read == 0) break;
            result.output.append(buffer, read);
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return result;
}

std::wstring Regsvr32() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);  // syswow64 for a 32-bit program
    return L"\"" + std::wstring(system) + L"\\regsvr32.exe\" /s ";
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// The filter's registration in this bitness's view of the machine's classes.
Lines RegisteredLayout() {
    Lines lines;
    auto add = [&lines](const std::wstring& key) {
        for (const std::wstring& line : DumpRegistry(HKEY_LOCAL_MACHINE, kClasses + key, kView)) {
            // The key's own values ("key [name] ..."), then what is below it.
            lines.push_back(line.front() == L' ' ? key + line : key + L"\\" + line);
        }
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str(), 0, KEY_READ | kView, &opened) == ERROR_SUCCESS) {
            lines.push_back(key);
            RegCloseKey(opened);
        }
    };
    add(L"CLSID\\" + kFilterClassText);
    add(L"CLSID\\" + kHandlerClassText);
    for (const wchar_t* extension : kRegisteredExtensions) add(std::wstring(extension) + L"\\PersistentHandler");
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The registry views and the regsvr32 that writes to each, seen from this program.
struct RegistryView {
    REGSAM flag;
    std::wstring regsvr32;
};

std::vector<RegistryView> BothViews() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring root = windows;
#ifdef _WIN64
    return {{KEY_WOW64_64KEY, root + L"\\system32\\regsvr32.exe"}, {KEY_WOW64_32KEY, root + L"\\syswow64\\regsvr32.exe"}};
#else
    return {{KEY_WOW64_64KEY, root + L"\\sysnative\\regsvr32.exe"}, {KEY_WOW64_32KEY, root + L"\\system32\\regsvr32.exe"}};
#endif
}

// A REG_SZ value below the machine's classes in one view; empty when absent.
std::wstring ClassesString(const std::wstring& path, const wchar_t* name, REGSAM view) {
    std::wstring value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kClasses + path).c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return value;
    }
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        value = text;
    }
    RegCloseKey(key);
    return value;
}

std::wstring RegisteredServer(REGSAM view) {
    return ClassesString(L"CLSID\\" + kFilterClassText + L"\\InprocServer32", nullptr, view);
}

// Holds the prefix registry for the test and leaves the registrations of both
// bitnesses as it found them: the file-type keys are shared by the two views,
// so unregistering one bitness also takes the other's extensions away.
class PrefixRegistry : public testing::Test {
protected:
    PrefixRegistry() {
        for (const RegistryView& view : BothViews()) previous.push_back({view.regsvr32, RegisteredServer(view.flag)});
    }
    ~PrefixRegistry() override {
        for (const auto& [regsvr32, server] : previous) {
            if (!server.empty() && GetFileAttributesW(server.c_str()) != INVALID_FILE_ATTRIBUTES) {
                RunProgram(Quoted(regsvr32) + L" /s " + Quoted(server));
            }
        }
    }

    FakeHosts fakes;  // no product installed; the mutex is what matters here
    std::vector<std::pair<std::wstring, std::wstring>> previous;  // regsvr32, registered DLL
    const std::wstring dll = ProgramDirectory() + L"Velmora.dll";
    const std::wstring host = ProgramDirectory() + L"velmora-host.exe";
};

TEST_F(PrefixRegistry, Regsvr32WritesTheLayoutAndRemovesIt) {
    RunProgram(Regsvr32() + L"/u " + Quoted(dll));  // start from no registration
    EXPECT_EQ(Lines{}, RegisteredLayout());
    EXPECT_EQ(0u, RunProgram(Regsvr32() + Quoted(dll)).exitCode);
    EXPECT_EQ(ExpectedLayout(dll), RegisteredLayout());
    EXPECT_EQ(0u, RunProgram(Regsvr32() + Quoted(dll)).exitCode);
    EXPECT_EQ(ExpectedLayout(dll), RegisteredLayout());
    EXPECT_EQ(0u, RunProgram(Regsvr32() + L"/u " + Quoted(dll)).exitCode);
    EXPECT_EQ(Lines{}, RegisteredLayout());
}

// After regsvr32 a host finds the filter by a file's extension alone; after
// unregistering it finds none.
TEST_F(PrefixRegistry, HostFindsTheFilterByExtension) {
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(host.c_str())) << "velmora-host.exe is not built";
    // One document per file type; those without a sample of their own are
    // copies of a sample of the same format under the other extension.
    const struct {
        const wchar_t* sample;
        const wchar_t* extension;
    } documents[] = {
        {L"standard.eps", L".ai"},  {L"standard.jpg", L".jpg"}, {L"standard.jpg", L".jpeg"}, {L"standard.tif", L".tif"},
        {L"standard.tif", L".tiff"}, {L"standard.eps", L".ps"}, {L"standard.eps", L".eps"},  {L"standard.gif", L".gif"},
        {L"standard.png", L".png"}, {L"standard.psd", L".psd"}, {L"logo.svg", L".svg"},
    };
    TempDirectory scratch;
    std::vector<std::wstring> paths;
    for (const auto& document : documents) {
        paths.push_back(scratch.File(std::wstring(L"document") + document.extension));
        ASSERT_TRUE(CopyFileW(TestDataPath(document.sample).c_str(), paths.back().c_str(), FALSE));
    }

    ASSERT_EQ(0u, RunProgram(Regsvr32() + Quoted(dll)).exitCode);
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(path));
        const ProcessResult shown = RunProgram(Quoted(host) + L" " + Quoted(path));
        EXPECT_EQ(0u, shown.exitCode) << shown.output;
        EXPECT_NE(std::string::npos, shown.output.find("chunk 1 value ")) << shown.output;
    }
    ASSERT_EQ(0u, RunProgram(Regsvr32() + L"/u " + Quoted(dll)).exitCode);
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(path));
        const ProcessResult shown = RunProgram(Quoted(host) + L" " + Quoted(path));
        EXPECT_EQ(2u, shown.exitCode) << shown.output;
        EXPECT_NE(std::string::npos, shown.output.find("no filter for ")) << shown.output;
    }
}

// A value of <extension>\PersistentHandler in the machine's classes; empty when absent.
std::wstring HandlerValue(const std::wstring& extension, const wchar_t* name) {
    return ClassesString(extension + L"\\PersistentHandler", name, kView);
}

void SetHandler(const std::wstring& extension, const std::wstring& handler) {
    HKEY key = nullptr;
    const std::wstring path = kClasses + extension + L"\\PersistentHandler";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(handler.c_str()),
                   static_cast<DWORD>((handler.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void DeleteHandler(const std::wstring& extension) {
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClasses.c_str(), 0, KEY_ALL_ACCESS | kView, &classes) != ERROR_SUCCESS) return;
    SHDeleteKeyW(classes, (extension + L"\\PersistentHandler").c_str());
    RegCloseKey(classes);
}

// The Velmora.dll of the other target, built beside this one (build/<arch>/bin).
std::wstring OtherTargetDll() {
#ifdef _WIN64
    const std::wstring relative = ProgramDirectory() + L"..\\..\\x86\\bin\\Velmora.dll";
#else
    const std::wstring relative = ProgramDirectory() + L"..\\..\\x64\\bin\\Velmora.dll";
#endif
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return full;
}

// A TIFF handler of another product comes back after both bitnesses are
// registered and unregistered, whichever registers first; the file-type keys
// are shared, so the second registration must not remember Velmora itself.
TEST_F(PrefixRegistry, PreviousHandlerComesBackInBothOrdersOfBitness) {
    const std::wstring windowsTiff = L"{1AA9BF05-9A97-48C1-BA28-D9DCE795E93C}";
    const std::wstring otherDll = OtherTargetDll();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(otherDll.c_str())) << "the other target is not built";
    const std::vector<RegistryView> views = BothViews();
#ifdef _WIN64
    const std::pair<std::wstring, std::wstring> mine{views[0].regsvr32, dll}, theirs{views[1].regsvr32, otherDll};
#else
    const std::pair<std::wstring, std::wstring> mine{views[1].regsvr32, dll}, theirs{views[0].regsvr32, otherDll};
#endif
    const std::wstring before[] = {HandlerValue(L".tif", nullptr), HandlerValue(L".tiff", nullptr)};
    const wchar_t* const tiffTypes[] = {L".tif", L".tiff"};

    for (const auto& [first, second] : {std::make_pair(mine, theirs), std::make_pair(theirs, mine)}) {
        SCOPED_TRACE(Narrow(first.second));
        RunProgram(Quoted(first.first) + L" /s /u " + Quoted(first.second));
        RunProgram(Quoted(second.first) + L" /s /u " + Quoted(second.second));
        for (const wchar_t* type : tiffTypes) SetHandler(type, windowsTiff);

        ASSERT_EQ(0u, RunProgram(Quoted(first.first) + L" /s " + Quoted(first.second)).exitCode);
        ASSERT_EQ(0u, RunProgram(Quoted(second.first) + L" /s " + Quoted(second.second)).exitCode);
        for (const wchar_t* type : tiffTypes) {
            EXPECT_EQ(kHandlerClassText, HandlerValue(type, nullptr)) << Narrow(type);
            EXPECT_EQ(windowsTiff, HandlerValue(type, L"VelmoraPreviousHandler")) << Narrow(type);
        }
        EXPECT_EQ(0u, RunProgram(Quoted(first.first) + L" /s /u " + Quoted(first.second)).exitCode);
        EXPECT_EQ(0u, RunProgram(Quoted(second.first) + L" /s /u " + Quoted(second.second)).exitCode);
        for (const wchar_t* type : tiffTypes) {
            EXPECT_EQ(windowsTiff, HandlerValue(type, nullptr)) << Narrow(type);
            EXPECT_EQ(L"", HandlerValue(type, L"VelmoraPreviousHandler")) << Narrow(type);
        }
        EXPECT_EQ(L"", HandlerValue(L".jpg", nullptr));
    }
    for (size_t i = 0; i < 2; ++i) {
        if (before[i].empty()) {
            DeleteHandler(tiffTypes[i]);
        } else {
            SetHandler(tiffTypes[i], before[i]);
        }
    }
}

}  // namespace
