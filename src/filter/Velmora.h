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
#include <unordered_set>
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
    // Entries of the selection that share their host property with another
    // get the index of the first of them; the others -1.
    void GroupSharedProperties();
    // False when another entry of the same host property already gave this
    // value: a name two sources give is one value chunk.
    bool FirstOfItsProperty(int32_t group, const PropertyValue& value);

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
    // The host asked for the document's contents: every property, or the
    // contents property by name. The descriptive text then joins the full text.
    bool fullText = false;
    std::vector<int32_t> sharedGroups;  // one per selection entry
    std::unordered_set<std::wstring> delivered;  // group and value of each shared value chunk
};

}  // namespace velmora
