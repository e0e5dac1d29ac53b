// Where velmora-host gets its filter and how it hands the document over:
// the persistent-handler lookup that Windows search hosts do, or a named DLL
// loaded directly; then a load through IPersistFile or IPersistStream.
#pragma once

#include "HostOptions.h"

#include "LoadedModule.h"

#include "common/ComPtr.h"

#include <windows.h>
#include <filter.h>

#include <memory>
#include <string>

namespace velmora::host {

// A failure with the exit code it stands for and a message for the user.
struct HostError {
    int exitCode = 0;
    std::wstring message;
};

// The filter for a file, and the DLL it came from when loaded directly. The
// filter is released before the DLL is freed.
class FilterSource {
public:
    FilterSource() = default;
    FilterSource(const FilterSource&) = delete;
    FilterSource& operator=(const FilterSource&) = delete;

    // Finds the filter registered for the file's extension and creates it.
    bool FromRegistry(const std::wstring& file, HostError& error);
    // Loads dll and asks its DllGetClassObject for the filter class.
    bool FromDll(const std::wstring& dll, HostError& error);

    IFilter* Filter() const { return filter.Get(); }
    const std::wstring& ClassId() const { return classId; }

private:
    std::unique_ptr<hostkit::VelmoraDll> dll;  // declared first: freed after the filter
    ComPtr<IFilter> filter;
    std::wstring classId;
};

// Hands the document at path (a full path) to the filter the chosen way.
bool LoadDocument(IFilter* filter, const std::wstring& path, LoadMode mode, HostError& error);

// "0x80004005" and the system's text for the code, when it has one.
std::wstring DescribeHresult(HRESULT hr);

}  // namespace velmora::host
