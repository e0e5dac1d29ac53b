#include "TestStream.h"

#include "MemoryStream.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstring>

namespace velmora::test {

TestStream* TestStream::FromBytes(const std::string& bytes) {
    auto* stream = new TestStream();
    stream->bytes = bytes;
    return stream;
}

TestStream* TestStream::Over(IStream* inner) {
    auto* stream = new TestStream();
    stream->inner = inner;
    inner->AddRef();
    return stream;
}

TestStream::~TestStream() {
    if (inner) inner->Release();
}

bool TestStream::Offers(REFIID riid) const {
    return IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_IStream);
}

STDMETHODIMP TestStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (onRead) onRead();
    const int number = static_cast<int>(reads.size()) + 1;
    if (pcbRead) *pcbRead = 0;
    if (failAtRead == -1 || failAtRead == number) {
        const HRESULT hr = failAtRead == -1 ? HRESULT_FROM_WIN32(ERROR_HANDLE_EOF) : failResult;
        reads.push_back({cb, 0, hr});
        return hr;
    }
    ULONG delivered = 0;
    HRESULT hr = S_OK;
    if (inner) {
        hr = inner->Read(pv, cb, &delivered);
    } else {
        delivered = static_cast<ULONG>(std::min<size_t>(cb, bytes.size() - std::min(position, bytes.size())));
        if (delivered) std::memcpy(pv, bytes.data() + position, delivered);
        position += delivered;
        hr = delivered < cb ? S_FALSE : S_OK;
    }
    if (lieAtRead == number) delivered = cb + 1;
    if (pcbRead) *pcbRead = delivered;
    reads.push_back({cb, delivered, hr});
    return hr;
}

STDMETHODIMP TestStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) {
    ++seekCalls;
    if (!seekable) return E_NOTIMPL;
    if (failAtSeek == seekCalls) return failResult;
    if (inner) return inner->Seek(dlibMove, dwOrigin, plibNewPosition);
    const int64_t origins[] = {0, static_cast<int64_t>(position), static_cast<int64_t>(bytes.size())};
    if (dwOrigin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    const int64_t target = origins[dwOrigin] + dlibMove.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position = static_cast<size_t>(target);
    if (plibNewPosition) plibNewPosition->QuadPart = position;
    return S_OK;
}

STDMETHODIMP TestStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag) {
    ++statCalls;
    if (!pstatstg) return STG_E_INVALIDPOINTER;
    if (FAILED(statResult)) return statResult;
    if (inner) {
        const HRESULT hr = inner->Stat(pstatstg, grfStatFlag);
        if (FAILED(hr)) return hr;
    } else {
        *pstatstg = STATSTG{};
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = bytes.size();
    }
    if (statSize >= 0) pstatstg->cbSize.QuadPart = static_cast<ULONGLONG>(statSize);
    if (unnamed) {
        CoTaskMemFree(pstatstg->pwcsName);
        pstatstg->pwcsName = nullptr;
    }
    if (hasName) {
        CoTaskMemFree(pstatstg->pwcsName);
        pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(wchar_t)));
        if (pstatstg->pwcsName) std::memcpy(pstatstg->pwcsName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    }
    return S_OK;
}

std::vector<ULONG> TestStream::AskedSizes() const {
    std::vector<ULONG> sizes;
    for (const ReadCall& read : reads) sizes.push_back(read.asked);
    return sizes;
}

std::vector<ULONG> TestStream::DeliveredSizes() const {
    std::vector<ULONG> sizes;
    for (const ReadCall& read : reads) sizes.push_back(read.delivered);
    return sizes;
}

IStream* MemoryStream(const std::string& bytes) {
    IStream* stream = nullptr;
    EXPECT_HR(S_OK, hostkit::MemoryStream(bytes, &stream));
    return stream;
}

}  // namespace velmora::test
