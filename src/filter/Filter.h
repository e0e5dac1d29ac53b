// The generic filter engine: the COM identity of a filter object (five faces
// over one object and one reference count), the loaded document, and the
// read-only persistence faces (defined in filter/FilterPersist.cpp, which
// holds the engine's one instantiation). The chunk protocol (Init, GetChunk,
// GetText, GetValue), the file load, the class identifier and the module's
// object count are supplied by the concrete class.
// One object is used by one thread at a time; only the reference count and
// the module's object count are shared across threads.
#pragma once

#include "common/ComObject.h"
#include "common/Win32.h"
#include "diag/Debugger.h"
#include "io/ByteSource.h"

#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <objidl.h>
#include <propsys.h>

#include <memory>

namespace velmora {

template <class Document, class Configuration>
class CFilter : public UnknownOf<CFilter<Document, Configuration>, IFilter, IPersistFile, IPersistStream,
                                 IPersistStorage, IInitializeWithStream> {
public:
    // moduleCount counts the module's live objects: up for as long as this
    // object lives.
    CFilter(const Configuration& configuration, volatile LONG& moduleCount)
        : configuration(&configuration), moduleCount(&moduleCount) {
        InterlockedIncrement(this->moduleCount);
    }
    virtual ~CFilter() {
        ReleaseDocument();
        InterlockedDecrement(moduleCount);
    }
    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;

    // IUnknown (UnknownOf), shared by every face: the face for riid, or null
    // with a log line for an interface the filter does not offer.
    IUnknown* Face(REFIID riid);

    // IFilter: Init, GetChunk, GetText and GetValue come from the concrete class.
    STDMETHODIMP BindRegion(FILTERREGION, REFIID, void**) override { return E_NOTIMPL; }

    // Frees the document path and destroys the document.
    virtual void ReleaseDocument() {
        documentPath.reset();
        document.reset();
    }

    // IPersist (all three persistence faces): the concrete class's identifier.
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }

    // IPersistFile; Load comes from the concrete class.
    STDMETHODIMP Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override;

    // IPersistStream: a stream is loaded through the file it names, in
    // place, or through a temporary copy.
    STDMETHODIMP Load(IStream* pStm) override;
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

    // IPersistStorage: present, but never handed out by QueryInterface.
    STDMETHODIMP InitNew(IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP Load(IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStorage*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
    STDMETHODIMP HandsOffStorage() override { return E_NOTIMPL; }

    // IInitializeWithStream: loads as IPersistStream::Load does, once per object.
    STDMETHODIMP Initialize(IStream* pstream, DWORD grfMode) override;

    using IPersistFile::Load;

protected:
    // Loads the document from a source read in place; it has no path.
    virtual HRESULT LoadSource(ByteSource& source) = 0;
    // The class identifier that GetClassID answers: the class served for
    // the concrete filter.
    virtual const CLSID& ClassId() const noexcept = 0;

    enum class ContentState { None, ValueReady, ValueDone, TextReady, TextDone, End };
    enum class Phase { NotStarted, Values, Text, Done };

    const Configuration* configuration;
    ULONG nextChunkId = 1;
    std::unique_ptr<wchar_t[]> documentPath;  // null-terminated, or null
    std::unique_ptr<Document> document;
    ContentState contentState = ContentState::None;
    Phase phase = Phase::NotStarted;
    bool initializedWithStream = false;

private:
    HRESULT LoadThroughTemporaryCopy(IStream* pStm);

    volatile LONG* moduleCount;
};

template <class Document, class Configuration>
IUnknown* CFilter<Document, Configuration>::Face(REFIID riid) {
    struct Row {
        const IID* iid;
        IUnknown* face;
        const wchar_t* message;  // level-3 log line, or null
    };
    const Row faces[] = {
        {&IID_IFilter, static_cast<IFilter*>(this), nullptr},
        {&IID_IPersistFile, static_cast<IPersistFile*>(this), L"INFO: IPersistFile interface queried \n"},
        {&IID_IPersistStream, static_cast<IPersistStream*>(this), L"INFO: IPersistStream interface queried \n"},
        {&IID_IInitializeWithStream, static_cast<IInitializeWithStream*>(this),
         L"INFO: IInitializeWithStream interface queried \n"},
        {&IID_IPersist, static_cast<IPersistFile*>(this), nullptr},
        {&IID_IUnknown, static_cast<IPersistFile*>(this), nullptr},
    };
    for (const Row& row : faces) {
        if (!IsEqualIID(riid, *row.iid)) continue;
        if (row.message) debugger.Log(3, row.message);
        return row.face;
    }
    debugger.Log(1, L"ERROR: interface is not supported \n");
    return nullptr;
}

}  // namespace velmora
