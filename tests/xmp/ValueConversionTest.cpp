// The strict conversions of value texts into the numeric types definition
// files declare: what converts, to which number, and what gives no value.
#include "xmp/ValueConversion.h"

#include "TestSupport.h"

#include <cmath>
#include <string>

using namespace velmora;

namespace {

// "UI2 100", "R8 2.8", "BOOL -1", or "none".
std::string Converted(const std::string& text, VARTYPE type) {
    PROPVARIANT value{};
    if (!ConvertScalar(text, type, value)) return "none";
    EXPECT_EQ(type, value.vt) << text;
    char out[64];
    switch (value.vt) {
    case VT_UI2: snprintf(out, sizeof out, "UI2 %u", value.uiVal); break;
    case VT_UI4: snprintf(out, sizeof out, "UI4 %lu", value.ulVal); break;
    case VT_I4: snprintf(out, sizeof out, "I4 %ld", value.lVal); break;
    case VT_UI8: snprintf(out, sizeof out, "UI8 %llu", value.uhVal.QuadPart); break;
    case VT_R8: snprintf(out, sizeof out, "R8 %.15g", value.dblVal); break;
    case VT_BOOL: snprintf(out, sizeof out, "BOOL %d", value.boolVal); break;
    default: snprintf(out, sizeof out, "vt %u", value.vt); break;
    }
    return out;
}

struct Case {
    const char* text;
    VARTYPE type;
    const char* expected;
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(c.expected, Converted(c.text, c.type)) << '"' << c.text << '"' << " vt " << c.type;
}

TEST(ValueConversion, IntegersWholeAndInRange) {
    Check({
        {"100", VT_UI2, "UI2 100"},
        {"65535", VT_UI2, "UI2 65535"},
        {"65536", VT_UI2, "none"},
        {"+7", VT_UI2, "UI2 7"},
        {" 3200 ", VT_UI2, "UI2 3200"},
        {"-1", VT_UI2, "none"},
        {"7x", VT_UI2, "none"},  // VT_INT would read 7: these types are strict
        {"x7", VT_UI2, "none"},
        {"2.0", VT_UI2, "none"},
        {"28/10", VT_UI2, "none"},
        {"", VT_UI2, "none"},
        {"+", VT_UI2, "none"},
        {"4294967295", VT_UI4, "UI4 4294967295"},
        {"4294967296", VT_UI4, "none"},
        {"-2147483648", VT_I4, "I4 -2147483648"},
        {"2147483647", VT_I4, "I4 2147483647"},
        {"2147483648", VT_I4, "none"},
        {"-2147483649", VT_I4, "none"},
        {"-0", VT_I4, "I4 0"},
        {"18446744073709551615", VT_UI8, "UI8 18446744073709551615"},
        {"18446744073709551616", VT_UI8, "none"},
        {"99999999999999999999999", VT_UI8, "none"},
    });
}

TEST(ValueConversion, RealsDecimalsAndRationals) {
    Check({
        {"2.8", VT_R8, "R8 2.8"},
        {"28/10", VT_R8, "R8 2.8"},
        {"1/250", VT_R8, "R8 0.004"},
        {"-1/3", VT_R8, "R8 -0.333333333333333"},
        {"1/-4", VT_R8, "R8 -0.25"},
        {"5/0", VT_R8, "none"},  // a zero denominator has no value
        {"0/0", VT_R8, "none"},
        {"-12.5e2", VT_R8, "R8 -1250"},
        {".5", VT_R8, "R8 0.5"},
        {"5.", VT_R8, "R8 5"},
        {"+3", VT_R8, "R8 3"},
        {"1e400", VT_R8, "none"},
        {"inf", VT_R8, "none"},
        {"nan", VT_R8, "none"},
        {"0x10", VT_R8, "none"},
        {"2,8", VT_R8, "none"},
        {"1/2/3", VT_R8, "none"},
        {"1.5/2", VT_R8, "none"},
        {"/2", VT_R8, "none"},
        {"", VT_R8, "none"},
    });
}

TEST(ValueConversion, GpsCoordinatesAsSignedDecimalDegrees) {
    Check({
        {"51,30.4512N", VT_R8, "R8 51.50752"},
        {"51,30,27N", VT_R8, "R8 51.5075"},
        {"0,7.668W", VT_R8, "R8 -0.1278"},
        {"33,51,54S", VT_R8, "R8 -33.865"},
        {"151,12,36E", VT_R8, "R8 151.21"},
        {"151,12,36e", VT_R8, "R8 151.21"},
        {"90,0.0N", VT_R8, "R8 90"},
        {"90,0.5N", VT_R8, "none"},     // beyond the pole
        {"91,0N", VT_R8, "none"},
        {"180,0W", VT_R8, "R8 -180"},
        {"181,0E", VT_R8, "none"},
        {"51,60N", VT_R8, "none"},      // minutes below 60
        {"51,30,60N", VT_R8, "none"},   // seconds below 60
        {"51,30.5,10N", VT_R8, "none"}, // decimal minutes come alone
        {"51,30N,", VT_R8, "none"},
        {"51,30X", VT_R8, "none"},
        {"51N", VT_R8, "none"},
        {"-51,30N", VT_R8, "none"},
        {"51,-30N", VT_R8, "none"},
        {"51,30,N", VT_R8, "none"},
        {",30N", VT_R8, "none"},
        {"51,30.4512N", VT_UI4, "none"},
    });
}

TEST(ValueConversion, Booleans) {
    Check({
        {"True", VT_BOOL, "BOOL -1"},
        {"False", VT_BOOL, "BOOL 0"},
        {"true", VT_BOOL, "BOOL -1"},
        {"FALSE", VT_BOOL, "BOOL 0"},
        {"1", VT_BOOL, "none"},
        {"yes", VT_BOOL, "none"},
        {"Truth", VT_BOOL, "none"},
        {"", VT_BOOL, "none"},
    });
}

TEST(ValueConversion, OtherTypesAreNotScalars) {
    for (VARTYPE type : {VT_LPWSTR, VT_INT, VT_FILETIME, VT_I2, VT_UI1, VT_EMPTY}) {
        EXPECT_FALSE(IsScalarType(type)) << type;
        EXPECT_EQ("none", Converted("1", type)) << type;
    }
}

// The stars of xmp:Rating on Windows' percent scale: the rows' numbers
// match whatever way the number is written; any other value has no row.
TEST(ValueConversion, ValueMapRowsMatchNumbers) {
    ValueMap map;
    ASSERT_TRUE(ParseValueMap("1=1, 2=25, 3=50, 4=75, 5=99", VT_UI4, map));
    const auto mapped = [&](const char* text) -> std::string {
        const std::string* to = map.Find(text);
        return to ? *to : "none";
    };
    EXPECT_EQ("1", mapped("1"));
    EXPECT_EQ("75", mapped("4"));
    EXPECT_EQ("75", mapped("4.0"));
    EXPECT_EQ("75", mapped("8/2"));
    EXPECT_EQ("99", mapped("5"));
    EXPECT_EQ("none", mapped("0"));
    EXPECT_EQ("none", mapped("-1"));
    EXPECT_EQ("none", mapped("3.5"));
    EXPECT_EQ("none", mapped("four"));

    ValueMap untouched;
    for (const char* bad : {"", "1", "1=", "=1", "1=1,,2=2", "1=x", "a=1", "1=-1", "1=1;2=2"}) {
        EXPECT_FALSE(ParseValueMap(bad, VT_UI4, untouched)) << bad;
        EXPECT_TRUE(untouched.rows.empty()) << bad;
    }
    EXPECT_FALSE(ParseValueMap("1=1", VT_LPWSTR, untouched));
    EXPECT_FALSE(ParseValueMap("1=1", VT_INT, untouched));
}

}  // namespace
