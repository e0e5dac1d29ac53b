#include "TestSupport.h"

#include <shlwapi.h>

namespace velmora::test {

std::wstring TestDataPath(const std::wstring& name) { return std::wstring(VELMORA_TEST_DATA_DIR) + L"\\" + name; }

TempDirectory::TempDirectory() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%lsvelmora-test-%lu-%ld\\", base, GetCurrentProcessId(), InterlockedIncrement(&counter));
        if (CreateDirectoryW(name, nullptr)) {
            path = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a temporary directory";
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

std::vector<std::wstring> TempDirectory::Files() const { return FilesIn(path); }

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

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << Narrow(path);
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    if (FAILED(BinaryCopy(path.c_str(), bytes))) bytes.clear();
    return bytes;
}

HRESULT BinaryCopy(const wchar_t* path, std::string& buffer) {
    if (!path) return E_INVALIDARG;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return E_HANDLE;
    buffer.clear();
    try {
        buffer.reserve(GetFileSize(file, nullptr));
    } catch (...) {
        CloseHandle(file);
        return E_OUTOFMEMORY;
    }
    char block[4096];
    DWORD bytesRead = 0;
    while (ReadFile(file, block, sizeof block, &bytesRead, nullptr) && bytesRead != 0) {
        try {
            buffer.append(block, bytesRead);
        } catch (...) {
            break;  // out of memory: keep what was read so far
        }
    }
    CloseHandle(file);
    return buffer.empty() ? E_FAIL : S_OK;
}

std::string Filler(size_t count, unsigned seed) {
    std::string bytes(count, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
        if (byte == '<') byte = '=';
    }
    return bytes;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace velmora::test
