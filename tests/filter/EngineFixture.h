// Shared setup of the engine tests: a sandboxed registry with the log on at
// level 3, a configuration built from it, filter objects over that
// configuration, and hand-made XMP documents written into a scratch directory.
#pragma once

#include "filter/Velmora.h"

#include "ChunkRecorder.h"
#include "ComPtr.h"
#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <filterr.h>
#include <ntquery.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

using Lines = std::vector<std::wstring>;

inline const std::wstring kEngineKey = L"SOFTWARE\\Corvantis\\Velmora";
inline const std::wstring kLogPrefix = L"Corvantis Velmora:";

inline Lines Logged(std::initializer_list<std::wstring> texts) {
    Lines lines;
    for (const std::wstring& text : texts) lines.push_back(kLogPrefix + text);
    return lines;
}

// A host attribute (FULLPROPSPEC) that keeps its name alive.
struct Attribute {
    Attribute(const GUID& set, PROPID id) : spec{} {
        spec.guidPropSet = set;
        spec.psProperty.ulKind = PRSPEC_PROPID;
        spec.psProperty.propid = id;
    }
    Attribute(const GUID& set, const wchar_t* name) : name(name), spec{} {
        spec.guidPropSet = set;
        spec.psProperty.ulKind = PRSPEC_LPWSTR;
    }
    const FULLPROPSPEC& Get() {
        if (spec.psProperty.ulKind == PRSPEC_LPWSTR) spec.psProperty.lpwstr = name.data();
        return spec;
    }
    std::wstring name;
    FULLPROPSPEC spec;
};

inline std::vector<FULLPROPSPEC> Specs(std::vector<Attribute>& attributes) {
    std::vector<FULLPROPSPEC> specs;
    for (Attribute& a : attributes) specs.push_back(a.Get());
    return specs;
}

// One XMP packet holding the given rdf:Description contents (namespaces dc,
// xmp and photoshop declared), between binary filler.
inline std::string XmpDocument(const std::string& properties) {
    std::string filler(200, '\0');
    for (size_t i = 0; i < filler.size(); ++i) filler[i] = static_cast<char>((i * 37 + 5) % 256);
    return filler +
           "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'"
           " xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'>\n" +
           properties +
           "\n</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n"
           "                                                                \n"
           "<?xpacket end='w'?>" +
           filler;
}

class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        RegistrySandbox::SetDword(kEngineKey, L"DebugMode", 3);
        debugger.Initialize(kEngineKey.c_str(), kProductDisplayName);
        configuration = std::make_unique<VelmoraConfiguration>(kEngineKey);
    }
    void TearDown() override {
        // Objects over the configuration must be gone before it is.
        EXPECT_EQ(0, ModuleCount);
    }

    // A new filter object; the caller holds its one reference.
    ComPtr<IFilter> NewFilter() { return ComPtr<IFilter>(static_cast<IFilter*>(new CVelmora(*configuration))); }

    static HRESULT LoadFile(IFilter* filter, const std::wstring& path) {
        ComPtr<IPersistFile> file;
        const HRESULT hr = filter->QueryInterface(IID_IPersistFile, file.PutVoid());
        if (FAILED(hr)) return hr;
        return file->Load(path.c_str(), STGM_READ);
    }

    // Writes a hand-made document into the scratch directory.
    std::wstring Document(const std::wstring& name, const std::string& properties) {
        const std::wstring path = scratch.File(name);
        WriteBytes(path, XmpDocument(properties));
        return path;
    }

    // Loads path into a new filter object, asserting success.
    ComPtr<IFilter> Loaded(const std::wstring& path) {
        ComPtr<IFilter> filter = NewFilter();
        EXPECT_HR(S_OK, LoadFile(filter.Get(), path));
        return filter;
    }

    RegistrySandbox registry;
    std::unique_ptr<VelmoraConfiguration> configuration;
    TempDirectory scratch;
};

// Every chunk: its own source, sentence break, ids 1, 2, 3, ...; every value
// chunk the system locale (a text chunk's locale shows in Describe).
inline void ExpectWellFormed(const Drain& drain) {
    const LCID locale = GetSystemDefaultLCID();
    ULONG id = 1;
    for (const Chunk& chunk : drain.chunks) {
        SCOPED_TRACE(Narrow(Describe(chunk)));
        EXPECT_EQ(id, chunk.stat.idChunk);
        EXPECT_EQ(CHUNK_EOS, chunk.stat.breakType);
        if (chunk.stat.flags == CHUNK_VALUE) {
            EXPECT_EQ(locale, chunk.stat.locale);
        }
        EXPECT_EQ(chunk.stat.idChunk, chunk.stat.idChunkSource);
        EXPECT_EQ(0u, chunk.stat.cwcStartSource);
        EXPECT_EQ(0u, chunk.stat.cwcLenSource);
        EXPECT_TRUE(chunk.stat.flags == CHUNK_VALUE || chunk.stat.flags == CHUNK_TEXT);
        if (chunk.stat.flags == CHUNK_TEXT) {
            const GUID storage = PSGUID_STORAGE;
            EXPECT_TRUE(IsEqualGUID(storage, chunk.stat.attribute.guidPropSet));
            EXPECT_EQ(static_cast<ULONG>(PRSPEC_PROPID), chunk.stat.attribute.psProperty.ulKind);
            EXPECT_EQ(static_cast<PROPID>(PID_STG_CONTENTS), chunk.stat.attribute.psProperty.propid);
        }
        ++id;
    }
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, drain.end);
    EXPECT_EQ(id, drain.endStat.idChunk);
    EXPECT_EQ(CHUNK_EOS, drain.endStat.breakType);
    EXPECT_EQ(locale, drain.endStat.locale);
    EXPECT_EQ(id, drain.endStat.idChunkSource);
}

}  // namespace velmora::test
