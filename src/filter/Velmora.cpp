// The IFilter chunk protocol of CVelmora: Init chooses the properties, and
// GetChunk walks them in two phases, one value chunk per value read, then
// every value read once more as a text chunk of the document's contents.
// GetText and GetValue hand out what the current chunk carries.
#include "filter/Velmora.h"

#include <ntquery.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace velmora {

namespace {

// Text chunks are the document's contents.
constexpr GUID kStorageSet = PSGUID_STORAGE;

bool IsContentsProperty(const FULLPROPSPEC& attribute) {
    return IsEqualGUID(attribute.guidPropSet, kStorageSet) && attribute.psProperty.ulKind == PRSPEC_PROPID &&
           attribute.psProperty.propid == PID_STG_CONTENTS;
}

// A host property as a key: its set, then its identifier or its name with
// the ASCII letters in upper case (the host's own matching rule).
std::wstring PropertyKey(const FullPropSpec& spec) {
    std::wstring key(reinterpret_cast<const wchar_t*>(&spec.PropertySet()), sizeof(GUID) / sizeof(wchar_t));
    if (spec.Kind() == PRSPEC_LPWSTR) {
        key += L'N';
        for (const wchar_t* c = spec.Name(); c && *c; ++c) key += (*c >= L'a' && *c <= L'z') ? *c - L'a' + L'A' : *c;
    } else {
        key += L'#';
        key += std::to_wstring(spec.Id());
    }
    return key;
}

}  // namespace

void CVelmora::GroupSharedProperties() {
    sharedGroups.assign(selection.size(), -1);
    std::unordered_map<std::wstring, int32_t> first;
    std::vector<int32_t> members(selection.size(), 0);
    for (size_t i = 0; i < selection.size(); ++i) {
        const int32_t group = first.emplace(PropertyKey(selection[i]->propSpec), static_cast<int32_t>(i)).first->second;
        sharedGroups[i] = group;
        ++members[static_cast<size_t>(group)];
    }
    for (int32_t& group : sharedGroups) {
        if (members[static_cast<size_t>(group)] < 2) group = -1;
    }
}

bool CVelmora::FirstOfItsProperty(int32_t group, const PropertyValue& value) {
    std::wstring key = std::to_wstring(group);
    switch (value.kind) {
    case PropertyValue::Text:
        key += L'T';
        key += value.text;
        break;
    case PropertyValue::Date:
        key += L'D';
        key += std::to_wstring((static_cast<uint64_t>(value.time.dwHighDateTime) << 32) | value.time.dwLowDateTime);
        break;
    case PropertyValue::Integer:
        key += L'I';
        key += std::to_wstring(value.number);
        break;
    default:
        return true;  // numbers of other types: as many as the sources give
    }
    return delivered.insert(std::move(key)).second;
}

CVelmora::CVelmora(const VelmoraConfiguration& configuration) : CFilter(configuration, ModuleCount) {}

CVelmora::~CVelmora() = default;

const CLSID& CVelmora::ClassId() const noexcept { return CLSID_VelmoraFilter; }

STDMETHODIMP CVelmora::Init(ULONG grfFlags, ULONG cAttributes, const FULLPROPSPEC* aAttributes, ULONG* pFlags) {
    if (cAttributes > 0 && !aAttributes) return E_INVALIDARG;
    if (!pFlags) return E_POINTER;
    if (!document) return E_FAIL;

    // From here on a failure leaves the object initialised to nothing: the
    // text list may already be cleared, so the old walk must not resume.
    selection.clear();
    selectionCount = 0;
    sharedGroups.clear();
    delivered.clear();
    fullText = false;
    phase = Phase::NotStarted;
    contentState = ContentState::None;

    return ExceptionBoundary([&]() -> HRESULT {
        if (!document->IsEmpty()) {
            document->ClearText();
            if (cAttributes > 0) {
                // List order, not the host's order; each entry at most once.
                for (const MetadataPropSpec* entry : propSpecs.entries) {
                    const FULLPROPSPEC* const end = aAttributes + cAttributes;
                    const bool wanted = std::any_of(aAttributes, end, [&](const FULLPROPSPEC& attribute) {
                        return entry->propSpec == attribute;
                    });
                    if (wanted) selection.push_back(entry);
                }
            } else if (grfFlags & IFILTER_INIT_APPLY_INDEX_ATTRIBUTES) {
                selection.assign(propSpecs.entries.begin(), propSpecs.entries.end());
            }
            GroupSharedProperties();
            fullText = cAttributes > 0 ? std::any_of(aAttributes, aAttributes + cAttributes, IsContentsProperty)
                                       : (grfFlags & IFILTER_INIT_APPLY_INDEX_ATTRIBUTES) != 0;
        }
        selectionCount = static_cast<ULONG>(selection.size());
        *pFlags = 0;  // never IFILTER_FLAGS_OLE_PROPERTIES

        nextChunkId = 1;
        valueIndex = 1;
        currentEntry = 0;
        contentState = ContentState::None;
        textCursor = document->TextBegin();
        pendingText.clear();
        pendingOffset = 0;
        phase = selection.empty() && !fullText ? Phase::Done : Phase::Values;
        return S_OK;
    });
}

STDMETHODIMP CVelmora::GetChunk(STAT_CHUNK* pStat) {
    if (!document) return E_FAIL;
    if (!pStat) return E_POINTER;

    pStat->idChunk = nextChunkId;
    pStat->breakType = CHUNK_EOS;
    pStat->locale = GetSystemDefaultLCID();
    pStat->idChunkSource = nextChunkId;
    pStat->cwcStartSource = 0;
    pStat->cwcLenSource = 0;

    return ExceptionBoundary([&]() -> HRESULT {
        if (phase == Phase::Values) {
            contentState = ContentState::None;
            while (currentEntry < selectionCount) {
                const MetadataPropSpec& entry = *selection[currentEntry];
                const ValueResult result = document->GetValue(entry.schemaNS, entry.propPath, entry.type, valueIndex,
                                                              currentValue, entry.valueMap.get());
                if (result.IsEnd()) {
                    ++currentEntry;
                    valueIndex = 1;
                    continue;
                }
                valueIndex = result.next;
                if (!result.HasValue()) continue;  // this item only; the next may have a value
                const int32_t group = sharedGroups[currentEntry];
                if (group >= 0 && !FirstOfItsProperty(group, currentValue)) continue;
                pStat->flags = CHUNK_VALUE;
                pStat->attribute.guidPropSet = entry.propSpec.PropertySet();
                if (entry.propSpec.Kind() == PRSPEC_LPWSTR) {
                    // The host owns and frees this copy of the name. Without
                    // memory for it the chunk is lost, as a value is in
                    // GetValue: a chunk without its property's name would be
                    // indexed under no property.
                    pStat->attribute.psProperty.ulKind = PRSPEC_LPWSTR;
                    pStat->attribute.psProperty.lpwstr = CoTaskMemStrDup(entry.propSpec.Name());
                    if (!pStat->attribute.psProperty.lpwstr) return E_OUTOFMEMORY;
                } else {
                    pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
                    pStat->attribute.psProperty.propid = entry.propSpec.Id();
                }
                contentState = ContentState::ValueReady;
                ++nextChunkId;
                return S_OK;
            }
            // All or nothing: should memory run out, the next call walks again.
            if (fullText && configuration->descriptiveText) document->AddDescriptiveText();
            textCursor = document->TextBegin();
            phase = Phase::Text;
        }
        if (phase == Phase::Text) {
            contentState = ContentState::TextReady;
            if (textCursor != document->TextEnd()) {
                pStat->flags = CHUNK_TEXT;
                pStat->attribute.guidPropSet = kStorageSet;
                pStat->attribute.psProperty.ulKind = PRSPEC_PROPID;
                pStat->attribute.psProperty.propid = PID_STG_CONTENTS;
                // A language alternative is broken into words as its own language.
                if (configuration->languageLocales && !textCursor->language.empty()) {
                    const LCID locale = LocaleOfLanguage(textCursor->language);
                    if (locale != 0) pStat->locale = locale;
                }
                pendingText = textCursor->text;
                pendingOffset = 0;
                ++textCursor;
                ++nextChunkId;
                return S_OK;
            }
            phase = Phase::Done;
        }
        contentState = ContentState::End;
        return FILTER_E_END_OF_CHUNKS;
    });
}

STDMETHODIMP CVelmora::GetText(ULONG* pcwcBuffer, WCHAR* awcBuffer) {
    if (!pcwcBuffer || !awcBuffer) return E_POINTER;
    const size_t remaining = pendingText.size() - pendingOffset;
    if (contentState == ContentState::TextReady && remaining == 0) contentState = ContentState::TextDone;
    if (contentState == ContentState::TextDone) return FILTER_E_NO_MORE_TEXT;
    if (contentState != ContentState::TextReady) return FILTER_E_NO_TEXT;

    const size_t n = std::min<size_t>(*pcwcBuffer, remaining);
    std::memcpy(awcBuffer, pendingText.data() + pendingOffset, n * sizeof(WCHAR));
    *pcwcBuffer = static_cast<ULONG>(n);
    if (n < remaining) {
        pendingOffset += n;
        return S_OK;
    }
    pendingText.clear();
    pendingOffset = 0;
    contentState = ContentState::TextDone;
    return FILTER_S_LAST_TEXT;
}

STDMETHODIMP CVelmora::GetValue(PROPVARIANT** ppPropValue) {
    if (!ppPropValue) return E_POINTER;
    if (contentState == ContentState::ValueDone) return FILTER_E_NO_MORE_VALUES;
    if (contentState != ContentState::ValueReady) return FILTER_E_NO_VALUES;

    // The value counts as handed out from here on, whatever happens next.
    contentState = ContentState::ValueDone;
    CoTaskMemPtr<PROPVARIANT> value(static_cast<PROPVARIANT*>(CoTaskMemAlloc(sizeof(PROPVARIANT))));
    if (!value) return E_OUTOFMEMORY;

    UniquePropVariant variant;
    switch (currentValue.kind) {
    case PropertyValue::Text: {
        wchar_t* text = CoTaskMemStrDup(currentValue.text.c_str());
        if (!text) return E_OUTOFMEMORY;
        variant->vt = VT_LPWSTR;
        variant->pwszVal = text;
        break;
    }
    case PropertyValue::Date:
        variant->vt = VT_FILETIME;
        variant->filetime = currentValue.time;
        break;
    case PropertyValue::Integer:
        variant->vt = VT_INT;
        variant->intVal = currentValue.number;
        break;
    case PropertyValue::Scalar:
        variant.Get() = currentValue.scalar;  // a number or boolean: nothing to copy
        break;
    default:
        return E_FAIL;
    }
    *value = variant.Release();
    *ppPropValue = value.release();
    return S_OK;
}

}  // namespace velmora
