// A search host in a box, for robustness runs: loads the built Velmora.dll,
// makes filter objects through its class object, loads documents through
// IPersistFile and IPersistStream (an unnamed memory stream), and drains
// every chunk while checking the chunk protocol. Objects made here belong to
// the thread that made them; a VelmoraDll may be shared by threads.
#pragma once

#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::fuzz {

// The DLL loaded with LoadLibraryW and freed on destruction, so that each
// owner sees a fresh configuration and a fresh diagnostic log.
class VelmoraDll {
public:
    explicit VelmoraDll(const wchar_t* path = L"Velmora.dll");
    ~VelmoraDll();
    VelmoraDll(const VelmoraDll&) = delete;
    VelmoraDll& operator=(const VelmoraDll&) = delete;

    bool IsLoaded() const { return module && getClassObject && canUnloadNow; }
    DWORD LoadError() const { return loadError; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    // DllGetClassObject, CreateInstance for riid, and the class object released.
    HRESULT CreateFilter(REFIID riid, void** ppv) const;

private:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

    HMODULE module = nullptr;
    DWORD loadError = 0;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
};

// The filter class served by the DLL.
extern const CLSID kFilterClsid;

// What a drain found. `fault` is empty when the filter kept the protocol.
struct DrainResult {
    HRESULT end = S_OK;          // what the last GetChunk returned
    size_t valueChunks = 0;
    size_t textChunks = 0;
    size_t failedValues = 0;     // GetValue failures (expected under injected faults)
    uint64_t digest = 1469598103934665603ull;  // FNV-1a over what the host received
    std::string fault;
};

// Drains every chunk after a successful Init, frees what is handed over and
// checks the protocol: ids 1, 2, 3, ...; value chunks carry one value of a
// declared type and then FILTER_E_NO_MORE_VALUES; text chunks hand out text
// until FILTER_S_LAST_TEXT or FILTER_E_NO_MORE_TEXT; the end is
// FILTER_E_END_OF_CHUNKS. allowAllocationFailures accepts E_OUTOFMEMORY and
// E_FAIL from GetValue and null attribute names.
// firstChunkId: the id the next chunk must carry (1 right after Init).
DrainResult DrainChecked(IFilter* filter, bool allowAllocationFailures = false, size_t maxChunks = 200000,
                         ULONG firstChunkId = 1);

enum class Face { File, Stream };

// One document through the whole host path: CreateFilter, Load (a path, or an
// unnamed memory stream over the bytes), Init with the index attributes,
// drain, Release.
struct HostRun {
    HRESULT create = S_OK;
    HRESULT load = S_OK;
    HRESULT init = S_OK;
    DrainResult drain;
    std::string fault;  // protocol fault, or empty
};
HostRun RunDocument(const VelmoraDll& dll, Face face, const std::wstring& path, const std::string& bytes,
                    bool allowAllocationFailures = false);

// Files (not directories) in a directory that ends in a backslash.
std::vector<std::wstring> FilesIn(const std::wstring& directory);

// Whole-file helpers that do not assert (usable outside gtest).
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

}  // namespace velmora::fuzz
