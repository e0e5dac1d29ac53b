// Where a document's bytes come from: a file opened by path, or a stream that
// a search host hands over. The packet reader asks for positioned reads only,
// so either kind is read in place, through the reader's one block, without a
// copy. A source is used by one thread, for the length of one load.
#pragma once

#include "common/Win32.h"

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <cstdint>

namespace velmora {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // The number of bytes the document held when it was opened; reads never
    // go past it. A source may still end earlier (a file cut short meanwhile,
    // a stream that held less than it claimed): a read there delivers 0 bytes.
    uint64_t Size() const { return size; }

    // Reads up to `wanted` bytes at `offset` into target. S_OK with `got` 0
    // at the end; a failed read gives its own code and `got` 0. Reads go on
    // from where the last one ended without moving the source (under Wine a
    // file read at an explicit offset runs at half the speed of the next
    // sequential one); only a read elsewhere moves it first.
    HRESULT ReadAt(uint64_t offset, void* target, DWORD wanted, DWORD& got);

    // Exactly `count` bytes at `offset`: S_OK, S_FALSE when the source ends
    // first (a part of target may then be filled), or a failed read's code.
    HRESULT ReadExactly(uint64_t offset, void* target, DWORD count);

    // ReadExactly for a walk whose end is the document's: true when the bytes
    // were read; false when the source ended first (`failure` S_OK: the walk
    // is done) or a read failed (`failure` its code).
    bool ReadOrEnd(uint64_t offset, void* target, DWORD count, HRESULT& failure) {
        const HRESULT hr = ReadExactly(offset, target, count);
        failure = FAILED(hr) ? hr : S_OK;
        return hr == S_OK;
    }

protected:
    static constexpr uint64_t kUnknownPosition = ~uint64_t{0};

    // Moves the source to the document's byte `offset`.
    virtual HRESULT MoveTo(uint64_t offset) = 0;
    // Reads up to `wanted` bytes where the source stands; `got` may be less.
    virtual HRESULT ReadHere(void* target, DWORD wanted, DWORD& got) = 0;

    uint64_t size = 0;
    uint64_t position = kUnknownPosition;  // where the source stands, as a document offset
};

// A file, opened for reading with every kind of sharing, so that a document
// another program holds open can still be read.
class FileSource : public ByteSource {
public:
    // E_INVALIDARG for no path, E_HANDLE when the file cannot be opened.
    HRESULT Open(const wchar_t* path);

protected:
    HRESULT MoveTo(uint64_t offset) override;
    HRESULT ReadHere(void* target, DWORD wanted, DWORD& got) override;

private:
    UniqueFileHandle file;
};

// The rest of a stream that can seek, from the position it was handed over
// at to its end. The stream is borrowed, not held: the caller keeps it alive
// while the source is in use and nothing refers to it afterwards.
class StreamSource : public ByteSource {
public:
    // Measures the stream by seeking to its end and back. A stream that
    // cannot seek gives the failing Seek's code and is left where it was,
    // so that it can still be read from its current position.
    HRESULT Open(IStream* stream);

protected:
    HRESULT MoveTo(uint64_t offset) override;
    HRESULT ReadHere(void* target, DWORD wanted, DWORD& got) override;

private:
    IStream* stream = nullptr;
    uint64_t start = 0;  // the stream position of the document's first byte
};

// Bytes held in memory (not copied: they outlive the source), read as a
// document; a container reader hands a block it has assembled to a handler.
class MemorySource : public ByteSource {
public:
    MemorySource(const void* bytes, size_t length) : bytes(static_cast<const uint8_t*>(bytes)) {
        size = length;
        position = 0;
    }

protected:
    HRESULT MoveTo(uint64_t offset) override;
    HRESULT ReadHere(void* target, DWORD wanted, DWORD& got) override;

private:
    const uint8_t* bytes;
    uint64_t at = 0;
};

}  // namespace velmora
