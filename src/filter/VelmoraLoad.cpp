// IPersistFile::Load of CVelmora: opens the named file as an XmpPacket and
// fills the object's property-spec list with the standard entries and the
// entries of the custom schemas that apply to this document.
#include "filter/Velmora.h"

#include "config/SchemaDefinitions.h"

#include <cwchar>

namespace velmora {

STDMETHODIMP CVelmora::Load(LPCOLESTR pszFileName, DWORD /*dwMode*/) {
    debugger.Log(2, L"INFO: entered IPersistFile::Load \n");
    if (!pszFileName) return E_INVALIDARG;

    bool replaced = false;
    const HRESULT hr = ExceptionBoundary([&]() -> HRESULT {
        debugger.LogFormat(3, L"INFO: loading for %s \n", pszFileName);
        propSpecs.clear();
        ReleaseDocument();
        replaced = true;
        // The walk of the previous document is over: its text list is gone,
        // and the host must call Init again for this one.
        phase = Phase::NotStarted;
        contentState = ContentState::None;

        if (const size_t length = std::wcslen(pszFileName)) {
            documentPath = std::make_unique<wchar_t[]>(length + 1);
            std::wmemcpy(documentPath.get(), pszFileName, length + 1);
        }
        document = std::make_unique<XmpPacket>(documentPath.get(), configuration->multipleInstancesMode == 1);
        if (!document->IsLoaded()) {
            document.reset();
            debugger.LogFormat(1, L"ERROR: document open failure: %s \n", documentPath.get());
            return E_FAIL;
        }
        if (document->IsEmpty()) {
            debugger.LogFormat(2, L"INFO: XMP packet not found: %s \n", documentPath.get());
        } else {
            propSpecs = configuration->standardPropSpecs;
            AppendCustomSchemaPropSpecs(configuration->customSchemas, document->GetMeta(), propSpecs);
        }
        debugger.LogFormat(2, L"INFO: loaded for %s \n", documentPath.get());
        return S_OK;
    });
    // An exception midway (out of memory) must not leave a half-filled list
    // over a document that looks loaded.
    if (replaced && hr != S_OK && hr != E_FAIL) {
        propSpecs.clear();
        document.reset();
    }
    return hr;
}

}  // namespace velmora
