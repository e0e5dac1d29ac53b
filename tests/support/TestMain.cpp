// Test programs start the XMP Toolkit once per process, as the DLL does, and
// count a failure of the host-side kit's helpers as a failure of the test.
#include "Failures.h"

#include "toolkit/XmpToolkit.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    velmora::hostkit::SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
    if (!velmora::StartXmpToolkit()) return 2;
    const int result = RUN_ALL_TESTS();
    velmora::StopXmpToolkit();
    return result;
}
