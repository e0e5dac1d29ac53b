// Whole files, directory listings and scratch directories for host-side
// tools and tests. Nothing here asserts: a failure is a return value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::hostkit {

// The whole file into bytes (replaced), also while others have it open;
// false when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
// Creates or replaces the file with bytes; false when any of it is not written.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

// Names of the files (not directories) in a directory that ends in a backslash.
std::vector<std::wstring> FilesIn(const std::wstring& directory);

// The running program's directory, ending in a backslash.
std::wstring ProgramDirectory();

// A fresh directory under the system temporary directory, named after its
// owner (prefix), the process and a count, and removed with the files in it
// on destruction. Path() ends in a backslash; it is empty (and a failure
// reported) when no directory could be made.
class TempDirectory {
public:
    explicit TempDirectory(const wchar_t* prefix = L"velmora-test");
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::wstring& Path() const { return path; }
    std::wstring File(const std::wstring& name) const { return path + name; }
    std::vector<std::wstring> Files() const { return FilesIn(path); }

private:
    std::wstring path;
};

}  // namespace velmora::hostkit
