// Test programs start the XMP Toolkit once per process, as the DLL does.
#include "xmp/XmpToolkit.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!SXMPMeta::Initialize()) return 2;
    const int result = RUN_ALL_TESTS();
    SXMPMeta::Terminate();
    return result;
}
