// The concrete filter: XMP documents, with the configuration's property-spec
// lists. Supplies the IFilter chunk protocol, the file load, and the
// product's class identifier and module count to the engine.
#pragma once

#include "common/Product.h"
#include "config/DocumentPropSpecs.h"
#include "config/VelmoraConfiguration.h"
#include "filter/Filter.h"
#include "xmp/PropSpec.h"
#include "xmp/XmpPacket.h"

#include <string>
#include <vector>

namespace velmora {

// Instantiated once, with the persistence faces, in filter/FilterPersist.cpp.
extern template class CFilter<XmpPacket, VelmoraConfiguration>;

class CVelmora : public CFilter<XmpPacket, VelmoraConfiguration> {
public:
    explicit CVelmora(const VelmoraConfiguration& configuration);
    ~CVelmora() override;

    // IFilter (filter/Velmora.cpp)
    STDMETHODIMP Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) override;
    STDMETHODIMP GetChunk(STAT_CHUNK* pStat) override;
    STDMETHODIMP GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) override;
    STDMETHODIMP GetValue(PROPVARIANT** ppPropValue) override;

    // IPersistFile::Load (filter/VelmoraLoad.cpp)
    using CFilter::Load;
    STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override;

protected:
    HRESULT LoadSource(ByteSource& source) override;
    const CLSID& ClassId() const noexcept override;

private:
    // A named file (fileName set) or a source read in place (source set).
    HRESULT LoadDocument(LPCOLESTR fileName, ByteSource* source);

    ULONG selectionCount = 0;
    ULONG currentEntry = 0;
    std::vector<const MetadataPropSpec*> selection;  // what Init chose, in emission order
    DocumentPropSpecs propSpecs;                     // this document's list, filled by Load
    int32_t valueIndex = 1;
    XmpPacket::TextList::const_iterator textCursor;
    // The current text chunk, handed out from pendingOffset on: a drain costs
    // what it hands out, whatever the host's buffer size.
    std::wstring pendingText;
    size_t pendingOffset = 0;
    PropertyValue currentValue;
};

}  // namespace velmora
