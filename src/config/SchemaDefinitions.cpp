// Custom schema definition files (one property per line: path;property;type),
// discovery of the properties a document holds in a schema's namespace, and
// the conversion of a schema's definitions into property-spec entries.
// Definition files are ASCII text read through a text-mode stream: each byte
// is one character and a line is taken 4095 characters at a time.
#include "config/SchemaDefinitions.h"

#include "common/Win32.h"
#include "diag/Debugger.h"

#include <share.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <regex>
#include <set>

namespace velmora {

namespace {

constexpr wchar_t kTrimmedCharacters[] = L" \n\t";
constexpr size_t kLineBufferLength = 4096;
// The regular expressions below run on the stack, one level per character
// they consume, so they are never given text longer than this.
constexpr size_t kMaxPropertyPathLength = 255;

struct FileCloser {
    void operator()(FILE* file) const noexcept { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

std::wstring Trim(const std::wstring& text) {
    const size_t first = text.find_first_not_of(kTrimmedCharacters);
    if (first == std::wstring::npos) return std::wstring();
    const size_t last = text.find_last_not_of(kTrimmedCharacters);
    return text.substr(first, last - first + 1);
}

// The type names a definition may give in its third field, compared exactly.
struct TypeName {
    const wchar_t* name;
    VARTYPE type;
};
constexpr TypeName kTypeNames[] = {
    {L"VT_FILETIME", VT_FILETIME},
    {L"VT_INT", VT_INT},
    {L"VT_UI2", VT_UI2},
    {L"VT_UI4", VT_UI4},
    {L"VT_I4", VT_I4},
    {L"VT_UI8", VT_UI8},
    {L"VT_R8", VT_R8},
    {L"VT_BOOL", VT_BOOL},
};

// VT_LPWSTR for a name that is none of the table's.
VARTYPE TypeOfName(const std::wstring& name) {
    for (const TypeName& row : kTypeNames) {
        if (name == row.name) return row.type;
    }
    return VT_LPWSTR;
}

CustomPropertyDefinition ParseDefinition(const std::wstring& pathField, const std::wstring& rest) {
    CustomPropertyDefinition definition;
    definition.path = WideToAnsi(pathField);
    definition.property = rest;
    definition.valueType = VT_LPWSTR;

    std::wstring property;
    std::wstring typeField;
    if (SplitAndTrim(rest, property, typeField, L";") == std::wstring::npos) return definition;
    definition.property = property;

    // A fourth field is a value map for a scalar type: "VT_UI4;1=1, 2=25".
    // Anything else after a further ";" leaves the type unrecognised, so the
    // value is text, as it always was.
    std::wstring typeName;
    std::wstring mapField;
    if (SplitAndTrim(typeField, typeName, mapField, L";") == std::wstring::npos) {
        definition.valueType = TypeOfName(typeField);
        return definition;
    }
    if (mapField.empty()) return definition;
    auto valueMap = std::make_shared<ValueMap>();
    const VARTYPE type = TypeOfName(typeName);
    if (!ParseValueMap(WideToUtf8(mapField), type, *valueMap)) {
        debugger.LogFormat(1, L"ERROR: value map of %s cannot be read, its values are delivered as text",
                           pathField.c_str());
        return definition;
    }
    definition.valueType = type;
    definition.valueMap = std::move(valueMap);
    return definition;
}

// Removes every match of pattern, searching afresh after each removal.
void RemoveAll(std::wstring& text, const std::wregex& pattern) {
    std::wsmatch match;
    while (std::regex_search(text, match, pattern)) {
        text.erase(static_cast<size_t>(match.position(0)), static_cast<size_t>(match.length(0)));
    }
}

}  // namespace

size_t SplitAndTrim(const std::wstring& text, std::wstring& head, std::wstring& tail, const std::wstring& separator) {
    const size_t position = text.find(separator);
    if (position == std::wstring::npos) {
        head = text;
        tail.clear();
        return std::wstring::npos;
    }
    head = Trim(text.substr(0, position));
    tail = Trim(text.substr(position + separator.size()));
    return position;
}

size_t ReadSchemaDefinitionFile(const wchar_t* fileName, CustomPropertyDefinitionList& definitions) {
    if (!fileName || !*fileName) return 0;

    UniqueFile file(_wfsopen(fileName, L"rt", _SH_DENYNO));
    if (!file) {
        debugger.LogFormat(1, L"ERROR: file %s cannot be opened", fileName);
        return 0;
    }

    wchar_t line[kLineBufferLength];
    while (fgetws(line, static_cast<int>(kLineBufferLength), file.get())) {
        // The text ends at its first null, whatever fgetws stored after it.
        const std::wstring text(line, wcsnlen(line, kLineBufferLength));
        std::wstring pathField;
        std::wstring rest;
        if (SplitAndTrim(text, pathField, rest, L";") == std::wstring::npos) continue;
        definitions.push_back(ParseDefinition(pathField, rest));
    }
    return definitions.size();
}

std::wstring MakePropertyName(const std::wstring& path) {
    if (path.size() > kMaxPropertyPathLength) return std::wstring();
    // An array item step and everything up to the last closing bracket after it.
    static const std::wregex itemSteps(L"/\\*\\[.*\\]", std::regex::ECMAScript | std::regex::icase);
    // A namespace prefix with its colon.
    static const std::wregex prefixes(L"[_A-Za-z][-._A-Za-z0-9]*:", std::regex::ECMAScript | std::regex::icase);

    std::wstring name = path;
    RemoveAll(name, itemSteps);
    RemoveAll(name, prefixes);
    for (wchar_t& c : name) {
        if (c == L'/' || c == L':') c = L'_';
    }
    return name;
}

size_t DiscoverSchemaProperties(const SXMPMeta* meta, const std::string& namespaceUri,
                                CustomPropertyDefinitionList& definitions) {
    if (!meta) return 0;
    try {
        constexpr XMP_OptionBits kLeafNamesWithoutQualifiers = kXMP_IterJustLeafName | kXMP_IterOmitQualifiers;
        static_assert(kLeafNamesWithoutQualifiers == 0x1400, "leaf names, qualifiers omitted");
        SXMPIterator iterator(*meta, namespaceUri.c_str(), kLeafNamesWithoutQualifiers);
        std::string path;
        while (iterator.Next(nullptr, &path, nullptr, nullptr)) {
            if (path.empty()) continue;  // the schema node itself
            // A name of this length is no property a host could ask for,
            // and it would be unsafe to derive a property name from it.
            const std::wstring widePath = Utf8ToWide(path);
            if (widePath.size() > kMaxPropertyPathLength) continue;
            CustomPropertyDefinition definition;
            definition.path = path;
            definition.property = MakePropertyName(widePath);
            definition.valueType = VT_LPWSTR;
            definitions.push_back(std::move(definition));
        }
    } catch (const XMP_Error& error) {
        // An unknown namespace, or any other toolkit failure but memory
        // running out: keep what was found.
        ThrowIfOutOfMemory(error);
    }
    return definitions.size();
}

void AppendCustomPropSpecs(const CustomSchema& schema, PropSpecList& list) {
    for (const CustomPropertyDefinition& definition : schema.definitions) {
        FullPropSpec propSpec;
        propSpec.SetPropertySet(schema.propertySet);
        const long number = wcstol(definition.property.c_str(), nullptr, 10);
        if (number != 0) {
            propSpec.SetPropertyId(static_cast<PROPID>(number));
        } else if (!propSpec.SetPropertyName(definition.property.c_str())) {
            throw std::bad_alloc();  // a named entry without a name would reach the host
        }
        list.emplace_back(schema.namespaceUri, definition.path, propSpec, definition.valueType, definition.valueMap);
    }
}

std::string LeadingPrefix(const std::string& path) {
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    const auto isNameCharacter = [&](char c) {
        return isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    };
    if (path.empty() || !isLetter(path[0])) return std::string();
    size_t end = 1;
    while (end < path.size() && isNameCharacter(path[end])) ++end;
    if (end == path.size() || path[end] != ':') return std::string();
    return path.substr(0, end);
}

size_t RegisterDefinitionPrefixes(const CustomSchemaList& schemas) {
    size_t matching = 0;
    for (const CustomSchema& schema : schemas) {
        if (schema.namespaceUri.empty()) continue;
        std::set<std::string> prefixes;
        for (const CustomPropertyDefinition& definition : schema.definitions) {
            const std::string prefix = LeadingPrefix(definition.path);
            if (!prefix.empty()) prefixes.insert(prefix);
        }
        for (const std::string& prefix : prefixes) {
            bool registered = false;
            try {
                std::string actual;
                registered = SXMPMeta::RegisterNamespace(schema.namespaceUri.c_str(), prefix.c_str(), &actual);
            } catch (const XMP_Error& error) {
                ThrowIfOutOfMemory(error);
                registered = false;
            }
            if (registered) {
                ++matching;
            } else {
                debugger.LogFormat(1, L"ERROR: namespace of custom schema %s has another prefix than its definition file uses",
                                   schema.name.c_str());
            }
        }
    }
    return matching;
}

int32_t AppendCustomSchemaPropSpecs(const CustomSchemaList& schemas, const SXMPMeta* meta, PropSpecList& list) {
    int32_t count = 0;
    for (const CustomSchema& schema : schemas) {
        CustomSchema copy = schema;
        if (copy.definitions.empty()) DiscoverSchemaProperties(meta, copy.namespaceUri, copy.definitions);
        if (copy.definitions.empty()) continue;
        AppendCustomPropSpecs(copy, list);
        ++count;
    }
    return count;
}

}  // namespace velmora
