// XmpPacket value queries over real packets: item walking for simple values,
// arrays, structs and alt-text; typed conversion to integers and dates; join
// mode; and the text list that every read feeds.
#include "xmp/XmpPacket.h"

#include "TestSupport.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using Texts = std::vector<std::wstring>;

namespace {

const std::string kVt = "http://ns.corvantis.com/velmora/test/1.0/";
const std::string kDc = "http://purl.org/dc/elements/1.1/";
const std::string kXmp = "http://ns.adobe.com/xap/1.0/";
const std::string kPhotoshop = "http://ns.adobe.com/photoshop/1.0/";

std::wstring FormatFileTime(const FILETIME& time) {
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&time, &st)) return L"bad FILETIME";
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    wchar_t text[64];
    swprintf(text, 64, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    std::wstring result = text;
    if (const unsigned long long rest = ticks.QuadPart % 10000000ULL) result += L" +" + std::to_wstring(rest);
    return result;
}

// One query's outcome as "<next index> <kind> <value>", "<next index> none"
// for an item without a value, or "end" when there are no more items.
std::wstring Describe(const ValueResult& result, const PropertyValue& value) {
    if (result.IsEnd()) return L"end";
    std::wstring text = std::to_wstring(result.next);
    if (!result.HasValue()) return text + L" none";
    switch (value.kind) {
    case PropertyValue::Text: return text + L" T " + value.text;
    case PropertyValue::Date: return text + L" D " + FormatFileTime(value.time);
    case PropertyValue::Integer: return text + L" I " + std::to_wstring(value.number);
    case PropertyValue::Scalar: {
        wchar_t number[48];
        switch (value.scalar.vt) {
        case VT_UI2: swprintf(number, 48, L"UI2 %u", value.scalar.uiVal); break;
        case VT_UI4: swprintf(number, 48, L"UI4 %lu", value.scalar.ulVal); break;
        case VT_I4: swprintf(number, 48, L"I4 %ld", value.scalar.lVal); break;
        case VT_UI8: swprintf(number, 48, L"UI8 %llu", value.scalar.uhVal.QuadPart); break;
        case VT_R8: swprintf(number, 48, L"R8 %.15g", value.scalar.dblVal); break;
        case VT_BOOL: swprintf(number, 48, L"BOOL %d", value.scalar.boolVal); break;
        default: swprintf(number, 48, L"vt %u", value.scalar.vt); break;
        }
        return text + L" " + number;
    }
    default: return text + L" ? kind " + std::to_wstring(value.kind);
    }
}

Texts TextList(const XmpPacket& packet) {
    Texts texts;
    for (auto text = packet.TextBegin(); text != packet.TextEnd(); ++text) texts.push_back(text->text);
    return texts;
}

struct Query {
    const char* path;
    VARTYPE type;
    int32_t index;
    const wchar_t* expected;
};

// Runs each query with a fresh slot against the given namespace.
void RunQueries(XmpPacket& packet, const std::string& ns, const std::vector<Query>& queries, bool join = false) {
    for (const Query& q : queries) {
        SCOPED_TRACE(std::string(q.path) + " type " + std::to_string(q.type) + " index " + std::to_string(q.index) +
                     (join ? " joined" : ""));
        PropertyValue value;
        const ValueResult result = join ? packet.GetValue(ns, q.path, q.type, q.index, value)
                                        : packet.GetItemValue(ns, q.path, q.type, q.index, value);
        EXPECT_EQ(std::wstring(q.expected), Describe(result, value));
    }
}

class XmpPacketValues : public testing::Test {
protected:
    XmpPacket values{TestDataPath(L"values.bin").c_str(), false};
    XmpPacket joined{TestDataPath(L"values.bin").c_str(), true};

    void SetUp() override {
        ASSERT_TRUE(values.IsLoaded());
        ASSERT_FALSE(values.IsEmpty());
        ASSERT_FALSE(joined.IsEmpty());
    }
};

TEST_F(XmpPacketValues, SimpleArrayStructAndAltTextItems) {
    RunQueries(values, kVt,
               {
                   {"vt:Simple", VT_LPWSTR, 1, L"2 T plain value"},
                   {"vt:Simple", VT_LPWSTR, 2, L"end"},
                   {"vt:Simple", VT_LPWSTR, 0, L"end"},
                   {"vt:Unicode", VT_LPWSTR, 1, L"2 T Gr\u00fc\u00dfe aus K\u00f6ln"},
                   {"vt:EmptyValue", VT_LPWSTR, 1, L"2 T "},
                   {"vt:Bag", VT_LPWSTR, 1, L"2 T alpha"},
                   {"vt:Bag", VT_LPWSTR, 2, L"3 T beta"},
                   {"vt:Bag", VT_LPWSTR, 3, L"4 T gamma"},
                   {"vt:Bag", VT_LPWSTR, 4, L"end"},
                   {"vt:Bag", VT_LPWSTR, 0, L"end"},
                   {"vt:Bag", VT_LPWSTR, -1, L"end"},
                   {"vt:Seq", VT_LPWSTR, 1, L"2 T first"},
                   {"vt:Seq", VT_LPWSTR, 2, L"3 T second"},
                   {"vt:Seq", VT_LPWSTR, 3, L"end"},
                   {"vt:Struct", VT_LPWSTR, 1, L"end"},
                   {"vt:Struct", VT_LPWSTR, 0, L"end"},
                   {"vt:Struct", VT_LPWSTR, 2, L"end"},
                   {"vt:Struct/vt:Field", VT_LPWSTR, 1, L"2 T inner"},
                   {"vt:StructItems", VT_LPWSTR, 1, L"2 T "},  // a struct item has an empty value
                   {"vt:StructItems", VT_LPWSTR, 2, L"3 T plain item"},
                   {"vt:StructItems[1]/vt:Field", VT_LPWSTR, 1, L"2 T inner"},
                   // Alt-text items come by position, every language.
                   {"vt:AltText", VT_LPWSTR, 1, L"2 T Hello"},
                   {"vt:AltText", VT_LPWSTR, 2, L"3 T Hallo"},
                   {"vt:AltText", VT_LPWSTR, 3, L"4 T Bonjour"},
                   {"vt:AltText", VT_LPWSTR, 4, L"end"},
                   // The toolkit moves x-default to the front while parsing...
                   {"vt:AltReordered", VT_LPWSTR, 1, L"2 T Hello"},
                   {"vt:AltReordered", VT_LPWSTR, 2, L"3 T Hallo"},
                   {"vt:AltReordered", VT_LPWSTR, 3, L"4 T Bonjour"},
                   // ...and an x-default-plus-one array keeps both texts.
                   {"vt:AltPair", VT_LPWSTR, 1, L"2 T Hello"},
                   {"vt:AltPair", VT_LPWSTR, 2, L"3 T Hallo"},
                   {"vt:AltPair", VT_LPWSTR, 3, L"end"},
                   // Missing properties, unknown namespaces, bad paths.
                   {"vt:Missing", VT_LPWSTR, 1, L"end"},
                   {"", VT_LPWSTR, 1, L"end"},
                   {"vt:Bag[", VT_LPWSTR, 1, L"end"},
               });
    PropertyValue value;
    EXPECT_TRUE(values.GetItemValue("http://ns.example.com/unregistered/", "un:Simple", VT_LPWSTR, 1, value).IsEnd());
    EXPECT_TRUE(values.GetItemValue("", "vt:Simple", VT_LPWSTR, 1, value).IsEnd());
}

TEST_F(XmpPacketValues, AnyOtherDeclaredTypeIsText) {
    RunQueries(values, kVt,
               {
                   {"vt:IntPlain", VT_LPWSTR, 1, L"2 T 3"},
                   {"vt:DateZone", VT_LPWSTR, 1, L"2 T 2006-05-04T10:20:30+02:00"},
                   {"vt:IntPlain", VT_BSTR, 1, L"2 T 3"},
                   {"vt:IntPlain", VT_I2, 1, L"2 T 3"},
                   {"vt:DateZone", VT_DATE, 1, L"2 T 2006-05-04T10:20:30+02:00"},
                   {"vt:Bag", VT_EMPTY, 2, L"3 T beta"},
               });
}

TEST_F(XmpPacketValues, Integers) {
    RunQueries(values, kVt,
               {
                   {"vt:IntPlain", VT_INT, 1, L"2 I 3"},
                   {"vt:IntSpaced", VT_INT, 1, L"2 I 7"},
                   {"vt:IntLetter", VT_INT, 1, L"2 none"},
                   {"vt:IntNegative", VT_INT, 1, L"2 I -42"},
                   {"vt:IntTooBig", VT_INT, 1, L"2 none"},
                   {"vt:EmptyValue", VT_INT, 1, L"2 none"},
                   {"vt:Simple", VT_INT, 1, L"2 none"},
                   {"vt:IntArray", VT_INT, 1, L"2 I 1"},
                   // An item that does not convert ends nothing: the next is read.
                   {"vt:IntArray", VT_INT, 2, L"3 none"},
                   {"vt:IntArray", VT_INT, 3, L"4 I 3"},
                   {"vt:IntArray", VT_INT, 4, L"end"},
               });
}

TEST_F(XmpPacketValues, AnItemThatDoesNotConvertLeavesTheLaterItemsToBeRead) {
    // ["1", "x", "3"] as integers: values 1 and 3, and all three texts.
    values.ClearText();
    std::vector<std::wstring> walk;
    PropertyValue value;
    for (ValueResult result = ValueResult::Found(1); !result.IsEnd();) {
        result = values.GetValue(kVt, "vt:IntArray", VT_INT, result.next, value);
        walk.push_back(Describe(result, value));
    }
    EXPECT_EQ((Texts{L"2 I 1", L"3 none", L"4 I 3", L"end"}), walk);
    EXPECT_EQ((Texts{L"1", L"x", L"3"}), TextList(values));
}

TEST_F(XmpPacketValues, Dates) {
    RunQueries(values, kVt,
               {
                   {"vt:DateZone", VT_FILETIME, 1, L"2 D 2006-05-04 08:20:30"},
                   {"vt:DateNoZone", VT_FILETIME, 1, L"2 D 2006-05-04 00:00:00"},
                   {"vt:DateFraction", VT_FILETIME, 1, L"2 D 2006-05-04 10:20:30"},
                   {"vt:DateWord", VT_FILETIME, 1, L"2 none"},
                   {"vt:Simple", VT_FILETIME, 1, L"2 none"},
                   {"vt:EmptyValue", VT_FILETIME, 1, L"2 none"},
                   {"vt:DateArray", VT_FILETIME, 1, L"2 D 2006-05-04 10:20:30"},
                   {"vt:DateArray", VT_FILETIME, 2, L"3 D 2007-06-05 11:21:31"},
                   {"vt:DateArray", VT_FILETIME, 3, L"end"},
                   // Parse as dates but have no FILETIME: no value.
                   {"vt:DateTimeOnly", VT_FILETIME, 1, L"2 none"},
                   {"vt:DateAncient", VT_FILETIME, 1, L"2 none"},
               });
}

TEST_F(XmpPacketValues, AFailedConversionLeavesTheSlotAsItWasButKeepsTheText) {
    struct Case {
        const char* path;
        VARTYPE type;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"vt:IntLetter", VT_INT, L"x7"},
        {"vt:IntTooBig", VT_INT, L"99999999999"},
        {"vt:DateWord", VT_FILETIME, L"yesterday"},
        {"vt:DateTimeOnly", VT_FILETIME, L"T10:20:30"},
        {"vt:DateAncient", VT_FILETIME, L"1200-01-01T00:00:00Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        values.ClearText();
        PropertyValue value;
        ASSERT_EQ(L"2 D 2006-05-04 08:20:30",
                  Describe(values.GetItemValue(kVt, "vt:DateZone", VT_FILETIME, 1, value), value));
        const FILETIME before = value.time;
        value.number = 77;
        value.text = L"previous";

        EXPECT_EQ(L"2 none", Describe(values.GetItemValue(kVt, c.path, c.type, 1, value), value));
        EXPECT_EQ(PropertyValue::Date, value.kind);
        EXPECT_EQ(before.dwLowDateTime, value.time.dwLowDateTime);
        EXPECT_EQ(before.dwHighDateTime, value.time.dwHighDateTime);
        EXPECT_EQ(77, value.number);
        EXPECT_EQ(L"previous", value.text);
        EXPECT_EQ((Texts{L"2006-05-04T10:20:30+02:00", c.text}), TextList(values));
    }
}

TEST_F(XmpPacketValues, TextListKeepsEveryReadInOrderUntilCleared) {
    PropertyValue value;
    values.GetItemValue(kVt, "vt:Bag", VT_LPWSTR, 2, value);
    values.GetItemValue(kVt, "vt:IntPlain", VT_INT, 1, value);
    values.GetItemValue(kVt, "vt:Missing", VT_LPWSTR, 1, value);  // nothing read
    values.GetItemValue(kVt, "vt:Struct", VT_LPWSTR, 1, value);   // nothing read
    values.GetItemValue(kVt, "vt:Bag", VT_LPWSTR, 9, value);      // nothing read
    values.GetItemValue(kVt, "vt:DateNoZone", VT_FILETIME, 1, value);
    values.GetItemValue(kVt, "vt:Bag", VT_LPWSTR, 2, value);  // read twice, kept twice
    EXPECT_EQ((Texts{L"beta", L"3", L"2006-05-04", L"beta"}), TextList(values));
    values.ClearText();
    EXPECT_EQ(Texts{}, TextList(values));
    values.GetItemValue(kVt, "vt:Unicode", VT_LPWSTR, 1, value);
    EXPECT_EQ((Texts{L"Gr\u00fc\u00dfe aus K\u00f6ln"}), TextList(values));
}

TEST_F(XmpPacketValues, GetValueWithoutJoinReadsOneItem) {
    RunQueries(values, kVt,
               {
                   {"vt:Bag", VT_LPWSTR, 1, L"2 T alpha"},
                   {"vt:Bag", VT_LPWSTR, 3, L"4 T gamma"},
                   {"vt:Simple", VT_LPWSTR, 1, L"2 T plain value"},
                   {"vt:IntArray", VT_INT, 1, L"2 I 1"},
               },
               true /* through GetValue */);
}

TEST_F(XmpPacketValues, JoinModeDeliversTheRemainingTextItemsAsOneValue) {
    RunQueries(joined, kVt,
               {
                   {"vt:Bag", VT_LPWSTR, 1, L"4 T alpha beta gamma "},
                   {"vt:Bag", VT_LPWSTR, 2, L"4 T beta gamma "},
                   {"vt:Bag", VT_LPWSTR, 3, L"4 T gamma "},
                   {"vt:Bag", VT_LPWSTR, 4, L"end"},
                   {"vt:Seq", VT_LPWSTR, 1, L"3 T first second "},
                   {"vt:Seq", VT_LPWSTR, 3, L"end"},
                   {"vt:Simple", VT_LPWSTR, 1, L"2 T plain value "},
                   {"vt:Simple", VT_LPWSTR, 2, L"end"},
                   {"vt:EmptyValue", VT_LPWSTR, 1, L"2 T  "},
                   {"vt:StructItems", VT_LPWSTR, 1, L"3 T  plain item "},
                   {"vt:AltText", VT_LPWSTR, 1, L"4 T Hello Hallo Bonjour "},
                   {"vt:Struct", VT_LPWSTR, 1, L"end"},
                   {"vt:Missing", VT_LPWSTR, 1, L"end"},
                   // Only VT_LPWSTR is joined.
                   {"vt:DateArray", VT_FILETIME, 1, L"2 D 2006-05-04 10:20:30"},
                   {"vt:DateArray", VT_FILETIME, 2, L"3 D 2007-06-05 11:21:31"},
                   {"vt:IntArray", VT_INT, 1, L"2 I 1"},
                   {"vt:IntArray", VT_INT, 3, L"4 I 3"},
                   {"vt:Bag", VT_BSTR, 1, L"2 T alpha"},
               },
               true);
}

TEST_F(XmpPacketValues, JoinModeStillListsEveryItemSeparately) {
    PropertyValue value;
    EXPECT_EQ(L"3 T first second ", Describe(joined.GetValue(kVt, "vt:Seq", VT_LPWSTR, 1, value), value));
    EXPECT_EQ(L"first second ", value.text);
    EXPECT_TRUE(joined.GetValue(kVt, "vt:Seq", VT_LPWSTR, 3, value).IsEnd());
    EXPECT_EQ((Texts{L"first", L"second"}), TextList(joined));
}

TEST(XmpPacketStandardValues, EveryImageFormatYieldsTheStandardSet) {
    for (const wchar_t* file :
         {L"standard.jpg", L"standard.tif", L"standard.png", L"standard.gif", L"standard.psd", L"standard.eps"}) {
        SCOPED_TRACE(Narrow(file));
        XmpPacket packet(TestDataPath(file).c_str(), false);
        ASSERT_FALSE(packet.IsEmpty());
        RunQueries(packet, kDc,
                   {
                       {"dc:creator", VT_LPWSTR, 1, L"2 T Ana Lima"},
                       {"dc:creator", VT_LPWSTR, 2, L"3 T Ben Okafor"},
                       {"dc:creator", VT_LPWSTR, 3, L"end"},
                       {"dc:subject", VT_LPWSTR, 1, L"2 T harbour"},
                       {"dc:subject", VT_LPWSTR, 2, L"3 T boats"},
                       {"dc:subject", VT_LPWSTR, 3, L"4 T dawn"},
                       {"dc:subject", VT_LPWSTR, 4, L"end"},
                       // x-default plus one language: the toolkit copies the
                       // x-default value onto the "de" item while parsing.
                       {"dc:title", VT_LPWSTR, 1, L"2 T Harbour at dawn"},
                       {"dc:title", VT_LPWSTR, 2, L"3 T Hafen im Morgengrauen"},
                       {"dc:title", VT_LPWSTR, 3, L"end"},
                       {"dc:description", VT_LPWSTR, 1, L"end"},
                   });
        RunQueries(packet, kXmp,
                   {
                       {"xmp:CreateDate", VT_FILETIME, 1, L"2 D 2024-05-04 04:20:30"},
                       {"xmp:CreateDate", VT_LPWSTR, 1, L"2 T 2024-05-04T06:20:30+02:00"},
                       {"xmp:ModifyDate", VT_FILETIME, 1, L"end"},
                   });
        RunQueries(packet, kPhotoshop, {{"photoshop:Urgency", VT_INT, 1, L"2 I 5"}});
    }
}

TEST(XmpPacketStandardValues, EmptyModelAndNoModelGiveNoValues) {
    for (const wchar_t* file : {L"bad-packet.bin", L"truncated-packet.bin", L"binary-no-packet.bin", L"empty.bin"}) {
        SCOPED_TRACE(Narrow(file));
        XmpPacket packet(TestDataPath(file).c_str(), true);
        RunQueries(packet, kDc, {{"dc:title", VT_LPWSTR, 1, L"end"}, {"dc:creator", VT_LPWSTR, 1, L"end"}}, true);
        EXPECT_EQ(Texts{}, TextList(packet));
    }
}

TEST(StringUtilsConvertToInt, ReadsLikeStreamExtraction) {
    struct Case {
        const char* text;
        int32_t number;
    };
    const Case cases[] = {
        {"3", 3},           {" 7x", 7},
        {"-42", -42},       {"+5", 5},
        {"\t\n 12", 12},    {"0x1A", 0},
        {"12 34", 12},      {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1}, {"007", 7},
    };
    for (const Case& c : cases) EXPECT_EQ(c.number, StringUtils::ConvertToInt(c.text)) << c.text;
}

TEST(StringUtilsConvertToInt, RaisesARuntimeErrorNamingTheText) {
    for (const char* text : {"x7", "", " ", "-", "+", "2147483648", "-2147483649", "99999999999"}) {
        try {
            StringUtils::ConvertToInt(text);
            ADD_FAILURE() << "no exception for \"" << text << "\"";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ("StringUtils::ConvertToInt(\"" + std::string(text) + "\")", error.what());
        }
    }
}

TEST(DateTimeToFileTime, ConvertsTheCalendarFieldsAndDropsFractions) {
    struct Case {
        XMP_Int32 year, month, day, hour, minute, second, nanoSecond;
        bool ok;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {2006, 5, 4, 8, 20, 30, 0, true, L"2006-05-04 08:20:30"},
        {2006, 5, 4, 8, 20, 30, 999999999, true, L"2006-05-04 08:20:30"},
        {1601, 1, 1, 0, 0, 0, 0, true, L"1601-01-01 00:00:00"},
        {30827, 12, 31, 23, 59, 59, 0, true, L"30827-12-31 23:59:59"},
        {1600, 12, 31, 23, 59, 59, 0, false, L""},
        {0, 0, 0, 10, 20, 30, 0, false, L""},
        {2006, 13, 1, 0, 0, 0, 0, false, L""},
        {2006, 2, 30, 0, 0, 0, 0, false, L""},
        {2006, 5, 4, 24, 0, 0, 0, false, L""},
    };
    for (const Case& c : cases) {
        XMP_DateTime dateTime{};
        dateTime.year = c.year;
        dateTime.month = c.month;
        dateTime.day = c.day;
        dateTime.hour = c.hour;
        dateTime.minute = c.minute;
        dateTime.second = c.second;
        dateTime.nanoSecond = c.nanoSecond;
        FILETIME time{};
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        ASSERT_EQ(c.ok, DateTimeToFileTime(dateTime, time));
        if (c.ok) {
            EXPECT_EQ(std::wstring(c.expected), FormatFileTime(time));
        }
    }
    XMP_DateTime epoch{};
    epoch.year = 1601;
    epoch.month = 1;
    epoch.day = 1;
    FILETIME time{1, 1};
    ASSERT_TRUE(DateTimeToFileTime(epoch, time));
    EXPECT_EQ(0u, time.dwLowDateTime);
    EXPECT_EQ(0u, time.dwHighDateTime);
}

}  // namespace
