#include "MemoryStream.h"

#include "common/ComPtr.h"

namespace velmora::hostkit {

HRESULT MemoryStream(const std::string& bytes, IStream** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    ComPtr<IStream> memory;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, memory.Put());
    ULONG written = 0;
    if (SUCCEEDED(hr) && !bytes.empty()) hr = memory->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    const LARGE_INTEGER start{};
    if (SUCCEEDED(hr)) hr = memory->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    *stream = memory.Get();
    (*stream)->AddRef();
    return S_OK;
}

}  // namespace velmora::hostkit
