// The host-side chunk loop of velmora-host and its two output formats.
#include "ChunkPrinter.h"

#include "ChunkDrain.h"

#include "common/Win32.h"

#include <filterr.h>
#include <objbase.h>
#include <propidl.h>

#include <nlohmann/json.hpp>

#include <cwchar>

namespace velmora::host {

namespace {

// Keys in the order they are set, as the JSON lines have always had them.
using Json = nlohmann::ordered_json;

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
        return {L"VT_INT", Number(value.intVal), true, value.intVal};
    case VT_I4:
        return {L"VT_I4", Number(value.lVal), true, value.lVal};
    case VT_UI4:
        return {L"VT_UI4", Number(value.ulVal), true, value.ulVal};
    case VT_I2:
        return {L"VT_I2", Number(value.iVal), true, value.iVal};
    case VT_UI2:
        return {L"VT_UI2", Number(value.uiVal), true, value.uiVal};
    case VT_UI8:
        return {L"VT_UI8", std::to_wstring(value.uhVal.QuadPart), false};
    case VT_R8: {
        wchar_t text[32];
        swprintf(text, 32, L"%.15g", value.dblVal);
        return {L"VT_R8", text, false, 0, true, value.dblVal};
    }
    case VT_BOOL:
        return {L"VT_BOOL", value.boolVal ? L"true" : L"false", false};
    default:
        return {L"VT_" + Number(value.vt), L"", false};
    }
}

std::wstring Attribute(const ChunkRecord& chunk) {
    return PropertySetName(chunk.set) + L"/" + (chunk.byName ? chunk.name : Number(chunk.propid));
}

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

// The JSON lines have always written every control character except \n, \r
// and \t as \u00XX; nlohmann's dump writes backspace and form feed as \b and
// \f. Backslashes occur only inside strings, each starting an escape.
std::string WithControlEscapes(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (size_t i = 0; i < json.size(); ++i) {
        if (json[i] != '\\' || i + 1 == json.size()) {
            out += json[i];
            continue;
        }
        const char escaped = json[++i];
        if (escaped == 'b') {
            out += "\\u0008";
        } else if (escaped == 'f') {
            out += "\\u000c";
        } else {
            out += '\\';
            out += escaped;
        }
    }
    return out;
}

// One line: UTF-8 as it is (no \u escapes for non-ASCII), invalid UTF-8
// replaced instead of thrown at.
std::string Dump(const Json& json) {
    return WithControlEscapes(json.dump(-1, ' ', false, Json::error_handler_t::replace));
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

std::string FormatJson(const ChunkRecord& chunk) {
    Json line;
    line["id"] = chunk.id;
    line["flags"] = Utf8(FlagsName(chunk.flags));
    line["break"] = Utf8(BreakName(chunk.breakType));
    line["locale"] = chunk.locale;
    line["set"] = Utf8(PropertySetName(chunk.set));
    line["guid"] = Utf8(GuidText(chunk.set));
    if (chunk.byName) {
        line["name"] = Utf8(chunk.name);
    } else {
        line["propid"] = chunk.propid;
    }
    if (chunk.flags == CHUNK_TEXT) {
        line["text"] = Utf8(chunk.text);
    } else {
        Json values = Json::array();
        for (const ChunkValue& value : chunk.values) {
            Json item;
            item["type"] = Utf8(value.type);
            if (value.isReal) {
                item["value"] = value.real;
            } else if (value.isNumber) {
                item["value"] = value.number;
            } else {
                item["value"] = Utf8(value.text);
            }
            values.push_back(std::move(item));
        }
        line["values"] = std::move(values);
    }
    if (FAILED(chunk.contentResult)) line["error"] = Utf8(DescribeHresult(chunk.contentResult));
    return Dump(line);
}

void WriteBytes(FILE* out, const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), out); }

void WriteUtf8(FILE* out, const std::wstring& text) { WriteBytes(out, WideToUtf8(text)); }

namespace {

// Turns what the drain hands over into one record per chunk and prints it
// as soon as the chunk's content is taken.
class ChunkPrinter : public hostkit::ChunkVisitor {
public:
    ChunkPrinter(bool json, FILE* out) : json(json), out(out) {}

    void Chunk(const STAT_CHUNK& stat) override {
        chunk = ChunkRecord{};
        chunk.id = stat.idChunk;
        chunk.flags = stat.flags;
        chunk.breakType = stat.breakType;
        chunk.locale = stat.locale;
        chunk.set = stat.attribute.guidPropSet;
        chunk.byName = stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR;
        if (chunk.byName) {
            chunk.name = stat.attribute.psProperty.lpwstr ? stat.attribute.psProperty.lpwstr : L"(null)";
        } else {
            chunk.propid = stat.attribute.psProperty.propid;
        }
    }
    void Value(HRESULT hr, const PROPVARIANT* value) override {
        if (hr == FILTER_E_NO_MORE_VALUES || hr == FILTER_E_NO_VALUES) return;
        if (FAILED(hr) || !value) {
            chunk.contentResult = FAILED(hr) ? hr : E_POINTER;
            return;
        }
        chunk.values.push_back(ValueOf(*value));
    }
    void Text(HRESULT hr, const WCHAR* text, ULONG size) override {
        if (hr == FILTER_E_NO_MORE_TEXT || hr == FILTER_E_NO_TEXT) return;
        if (FAILED(hr)) {
            chunk.contentResult = hr;
            return;
        }
        if (text) chunk.text.append(text, size);
    }
    void Finished() override {
        if (json) {
            WriteBytes(out, FormatJson(chunk) + "\n");
        } else {
            WriteUtf8(out, FormatText(chunk) + L"\n");
        }
    }

private:
    bool json;
    FILE* out;
    ChunkRecord chunk;
};

}  // namespace

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

    ChunkPrinter printer(json, out);
    hostkit::DrainOptions drain;
    drain.textBuffer = kTextBuffer;
    drain.maxChunks = kMaxChunks;
    drain.maxPieces = kMaxChunks;
    drain.skipUnavailable = true;
    const hostkit::DrainEnd outcome = hostkit::DrainChunks(filter, drain, printer);
    const size_t count = outcome.chunks;
    if (outcome.end != FILTER_E_END_OF_CHUNKS) {
        error = count == kMaxChunks
                    ? HostError{5, L"the filter did not stop after " + Number(count) + L" chunks"}
                    : HostError{5, L"IFilter::GetChunk failed after " + Number(count) + L" chunks: " +
                                       DescribeHresult(outcome.end)};
        return false;
    }
    if (json) {
        Json end;
        end["end"] = true;
        end["chunks"] = count;
        WriteBytes(out, Dump(end) + "\n");
    } else {
        WriteUtf8(out, L"end of chunks: " + Number(count) + L" chunk" + (count == 1 ? L"" : L"s") + L"\n");
    }
    return true;
}

}  // namespace velmora::host
