#include "TestSupport.h"

#include <shlwapi.h>

namespace velmora::test {

std::wstring TestDataPath(const std::wstring& name) { return std::wstring(VELMORA_TEST_DATA_DIR) + L"\\" + name; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(hostkit::WriteWholeFile(path, bytes)) << Narrow(path);
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    if (!hostkit::ReadWholeFile(path, bytes)) bytes.clear();
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
