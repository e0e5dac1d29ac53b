// The diagnostic log against the real registry value and the real debugger output.
#include "diag/Debugger.h"

#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using Lines = std::vector<std::wstring>;

namespace {

const std::wstring kKey = L"SOFTWARE\\Corvantis\\Velmora";
const std::wstring kPrefix = L"Corvantis Velmora:";

// A Debugger of its own for each test, initialised from a private registry.
class DebuggerTest : public testing::Test {
protected:
    void InitializeWithMode(const DWORD* mode) {
        if (mode) RegistrySandbox::SetDword(kKey, L"DebugMode", *mode);
        log.Initialize(kKey.c_str(), kProductDisplayName);
    }
    void WriteOneOfEachLevel() {
        log.Log(1, L"ERROR: one \n");
        log.Log(2, L"INFO: two \n");
        log.Log(3, L"INFO: three \n");
    }

    RegistrySandbox registry;
    Debugger log;
    LogCapture capture;
};

TEST_F(DebuggerTest, NothingIsWrittenBeforeInitialize) {
    WriteOneOfEachLevel();
    log.LogFormat(1, L"ERROR: %s \n", L"x");
    EXPECT_EQ(Lines{}, capture.Lines());
}

TEST_F(DebuggerTest, LevelFollowsDebugMode) {
    struct Case {
        DWORD mode;
        Lines expected;
    };
    const Case cases[] = {
        {0, {}},
        {1, {kPrefix + L"ERROR: one \n"}},
        {2, {kPrefix + L"ERROR: one \n", kPrefix + L"INFO: two \n"}},
        {3, {kPrefix + L"ERROR: one \n", kPrefix + L"INFO: two \n", kPrefix + L"INFO: three \n"}},
        {4, {}},
        {0xFFFFFFFF, {}},
    };
    for (const Case& c : cases) {
        InitializeWithMode(&c.mode);
        capture.Clear();
        WriteOneOfEachLevel();
        EXPECT_EQ(c.expected, capture.Lines()) << "DebugMode " << c.mode;
    }
}

TEST_F(DebuggerTest, MissingKeyOrValueOrWrongTypeLeavesTheLogOff) {
    InitializeWithMode(nullptr);  // no key at all
    WriteOneOfEachLevel();
    RegistrySandbox::CreateKey(kKey);  // key without the value
    log.Initialize(kKey.c_str(), kProductDisplayName);
    WriteOneOfEachLevel();
    RegistrySandbox::SetString(kKey, L"DebugMode", L"3");  // REG_SZ "3"
    log.Initialize(kKey.c_str(), kProductDisplayName);
    WriteOneOfEachLevel();
    const unsigned char eightBytes[8] = {3};
    RegistrySandbox::SetRaw(kKey, L"DebugMode", REG_QWORD, eightBytes, sizeof eightBytes);
    log.Initialize(kKey.c_str(), kProductDisplayName);
    WriteOneOfEachLevel();
    const unsigned char twoBytes[2] = {3, 0};
    RegistrySandbox::SetRaw(kKey, L"DebugMode", REG_DWORD, twoBytes, sizeof twoBytes);
    log.Initialize(kKey.c_str(), kProductDisplayName);
    WriteOneOfEachLevel();
    EXPECT_EQ(Lines{}, capture.Lines());
}

TEST_F(DebuggerTest, NullDisplayNameGivesTheCorvantisPrefix) {
    RegistrySandbox::SetDword(kKey, L"DebugMode", 1);
    log.Initialize(kKey.c_str(), nullptr);
    log.Log(1, L"INFO: DLL was loaded \n");
    EXPECT_EQ(Lines{L"Corvantis:INFO: DLL was loaded \n"}, capture.Lines());
}

TEST_F(DebuggerTest, TextWithoutLineEndIsWrittenAsItIs) {
    const DWORD mode = 1;
    InitializeWithMode(&mode);
    log.Log(1, L"INFO: cannot open default XMP schemas registry subkey");
    EXPECT_EQ(Lines{kPrefix + L"INFO: cannot open default XMP schemas registry subkey"}, capture.Lines());
}

TEST_F(DebuggerTest, LogFormatWithIntegersAndWideStrings) {
    const DWORD mode = 3;
    InitializeWithMode(&mode);
    log.LogFormat(1, L"INFO: Unable to retrieve STAT from IStorage stream. Error = 0x%08x \n", 255);
    log.LogFormat(3, L"INFO: bytesWritten = %d \n", 0);
    log.LogFormat(3, L"INFO: stream size = %d \n", -5);
    log.LogFormat(2, L"INFO: loading for %s \n", L"C:\\images\\caf\u00e9.jpg");
    log.LogFormat(1, L"ERROR:  BinaryCopy failure error code = 0x%08x", static_cast<int32_t>(0x80070006));
    log.LogFormat(1, L"ERROR: document open failure: %s \n", static_cast<const wchar_t*>(nullptr));
    log.LogFormat(1, L"100%% of %s", L"it");
    EXPECT_EQ((Lines{
                  kPrefix + L"INFO: Unable to retrieve STAT from IStorage stream. Error = 0x000000ff \n",
                  kPrefix + L"INFO: bytesWritten = 0 \n",
                  kPrefix + L"INFO: stream size = -5 \n",
                  kPrefix + L"INFO: loading for C:\\images\\caf\u00e9.jpg \n",
                  kPrefix + L"ERROR:  BinaryCopy failure error code = 0x80070006",
                  kPrefix + L"ERROR: document open failure: (null) \n",
                  kPrefix + L"100% of it",
              }),
              capture.Lines());
}

TEST_F(DebuggerTest, LogFormatCutsLongTextAt1023Characters) {
    const DWORD mode = 1;
    InitializeWithMode(&mode);
    const std::wstring longName(3000, L'a');
    log.LogFormat(1, L"ERROR: file %s cannot be opened", longName.c_str());
    const Lines lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    const std::wstring expected = kPrefix + (L"ERROR: file " + longName).substr(0, 1023);
    EXPECT_EQ(expected, lines[0]);
}

TEST_F(DebuggerTest, MessagesAboveTheLevelAreNotFormatted) {
    const DWORD mode = 1;
    InitializeWithMode(&mode);
    // A format that would read a wide string from the integer: never evaluated.
    log.LogFormat(2, L"%s", 12345);
    EXPECT_EQ(Lines{}, capture.Lines());
}

}  // namespace
