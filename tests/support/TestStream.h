// An IStream for tests of stream loading: it serves bytes from memory or
// forwards to another stream, can fail Stat or a chosen Read, can end at once
// with ERROR_HANDLE_EOF, and records every read (the size asked for, the size
// delivered) and what a directory held while the stream was being read.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

class TestStream : public IStream {
public:
    struct ReadCall {
        ULONG asked;
        ULONG delivered;
        HRESULT result;
    };

    // Serves bytes from memory.
    static TestStream* FromBytes(const std::string& bytes);
    // Forwards Stat and Read to inner (held with a reference).
    static TestStream* Over(IStream* inner);

    // Stat fails with this code when set.
    HRESULT statResult = S_OK;
    // Stat reports this name when set (allocated with CoTaskMemAlloc).
    bool hasName = false;
    std::wstring name;
    // Read number failAtRead (1-based) returns failResult; 0 never.
    int failAtRead = 0;
    HRESULT failResult = E_FAIL;
    // Read number lieAtRead claims one byte more than was asked for; 0 never.
    int lieAtRead = 0;
    // Called at every Read before data is served.
    std::function<void()> onRead;

    std::vector<ReadCall> reads;
    int statCalls = 0;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // ISequentialStream
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    // IStream
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    // Answers "ends at once": every Read returns HRESULT_FROM_WIN32(ERROR_HANDLE_EOF).
    void EndAtOnce() { failAtRead = -1; }
    std::vector<ULONG> AskedSizes() const;
    std::vector<ULONG> DeliveredSizes() const;
    LONG References() const { return references; }

private:
    TestStream() = default;
    virtual ~TestStream();

    LONG references = 1;
    IStream* inner = nullptr;
    std::string bytes;
    size_t position = 0;
};

// A memory stream (CreateStreamOnHGlobal) holding bytes, positioned at its start.
IStream* MemoryStream(const std::string& bytes);

}  // namespace velmora::test
