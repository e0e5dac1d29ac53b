// An IStream for tests of stream loading: it serves bytes from memory or
// forwards to another stream, can seek or refuse to (as a pipe does), can
// fail Stat, a chosen Read or a chosen Seek, can end at once with
// ERROR_HANDLE_EOF, can report a false size, and records every read (the
// size asked for, the size delivered).
#pragma once

#include "ReadOnlyStream.h"

#include "common/ComObject.h"

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

class TestStream : public hostkit::ReadOnlyStream<ComObject<IStream>> {
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
    // Stat reports no name, whatever the inner stream says, when set.
    bool unnamed = false;
    // Seek works (over the bytes, or forwarded) when set; else E_NOTIMPL.
    bool seekable = false;
    // Seek number failAtSeek (1-based) returns failResult; 0 never.
    int failAtSeek = 0;
    // Stat reports this size instead of the real one when not negative.
    int64_t statSize = -1;
    int seekCalls = 0;

    std::vector<ReadCall> reads;
    int statCalls = 0;

    bool Offers(REFIID riid) const override;
    // ISequentialStream
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    // IStream
    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;

    // Answers "ends at once": every Read returns HRESULT_FROM_WIN32(ERROR_HANDLE_EOF).
    void EndAtOnce() { failAtRead = -1; }
    std::vector<ULONG> AskedSizes() const;
    std::vector<ULONG> DeliveredSizes() const;
    using ComObject::References;

private:
    TestStream() = default;
    ~TestStream() override;

    IStream* inner = nullptr;
    std::string bytes;
    size_t position = 0;
};

// The kit's memory stream over bytes; a failure to make it fails the test.
IStream* MemoryStream(const std::string& bytes);

}  // namespace velmora::test
