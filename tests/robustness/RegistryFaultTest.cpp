// Registry values of every wrong type and size under the product key: each
// is ignored and its default applies, with the DLL loaded afresh for every
// row so that the configuration and the log are read again.
#include "DllFixture.h"

#include "TestStream.h"

#include <cstring>

namespace velmora::fuzz::test {
namespace {

using velmora::test::TestStream;

struct Raw {
    const char* label;
    DWORD type;
    std::string data;
};

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
std::string Wide(const std::wstring& text, bool terminated = true) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + (terminated ? 1 : 0)) * 2);
}

// Encodings of a number that are not a 4-byte REG_DWORD holding it.
std::vector<Raw> WrongNumbers(DWORD value) {
    const unsigned long long wide = value;
    std::string bigEndian(4, '\0');
    for (int i = 0; i < 4; ++i) bigEndian[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return {
        {"REG_SZ", REG_SZ, Wide(std::to_wstring(value))},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, Wide(std::to_wstring(value))},
        {"REG_MULTI_SZ", REG_MULTI_SZ, Wide(std::to_wstring(value)) + std::string(2, '\0')},
        {"REG_BINARY", REG_BINARY, Dword(value)},
        {"REG_QWORD", REG_QWORD, std::string(reinterpret_cast<const char*>(&wide), 8)},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, bigEndian},
        {"REG_DWORD of 0 bytes", REG_DWORD, std::string()},
        {"REG_DWORD of 2 bytes", REG_DWORD, Dword(value).substr(0, 2)},
        {"REG_DWORD of 3 bytes", REG_DWORD, Dword(value).substr(0, 3)},
        {"REG_DWORD of 8 bytes", REG_DWORD, Dword(value) + Dword(value)},
        {"REG_NONE", REG_NONE, Dword(value)},
    };
}

class RegistryFaults : public DllTest {
protected:
    // A fresh DLL over the registry as it is now; the fixture's checks run
    // for every load.
    void Reload() {
        if (dll) {
            EXPECT_HR(S_OK, dll->CanUnloadNow());
            dll.reset();
        }
        dll = std::make_unique<VelmoraDll>();
        ASSERT_TRUE(dll->IsLoaded());
        log->Clear();
    }

    // Value chunks of standard.jpg through a fresh DLL.
    size_t ValueChunks() {
        Reload();
        const HostRun run = RunDocument(*dll, Face::File, velmora::test::TestDataPath(L"standard.jpg"), "");
        EXPECT_EQ("", run.fault);
        EXPECT_HR(S_OK, run.load);
        return run.drain.valueChunks;
    }

    void SetRaw(const std::wstring& path, const wchar_t* name, const Raw& raw) {
        RegistrySandbox::SetRaw(path, name, raw.type, raw.data.data(), static_cast<DWORD>(raw.data.size()));
    }

    void SetUp() override {
        log = std::make_unique<LogCapture>();
        outstandingBeforeLoad = spy.Outstanding();
    }

    void TearDown() override {
        if (dll) {
            EXPECT_HR(S_OK, dll->CanUnloadNow());
        }
        dll.reset();
        EXPECT_EQ(outstandingBeforeLoad, spy.Outstanding()) << "task allocations outstanding after unloading";
        EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());
    }
};

TEST_F(RegistryFaults, MultipleInstancesModeOfTheWrongTypeOrSize) {
    RegistrySandbox::CreateKey(kKey);
    const size_t separate = ValueChunks();
    RegistrySandbox::SetDword(kKey, L"MultipleInstancesMode", 1);
    const size_t joined = ValueChunks();
    ASSERT_LT(joined, separate) << "joining must merge the items of the creator list";
    std::vector<Raw> rows = WrongNumbers(1);
    rows.push_back({"REG_DWORD 2", REG_DWORD, Dword(2)});
    rows.push_back({"REG_DWORD 0xFFFFFFFF", REG_DWORD, Dword(0xFFFFFFFF)});
    for (const Raw& row : rows) {
        SCOPED_TRACE(row.label);
        SetRaw(kKey, L"MultipleInstancesMode", row);
        EXPECT_EQ(separate, ValueChunks());
    }
}

TEST_F(RegistryFaults, DefaultSchemaSwitchOfTheWrongTypeOrSize) {
    const std::wstring switches = std::wstring(kKey) + L"\\DefaultSchemas";
    RegistrySandbox::CreateKey(switches);
    const size_t enabled = ValueChunks();
    RegistrySandbox::SetDword(switches, L"DC", 0);
    const size_t disabled = ValueChunks();
    ASSERT_LT(disabled, enabled);
    for (const Raw& row : WrongNumbers(0)) {
        SCOPED_TRACE(row.label);
        SetRaw(switches, L"DC", row);
        EXPECT_EQ(enabled, ValueChunks());
    }
}

TEST_F(RegistryFaults, DebugModeOfTheWrongTypeOrSize) {
    RegistrySandbox::SetDword(kKey, L"DebugMode", 2);
    ValueChunks();
    ASSERT_FALSE(LinesWith(L"INFO: entered IPersistFile::Load").empty());
    std::vector<Raw> rows = WrongNumbers(2);
    rows.push_back({"REG_DWORD 4", REG_DWORD, Dword(4)});
    rows.push_back({"REG_DWORD 0xFFFFFFFF", REG_DWORD, Dword(0xFFFFFFFF)});
    for (const Raw& row : rows) {
        SCOPED_TRACE(row.label);
        SetRaw(kKey, L"DebugMode", row);
        ValueChunks();
        EXPECT_TRUE(LinesWith(L"Corvantis Velmora:").empty());
    }
}

// Where a stream's temporary copy goes: the directory of "TempPath" only when
// the value is a REG_SZ naming an existing directory.
TEST_F(RegistryFaults, TempPathOfTheWrongTypeOrSize) {
    const std::wstring directory = work.Path();  // ends in a backslash
    const std::wstring bare = directory.substr(0, directory.size() - 1);
    struct Row {
        Raw raw;
        bool used;
    };
    const Row rows[] = {
        {{"REG_SZ", REG_SZ, Wide(directory)}, true},
        {{"REG_SZ without a backslash", REG_SZ, Wide(bare)}, true},
        {{"REG_SZ without a terminator", REG_SZ, Wide(directory, false)}, true},
        {{"REG_SZ with text after a null", REG_SZ, Wide(directory) + Wide(L"junk")}, true},
        {{"REG_SZ of an odd size", REG_SZ, Wide(directory, false) + std::string(1, 'x')}, true},
        {{"REG_SZ of 0 bytes", REG_SZ, std::string()}, false},
        {{"REG_SZ of 1 byte", REG_SZ, std::string(1, 'C')}, false},
        {{"REG_SZ, empty text", REG_SZ, Wide(L"")}, false},
        {{"REG_SZ naming a missing directory", REG_SZ, Wide(directory + L"missing\\")}, false},
        {{"REG_SZ naming a file", REG_SZ, Wide(velmora::test::TestDataPath(L"standard.jpg"))}, false},
        {{"REG_EXPAND_SZ", REG_EXPAND_SZ, Wide(directory)}, false},
        {{"REG_MULTI_SZ", REG_MULTI_SZ, Wide(directory) + std::string(2, '\0')}, false},
        {{"REG_BINARY", REG_BINARY, Wide(directory)}, false},
        {{"REG_DWORD", REG_DWORD, Dword(1)}, false},
        {{"REG_NONE", REG_NONE, Wide(directory)}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.raw.label);
        SetRaw(kKey, L"TempPath", row.raw);
        Reload();
        IFilter* filter = nullptr;
        ASSERT_HR(S_OK, dll->CreateFilter(IID_IFilter, reinterpret_cast<void**>(&filter)));
        TestStream* stream = TestStream::FromBytes(Data(L"standard.jpg"));
        size_t copies = 0;
        stream->onRead = [&copies, directory]() { copies = std::max(copies, FilesIn(directory).size()); };
        IPersistStream* persist = nullptr;
        ASSERT_HR(S_OK, filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)));
        EXPECT_HR(S_OK, persist->Load(stream));
        persist->Release();
        stream->Release();
        EXPECT_EQ(row.used ? 1u : 0u, copies);
        EXPECT_TRUE(FilesIn(directory).empty());
        HRESULT init = S_OK;
        EXPECT_GT(InitAndDrain(filter, init).valueChunks, 0u);
        filter->Release();
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
