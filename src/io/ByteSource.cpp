// Positioned reads over a file handle and over a host's seekable stream.
#include "io/ByteSource.h"

#include <algorithm>
#include <cstring>

namespace velmora {

HRESULT ByteSource::ReadAt(uint64_t offset, void* target, DWORD wanted, DWORD& got) {
    got = 0;
    if (offset >= size) return S_OK;
    if (position != offset) {
        position = kUnknownPosition;
        VELMORA_RETURN_IF_FAILED(MoveTo(offset));
        position = offset;
    }
    const DWORD asked = static_cast<DWORD>(std::min<uint64_t>(wanted, size - offset));
    DWORD delivered = 0;
    position = kUnknownPosition;  // until the read has told how far it went
    const HRESULT hr = ReadHere(target, asked, delivered);
    // A read that runs into the end of the data is the end, not a failure.
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) return hr;
    // A source that claims more than it was asked for has not filled the
    // buffer with that much: nothing of it can be trusted.
    if (delivered > asked) return E_FAIL;
    if (SUCCEEDED(hr)) position = offset + delivered;
    got = delivered;
    return S_OK;
}

HRESULT ByteSource::ReadExactly(uint64_t offset, void* target, DWORD count) {
    for (DWORD done = 0; done < count;) {
        DWORD got = 0;
        VELMORA_RETURN_IF_FAILED(ReadAt(offset + done, static_cast<uint8_t*>(target) + done, count - done, got));
        if (got == 0) return S_FALSE;
        done += got;
    }
    return S_OK;
}

HRESULT MemorySource::MoveTo(uint64_t offset) {
    at = offset;
    return S_OK;
}

HRESULT MemorySource::ReadHere(void* target, DWORD wanted, DWORD& got) {
    got = static_cast<DWORD>(std::min<uint64_t>(wanted, size - std::min(at, size)));
    std::memcpy(target, bytes + at, got);
    at += got;
    return S_OK;
}

HRESULT FileSource::Open(const wchar_t* path) {
    if (!path) return E_INVALIDARG;
    file.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return E_HANDLE;
    LARGE_INTEGER fileSize{};
    size = GetFileSizeEx(file.Get(), &fileSize) ? static_cast<uint64_t>(fileSize.QuadPart) : 0;
    position = 0;
    return S_OK;
}

HRESULT FileSource::MoveTo(uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file.Get(), to, nullptr, FILE_BEGIN) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT FileSource::ReadHere(void* target, DWORD wanted, DWORD& got) {
    if (ReadFile(file.Get(), target, wanted, &got, nullptr)) return S_OK;
    got = 0;
    return HRESULT_FROM_WIN32(GetLastError());
}

HRESULT StreamSource::Open(IStream* source) {
    if (!source) return E_INVALIDARG;
    ULARGE_INTEGER current{}, end{};
    VELMORA_RETURN_IF_FAILED(source->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &current));
    const HRESULT hr = source->Seek(LARGE_INTEGER{}, STREAM_SEEK_END, &end);
    if (FAILED(hr)) {
        // Nothing may have moved, but the stream is to be copied from where
        // the host left it: put it back there if it did.
        LARGE_INTEGER back{};
        back.QuadPart = static_cast<LONGLONG>(current.QuadPart);
        source->Seek(back, STREAM_SEEK_SET, nullptr);
        return hr;
    }
    stream = source;
    start = current.QuadPart;
    position = kUnknownPosition;  // the stream stands at its end now
    size = end.QuadPart > start ? end.QuadPart - start : 0;
    return S_OK;
}

HRESULT StreamSource::MoveTo(uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(start + offset);
    return stream->Seek(to, STREAM_SEEK_SET, nullptr);
}

HRESULT StreamSource::ReadHere(void* target, DWORD wanted, DWORD& got) {
    ULONG delivered = 0;
    const HRESULT hr = stream->Read(target, wanted, &delivered);
    got = delivered;
    return hr;
}

}  // namespace velmora
