// The host harness: the DLL, the checked drain, and one document through
// the whole host path.
#include "HostHarness.h"

#include "TestStream.h"
#include "TestSupport.h"

#include <filterr.h>
#include <ntquery.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace velmora::fuzz {

// {2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}
const CLSID kFilterClsid = {0x2BD5D05B, 0xF921, 0x4FB6, {0xB4, 0xD1, 0x2F, 0x5C, 0xEE, 0x09, 0x47, 0x1D}};

VelmoraDll::VelmoraDll(const wchar_t* path) {
    module = LoadLibraryW(path);
    if (!module) {
        loadError = GetLastError();
        return;
    }
    getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
}

VelmoraDll::~VelmoraDll() {
    if (module) FreeLibrary(module);
}

HRESULT VelmoraDll::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
    return getClassObject ? getClassObject(clsid, riid, ppv) : E_UNEXPECTED;
}

HRESULT VelmoraDll::CanUnloadNow() const { return canUnloadNow ? canUnloadNow() : E_UNEXPECTED; }

HRESULT VelmoraDll::CreateFilter(REFIID riid, void** ppv) const {
    IClassFactory* factory = nullptr;
    const HRESULT hr = GetClassObject(kFilterClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    const HRESULT created = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return created;
}

// ---------------------------------------------------------------------------
// Checked drain

namespace {

void Mix(uint64_t& digest, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        digest ^= bytes[i];
        digest *= 1099511628211ull;
    }
}

std::string Code(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s returned 0x%08lX", what, static_cast<unsigned long>(hr));
    return text;
}

}  // namespace

DrainResult DrainChecked(IFilter* filter, bool allowAllocationFailures, size_t maxChunks, ULONG firstChunkId) {
    DrainResult result;
    const size_t textBuffer = 512;
    WCHAR buffer[textBuffer + 1];
    for (size_t n = 1; n <= maxChunks; ++n) {
        STAT_CHUNK stat{};
        const HRESULT hr = filter->GetChunk(&stat);
        if (hr == FILTER_E_END_OF_CHUNKS) {
            result.end = hr;
            // Further calls keep reporting the end.
            STAT_CHUNK again{};
            const HRESULT second = filter->GetChunk(&again);
            if (second != FILTER_E_END_OF_CHUNKS) result.fault = Code("GetChunk after the end", second);
            return result;
        }
        if (hr != S_OK) {
            result.end = hr;
            result.fault = Code("GetChunk", hr);
            return result;
        }
        const ULONG expectedId = firstChunkId + static_cast<ULONG>(n - 1);
        if (stat.idChunk != expectedId || stat.idChunkSource != expectedId) {
            result.fault = "chunk ids out of sequence";
            if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) CoTaskMemFree(stat.attribute.psProperty.lpwstr);
            return result;
        }
        Mix(result.digest, &stat.attribute.guidPropSet, sizeof(GUID));
        Mix(result.digest, &stat.flags, sizeof stat.flags);
        if (stat.attribute.psProperty.ulKind == PRSPEC_LPWSTR) {
            wchar_t* name = stat.attribute.psProperty.lpwstr;
            if (name) {
                Mix(result.digest, name, std::wcslen(name) * sizeof(wchar_t));
                CoTaskMemFree(name);
            } else if (!allowAllocationFailures) {
                result.fault = "named attribute without a name";
                return result;
            }
        } else {
            Mix(result.digest, &stat.attribute.psProperty.propid, sizeof(PROPID));
        }

        if (stat.flags == CHUNK_VALUE) {
            ++result.valueChunks;
            ULONG size = textBuffer;
            const HRESULT textHr = filter->GetText(&size, buffer);
            if (textHr != FILTER_E_NO_TEXT) {
                result.fault = Code("GetText on a value chunk", textHr);
                return result;
            }
            PROPVARIANT* value = nullptr;
            const HRESULT valueHr = filter->GetValue(&value);
            if (valueHr == S_OK) {
                if (!value) {
                    result.fault = "GetValue returned S_OK and no value";
                    return result;
                }
                Mix(result.digest, &value->vt, sizeof value->vt);
                switch (value->vt) {
                case VT_LPWSTR:
                    if (!value->pwszVal) {
                        result.fault = "VT_LPWSTR value without a string";
                    } else {
                        Mix(result.digest, value->pwszVal, std::wcslen(value->pwszVal) * sizeof(wchar_t));
                    }
                    break;
                case VT_FILETIME:
                    Mix(result.digest, &value->filetime, sizeof value->filetime);
                    break;
                case VT_INT:
                    Mix(result.digest, &value->intVal, sizeof value->intVal);
                    break;
                default:
                    result.fault = "value of an undeclared type";
                    break;
                }
                PropVariantClear(value);
                CoTaskMemFree(value);
                if (!result.fault.empty()) return result;
            } else if (allowAllocationFailures && (valueHr == E_OUTOFMEMORY || valueHr == E_FAIL)) {
                ++result.failedValues;
            } else {
                result.fault = Code("GetValue", valueHr);
                return result;
            }
            PROPVARIANT* again = nullptr;
            const HRESULT secondHr = filter->GetValue(&again);
            if (secondHr != FILTER_E_NO_MORE_VALUES) {
                result.fault = Code("second GetValue", secondHr);
                return result;
            }
        } else if (stat.flags == CHUNK_TEXT) {
            ++result.textChunks;
            PROPVARIANT* value = nullptr;
            const HRESULT valueHr = filter->GetValue(&value);
            if (valueHr != FILTER_E_NO_VALUES) {
                result.fault = Code("GetValue on a text chunk", valueHr);
                return result;
            }
            bool finished = false;
            for (int piece = 0; piece < 1000000 && !finished; ++piece) {
                ULONG size = textBuffer;
                const HRESULT textHr = filter->GetText(&size, buffer);
                if (textHr == S_OK || textHr == FILTER_S_LAST_TEXT) {
                    if (size > textBuffer || (textHr == S_OK && size != textBuffer)) {
                        result.fault = "GetText handed out a wrong size";
                        return result;
                    }
                    Mix(result.digest, buffer, size * sizeof(WCHAR));
                    finished = textHr == FILTER_S_LAST_TEXT;
                } else if (textHr == FILTER_E_NO_MORE_TEXT) {
                    finished = true;
                } else {
                    result.fault = Code("GetText", textHr);
                    return result;
                }
            }
            if (!finished) {
                result.fault = "text chunk without an end";
                return result;
            }
        } else {
            result.fault = "chunk neither value nor text";
            return result;
        }
    }
    result.fault = "no end of chunks";
    return result;
}

// ---------------------------------------------------------------------------
// One document

HostRun RunDocument(const VelmoraDll& dll, Face face, const std::wstring& path, const std::string& bytes,
                    bool allowAllocationFailures) {
    HostRun run;
    IFilter* filter = nullptr;
    run.create = dll.CreateFilter(IID_IFilter, reinterpret_cast<void**>(&filter));
    if (FAILED(run.create)) {
        if (!allowAllocationFailures) run.fault = Code("CreateInstance", run.create);
        return run;
    }
    if (face == Face::File) {
        IPersistFile* persist = nullptr;
        HRESULT hr = filter->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
        if (SUCCEEDED(hr)) {
            run.load = persist->Load(path.c_str(), STGM_READ);
            persist->Release();
        } else {
            run.load = hr;
            run.fault = Code("QueryInterface(IPersistFile)", hr);
        }
    } else {
        IPersistStream* persist = nullptr;
        HRESULT hr = filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
        if (SUCCEEDED(hr)) {
            IStream* stream = test::MemoryStream(bytes);
            if (!stream) {
                run.fault = "harness: no memory stream";
            } else {
                run.load = persist->Load(stream);
                // The filter must not keep the host's stream.
                stream->AddRef();
                if (stream->Release() != 1) run.fault = "the filter kept a reference to the stream";
                stream->Release();
            }
            persist->Release();
        } else {
            run.load = hr;
            run.fault = Code("QueryInterface(IPersistStream)", hr);
        }
    }
    if (SUCCEEDED(run.load) && run.fault.empty()) {
        ULONG flags = 0xFFFFFFFF;
        run.init = filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags);
        if (run.init == S_OK) {
            if (flags != 0) run.fault = "Init reported flags";
            run.drain = DrainChecked(filter, allowAllocationFailures);
            if (run.fault.empty()) run.fault = run.drain.fault;
        } else if (!allowAllocationFailures) {
            run.fault = Code("Init", run.init);
        }
    }
    const ULONG left = filter->Release();
    if (left != 0 && run.fault.empty()) run.fault = "references left after the last Release";
    return run;
}

// ---------------------------------------------------------------------------
// Files

std::vector<std::wstring> FilesIn(const std::wstring& directory) { return test::FilesIn(directory); }

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD chunk = static_cast<DWORD>(left > (1u << 20) ? (1u << 20) : left);
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    CloseHandle(file);
    return ok;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
    CloseHandle(file);
    return true;
}

}  // namespace velmora::fuzz
