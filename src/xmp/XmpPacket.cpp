// XmpPacket: loading one document through the packet reader, and the typed
// value queries over its model. Also the small helpers the queries need:
// XMP dates as FILETIME and the decimal-text-to-integer conversion.
#include "xmp/XmpPacket.h"

#include "common/Memory.h"
#include "common/Win32.h"
#include "diag/Debugger.h"
#include "formats/DocumentFormat.h"
#include "formats/FormatHandler.h"
#include "packet/PacketReader.h"
#include "raw/RawContainers.h"
#include "xmp/DescriptiveText.h"
#include "xmp/WildcardPaths.h"

#include <charconv>
#include <new>
#include <stdexcept>

namespace velmora {

XmpPacket::XmpPacket(const wchar_t* path, bool joinArrayItems) {
    if (path) Load(path, joinArrayItems);
}

XmpPacket::~XmpPacket() = default;

HRESULT XmpPacket::Load(const wchar_t* path, bool joinArrayItems) {
    FileSource file;
    HRESULT hr = file.Open(path);
    if (SUCCEEDED(hr)) {
        hr = Load(file, joinArrayItems);
    } else {
        Forget(joinArrayItems);
    }
    if (!loaded) {
        // The document could not be read. The line keeps its words, which
        // logs and their readers know: the name of the whole-file copy the
        // filter once made, two spaces after the label and no line end.
        debugger.LogFormat(3, L"ERROR:  BinaryCopy failure error code = 0x%08x", static_cast<int32_t>(hr));
    }
    return hr;
}

void XmpPacket::Forget(bool joinArrayItems) {
    meta.reset();
    texts.clear();
    last.valid = false;
    expansion.valid = false;
    loaded = false;
    this->joinArrayItems = joinArrayItems;
}

HRESULT XmpPacket::Load(ByteSource& source, bool joinArrayItems) {
    Forget(joinArrayItems);
    if (source.Size() == 0) return E_FAIL;  // not one byte to read
    TakeAllocationFailure();
    HRESULT hr = S_FALSE;
    if (reading.formatHandlers) {
        hr = LoadThroughHandler(source);
    } else {
        debugger.Log(2, L"INFO: format handlers are off, searching for XMP packets \n");
    }
    if (hr == S_FALSE) hr = LoadThroughPacketSearch(source);
    // Memory that ran out inside the toolkit, where it passed the failure
    // over, may have left part of the document out.
    if (TakeAllocationFailure()) {
        Forget(joinArrayItems);
        throw std::bad_alloc();
    }
    return hr;
}

HRESULT XmpPacket::LoadThroughHandler(ByteSource& source) {
    auto model = MakeModel();
    HandlerReading handler = ReadThroughHandler(source, reading.nativeMetadata, *model);
    if (IsRawFormat(handler.format)) handler = ReadRawContainer(source, handler.format, reading.nativeMetadata, *model);
    if (FAILED(handler.readFailure)) return handler.readFailure;
    const wchar_t* const name = FormatName(handler.format);
    switch (handler.outcome) {
    case HandlerReading::Outcome::Xmp:
        if (handler.place) {
            // Not the format's standard place: the log says which.
            const std::wstring line = std::wstring(L"INFO: XMP read by the ") + name + L" handler from " +
                                      handler.place +
                                      (reading.nativeMetadata ? L", native metadata imported \n" : L" \n");
            debugger.Log(2, line.c_str());
        } else {
            debugger.LogFormat(2, reading.nativeMetadata ? L"INFO: XMP read by the %s handler, native metadata imported \n"
                                                         : L"INFO: XMP read by the %s handler \n",
                               name);
        }
        break;
    case HandlerReading::Outcome::NativeOnly:
        debugger.LogFormat(2, L"INFO: no XMP; native metadata imported by the %s handler \n", name);
        break;
    case HandlerReading::Outcome::NoHandler:
        debugger.Log(2, L"INFO: no format handler for this document, searching for XMP packets \n");
        return S_FALSE;
    case HandlerReading::Outcome::Refused:
        debugger.LogFormat(2, L"INFO: the %s handler did not take the document, searching for XMP packets \n", name);
        return S_FALSE;
    case HandlerReading::Outcome::Nothing:
        debugger.LogFormat(2, L"INFO: the %s handler found no metadata, searching for XMP packets \n", name);
        return S_FALSE;
    case HandlerReading::Outcome::Failed:
        debugger.LogFormat(2, L"INFO: the %s handler failed on the document, searching for XMP packets \n", name);
        return S_FALSE;
    case HandlerReading::Outcome::NoneOfItsOwn:
        debugger.LogFormat(2, L"INFO: the %s container holds no metadata of its own image, only other items' \n", name);
        loaded = true;
        return S_OK;
    }
    meta = std::move(model);
    loaded = true;
    return S_OK;
}

// A fresh model; the toolkit reports a failed allocation as its own error.
std::unique_ptr<SXMPMeta> XmpPacket::MakeModel() {
    try {
        return std::make_unique<SXMPMeta>();
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
        throw;
    }
}

HRESULT XmpPacket::LoadThroughPacketSearch(ByteSource& source) {
    PacketReader reader(source);
    HRESULT hr = reader.Open();
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) return hr;
    loaded = true;
    try {
        meta = std::make_unique<SXMPMeta>();
        hr = reader.ReadInto(*meta);
    } catch (const std::bad_alloc&) {
        Forget(joinArrayItems);
        throw;
    } catch (const XMP_Error& error) {
        if (IsOutOfMemory(error)) {
            Forget(joinArrayItems);
            throw std::bad_alloc();
        }
        hr = E_FAIL;
    } catch (const std::exception&) {
        // The scanner's own failures (calls out of order, a packet of 2 GB
        // or more): the document cannot be read as it is.
        hr = E_FAIL;
    }
    // A document that could not be read to its end is not judged by the
    // part that was read: it is not loaded at all.
    if (FAILED(reader.ReadFailure())) {
        hr = reader.ReadFailure();
        loaded = false;
    }
    if (FAILED(hr)) meta.reset();
    return hr;
}

ValueResult XmpPacket::GetItemValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                    int32_t index, PropertyValue& value, const ValueMap* valueMap) {
    if (!meta) return ValueResult::End();
    if (IsWildcardPath(propPath)) return GetWildcardItem(schemaNS, propPath, type, index, value, valueMap);
    std::string text;
    std::string language;
    try {
        XMP_OptionBits options = 0;
        if (index > 1 && last.valid && last.propPath == propPath && last.schemaNS == schemaNS) {
            options = last.options;
        } else {
            last.valid = false;
            if (!meta->GetProperty(schemaNS.c_str(), propPath.c_str(), &text, &options)) return ValueResult::End();
            last.schemaNS.assign(schemaNS);
            last.propPath.assign(propPath);
            last.options = options;
            last.valid = true;
        }

        if (options & kXMP_PropCompositeMask) {
            // A struct has no value of its own.
            if (!(options & kXMP_PropValueIsArray)) return ValueResult::End();
            // An index past the last item finds no item.
            if (index < 1 || !meta->GetArrayItem(schemaNS.c_str(), propPath.c_str(), index, &text, nullptr)) {
                return ValueResult::End();
            }
            if (options & kXMP_PropArrayIsAltText) language = ItemLanguage(schemaNS, propPath, index);
        } else if (index != 1) {
            return ValueResult::End();
        } else if (options & kXMP_PropHasLang) {
            // An item named by its own path (an alternative that a wildcard
            // path reached) keeps its language too.
            if (!meta->GetQualifier(schemaNS.c_str(), propPath.c_str(), kXMP_NS_XML, "lang", &language, nullptr)) {
                language.clear();
            }
        }
    } catch (const XMP_Error& error) {
        // A path the toolkit refuses names no property of this document.
        ThrowIfOutOfMemory(error);
        return ValueResult::End();
    }

    // Every value read goes to the text list, even one whose typed
    // conversion fails below. Should memory run out after that, the item
    // is taken back, so that a host that asks again does not get its text twice.
    texts.push_back({Utf8ToWide(text), std::move(language)});
    try {
        if (valueMap) {
            const std::string* mapped = valueMap->Find(text);
            if (!mapped) return ValueResult::Skipped(index + 1);
            return ConvertItem(*mapped, type, index, value);
        }
        return ConvertItem(text, type, index, value);
    } catch (const std::bad_alloc&) {
        texts.pop_back();
        throw;
    }
}

// From here on a failure is this item's alone: the next one may convert.
ValueResult XmpPacket::ConvertItem(const std::string& text, VARTYPE type, int32_t index, PropertyValue& value) {
    const ValueResult next = ValueResult::Found(index + 1);
    const ValueResult skipped = ValueResult::Skipped(index + 1);
    switch (type) {
    case VT_INT: {
        int32_t number = 0;
        if (!StringUtils::TryConvertToInt(text, number)) return skipped;
        value.number = number;
        value.kind = PropertyValue::Integer;
        return next;
    }
    case VT_FILETIME: {
        XMP_DateTime dateTime{};
        try {
            SXMPUtils::ConvertToDate(NormalizeDateText(text), &dateTime);
            SXMPUtils::ConvertToUTCTime(&dateTime);
        } catch (const XMP_Error& error) {
            ThrowIfOutOfMemory(error);
            return skipped;
        }
        // A time without a date (year 0) or a date that FILETIME cannot
        // hold (before 1601) gives no value rather than a stale slot.
        FILETIME time{};
        if (dateTime.year == 0 || !DateTimeToFileTime(dateTime, time)) return skipped;
        value.time = time;
        value.kind = PropertyValue::Date;
        return next;
    }
    default:
        if (IsScalarType(type)) {
            PROPVARIANT scalar{};
            if (!ConvertScalar(text, type, scalar)) return skipped;
            value.scalar = scalar;
            value.kind = PropertyValue::Scalar;
            return next;
        }
        value.text = texts.back().text;
        value.kind = PropertyValue::Text;
        return next;
    }
}

ValueResult XmpPacket::GetWildcardItem(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                       int32_t index, PropertyValue& value, const ValueMap* valueMap) {
    if (!expansion.valid || expansion.propPath != propPath || expansion.schemaNS != schemaNS) {
        expansion.valid = false;
        expansion.leaves.clear();
        expansion.schemaNS.assign(schemaNS);
        expansion.propPath.assign(propPath);
        ExpandWildcardPath(*meta, schemaNS, propPath, expansion.leaves);
        expansion.valid = true;
    }
    if (index < 1 || static_cast<size_t>(index) > expansion.leaves.size()) return ValueResult::End();
    // Each leaf is one value; a leaf without one (a structure) ends nothing.
    const ValueResult leaf =
        GetItemValue(schemaNS, expansion.leaves[static_cast<size_t>(index) - 1], type, 1, value, valueMap);
    if (leaf.HasValue()) return ValueResult::Found(index + 1);
    return ValueResult::Skipped(index + 1);
}

void XmpPacket::AddDescriptiveText() {
    if (!meta) return;
    TextList added = CollectDescriptiveText(*meta, texts);
    texts.splice(texts.end(), added);
}

std::string XmpPacket::ItemLanguage(const std::string& schemaNS, const std::string& propPath, int32_t index) const {
    std::string language;
    try {
        std::string itemPath;
        SXMPUtils::ComposeArrayItemPath(schemaNS.c_str(), propPath.c_str(), index, &itemPath);
        if (!meta->GetQualifier(schemaNS.c_str(), itemPath.c_str(), kXMP_NS_XML, "lang", &language, nullptr)) {
            language.clear();
        }
    } catch (const XMP_Error& error) {
        ThrowIfOutOfMemory(error);
        language.clear();
    }
    return language;
}

ValueResult XmpPacket::GetValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                int32_t index, PropertyValue& value, const ValueMap* valueMap) {
    ValueResult result = GetItemValue(schemaNS, propPath, type, index, value, valueMap);
    if (!result.HasValue() || !joinArrayItems || type != VT_LPWSTR) return result;

    // Join mode: all remaining items as one value, each followed by a space.
    std::wstring joined;
    int32_t after = result.next;
    while (!result.IsEnd()) {
        after = result.next;
        if (result.HasValue()) {
            joined += value.text;
            joined += L' ';
        }
        result = GetItemValue(schemaNS, propPath, VT_LPWSTR, result.next, value);
    }
    value.text = std::move(joined);
    value.kind = PropertyValue::Text;
    return ValueResult::Found(after);
}

bool DateTimeToFileTime(const XMP_DateTime& dateTime, FILETIME& fileTime) {
    SYSTEMTIME systemTime{};
    systemTime.wYear = static_cast<WORD>(dateTime.year);
    systemTime.wMonth = static_cast<WORD>(dateTime.month);
    systemTime.wDayOfWeek = 0;
    systemTime.wDay = static_cast<WORD>(dateTime.day);
    systemTime.wHour = static_cast<WORD>(dateTime.hour);
    systemTime.wMinute = static_cast<WORD>(dateTime.minute);
    systemTime.wSecond = static_cast<WORD>(dateTime.second);
    systemTime.wMilliseconds = 0;
    return SystemTimeToFileTime(&systemTime, &fileTime) != FALSE;
}

namespace StringUtils {

bool TryConvertToInt(const std::string& text, int32_t& number) {
    // As a stream reads it, without the stream: nothing is allocated, so
    // memory running out cannot pass for text that is no number.
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    if (p < end && *p == '+') {
        ++p;
        if (p == end || *p < '0' || *p > '9') return false;
    }
    int32_t read = 0;
    const std::from_chars_result result = std::from_chars(p, end, read, 10);
    if (result.ec != std::errc()) return false;
    number = read;
    return true;
}

int32_t ConvertToInt(const std::string& text) {
    int32_t number = 0;
    if (!TryConvertToInt(text, number)) throw std::runtime_error("StringUtils::ConvertToInt(\"" + text + "\")");
    return number;
}

}  // namespace StringUtils

}  // namespace velmora
