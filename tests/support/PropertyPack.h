// The Windows Search property pack as the tests meet it: its .reg templates
// read as data, and its declarations written into a private registry with
// the definition files of the source tree.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velmora::test {

struct RegFileKey {
    std::wstring path;  // below HKEY_LOCAL_MACHINE
    std::vector<std::pair<std::wstring, std::wstring>> values;  // "name"="data", unescaped
};

// The keys of a .reg file that holds only HKEY_LOCAL_MACHINE keys and string
// values; comment and blank lines are skipped.
std::vector<RegFileKey> ReadRegFile(const std::wstring& path);

// A file of the pack folder.
std::wstring PackPath(const std::wstring& name);

// The template for the registry view that a DLL of this test program's
// bitness reads: "windows-search-x64.reg" or "windows-search-x86.reg".
std::wstring PackTemplateForThisView();

// Writes the declarations of this view's template under the product key of
// the (overridden) HKEY_LOCAL_MACHINE, with [PACKDIR] standing for the pack
// folder of the source tree. A 32-bit process sees its own view there, so the
// x86 template's WOW6432Node step is left out.
void DeclarePropertyPack();

}  // namespace velmora::test
