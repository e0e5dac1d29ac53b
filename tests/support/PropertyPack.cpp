#include "PropertyPack.h"

#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <sstream>

namespace velmora::test {

namespace {

const std::wstring kMachineRoot = L"HKEY_LOCAL_MACHINE\\";
const std::wstring kWow64Step = L"WOW6432Node\\";
const std::wstring kPackDirectory = L"[PACKDIR]";

// The text of a quoted .reg string with its \\ and \" escapes undone; pos
// starts at the opening quote and ends after the closing one.
std::wstring Unquote(const std::wstring& line, size_t& pos) {
    std::wstring text;
    EXPECT_EQ(L'"', line[pos]) << Narrow(line);
    for (++pos; pos < line.size() && line[pos] != L'"'; ++pos) {
        if (line[pos] == L'\\' && pos + 1 < line.size()) ++pos;
        text += line[pos];
    }
    ++pos;
    return text;
}

}  // namespace

std::vector<RegFileKey> ReadRegFile(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<RegFileKey> keys;
    std::istringstream lines(bytes);
    std::string narrow;
    while (std::getline(lines, narrow)) {
        if (!narrow.empty() && narrow.back() == '\r') narrow.pop_back();
        const std::wstring line(narrow.begin(), narrow.end());  // the templates are ASCII
        if (line.empty() || line[0] == L';' || line.rfind(L"Windows Registry Editor", 0) == 0) continue;
        if (line[0] == L'[') {
            EXPECT_EQ(0, line.compare(1, kMachineRoot.size(), kMachineRoot)) << narrow;
            EXPECT_EQ(L']', line.back()) << narrow;
            keys.push_back({line.substr(1 + kMachineRoot.size(), line.size() - 2 - kMachineRoot.size()), {}});
            continue;
        }
        if (keys.empty()) {
            ADD_FAILURE() << "value before any key: " << narrow;
            continue;
        }
        size_t pos = 0;
        const std::wstring name = Unquote(line, pos);
        EXPECT_EQ(L'=', line[pos]) << narrow;
        ++pos;
        const std::wstring data = Unquote(line, pos);
        EXPECT_EQ(line.size(), pos) << narrow;
        keys.back().values.emplace_back(name, data);
    }
    return keys;
}

std::wstring PackPath(const std::wstring& name) { return std::wstring(VELMORA_PACK_DIR) + L"\\" + name; }

std::wstring PackTemplateForThisView() {
    return PackPath(sizeof(void*) == 8 ? L"windows-search-x64.reg" : L"windows-search-x86.reg");
}

void DeclarePropertyPack() {
    for (RegFileKey& key : ReadRegFile(PackTemplateForThisView())) {
        const size_t wow64 = key.path.find(kWow64Step);
        if (wow64 != std::wstring::npos) key.path.erase(wow64, kWow64Step.size());
        for (auto& [name, data] : key.values) {
            const size_t placeholder = data.find(kPackDirectory);
            if (placeholder != std::wstring::npos) data.replace(placeholder, kPackDirectory.size(), PackPath(L""));
            RegistrySandbox::SetString(key.path, name.c_str(), data);
        }
    }
}

}  // namespace velmora::test
