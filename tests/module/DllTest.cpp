// The built Velmora.dll as a host meets it: loaded with the kit's loader, reached
// through DllGetClassObject, DllCanUnloadNow and the class object, and
// through CoCreateInstance once the class is registered.
#include "common/Product.h"

#include "ComPtr.h"
#include "LoadedModule.h"
#include "LogCapture.h"
#include "TestStream.h"
#include "TestSupport.h"

#include <filter.h>
#include <objbase.h>
#include <objidl.h>

#include <memory>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using Lines = std::vector<std::wstring>;

namespace {

const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
const std::wstring kPrefix = L"Corvantis Velmora:";
void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

class DllTest : public testing::Test {
protected:
    DllTest() {
        RegistrySandbox::SetDword(kKey, L"DebugMode", 3);
        RegistrySandbox::SetString(kKey, L"TempPath", first.Path());
        // Loaded after the registry is set: the DLL reads its log level then.
        dll = std::make_unique<hostkit::VelmoraDll>();
        if (!dll->IsLoaded()) ADD_FAILURE() << "cannot load " << Narrow(dll->Path()) << ", error " << dll->LoadError();
    }

    bool Loaded() const { return dll->IsLoaded(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const { return dll->GetClassObject(clsid, riid, ppv); }
    HRESULT CanUnloadNow() const { return dll->CanUnloadNow(); }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_HR(S_OK, GetClassObject(CLSID_VelmoraFilter, IID_IClassFactory, factory.PutVoid()));
        return factory;
    }

    // Loads a small unnamed stream into the object and tells which of the two
    // temporary directories received the copy: "first", "second" or "none".
    std::string CopyDirectoryOf(IUnknown* object) {
        ComPtr<IPersistStream> persist;
        EXPECT_HR(S_OK, object->QueryInterface(IID_IPersistStream, persist.PutVoid()));
        if (!persist) return "no IPersistStream";
        ComPtr<TestStream> stream(TestStream::FromBytes("not a document"));
        std::string seen = "none";
        stream->onRead = [&]() {
            if (!first.Files().empty()) seen = "first";
            if (!second.Files().empty()) seen = "second";
        };
        persist->Load(stream.Get());
        EXPECT_TRUE(first.Files().empty() && second.Files().empty());
        return seen;
    }

    RegistrySandbox registry;
    TempDirectory first;
    TempDirectory second;
    std::unique_ptr<hostkit::VelmoraDll> dll;
};

// Loading starts the log from the registry before anything is written;
// unloading writes its line after the toolkit has been stopped.
TEST(DllLifetime, LoadAndUnloadAreLogged) {
    struct Case {
        DWORD mode;
        Lines expected;
    };
    const Case cases[] = {
        {1, {}},
        {2, {kPrefix + L"INFO: DLL was loaded \n", kPrefix + L"INFO: DLL was unloaded \n"}},
        {3, {kPrefix + L"INFO: DLL was loaded \n", kPrefix + L"INFO: DLL was unloaded \n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        RegistrySandbox registry;
        RegistrySandbox::SetDword(kKey, L"DebugMode", c.mode);
        LogCapture capture;
        {
            const hostkit::VelmoraDll dll;
            ASSERT_TRUE(dll.IsLoaded());
        }
        EXPECT_EQ(c.expected, capture.Lines());
    }
}

TEST_F(DllTest, CanUnloadRightAfterLoading) {
    ASSERT_TRUE(Loaded());
    EXPECT_HR(S_OK, CanUnloadNow());
}

TEST_F(DllTest, OtherClassIdentifiersAreNotAvailable) {
    ASSERT_TRUE(Loaded());
    const CLSID others[] = {GUID_NULL, CLSID_VelmoraPersistentHandler, IID_IFilter, IID_IClassFactory};
    for (const CLSID& clsid : others) {
        void* object = kUntouched;
        EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, GetClassObject(clsid, IID_IClassFactory, &object));
        EXPECT_EQ(kUntouched, object);
        EXPECT_HR(S_OK, CanUnloadNow());
    }
}

TEST_F(DllTest, ClassObjectKeepsTheModuleUntilReleased) {
    ASSERT_TRUE(Loaded());
    const IID* interfaces[] = {&IID_IClassFactory, &IID_IUnknown};
    for (const IID* iid : interfaces) {
        IUnknown* object = nullptr;
        ASSERT_HR(S_OK, GetClassObject(CLSID_VelmoraFilter, *iid, reinterpret_cast<void**>(&object)));
        ASSERT_TRUE(object);
        EXPECT_HR(S_FALSE, CanUnloadNow());
        EXPECT_EQ(0u, object->Release());  // the caller held the only reference
        EXPECT_HR(S_OK, CanUnloadNow());
    }
}

TEST_F(DllTest, EveryCallMakesAFreshClassObject) {
    ASSERT_TRUE(Loaded());
    ComPtr<IClassFactory> one = Factory();
    ComPtr<IClassFactory> two = Factory();
    EXPECT_NE(one.Get(), two.Get());
    one.Reset();
    EXPECT_HR(S_FALSE, CanUnloadNow());
    two.Reset();
    EXPECT_HR(S_OK, CanUnloadNow());
}

// Interfaces that the class object does not offer: DllGetClassObject answers
// E_NOINTERFACE, as COM expects, and keeps nothing alive.
TEST_F(DllTest, ClassObjectForAnInterfaceItLacksIsNoInterface) {
    ASSERT_TRUE(Loaded());
    const IID* interfaces[] = {&IID_IFilter, &IID_IPersistFile, &IID_IStream, &IID_IDispatch};
    for (const IID* iid : interfaces) {
        void* object = kUntouched;
        EXPECT_HR(E_NOINTERFACE, GetClassObject(CLSID_VelmoraFilter, *iid, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_HR(S_OK, CanUnloadNow());
    }
}

TEST_F(DllTest, ClassObjectQueryInterfaceAnswersWithoutLogging) {
    ASSERT_TRUE(Loaded());
    ComPtr<IClassFactory> factory = Factory();
    LogCapture capture;
    struct Case {
        const IID* iid;
        HRESULT result;
    };
    const Case cases[] = {
        {&IID_IClassFactory, S_OK}, {&IID_IUnknown, S_OK},        {&IID_IFilter, E_NOINTERFACE},
        {&IID_IPersistFile, E_NOINTERFACE}, {&IID_IStream, E_NOINTERFACE}, {&IID_IMarshal, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        IUnknown* object = static_cast<IUnknown*>(kUntouched);
        EXPECT_HR(c.result, factory->QueryInterface(*c.iid, reinterpret_cast<void**>(&object)));
        if (c.result == S_OK) {
            EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), object);
            object->Release();
        } else {
            EXPECT_EQ(nullptr, object);
        }
    }
    EXPECT_EQ(Lines{}, capture.Lines());
}

TEST_F(DllTest, LockServerCountsLocks) {
    ASSERT_TRUE(Loaded());
    {
        ComPtr<IClassFactory> factory = Factory();
        EXPECT_HR(S_OK, factory->LockServer(TRUE));
        EXPECT_HR(S_OK, factory->LockServer(TRUE));
        EXPECT_HR(S_OK, factory->LockServer(FALSE));
    }
    EXPECT_HR(S_FALSE, CanUnloadNow());
    {
        ComPtr<IClassFactory> factory = Factory();
        EXPECT_HR(S_OK, factory->LockServer(FALSE));
    }
    EXPECT_HR(S_OK, CanUnloadNow());
}

// What CreateInstance gives for each interface: the filter's faces, and
// E_NOINTERFACE for the ones it refuses, with the object destroyed again.
TEST_F(DllTest, CreateInstanceHandsOutTheFiltersFaces) {
    ASSERT_TRUE(Loaded());
    struct Case {
        const IID* iid;
        HRESULT result;
    };
    const Case cases[] = {
        {&IID_IFilter, S_OK},           {&IID_IPersistFile, S_OK},         {&IID_IPersistStream, S_OK},
        {&IID_IPersist, S_OK},          {&IID_IUnknown, S_OK},             {&IID_IPersistStorage, E_NOINTERFACE},
        {&IID_IClassFactory, E_NOINTERFACE}, {&IID_IDispatch, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        {
            ComPtr<IClassFactory> factory = Factory();
            IUnknown* object = static_cast<IUnknown*>(kUntouched);
            EXPECT_HR(c.result, factory->CreateInstance(nullptr, *c.iid, reinterpret_cast<void**>(&object)));
            if (c.result == S_OK) {
                ASSERT_TRUE(object);
                EXPECT_EQ(0u, object->Release());  // the caller held the only reference
            } else {
                EXPECT_EQ(nullptr, object);
            }
        }
        EXPECT_HR(S_OK, CanUnloadNow());
    }
}

TEST_F(DllTest, ObjectIdentityIsThePersistFileFace) {
    ASSERT_TRUE(Loaded());
    ComPtr<IUnknown> object;
    ASSERT_HR(S_OK, Factory()->CreateInstance(nullptr, IID_IUnknown, object.PutVoid()));
    ComPtr<IPersistFile> file;
    ComPtr<IPersist> persist;
    ComPtr<IFilter> filter;
    ASSERT_HR(S_OK, object.As(IID_IPersistFile, file));
    ASSERT_HR(S_OK, object.As(IID_IPersist, persist));
    ASSERT_HR(S_OK, object.As(IID_IFilter, filter));
    EXPECT_EQ(static_cast<void*>(object.Get()), static_cast<void*>(file.Get()));
    EXPECT_EQ(static_cast<void*>(object.Get()), static_cast<void*>(persist.Get()));
    ComPtr<IUnknown> again;
    ASSERT_HR(S_OK, filter.As(IID_IUnknown, again));
    EXPECT_EQ(object.Get(), again.Get());
}

TEST_F(DllTest, FilterObjectKeepsTheModuleAfterItsClassObjectIsGone) {
    ASSERT_TRUE(Loaded());
    ComPtr<IFilter> filter;
    ASSERT_HR(S_OK, Factory()->CreateInstance(nullptr, IID_IFilter, filter.PutVoid()));
    EXPECT_HR(S_FALSE, CanUnloadNow());
    filter.Reset();
    EXPECT_HR(S_OK, CanUnloadNow());
}

TEST_F(DllTest, AggregationIsRefusedForAnyInterface) {
    ASSERT_TRUE(Loaded());
    ComPtr<IClassFactory> factory = Factory();
    ComPtr<IUnknown> outer;
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, outer.PutVoid()));
    ComPtr<IUnknown> other;
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_IUnknown, other.PutVoid()));
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), IID_IPersistStorage, other.PutVoid()));
    EXPECT_FALSE(other);
    EXPECT_EQ("first", CopyDirectoryOf(outer.Get()));
}

// Aggregation is refused before anything else: the configuration is not
// built then, so the registry as it is at the first real creation counts.
TEST_F(DllTest, AggregationRefusedFirstLeavesTheConfigurationUnbuilt) {
    ASSERT_TRUE(Loaded());
    ComPtr<IClassFactory> factory = Factory();
    IUnknown* other = static_cast<IUnknown*>(kUntouched);
    EXPECT_HR(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(factory.Get(), IID_IUnknown, reinterpret_cast<void**>(&other)));
    RegistrySandbox::SetString(kKey, L"TempPath", second.Path());
    ComPtr<IUnknown> object;
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.PutVoid()));
    EXPECT_EQ("second", CopyDirectoryOf(object.Get()));
}

// The configuration is read once per process: objects made later, through
// other class objects, share it even when the registry has changed since.
TEST_F(DllTest, ConfigurationIsBuiltOnceAcrossObjects) {
    ASSERT_TRUE(Loaded());
    ComPtr<IUnknown> one;
    ASSERT_HR(S_OK, Factory()->CreateInstance(nullptr, IID_IUnknown, one.PutVoid()));
    RegistrySandbox::SetString(kKey, L"TempPath", second.Path());
    ComPtr<IUnknown> two;
    ASSERT_HR(S_OK, Factory()->CreateInstance(nullptr, IID_IUnknown, two.PutVoid()));
    EXPECT_EQ("first", CopyDirectoryOf(one.Get()));
    EXPECT_EQ("first", CopyDirectoryOf(two.Get()));
    one.Reset();
    two.Reset();
    ComPtr<IUnknown> three;
    ASSERT_HR(S_OK, Factory()->CreateInstance(nullptr, IID_IUnknown, three.PutVoid()));
    EXPECT_EQ("first", CopyDirectoryOf(three.Get()));
}

TEST_F(DllTest, NullOutParametersAreRefused) {
    ASSERT_TRUE(Loaded());
    EXPECT_HR(E_POINTER, GetClassObject(CLSID_VelmoraFilter, IID_IClassFactory, nullptr));
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_HR(E_POINTER, factory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_HR(E_POINTER, factory->CreateInstance(nullptr, IID_IFilter, nullptr));
    factory.Reset();
    EXPECT_HR(S_OK, CanUnloadNow());
}

}  // namespace
