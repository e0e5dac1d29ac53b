// The host-side chunk loop of velmora-host and its two output formats.
#include "ChunkPrinter.h"

#include "common/Win32.h"

#include <filterr.h>
#include <objbase.h>
#include <propidl.h>

#include <cwchar>

namespace velmora::host {

namespace {

constexpr size_t kMaxChunks = 1000000;
constexpr ULONG kTextBuffer = 4096;

std::wstring Number(long long value) { return std::to_wstring(value); }

const wchar_t* FlagsName(CHUNKSTATE flags) {
    switch (flags) {
    case CHUNK_TEXT:
        return L"text";
    case CHUNK_VALUE:
        return L"value";
    case CHUNK_FILTER_OWNED_VALUE:
        return L"filter-owned-value";
    default:
        return L"unknown";
    }
}

const wchar_t* BreakName(CHUNK_BREAKTYPE breakType) {
    static const wchar_t* const names[] = {L"none", L"word", L"sentence", L"paragraph", L"chapter"};
    const unsigned index = static_cast<unsigned>(breakType);
    return index < sizeof names / sizeof names[0] ? names[index] : L"unknown";
}

ChunkValue ValueOf(const PROPVARIANT& value) {
    switch (value.vt) {
    case VT_LPWSTR:
        return {L"VT_LPWSTR", value.pwszVal ? value.pwszVal : L"", false};
    case VT_BSTR:
        return {L"VT_BSTR", value.bstrVal ? value.bstrVal : L"", false};
    case VT_LPSTR:
        return {L"VT_LPSTR", value.pszVal ? Utf8ToWide(value.pszVal) : L"", false};
    case VT_FILETIME:
        return {L"VT_FILETIME", FormatFileTime(value.filetime), false};
    case VT_INT:
        return {L"VT_INT", Number(value.intVal), true};
    case VT_I4:
        return {L"VT_I4", Number(value.lVal), true};
    case VT_UI4:
        return {L"VT_UI4", Number(value.ulVal), true};
    case VT_I2:
        return {L"VT_I2", Number(value.iVal), true};
    case VT_BOOL:
        return {L"VT_BOOL", value.boolVal ? L"true" : L"false", false};
    default:
        return {L"VT_" + Number(value.vt), L"", false};
    }
}

// GetValue until the filter says there are no more; frees each PROPVARIANT.
void TakeValues(IFilter* filter, ChunkRecord& chunk) {
    for (size_t n = 0; n < kMaxChunks; ++n) {
        PROPVARIANT* value = nullptr;
        const HRESULT hr = filter->GetValue(&value);
        if (hr == FILTER_E_NO_MORE_VALUES || hr == FILTER_E_NO_VALUES) return;
        if (FAILED(hr) || !value) {
            chunk.contentResult = FAILED(hr) ? hr : E_POINTER;
            return;
        }
        chunk.values.push_back(ValueOf(*value));
        PropVariantClear(value);
        CoTaskMemFree(value);
    }
}

void TakeText(IFilter* filter, ChunkRecord& chunk) {
    WCHAR buffer[kTextBuffer];
    for (size_t n = 0; n < kMaxChunks; ++n) {
        ULONG size = kTextBuffer;
        const HRESULT hr = filter->GetText(&size, buffer);
        if (hr == FILTER_E_NO_MORE_TEXT || hr == FILTER_E_NO_TEXT) return;
        if (FAILED(hr)) {
            chunk.contentResult = hr;
            return;
        }
        chunk.text.append(buffer, size < kTextBuffer ? size : kTextBuffer);
        if (hr == FILTER_S_LAST_TEXT) return;
    }
}

std::wstring Attribute(const ChunkRecord& chunk) {
    return PropertySetName(chunk.set) + L"/" + (chunk.byName ? chunk.name : Number(chunk.propid));
}

std::wstring JsonString(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            if (c < 0x20) {
                wchar_t escape[8];
                swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

}  // namespace

std::wstring FormatText(const ChunkRecord& chunk) {
    wchar_t locale[16];
    swprintf(locale, 16, L"0x%04lx", static_cast<unsigned long>(chunk.locale));
    std::wstring line = L"chunk " + Number(chunk.id) + L" " + FlagsName(chunk.flags) + L" break=" +
                        BreakName(chunk.breakType) + L" locale=" + locale + L" " + Attribute(chunk);
    for (const ChunkValue& value : chunk.values) line += L" " + value.type + L"=" + value.text;
    if (chunk.flags == CHUNK_TEXT) line += L" text=" + chunk.text;
    if (FAILED(chunk.contentResult)) line += L" error=" + DescribeHresult(chunk.contentResult);
    return line;
}

std::wstring FormatJson(const ChunkRecord& chunk) {
    std::wstring line = L"{\"id\":" + Number(chunk.id) + L",\"flags\":\"" + FlagsName(chunk.flags) +
                        L"\",\"break\":\"" + BreakName(chunk.breakType) + L"\",\"locale\":" + Number(chunk.locale) +
                        L",\"set\":" + JsonString(PropertySetName(chunk.set)) + L",\"guid\":\"" +
                        GuidText(chunk.set) + L"\",";
    line += chunk.byName ? L"\"name\":" + JsonString(chunk.name) : L"\"propid\":" + Number(chunk.propid);
    if (chunk.flags == CHUNK_TEXT) {
        line += L",\"text\":" + JsonString(chunk.text);
    } else {
        line += L",\"values\":[";
        for (size_t i = 0; i < chunk.values.size(); ++i) {
            const ChunkValue& value = chunk.values[i];
            if (i) line += L",";
            line += L"{\"type\":\"" + value.type + L"\",\"value\":" +
                    (value.isNumber ? value.text : JsonString(value.text)) + L"}";
        }
        line += L"]";
    }
    if (FAILED(chunk.contentResult)) line += L",\"error\":" + JsonString(DescribeHresult(chunk.contentResult));
    return line + L"}";
}

void WriteUtf8(FILE* out, const std::wstring& text) {
    const std::string bytes = WideToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
}

bool DrainAndPrint(IFilter* filter, const std::vector<RequestedProperty>& properties, bool json, FILE* out,
                   HostError& error) {
    std::vector<FULLPROPSPEC> attributes(properties.size());
    for (size_t i = 0; i < properties.size(); ++i) {
        attributes[i].guidPropSet = properties[i].set;
        if (properties[i].byName) {
            attributes[i].psProperty.ulKind = PRSPEC_LPWSTR;
            attributes[i].psProperty.lpwstr = const_cast<LPWSTR>(properties[i].name.c_str());
        } else {
            attributes[i].psProperty.ulKind = PRSPEC_PROPID;
            attributes[i].psProperty.propid = properties[i].id;
        }
    }
    ULONG flags = 0;
    const ULONG initFlags = attributes.empty() ? IFILTER_INIT_APPLY_INDEX_ATTRIBUTES : 0;
    HRESULT hr = filter->Init(initFlags, static_cast<ULONG>(attributes.size()),
                              attributes.empty() ? nullptr : attributes.data(), &flags);
    if (FAILED(hr)) {
        error = HostError{5, L"IFilter::Init failed: " + DescribeHresult(hr)};
        return false;
    }

    size_t count = 0;
    for (; count < kMaxChunks; ++count) {
        STAT_CHUNK stat{};
        hr = filter->GetChunk(&stat);
        if (hr == FILTER_E_END_OF_CHUNKS) break;
        if (hr == FILTER_E_EMBEDDING_UNAVAILABLE || hr == FILTER_E_LINK_UNAVAILABLE) continue;
        if (FAILED(hr)) {
            error = HostError{5, L"IFilter::GetChunk failed after " + Number(count) + L" chunks: " + DescribeHresult(hr)};
            return false;
        }
        ChunkRecord chunk;
        chunk.id = stat.idChunk;
        chunk.flags = stat.flags;
        chunk.breakType = stat.breakType;
        chunk.locale = stat.locale;
        chunk.set = stat.attribute.guidPropSet;
        chunk.byName = stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR;
        if (chunk.byName) {
            CoTaskMemPtr<wchar_t> name(stat.attribute.psProperty.lpwstr);
            chunk.name = name ? name.get() : L"(null)";
        } else {
            chunk.propid = stat.attribute.psProperty.propid;
        }
        if (stat.flags & CHUNK_VALUE) {
            TakeValues(filter, chunk);
        } else {
            TakeText(filter, chunk);
        }
        WriteUtf8(out, (json ? FormatJson(chunk) : FormatText(chunk)) + L"\n");
    }
    if (count == kMaxChunks) {
        error = HostError{5, L"the filter did not stop after " + Number(count) + L" chunks"};
        return false;
    }
    if (json) {
        WriteUtf8(out, L"{\"end\":true,\"chunks\":" + Number(count) + L"}\n");
    } else {
        WriteUtf8(out, L"end of chunks: " + Number(count) + L" chunk" + (count == 1 ? L"" : L"s") + L"\n");
    }
    return true;
}

}  // namespace velmora::host
