// IPersistStream::Load of the engine: the file behind a named stream, or a
// temporary copy of the stream. Included by Filter.h.
#pragma once

namespace velmora {

template <class Document, class Configuration>
STDMETHODIMP CFilter<Document, Configuration>::Load(IStream* pStm) {
    if (!pStm) return E_INVALIDARG;
    return E_NOTIMPL;  // placeholder until stream loading lands
}

}  // namespace velmora
