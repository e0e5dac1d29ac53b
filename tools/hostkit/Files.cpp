#include "Files.h"

#include "Failures.h"

#include "common/Win32.h"

#include <algorithm>
#include <cwchar>

namespace velmora::hostkit {

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bytes.clear();
    char block[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), block, sizeof block, &got, nullptr)) return false;
        if (got == 0) return true;
        bytes.append(block, got);
    }
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // In pieces of at most 1 MB, so that no single write is too large for the system.
    for (size_t done = 0; done < bytes.size();) {
        const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data() + done, piece, &written, nullptr) || written != piece) return false;
        done += written;
    }
    return true;
}

std::vector<std::wstring> FilesIn(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((directory + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

TempDirectory::TempDirectory(const wchar_t* prefix) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%ls%ls-%lu-%ld\\", base, prefix, GetCurrentProcessId(),
                 InterlockedIncrement(&counter));
        if (CreateDirectoryW(name, nullptr)) {
            path = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ReportFailure("cannot create a temporary directory");
            return;
        }
    }
}

TempDirectory::~TempDirectory() {
    if (path.empty()) return;
    for (const std::wstring& file : Files()) {
        const std::wstring full = path + file;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace velmora::hostkit
