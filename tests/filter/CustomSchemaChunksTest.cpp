// What a host sees for documents that hold a custom namespace: the schema's
// properties under its declared property set, with properties from a
// definition file or discovered in the document, through a real filter object
// over a configuration built from a private registry.
#include "filter/Velmora.h"

#include "ChunkRecorder.h"
#include "ComPtr.h"
#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <filterr.h>

#include <memory>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
const std::wstring kSchemasKey = kKey + L"\\CustomSchemas";
const std::wstring kCameraNs = L"http://ns.example.com/camera/1.0/";
const std::wstring kCameraSet = L"{6B2F1C3E-2A41-4D7B-9E0C-5F8A1B2C3D4E}";
const std::wstring kOtherSet = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// A camera document: simple properties, a structure, an array, and one
// Dublin Core title so that standard and custom chunks come together.
const std::string kCameraProperties =
    "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour</rdf:li></rdf:Alt></dc:title>\n"
    "<cam:Model>Velmora X1</cam:Model>\n"
    "<cam:FrameCount>36</cam:FrameCount>\n"
    "<cam:ShotDate>2024-05-04T06:20:30+02:00</cam:ShotDate>\n"
    "<cam:Lens rdf:parseType='Resource'><cam:Make>Ovo</cam:Make><cam:Focal>50</cam:Focal></cam:Lens>\n"
    "<cam:Keywords><rdf:Bag><rdf:li>alpha</rdf:li><rdf:li>beta</rdf:li></rdf:Bag></cam:Keywords>\n";

std::string Packet(const std::string& properties) {
    return "JUNK\x01\x02\x03"
           "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'"
           " xmlns:cam='http://ns.example.com/camera/1.0/'>\n" +
           properties +
           "</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n"
           "<?xpacket end='w'?>\x04\x05";
}

const std::string kDefinitionFile =
    "camera properties, one per line: path;property;type\n"
    "cam:Model;Model\r\n"
    "cam:FrameCount ; 5 ; VT_INT\r\n"
    "cam:ShotDate;ShotDate;VT_FILETIME\n"
    "cam:Lens/cam:Make;LensMake\n"
    "cam:Keywords;Keywords\n"
    "cam:Missing;Missing;VT_INT\n";

class CustomSchemaChunksTest : public testing::Test {
protected:
    void SetUp() override {
        RegistrySandbox::SetDword(kKey, L"DebugMode", 1);
        debugger.Initialize(kKey.c_str(), kProductDisplayName);
        // Only Dublin Core stays on, to keep the standard part of the list short.
        RegistrySandbox::SetDword(kKey + L"\\DefaultSchemas", L"PHOTOSHOP", 0);
        RegistrySandbox::SetDword(kKey + L"\\DefaultSchemas", L"XAP", 0);
    }
    void TearDown() override { EXPECT_EQ(0, ModuleCount); }

    static void Declare(const std::wstring& name, const std::wstring& set, const std::wstring* fileName) {
        RegistrySandbox::SetString(kSchemasKey + L"\\" + name, L"GUID", set);
        RegistrySandbox::SetString(kSchemasKey + L"\\" + name, L"NameSpace", kCameraNs);
        if (fileName) RegistrySandbox::SetString(kSchemasKey + L"\\" + name, L"FileName", *fileName);
    }
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = temp.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    // Builds the configuration from the registry as it is now, loads the
    // document into a new filter object and drains it the way a host does.
    Lines Chunks(const std::string& properties, ULONG attributeCount = 0, const FULLPROPSPEC* attributes = nullptr) {
        if (!configuration) configuration = std::make_unique<VelmoraConfiguration>(kKey);
        const std::wstring document = WriteFile(L"document" + std::to_wstring(++documents) + L".jpg", Packet(properties));
        ComPtr<CVelmora> filter(new CVelmora(*configuration));
        const HRESULT load = filter->Load(document.c_str(), STGM_READ);
        if (FAILED(load)) return {L"Load failed"};
        ULONG flags = 0;
        const ULONG grfFlags = attributeCount ? 0 : IFILTER_INIT_APPLY_INDEX_ATTRIBUTES;
        if (FAILED(filter->Init(grfFlags, attributeCount, attributes, &flags))) return {L"Init failed"};
        const Drain drain = DrainFilter(filter.Get());
        EXPECT_HR(FILTER_E_END_OF_CHUNKS, drain.end);
        return Describe(drain);
    }

    RegistrySandbox registry;
    TempDirectory temp;
    std::unique_ptr<VelmoraConfiguration> configuration;
    int documents = 0;
};

TEST_F(CustomSchemaChunksTest, PropertiesFromADefinitionFile) {
    const std::wstring file = WriteFile(L"camera.txt", kDefinitionFile);
    Declare(L"Camera", kCameraSet, &file);
    const Lines expected = {
        L"1 V SummaryInformation/2 LPWSTR=Harbour",
        L"2 V DublinCore/title LPWSTR=Harbour",
        L"3 V " + kCameraSet + L"/Model LPWSTR=Velmora X1",
        L"4 V " + kCameraSet + L"/5 INT=36",
        L"5 V " + kCameraSet + L"/ShotDate FILETIME=2024-05-04T04:20:30Z",
        L"6 V " + kCameraSet + L"/LensMake LPWSTR=Ovo",
        L"7 V " + kCameraSet + L"/Keywords LPWSTR=alpha",
        L"8 V " + kCameraSet + L"/Keywords LPWSTR=beta",
        L"9 T Harbour",
        L"10 T Harbour",
        L"11 T Velmora X1",
        L"12 T 36",
        L"13 T 2024-05-04T06:20:30+02:00",
        L"14 T Ovo",
        L"15 T alpha",
        L"16 T beta",
    };
    EXPECT_EQ(expected, Chunks(kCameraProperties));
}

TEST_F(CustomSchemaChunksTest, PropertiesDiscoveredInTheDocument) {
    Declare(L"Camera", kCameraSet, nullptr);
    // Discovered leaf names: the structure, its fields and the array items
    // have no value of their own at those paths; every property is a string.
    const Lines expected = {
        L"1 V SummaryInformation/2 LPWSTR=Harbour",
        L"2 V DublinCore/title LPWSTR=Harbour",
        L"3 V " + kCameraSet + L"/Model LPWSTR=Velmora X1",
        L"4 V " + kCameraSet + L"/FrameCount LPWSTR=36",
        L"5 V " + kCameraSet + L"/ShotDate LPWSTR=2024-05-04T06:20:30+02:00",
        L"6 V " + kCameraSet + L"/Keywords LPWSTR=alpha",
        L"7 V " + kCameraSet + L"/Keywords LPWSTR=beta",
        L"8 T Harbour",
        L"9 T Harbour",
        L"10 T Velmora X1",
        L"11 T 36",
        L"12 T 2024-05-04T06:20:30+02:00",
        L"13 T alpha",
        L"14 T beta",
    };
    EXPECT_EQ(expected, Chunks(kCameraProperties));

    // Discovery runs for each document: another document, other properties.
    const Lines second = {
        L"1 V " + kCameraSet + L"/Serial LPWSTR=A-17",
        L"2 T A-17",
    };
    EXPECT_EQ(second, Chunks("<cam:Serial>A-17</cam:Serial>\n"));
    EXPECT_TRUE(configuration->customSchemas.front().definitions.empty());
}

TEST_F(CustomSchemaChunksTest, TwoSchemasOverOneNamespaceEmitUnderBothSets) {
    const std::wstring file = WriteFile(L"camera.txt", "cam:Model;Model\n");
    Declare(L"A-FromFile", kCameraSet, &file);
    Declare(L"B-Discovered", kOtherSet, nullptr);
    const Lines expected = {
        L"1 V " + kCameraSet + L"/Model LPWSTR=Velmora X1",
        L"2 V " + kOtherSet + L"/Model LPWSTR=Velmora X1",
        L"3 V " + kOtherSet + L"/FrameCount LPWSTR=36",
        L"4 T Velmora X1",
        L"5 T Velmora X1",
        L"6 T 36",
    };
    EXPECT_EQ(expected, Chunks("<cam:Model>Velmora X1</cam:Model>\n<cam:FrameCount>36</cam:FrameCount>\n"));
}

TEST_F(CustomSchemaChunksTest, DiscoveredAndDefinedSchemasKeepTheRegistryOrderForEveryDocument) {
    // The defined schema's entries are built once for the configuration, the
    // discovered one's for each document; the list keeps the schemas' order.
    const std::wstring file = WriteFile(L"camera.txt", "cam:Model;Model\n");
    Declare(L"A-Discovered", kOtherSet, nullptr);
    Declare(L"B-FromFile", kCameraSet, &file);
    const Lines first = {
        L"1 V " + kOtherSet + L"/Model LPWSTR=Velmora X1",
        L"2 V " + kOtherSet + L"/FrameCount LPWSTR=36",
        L"3 V " + kCameraSet + L"/Model LPWSTR=Velmora X1",
        L"4 T Velmora X1",
        L"5 T 36",
        L"6 T Velmora X1",
    };
    EXPECT_EQ(first, Chunks("<cam:Model>Velmora X1</cam:Model>\n<cam:FrameCount>36</cam:FrameCount>\n"));
    const Lines second = {
        L"1 V " + kOtherSet + L"/FrameCount LPWSTR=7",
        L"2 T 7",
    };
    EXPECT_EQ(second, Chunks("<cam:FrameCount>7</cam:FrameCount>\n"));
}

TEST_F(CustomSchemaChunksTest, DocumentWithoutTheNamespaceGivesOnlyStandardChunks) {
    const std::wstring file = WriteFile(L"camera.txt", kDefinitionFile);
    Declare(L"Camera", kCameraSet, &file);
    Declare(L"Discovered", kOtherSet, nullptr);
    const Lines expected = {
        L"1 V SummaryInformation/2 LPWSTR=Harbour",
        L"2 V DublinCore/title LPWSTR=Harbour",
        L"3 T Harbour",
        L"4 T Harbour",
    };
    EXPECT_EQ(expected,
              Chunks("<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour</rdf:li></rdf:Alt></dc:title>\n"));
}

TEST_F(CustomSchemaChunksTest, DuplicateDefinitionsEachEmitTheValue) {
    const std::wstring file = WriteFile(L"camera.txt", "cam:Model;Model\ncam:Model;7\n");
    Declare(L"Camera", kCameraSet, &file);
    const Lines expected = {
        L"1 V " + kCameraSet + L"/Model LPWSTR=Velmora X1",
        L"2 V " + kCameraSet + L"/7 LPWSTR=Velmora X1",
        L"3 T Velmora X1",
        L"4 T Velmora X1",
    };
    EXPECT_EQ(expected, Chunks("<cam:Model>Velmora X1</cam:Model>\n"));
}

TEST_F(CustomSchemaChunksTest, JoinedItemsInMultipleInstancesMode) {
    RegistrySandbox::SetDword(kKey, L"MultipleInstancesMode", 1);
    Declare(L"Camera", kCameraSet, nullptr);
    const Lines expected = {
        L"1 V " + kCameraSet + L"/Model LPWSTR=Velmora X1 ",
        L"2 V " + kCameraSet + L"/Keywords LPWSTR=alpha beta ",
        L"3 T Velmora X1",  // the text chunks keep every item on its own
        L"4 T alpha",
        L"5 T beta",
    };
    EXPECT_EQ(expected, Chunks("<cam:Model>Velmora X1</cam:Model>\n"
                               "<cam:Keywords><rdf:Bag><rdf:li>alpha</rdf:li><rdf:li>beta</rdf:li></rdf:Bag></cam:Keywords>\n"));
}

TEST_F(CustomSchemaChunksTest, HostAsksForOneCustomPropertyByName) {
    const std::wstring file = WriteFile(L"camera.txt", kDefinitionFile);
    Declare(L"Camera", kCameraSet, &file);
    FULLPROPSPEC attributes[2] = {};
    CLSIDFromString(kCameraSet.c_str(), &attributes[0].guidPropSet);
    attributes[0].psProperty.ulKind = PRSPEC_LPWSTR;
    wchar_t name[] = L"MODEL";  // names compare without regard to case
    attributes[0].psProperty.lpwstr = name;
    attributes[1].guidPropSet = attributes[0].guidPropSet;
    attributes[1].psProperty.ulKind = PRSPEC_PROPID;
    attributes[1].psProperty.propid = 5;
    const Lines expected = {
        L"1 V " + kCameraSet + L"/Model LPWSTR=Velmora X1",
        L"2 V " + kCameraSet + L"/5 INT=36",
        L"3 T Velmora X1",
        L"4 T 36",
    };
    EXPECT_EQ(expected, Chunks(kCameraProperties, 2, attributes));
}

}  // namespace
