// CoCreateInstance of the filter class through a registration of the built
// DLL, the way search hosts create it. COM looks classes up in the machine's
// own registry (a per-process override of HKEY_CLASSES_ROOT is not seen), so
// these tests write the class key into the real registry for their duration
// and put back what was there before.
#include "common/Product.h"

#include "ChunkRecorder.h"
#include "ComPtr.h"
#include "PrefixRegistryLock.h"
#include "TestSupport.h"

#include <filter.h>
#include <filterr.h>
#include <objbase.h>
#include <shlwapi.h>

#include <optional>
#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

std::wstring DllPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1) + L"Velmora.dll";
}

std::wstring ClassKey() {
    wchar_t text[40];
    StringFromGUID2(CLSID_VelmoraFilter, text, 40);
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

std::optional<std::wstring> ReadValue(HKEY key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(data);
}

void WriteValue(HKEY key, const wchar_t* name, const std::optional<std::wstring>& value) {
    if (!value) {
        RegDeleteValueW(key, name);
        return;
    }
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
}

// Registers the built DLL as the in-process server of the filter class and
// restores the earlier registration (or its absence) afterwards.
class ClassRegistration {
public:
    ClassRegistration() {
        HKEY existing = nullptr;
        existed = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ClassKey().c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS;
        if (existing) RegCloseKey(existing);
        const std::wstring server = ClassKey() + L"\\InprocServer32";
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, server.c_str(), 0, nullptr, 0,
                                                 KEY_READ | KEY_WRITE, nullptr, &key, nullptr));
        if (!key) return;
        oldServer = ReadValue(key, nullptr);
        oldThreading = ReadValue(key, L"ThreadingModel");
        WriteValue(key, nullptr, DllPath());
        WriteValue(key, L"ThreadingModel", std::wstring(L"Both"));
    }
    ~ClassRegistration() {
        if (key) {
            WriteValue(key, nullptr, oldServer);
            WriteValue(key, L"ThreadingModel", oldThreading);
            RegCloseKey(key);
        }
        if (!existed) SHDeleteKeyW(HKEY_LOCAL_MACHINE, ClassKey().c_str());
    }

private:
    bool existed = false;
    HKEY key = nullptr;
    std::optional<std::wstring> oldServer;
    std::optional<std::wstring> oldThreading;
};

class PrefixRegistryCoCreate : public testing::Test {
protected:
    PrefixRegistryCoCreate() { EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    ~PrefixRegistryCoCreate() override { CoUninitialize(); }

    PrefixRegistryLock lock;  // before the registration it protects
    ClassRegistration registration;
};

TEST_F(PrefixRegistryCoCreate, HostCreatesLoadsAndDrainsAFilter) {
    ComPtr<IFilter> filter;
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_VelmoraFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IFilter,
                                     filter.PutVoid()));
    ComPtr<IPersistFile> file;
    ASSERT_HR(S_OK, filter.As(IID_IPersistFile, file));
    ASSERT_HR(S_OK, file->Load(TestDataPath(L"standard.jpg").c_str(), STGM_READ));
    ULONG flags = 1;
    ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    EXPECT_EQ(0u, flags);
    const Drain drain = DrainFilter(filter.Get());
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, drain.end);
    ASSERT_LT(0u, drain.chunks.size());
    EXPECT_EQ(static_cast<ULONG>(CHUNK_VALUE), static_cast<ULONG>(drain.chunks.front().stat.flags));
    EXPECT_EQ(static_cast<ULONG>(CHUNK_TEXT), static_cast<ULONG>(drain.chunks.back().stat.flags));
}

TEST_F(PrefixRegistryCoCreate, RefusalsReachTheHost) {
    struct Case {
        const IID* iid;
        bool aggregate;
        HRESULT result;
    };
    const Case cases[] = {
        {&IID_IPersistStream, false, S_OK},
        {&IID_IUnknown, false, S_OK},
        {&IID_IPersistStorage, false, E_NOINTERFACE},
        {&IID_IUnknown, true, CLASS_E_NOAGGREGATION},
    };
    ComPtr<IUnknown> outer;
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_VelmoraFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     outer.PutVoid()));
    for (const Case& c : cases) {
        ComPtr<IUnknown> object;
        EXPECT_HR(c.result, CoCreateInstance(CLSID_VelmoraFilter, c.aggregate ? outer.Get() : nullptr,
                                             CLSCTX_INPROC_SERVER, *c.iid, object.PutVoid()));
        EXPECT_EQ(c.result == S_OK, static_cast<bool>(object));
    }
}

}  // namespace
