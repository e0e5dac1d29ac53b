// Registration with the SharePoint products, seen from the products' side:
// the fake registration object stands in for each installed product and
// records the calls it receives; the log shows what the filter reported.
#include "RegistrationFixture.h"

#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"
#include "registration/HostFilterRegistration.h"

#include <objbase.h>

#include <functional>
#include <string>
#include <vector>

using namespace velmora::test;

namespace {

const std::wstring kLog = L"Corvantis Velmora:";
const std::wstring kTiffArguments = L" | 2 .tif .tiff | 2 image/tiff image/tiff | " + kFilterClassText;
const std::wstring kGeneralArguments =
    L" | 9 .ai .jpg .jpeg .ps .eps .gif .png .psd .svg | 9 application/postscript image/jpeg image/jpeg "
    L"application/postscript application/postscript image/gif image/png application/x-photoshop image/svg+xml | " +
    kFilterClassText;
const std::wstring kAddFlags = L" | 0 0 0 0 0 1 0";
const std::wstring kRemoveFlags = L" | 0 0 0 0 0";

std::wstring AddTiff(const SharePointProduct& p) { return L"AddFilter " + std::wstring(p.classString) + kTiffArguments + kAddFlags; }
std::wstring RemoveTiff(const SharePointProduct& p) { return L"RemoveFilter " + std::wstring(p.classString) + kTiffArguments + kRemoveFlags; }
std::wstring AddGeneral(const SharePointProduct& p) { return L"AddFilter " + std::wstring(p.classString) + kGeneralArguments + kAddFlags; }
std::wstring RemoveGeneral(const SharePointProduct& p) { return L"RemoveFilter " + std::wstring(p.classString) + kGeneralArguments + kRemoveFlags; }

const std::wstring kSps2007Ok = kLog + L"INFO: IFilter was registered for SPS2007 \n";
const std::wstring kSps2007Failed = kLog + L"INFO: could not register IFilter for SPS2007 \n";
const std::wstring kWss3Ok = kLog + L"INFO: IFilter was registered for WSS3.0 \n";
const std::wstring kWss3Failed = kLog + L"INFO: could not register IFilter for WSS3 \n";
const std::wstring kSps2003Ok = kLog + L"INFO: successfully registered IFilter for SPS2003 \n";
const std::wstring kSps2003Failed = kLog + L"INFO: could not register IFilter for SPS2003 \n";
const std::wstring kSps2001Ok = kLog + L"INFO: IFilter was registered for SPS2001 \n";
const std::wstring kSps2001Failed = kLog + L"INFO: could not register IFilter for SPS2001 \n";
const Lines kNoProductLog = {kSps2007Failed, kWss3Failed, kSps2003Failed, kSps2001Failed};

class SharePointTest : public RegistrationTest {
protected:
    void Install(std::initializer_list<const SharePointProduct*> products) {
        for (const SharePointProduct* product : products) fakes.Install(*product);
    }
};

using ExportCall = HRESULT (VelmoraLibrary::*)() const;

struct Arrangement {
    const char* name;
    std::vector<const SharePointProduct*> installed;
    std::wstring failing;           // products whose AddFilter/RemoveFilter fail
    std::wstring withoutInterface;  // products whose object lacks IHostFilterRegistration
    ExportCall call;
    HRESULT expected;
    Lines calls;
    Lines log;
};

TEST_F(SharePointTest, TiffExportsWalkTheProductsInOrder) {
    ASSERT_TRUE(fakes.Loaded());
    ASSERT_TRUE(dll.Loaded());
    const std::wstring sps2007 = kSps2007.classString;
    const std::wstring wss3 = kWss3.classString;
    const std::wstring sps2003 = kSps2003.classString;
    const std::wstring sps2001 = kSps2001.classString;
    const Arrangement arrangements[] = {
        {"no product", {}, L"", L"", &VelmoraLibrary::TiffRegister, REGDB_E_CLASSNOTREG, {}, kNoProductLog},
        {"SPS2007 and WSS3", {&kSps2007, &kWss3}, L"", L"", &VelmoraLibrary::TiffRegister, S_OK,
         {AddTiff(kSps2007), AddTiff(kWss3)}, {kSps2007Ok, kWss3Ok}},
        {"only SPS2003", {&kSps2003}, L"", L"", &VelmoraLibrary::TiffRegister, S_OK, {AddTiff(kSps2003)},
         {kSps2007Failed, kWss3Failed, kSps2003Ok}},
        {"only SPS2001, removing", {&kSps2001}, L"", L"", &VelmoraLibrary::TiffUnregister, S_OK,
         {RemoveTiff(kSps2001)}, {kSps2007Failed, kWss3Failed, kSps2003Failed, kSps2001Ok}},
        {"SPS2007 alone does not decide the result", {&kSps2007}, L"", L"", &VelmoraLibrary::TiffRegister,
         REGDB_E_CLASSNOTREG, {AddTiff(kSps2007)}, {kSps2007Ok, kWss3Failed, kSps2003Failed, kSps2001Failed}},
        {"a failing SPS2007 does not stop WSS3", {&kSps2007, &kWss3, &kSps2003, &kSps2001}, sps2007, L"",
         &VelmoraLibrary::TiffRegister, S_OK, {AddTiff(kSps2007), AddTiff(kWss3)}, {kSps2007Failed, kWss3Ok}},
        {"failing call and missing interface fall through to SPS2001", {&kWss3, &kSps2003, &kSps2001}, wss3, sps2003,
         &VelmoraLibrary::TiffRegister, S_OK, {AddTiff(kWss3), AddTiff(kSps2001)},
         {kSps2007Failed, kWss3Failed, kSps2003Failed, kSps2001Ok}},
        {"every product fails: SPS2001's code", {&kWss3, &kSps2003, &kSps2001}, wss3 + sps2001, sps2003,
         &VelmoraLibrary::TiffUnregister, E_FAIL, {RemoveTiff(kWss3), RemoveTiff(kSps2001)}, kNoProductLog},
    };
    for (const Arrangement& arrangement : arrangements) {
        SCOPED_TRACE(arrangement.name);
        FakeHosts::Reinstall reinstall(fakes);
        for (const SharePointProduct* product : arrangement.installed) fakes.Install(*product);
        fakes.Configure(arrangement.failing, arrangement.withoutInterface);
        LogCapture capture;
        EXPECT_HR(arrangement.expected, (dll.*arrangement.call)());
        EXPECT_EQ(arrangement.calls, fakes.Calls());
        EXPECT_EQ(arrangement.log, capture.Lines());
    }
}

TEST_F(SharePointTest, RegisterServerAddsTheGeneralFileTypes) {
    ASSERT_TRUE(dll.Loaded());
    Install({&kSps2007, &kWss3});
    LogCapture capture;
    EXPECT_HR(S_OK, dll.Register());
    EXPECT_EQ((Lines{AddGeneral(kSps2007), AddGeneral(kWss3)}), fakes.Calls());
    EXPECT_EQ((Lines{kSps2007Ok, kWss3Ok}), capture.Lines());
}

TEST_F(SharePointTest, UnregisterServerRemovesTiffThenGeneralFileTypes) {
    ASSERT_TRUE(dll.Loaded());
    ASSERT_HR(S_OK, dll.Register());
    Install({&kSps2003});
    fakes.Configure(L"", L"");
    LogCapture capture;
    EXPECT_HR(S_OK, dll.Unregister());
    EXPECT_EQ((Lines{RemoveTiff(kSps2003), RemoveGeneral(kSps2003)}), fakes.Calls());
    EXPECT_EQ((Lines{kSps2007Failed, kWss3Failed, kSps2003Ok, kSps2007Failed, kWss3Failed, kSps2003Ok}),
              capture.Lines());
}

TEST_F(SharePointTest, NoProductLeavesRegisterServerSucceeding) {
    ASSERT_TRUE(dll.Loaded());
    LogCapture capture;
    EXPECT_HR(S_OK, dll.Register());
    EXPECT_EQ(kNoProductLog, capture.Lines());
    capture.Clear();
    EXPECT_HR(S_OK, dll.Unregister());
    Lines twice = kNoProductLog;
    twice.insert(twice.end(), kNoProductLog.begin(), kNoProductLog.end());
    EXPECT_EQ(twice, capture.Lines());
}

// COM for the thread is the filter's own for the length of the call: a thread
// in the multithreaded apartment cannot get it and nothing is tried; a thread
// already in a single-threaded apartment keeps its apartment afterwards.
TEST_F(SharePointTest, ApartmentOfTheCallingThread) {
    ASSERT_TRUE(dll.Loaded());
    Install({&kWss3});
    {
        ASSERT_HR(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        LogCapture capture;
        EXPECT_HR(RPC_E_CHANGED_MODE, dll.TiffRegister());
        EXPECT_EQ(Lines{}, capture.Lines());
        EXPECT_EQ(Lines{}, fakes.Calls());
        CoUninitialize();
    }
    ASSERT_HR(S_OK, CoInitialize(nullptr));
    LogCapture capture;
    EXPECT_HR(S_OK, dll.TiffRegister());
    EXPECT_EQ((Lines{kSps2007Failed, kWss3Ok}), capture.Lines());
    EXPECT_HR(S_FALSE, CoInitialize(nullptr));  // still initialised: the filter balanced its own call
    CoUninitialize();
    CoUninitialize();
}

// The two methods sit where the products have them: positions 4 and 14 of the method table.
TEST_F(SharePointTest, MethodPositionsOfTheRegistrationInterface) {
    Install({&kWss3});
    ASSERT_HR(S_OK, CoInitialize(nullptr));
    CLSID host = {};
    ASSERT_HR(S_OK, CLSIDFromString(kWss3.classString, &host));
    void* object = nullptr;
    ASSERT_HR(S_OK, CoCreateInstance(host, nullptr, CLSCTX_INPROC_SERVER, velmora::IID_IHostFilterRegistration, &object));
    const wchar_t* extensions[] = {L".x"};
    const wchar_t* mimeTypes[] = {L"a/b"};
    void** table = *static_cast<void***>(object);
    using Remove = HRESULT(STDMETHODCALLTYPE*)(void*, ULONG, const wchar_t* const*, ULONG_PTR, ULONG_PTR, ULONG,
                                               const wchar_t* const*, ULONG_PTR, const CLSID*, ULONG_PTR, ULONG_PTR);
    using Add = HRESULT(STDMETHODCALLTYPE*)(void*, ULONG, const wchar_t* const*, ULONG_PTR, ULONG_PTR, ULONG,
                                            const wchar_t* const*, ULONG_PTR, ULONG_PTR, const CLSID*, ULONG_PTR,
                                            ULONG_PTR, ULONG_PTR);
    EXPECT_HR(S_OK, reinterpret_cast<Remove>(table[4])(object, 1, extensions, 0, 0, 1, mimeTypes, 0, &host, 0, 0));
    EXPECT_HR(S_OK, reinterpret_cast<Add>(table[14])(object, 1, extensions, 0, 0, 1, mimeTypes, 0, 0, &host, 0, 1, 0));
    static_cast<IUnknown*>(object)->Release();
    const std::wstring self = kWss3.classString;
    EXPECT_EQ((Lines{L"RemoveFilter " + self + L" | 1 .x | 1 a/b | " + self + kRemoveFlags,
                     L"AddFilter " + self + L" | 1 .x | 1 a/b | " + self + kAddFlags}),
              fakes.Calls());
    CoUninitialize();
}

}  // namespace
