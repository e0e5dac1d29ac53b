// Loading a document into CVelmora: a named file (IPersistFile::Load) or a
// host's stream read in place opens as an XmpPacket, and the object's
// property-spec list is filled with the standard entries and the entries of
// the custom schemas that apply to this document.
#include "filter/Velmora.h"

#include "config/SchemaDefinitions.h"

#include <cwchar>

namespace velmora {

STDMETHODIMP CVelmora::Load(LPCOLESTR pszFileName, DWORD /*dwMode*/) {
    debugger.Log(2, L"INFO: entered IPersistFile::Load \n");
    if (!pszFileName) return E_INVALIDARG;
    return LoadDocument(pszFileName, nullptr);
}

HRESULT CVelmora::LoadSource(ByteSource& source) { return LoadDocument(nullptr, &source); }

HRESULT CVelmora::LoadDocument(LPCOLESTR fileName, ByteSource* source) {
    bool replaced = false;
    const HRESULT hr = ExceptionBoundary([&]() -> HRESULT {
        if (fileName) debugger.LogFormat(3, L"INFO: loading for %s \n", fileName);
        propSpecs.Clear();
        ReleaseDocument();
        replaced = true;
        // The walk of the previous document is over: its text list is gone,
        // and the host must call Init again for this one.
        phase = Phase::NotStarted;
        contentState = ContentState::None;

        const bool joinArrayItems = configuration->multipleInstancesMode == 1;
        document = std::make_unique<XmpPacket>(nullptr, joinArrayItems);
        document->SetReading({configuration->formatHandlers, configuration->nativeMetadata});
        if (fileName) {
            if (const size_t length = std::wcslen(fileName)) {
                documentPath = std::make_unique<wchar_t[]>(length + 1);
                std::wmemcpy(documentPath.get(), fileName, length + 1);
            }
            if (documentPath) document->Load(documentPath.get(), joinArrayItems);
        } else {
            const HRESULT read = document->Load(*source, joinArrayItems);
            if (!document->IsLoaded()) {
                document.reset();
                debugger.LogFormat(1, L"ERROR: the stream could not be read, error code = 0x%08x \n",
                                   static_cast<int32_t>(read));
                return FAILED(read) ? read : E_FAIL;
            }
        }
        if (!document->IsLoaded()) {
            document.reset();
            debugger.LogFormat(1, L"ERROR: document open failure: %s \n", documentPath.get());
            return E_FAIL;
        }
        if (document->IsEmpty()) {
            if (fileName) {
                debugger.LogFormat(2, L"INFO: XMP packet not found: %s \n", documentPath.get());
            } else {
                debugger.Log(2, L"INFO: XMP packet not found in the stream \n");
            }
        } else {
            CollectDocumentPropSpecs(*configuration, document->GetMeta(), propSpecs);
        }
        if (fileName) {
            debugger.LogFormat(2, L"INFO: loaded for %s \n", documentPath.get());
        } else {
            debugger.Log(2, L"INFO: loaded from the stream \n");
        }
        return S_OK;
    });
    // An exception midway (out of memory) must not leave a half-filled list
    // over a document that looks loaded.
    if (replaced && FAILED(hr) && document) {
        propSpecs.Clear();
        document.reset();
    }
    if (hr == E_OUTOFMEMORY) debugger.Log(1, L"ERROR: out of memory while loading the document \n");
    return hr;
}

}  // namespace velmora
