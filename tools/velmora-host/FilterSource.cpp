// Finding, creating and loading the filter for velmora-host.
#include "FilterSource.h"

#include "Files.h"
#include "MemoryStream.h"

#include "common/Registry.h"
#include "common/Win32.h"
#include "common/Product.h"

#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>

namespace velmora::host {

namespace {

bool ReadDefaultValue(const std::wstring& path, std::wstring& value) {
    UniqueHKey key = OpenRegistryKey(HKEY_CLASSES_ROOT, path, KEY_READ);
    return key && QueryRegistryString(key.Get(), nullptr, value) && !value.empty();
}

HostError Error(int exitCode, const std::wstring& message) { return HostError{exitCode, message}; }

}  // namespace

std::wstring DescribeHresult(HRESULT hr) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = code;
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length && message) {
        std::wstring system(message, length);
        while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r' || system.back() == L' ')) {
            system.pop_back();
        }
        if (!system.empty()) text += L" (" + system + L")";
    }
    LocalFree(message);
    return text;
}

bool FilterSource::FromRegistry(const std::wstring& file, HostError& error) {
    const std::wstring extension = PathFindExtensionW(file.c_str());
    if (extension.empty()) {
        error = Error(2, L"no filter for " + file + L": the file has no extension");
        return false;
    }
    std::wstring handler;
    if (!ReadDefaultValue(extension + L"\\PersistentHandler", handler)) {
        error = Error(2, L"no filter for " + extension + L" files: HKCR\\" + extension +
                             L"\\PersistentHandler is not set (register the filter, or use --dll)");
        return false;
    }
    std::wstring filterClass;
    if (!ReadDefaultValue(L"CLSID\\" + handler + L"\\" + kFilterAddinKey, filterClass)) {
        error = Error(2, L"no filter for " + extension + L" files: persistent handler " + handler +
                             L" names no IFilter");
        return false;
    }
    CLSID clsid{};
    if (FAILED(CLSIDFromString(filterClass.c_str(), &clsid))) {
        error = Error(2, L"no filter for " + extension + L" files: " + filterClass + L" is not a class identifier");
        return false;
    }
    classId = GuidText(clsid);
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter, filter.PutVoid());
    if (FAILED(hr)) {
        error = Error(3, L"cannot create filter " + classId + L": " + DescribeHresult(hr));
        return false;
    }
    return true;
}

bool FilterSource::FromDll(const std::wstring& path, HostError& error) {
    dll = std::make_unique<hostkit::VelmoraDll>(path);
    if (!dll->Handle()) {
        error = Error(3, L"cannot load " + path + L": " + DescribeHresult(HRESULT_FROM_WIN32(dll->LoadError())));
        return false;
    }
    if (!dll->Exports("DllGetClassObject")) {
        error = Error(3, path + L" exports no DllGetClassObject");
        return false;
    }
    classId = GuidText(CLSID_VelmoraFilter);
    const HRESULT hr = dll->CreateFilter(IID_IFilter, filter.PutVoid());
    if (FAILED(hr)) {
        error = Error(3, L"cannot create filter " + classId + L" from " + path + L": " + DescribeHresult(hr));
        return false;
    }
    return true;
}

bool LoadDocument(IFilter* filter, const std::wstring& path, LoadMode mode, HostError& error) {
    HRESULT hr = S_OK;
    if (mode == LoadMode::File) {
        ComPtr<IPersistFile> persist;
        hr = filter->QueryInterface(IID_IPersistFile, persist.PutVoid());
        if (SUCCEEDED(hr)) hr = persist->Load(path.c_str(), STGM_READ);
    } else {
        ComPtr<IStream> stream;
        if (mode == LoadMode::Stream) {
            hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                        nullptr, stream.Put());
        } else {
            std::string bytes;
            if (!hostkit::ReadWholeFile(path, bytes)) {
                error = Error(4, L"cannot read " + path + L": " + DescribeHresult(HRESULT_FROM_WIN32(GetLastError())));
                return false;
            }
            hr = hostkit::MemoryStream(bytes, stream.Put());
        }
        if (FAILED(hr)) {
            error = Error(4, L"cannot open a stream on " + path + L": " + DescribeHresult(hr));
            return false;
        }
        ComPtr<IPersistStream> persist;
        hr = filter->QueryInterface(IID_IPersistStream, persist.PutVoid());
        if (SUCCEEDED(hr)) hr = persist->Load(stream.Get());
    }
    if (FAILED(hr)) {
        error = Error(4, L"the filter cannot load " + path + L": " + DescribeHresult(hr));
        return false;
    }
    return true;
}

}  // namespace velmora::host
