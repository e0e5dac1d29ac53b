// Helpers shared by the configuration tests: a private registry with the
// log at its most detailed level, and one-line descriptions of definitions,
// schemas and property-spec entries for comparison with tables.
#pragma once

#include "config/CustomSchema.h"
#include "diag/Debugger.h"
#include "xmp/PropSpec.h"
#include "toolkit/XmpToolkit.h"

#include "ChunkRecorder.h"
#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

using Lines = std::vector<std::wstring>;

inline const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
inline const std::wstring kSchemasKey = kKey + L"\\CustomSchemas";
inline const std::wstring kLogPrefix = L"Corvantis Velmora:";
inline const std::string kCameraNs = "http://ns.example.com/camera/1.0/";
inline const std::wstring kCameraNsW = L"http://ns.example.com/camera/1.0/";
inline const std::wstring kCameraSet = L"{6B2F1C3E-2A41-4D7B-9E0C-5F8A1B2C3D4E}";
inline const std::wstring kOtherSet = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// A private HKEY_LOCAL_MACHINE whose product key turns the log on at level
// 3, and a capture of what the log writes from then on.
class LoggedRegistryTest : public testing::Test {
protected:
    void SetUp() override {
        RegistrySandbox::SetDword(kKey, L"DebugMode", 3);
        debugger.Initialize(kKey.c_str(), kProductDisplayName);
        capture.Clear();
    }
    // The lines written so far, each with the log's prefix taken off (and
    // flagged when a line lacks it).
    Lines Logged() const {
        Lines lines;
        for (const std::wstring& line : capture.Lines()) {
            if (line.compare(0, kLogPrefix.size(), kLogPrefix) == 0)
                lines.push_back(line.substr(kLogPrefix.size()));
            else
                lines.push_back(L"(no prefix) " + line);
        }
        return lines;
    }

    RegistrySandbox registry;
    LogCapture capture;
};

inline std::wstring TypeName(VARTYPE type) {
    switch (type) {
        case VT_LPWSTR: return L"string";
        case VT_INT: return L"integer";
        case VT_FILETIME: return L"date";
        default: return L"vt" + std::to_wstring(type);
    }
}

// "path|property|type", the path widened byte for byte; a value map follows
// as "|from>to from>to".
inline std::wstring Describe(const CustomPropertyDefinition& definition) {
    std::wstring line = std::wstring(definition.path.begin(), definition.path.end()) + L"|" + definition.property +
                        L"|" + TypeName(definition.valueType);
    if (definition.valueMap) {
        line += L"|";
        for (const ValueMap::Row& row : definition.valueMap->rows) {
            wchar_t from[32];
            swprintf(from, 32, L"%g", row.from);
            line += (line.back() == L'|' ? L"" : L" ") + std::wstring(from) + L">" +
                    std::wstring(row.to.begin(), row.to.end());
        }
    }
    return line;
}

inline Lines Describe(const CustomPropertyDefinitionList& definitions) {
    Lines lines;
    for (const CustomPropertyDefinition& definition : definitions) lines.push_back(Describe(definition));
    return lines;
}

// "name ns {set} n definitions"
inline std::wstring Describe(const CustomSchema& schema) {
    return schema.name + L" " + std::wstring(schema.namespaceUri.begin(), schema.namespaceUri.end()) + L" " +
           GuidString(schema.propertySet) + L" " + std::to_wstring(schema.definitions.size());
}

inline Lines Describe(const CustomSchemaList& schemas) {
    Lines lines;
    for (const CustomSchema& schema : schemas) lines.push_back(Describe(schema));
    return lines;
}

// "ns path {set}/name type" or "ns path {set}/#id type"
inline std::wstring Describe(const MetadataPropSpec& entry) {
    std::wstring line = std::wstring(entry.schemaNS.begin(), entry.schemaNS.end()) + L" " +
                        std::wstring(entry.propPath.begin(), entry.propPath.end()) + L" " +
                        GuidString(entry.propSpec.PropertySet()) + L"/";
    if (entry.propSpec.Kind() == PRSPEC_PROPID)
        line += L"#" + std::to_wstring(entry.propSpec.Id());
    else if (entry.propSpec.Name())
        line += entry.propSpec.Name();
    else
        line += L"(null name)";
    return line + L" " + TypeName(entry.type);
}

inline Lines Describe(const PropSpecList& list) {
    Lines lines;
    for (const MetadataPropSpec& entry : list) lines.push_back(Describe(entry));
    return lines;
}

inline GUID ParseGuid(const std::wstring& text) {
    GUID guid{};
    EXPECT_HR(S_OK, CLSIDFromString(text.c_str(), &guid)) << Narrow(text);
    return guid;
}

// A packet with the camera namespace: simple properties, a structure and an array.
inline const std::string kCameraPacket =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:cam=\"http://ns.example.com/camera/1.0/\">"
    "<cam:Model>Velmora X1</cam:Model>"
    "<cam:FrameCount>36</cam:FrameCount>"
    "<cam:ShotDate>2024-05-04T06:20:30+02:00</cam:ShotDate>"
    "<cam:Lens rdf:parseType=\"Resource\"><cam:Make>Ovo</cam:Make><cam:Focal>50</cam:Focal></cam:Lens>"
    "<cam:Keywords><rdf:Bag><rdf:li>alpha</rdf:li><rdf:li>beta</rdf:li></rdf:Bag></cam:Keywords>"
    "</rdf:Description></rdf:RDF></x:xmpmeta>";

inline std::unique_ptr<SXMPMeta> ParseXmp(const std::string& packet) {
    auto meta = std::make_unique<SXMPMeta>();
    meta->ParseFromBuffer(packet.data(), static_cast<XMP_StringLen>(packet.size()));
    return meta;
}

}  // namespace velmora::test
