// The class factory and the exports linked into the test program, where
// ModuleCount can be read directly: every path gives back what it took.
#include "filter/Velmora.h"
#include "module/ClassFactory.h"
#include "common/Product.h"

#include "ComPtr.h"
#include "TestSupport.h"

#include <filter.h>

using namespace velmora;
using namespace velmora::test;

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow();

namespace {

TEST(ClassFactory, ModuleCountFollowsObjectsAndLocks) {
    const LONG baseline = ModuleCount;
    auto* factory = new CFilterCF<CVelmora>();
    EXPECT_EQ(baseline + 1, ModuleCount);
    EXPECT_EQ(2u, factory->AddRef());
    EXPECT_EQ(1u, factory->Release());

    IUnknown* object = nullptr;
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(baseline + 2, ModuleCount);
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(baseline + 1, ModuleCount);

    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(baseline + 2, ModuleCount);
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(baseline + 1, ModuleCount);

    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(baseline, ModuleCount);
}

// A refused interface destroys the new object again at once.
TEST(ClassFactory, RefusedInterfacesGiveBackTheirCount) {
    const LONG baseline = ModuleCount;
    ComPtr<IClassFactory> factory(new CFilterCF<CVelmora>());
    const IID* refused[] = {&IID_IPersistStorage, &IID_IClassFactory, &IID_IStream};
    for (const IID* iid : refused) {
        void* object = &object;
        EXPECT_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, *iid, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(baseline + 1, ModuleCount);
    }
    IUnknown* outer = factory.Get();
    void* object = &object;
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, &object));
    EXPECT_EQ(baseline + 1, ModuleCount);
    factory.Reset();
    EXPECT_EQ(baseline, ModuleCount);
}

TEST(ClassFactory, ExportsKeepTheCountInStep) {
    const LONG baseline = ModuleCount;
    ASSERT_EQ(0, baseline);
    EXPECT_HR(S_OK, DllCanUnloadNow());
    void* object = &object;
    EXPECT_HR(E_NOINTERFACE, DllGetClassObject(CLSID_VelmoraFilter, IID_IFilter, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(baseline, ModuleCount);
    EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_VelmoraPersistentHandler, IID_IClassFactory, &object));
    EXPECT_EQ(baseline, ModuleCount);

    ComPtr<IClassFactory> factory;
    ASSERT_HR(S_OK, DllGetClassObject(CLSID_VelmoraFilter, IID_IClassFactory, factory.PutVoid()));
    EXPECT_EQ(baseline + 1, ModuleCount);
    EXPECT_HR(S_FALSE, DllCanUnloadNow());
    factory.Reset();
    EXPECT_EQ(baseline, ModuleCount);

    // A count below zero (more unlocks than locks) still lets the DLL go.
    CFilterCF<CVelmora> unlocker;
    EXPECT_HR(S_OK, unlocker.LockServer(FALSE));
    EXPECT_HR(S_OK, unlocker.LockServer(FALSE));
    EXPECT_EQ(baseline - 1, ModuleCount);
    EXPECT_HR(S_OK, DllCanUnloadNow());
    EXPECT_HR(S_OK, unlocker.LockServer(TRUE));
    EXPECT_HR(S_OK, unlocker.LockServer(TRUE));
}

}  // namespace
