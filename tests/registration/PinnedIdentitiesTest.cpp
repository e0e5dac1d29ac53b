// The identities that installed systems and existing indexes depend on, held
// here as literal text: the filter class, the persistent handler, the three
// property sets of the standard schemas, and the registry paths. A change to
// any of them orphans what an earlier version installed or indexed, so this
// test fails on any change, however consistent the rest of the code is.
#include "RegistrationFixture.h"

#include "common/Product.h"
#include "registration/FileTypes.h"
#include "xmp/StandardSchemas.h"

#include "ChunkRecorder.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <string>

using namespace velmora;
using namespace velmora::test;

namespace {

const std::wstring kFilterClass = L"{2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}";
const std::wstring kPersistentHandler = L"{7F0BCA34-AF00-403A-B243-23F2837DF0B1}";
const std::wstring kIFilterAddin = L"PersistentAddinsRegistered\\{89BCB740-6119-101A-BCB7-00DD010655AF}";
const wchar_t* const kExtensions[] = {L".ai", L".jpg", L".jpeg", L".tif", L".tiff", L".ps",
                                      L".eps", L".gif", L".png", L".psd", L".svg"};

std::wstring Read(const std::wstring& path, const wchar_t* name = nullptr) {
    std::wstring value;
    return RegistrySandbox::ReadString(path, name, value, HKEY_CLASSES_ROOT) ? value : L"(missing)";
}

}  // namespace

TEST(PinnedIdentities, ClassIdentifiersPropertySetsAndProductKey) {
    struct Row {
        const char* what;
        std::wstring pinned;
        std::wstring product;
    };
    const Row rows[] = {
        {"filter class", kFilterClass, GuidString(CLSID_VelmoraFilter)},
        {"persistent handler", kPersistentHandler, GuidString(CLSID_VelmoraPersistentHandler)},
        {"Dublin Core property set", L"{1DAED496-2F55-4B1A-89E7-011A4607F8F5}", GuidString(FMTID_XmpDublinCore)},
        {"Photoshop property set", L"{51371CE2-CF81-4A65-B7D6-0332F3D51D9C}", GuidString(FMTID_XmpPhotoshop)},
        {"XMP basic property set", L"{30B1C230-C017-4FF4-B0E8-9F44F1997C35}", GuidString(FMTID_XmpBasic)},
        {"product key", L"SOFTWARE\\Corvantis\\Velmora", kProductKeyPath},
        {"display name", L"Corvantis Velmora", kProductDisplayName},
        {"IFilter add-in key", kIFilterAddin, kFilterAddinKey},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.pinned, row.product);
    }
}

// The types regsvr32 registers are the core rows of the file-type table, in order.
TEST(PinnedIdentities, TheDllRegistersTheseFileTypes) {
    ASSERT_EQ(std::size(kExtensions), kFileTypeCount);
    for (size_t i = 0; i < kFileTypeCount; ++i) EXPECT_EQ(std::wstring(kExtensions[i]), kFileTypes[i].extension);
}

using PinnedRegistryPaths = RegistrationTest;

// What Windows search follows from a file type to the DLL, key by key.
TEST_F(PinnedRegistryPaths, AnInstalledSystemFindsTheFilterThroughTheseKeys) {
    ASSERT_TRUE(dll.Loaded());
    ASSERT_HR(S_OK, dll.Register());
    for (const wchar_t* extension : kExtensions) {
        SCOPED_TRACE(Narrow(extension));
        EXPECT_EQ(kPersistentHandler, Read(std::wstring(extension) + L"\\PersistentHandler"));
    }
    EXPECT_EQ(kFilterClass, Read(L"CLSID\\" + kPersistentHandler + L"\\" + kIFilterAddin));
    EXPECT_EQ(dll.Path(), Read(L"CLSID\\" + kFilterClass + L"\\InprocServer32"));
    EXPECT_EQ(L"Both", Read(L"CLSID\\" + kFilterClass + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"Corvantis Velmora", Read(L"CLSID\\" + kFilterClass));
    EXPECT_EQ(L"Corvantis Velmora Persistent Handler", Read(L"CLSID\\" + kPersistentHandler));
    EXPECT_HR(S_OK, dll.Unregister());
}
