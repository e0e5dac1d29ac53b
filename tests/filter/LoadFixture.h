// A filter object over a fresh configuration whose log is at level 3 and
// whose temporary directory is a private one: what the loading tests start
// from. The log is captured from the end of the set-up on.
#pragma once

#include "filter/Velmora.h"

#include "ComPtr.h"
#include "LogCapture.h"
#include "RegistrySandbox.h"
#include "TestSupport.h"

#include <memory>

namespace velmora::test {

class LoadFixture : public testing::Test {
protected:
    LoadFixture() {
        RegistrySandbox::SetDword(kProductKeyPath, L"DebugMode", 3);
        RegistrySandbox::SetString(kProductKeyPath, L"TempPath", temp.Path());
        debugger.Initialize(kProductKeyPath, kProductDisplayName);
        configuration = std::make_unique<VelmoraConfiguration>();
        filter.Reset(new CVelmora(*configuration));
        capture.Clear();
    }
    ~LoadFixture() override {
        filter.Reset();
        debugger.Initialize(L"SOFTWARE\\Corvantis\\Velmora\\NoSuchKey", kProductDisplayName);
    }

    RegistrySandbox registry;
    TempDirectory temp;
    std::unique_ptr<VelmoraConfiguration> configuration;
    ComPtr<CVelmora> filter;
    LogCapture capture;
};

}  // namespace velmora::test
