// A raw profile's hex dump, decoded strictly: as ImageMagick and ExifTool
// write it (a header line "\n" name "\n" length "\n", then hex digits split
// into lines), and every way a dump can be wrong.
#include "formats/PngText.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;

namespace {

TEST(RawProfile, DecodedStrictly) {
    struct Case {
        const char* what;
        std::string text;
        bool decodes;
        std::string bytes;
    };
    const Case cases[] = {
        {"ImageMagick's form", "\nxmp\n       5\n3c3f787061\n", true, "<?xpa"},
        {"lines of any length, upper case", "\nxmp\n3\n3C\n3F\n78", true, "<?x"},
        {"Windows line ends", "\r\nxmp\r\n", false, ""},
        {"CR LF between the digits", "\nxmp\n2\n3c\r\n3f\r\n", true, "<?"},
        {"a NUL at the very end", std::string("\nxmp\n1\n3c\n\0", 11), true, "<"},
        {"a NUL before the end", std::string("\nxmp\n1\n3c\0\n", 11), false, ""},
        {"no digits", "\nxmp\n\n", false, ""},
        {"length 0", "\nxmp\n0\n", false, ""},
        {"fewer digits than announced", "\nxmp\n3\n3c3f\n", false, ""},
        {"an odd digit left over", "\nxmp\n2\n3c3\n", false, ""},
        {"more digits than announced", "\nxmp\n1\n3c3f\n", false, ""},
        {"a space between the digits", "\nxmp\n2\n3c 3f\n", false, ""},
        {"not a hex digit", "\nxmp\n1\n3g\n", false, ""},
        {"no name", "\n\n1\n3c\n", false, ""},
        {"a length beyond the text", "\nxmp\n99999999999999999999\n3c\n", false, ""},
        {"a sign before the length", "\nxmp\n+1\n3c\n", false, ""},
        {"empty", "", false, ""},
    };
    for (const Case& c : cases) {
        std::string bytes = "left over";
        EXPECT_EQ(c.decodes, DecodeRawProfile(c.text, bytes)) << c.what;
        if (c.decodes) {
            EXPECT_EQ(c.bytes, bytes) << c.what;
        }
    }
}

}  // namespace
