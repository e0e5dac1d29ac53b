// The fixture of the robustness tests: a private registry with "TempPath"
// pointing at a scratch directory, the malloc spy, and a freshly loaded
// Velmora.dll whose configuration and log come from that registry. At the
// end it checks that the DLL can unload, that no task allocation is
// outstanding and that no temporary file is left.
#pragma once

#include "FuzzLoop.h"
#include "HostHarness.h"

#include "LogCapture.h"
#include "MallocSpy.h"
#include "RegistrySandbox.h"
#include "TestStream.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::fuzz::test {

using velmora::test::LogCapture;
using velmora::test::RegistrySandbox;
using velmora::test::TempDirectory;

inline const wchar_t* const kKey = L"SOFTWARE\\Corvantis\\Velmora";

// COM for the thread that runs the test (the malloc spy needs it).
struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

class DllTest : public ::testing::Test {
protected:
    // Loads the DLL after the registry is set up (DebugMode 3 unless told otherwise).
    // With warmUp, one object is made and released first, so that the
    // configuration exists before the test counts allocations.
    void LoadDll(bool setTempPath = true, DWORD debugMode = 3, bool warmUp = true) {
        if (debugMode != 0xFFFFFFFF) RegistrySandbox::SetDword(kKey, L"DebugMode", debugMode);
        if (setTempPath) RegistrySandbox::SetString(kKey, L"TempPath", filterTemp.Path());
        log = std::make_unique<LogCapture>();
        outstandingBeforeLoad = spy.Outstanding();
        dll = std::make_unique<VelmoraDll>();
        ASSERT_TRUE(dll->IsLoaded()) << "Velmora.dll did not load, error " << dll->LoadError();
        if (warmUp) {
            // The first object builds the configuration, which lives as long as the DLL.
            IFilter* filter = nullptr;
            ASSERT_HR(S_OK, dll->CreateFilter(IID_IFilter, reinterpret_cast<void**>(&filter)));
            filter->Release();
        }
        outstandingAtStart = spy.Outstanding();
        log->Clear();
    }

    void TearDown() override {
        if (!dll) return;
        EXPECT_HR(S_OK, dll->CanUnloadNow());
        EXPECT_EQ(outstandingAtStart, spy.Outstanding()) << "task allocations outstanding";
        EXPECT_TRUE(FilesIn(filterTemp.Path()).empty()) << "a temporary file was left behind";
        dll.reset();
        // Unloading frees everything the DLL held for its life.
        EXPECT_EQ(outstandingBeforeLoad, spy.Outstanding()) << "task allocations outstanding after unloading";
        log.reset();
    }

    IFilter* NewFilter() {
        IFilter* filter = nullptr;
        EXPECT_HR(S_OK, dll->CreateFilter(IID_IFilter, reinterpret_cast<void**>(&filter)));
        return filter;
    }

    static HRESULT LoadFile(IFilter* filter, const std::wstring& path) {
        IPersistFile* persist = nullptr;
        HRESULT hr = filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
        if (FAILED(hr)) return hr;
        hr = persist->Load(path.c_str(), STGM_READ);
        persist->Release();
        return hr;
    }

    static HRESULT LoadStream(IFilter* filter, IStream* stream) {
        IPersistStream* persist = nullptr;
        HRESULT hr = filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
        if (FAILED(hr)) return hr;
        hr = persist->Load(stream);
        persist->Release();
        return hr;
    }

    // How many reads a load through a seekable stream makes; -1 when it fails.
    int ReadsOfSeekableLoad(const std::string& bytes) {
        IFilter* filter = NewFilter();
        velmora::test::TestStream* stream = velmora::test::TestStream::FromBytes(bytes);
        stream->seekable = true;
        const HRESULT hr = LoadStream(filter, stream);
        const int reads = static_cast<int>(stream->reads.size());
        stream->Release();
        filter->Release();
        return hr == S_OK ? reads : -1;
    }

    // Loads bytes from a stream that can seek and whose read number k fails
    // with `failure`; the filter must have let go of the stream by then.
    static HRESULT LoadFailingAtRead(IFilter* filter, const std::string& bytes, int k, HRESULT failure) {
        velmora::test::TestStream* stream = velmora::test::TestStream::FromBytes(bytes);
        stream->seekable = true;
        stream->failAtRead = k;
        stream->failResult = failure;
        const HRESULT hr = LoadStream(filter, stream);
        EXPECT_EQ(1, stream->References());
        stream->Release();
        return hr;
    }

    // Loads `bytes` (named `name` in the trace) through a seekable stream
    // whose read number k fails, for every read of a whole load, once with a
    // read fault and once with an early end. A whole load first gives at
    // least `minimumValues` value chunks in at least `minimumReads` reads.
    // A fault fails the load with the read's own code; an early end leaves a
    // document cut short (S_OK, E_FAIL or the end's code), which drains to
    // its end, as with every handler: a document shorter than it claimed is
    // not judged by the part that was read. No file is left behind.
    void ExpectEveryReadToFailOrEnd(const std::wstring& name, const std::string& bytes, int minimumReads,
                                    size_t minimumValues) {
        int reads = 0;
        {
            IFilter* filter = NewFilter();
            velmora::test::TestStream* stream = velmora::test::TestStream::FromBytes(bytes);
            stream->seekable = true;
            ASSERT_HR(S_OK, LoadStream(filter, stream));
            HRESULT init = S_OK;
            EXPECT_GE(InitAndDrain(filter, init).valueChunks, minimumValues) << velmora::test::Narrow(name);
            reads = static_cast<int>(stream->reads.size());
            stream->Release();
            filter->Release();
        }
        ASSERT_GE(reads, minimumReads) << velmora::test::Narrow(name);
        for (HRESULT failure : {STG_E_READFAULT, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)}) {
            for (int k = 1; k <= reads; ++k) {
                SCOPED_TRACE(velmora::test::Narrow(name) + ", read " + std::to_string(k) +
                             (failure == STG_E_READFAULT ? ", fault" : ", end"));
                IFilter* filter = NewFilter();
                const HRESULT hr = LoadFailingAtRead(filter, bytes, k, failure);
                EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());
                if (failure == STG_E_READFAULT) {
                    EXPECT_HR(STG_E_READFAULT, hr);
                } else {
                    EXPECT_TRUE(hr == S_OK || hr == E_FAIL || hr == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF))
                        << std::hex << static_cast<unsigned long>(hr);
                    HRESULT init = S_OK;
                    if (hr == S_OK) InitAndDrain(filter, init);
                }
                filter->Release();
            }
        }
    }

    static std::wstring CurFile(IFilter* filter, HRESULT& hr) {
        IPersistFile* persist = nullptr;
        hr = filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
        if (FAILED(hr)) return {};
        LPOLESTR name = nullptr;
        hr = persist->GetCurFile(&name);
        persist->Release();
        std::wstring text = name ? name : L"";
        CoTaskMemFree(name);
        return text;
    }

    // Init with the index attributes, then the checked drain.
    static DrainResult InitAndDrain(IFilter* filter, HRESULT& init, bool allowAllocationFailures = false) {
        ULONG flags = 0;
        init = filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
        if (init != S_OK) return {};
        return DrainChecked(filter, allowAllocationFailures);
    }

    static std::string Data(const wchar_t* name) {
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(velmora::test::TestDataPath(name), bytes)) << velmora::test::Narrow(name);
        return bytes;
    }

    // Lines captured that contain text.
    std::vector<std::wstring> LinesWith(const std::wstring& text) const {
        std::vector<std::wstring> found;
        for (const std::wstring& line : log->Lines())
            if (line.find(text) != std::wstring::npos) found.push_back(line);
        return found;
    }

    ComApartment apartment;
    RegistrySandbox sandbox;
    TempDirectory filterTemp;
    TempDirectory work;
    velmora::test::MallocSpy spy;
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<VelmoraDll> dll;
    size_t outstandingBeforeLoad = 0;
    size_t outstandingAtStart = 0;
};

// The product's log prefix, as every line from the DLL begins.
inline std::wstring Line(const std::wstring& text) { return L"Corvantis Velmora:" + text; }

}  // namespace velmora::fuzz::test
