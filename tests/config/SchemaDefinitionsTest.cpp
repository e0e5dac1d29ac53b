// Definition files read from real files, field splitting, property names
// derived from XMP paths, and definitions turned into property-spec entries.
#include "config/SchemaDefinitions.h"

#include "common/Win32.h"

#include "ConfigTestSupport.h"

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

class DefinitionFileTest : public LoggedRegistryTest {
protected:
    // Writes bytes into a fresh file and reads its definitions.
    Lines Read(const std::string& bytes) {
        const std::wstring name = temp.File(L"definitions" + std::to_wstring(++files) + L".txt");
        WriteBytes(name, bytes);
        CustomPropertyDefinitionList definitions;
        const size_t size = ReadSchemaDefinitionFile(name.c_str(), definitions);
        EXPECT_EQ(definitions.size(), size);
        return Describe(definitions);
    }

    TempDirectory temp;
    int files = 0;
};

TEST_F(DefinitionFileTest, LinesBecomeDefinitions) {
    struct Case {
        const char* name;
        std::string bytes;
        Lines expected;
    };
    const Case cases[] = {
        {"the documented examples",
         "list of camera properties\n"
         "cs:Model;Model\n"
         "cs:FrameCount ; 5 ; VT_INT\n"
         "cs:ShotDate;ShotDate;VT_FILETIME\n"
         "cs:Lens;Lens;vt_int\n",
         {L"cs:Model|Model|string", L"cs:FrameCount|5|integer", L"cs:ShotDate|ShotDate|date",
          L"cs:Lens|Lens|string"}},
        {"last line without a line end", "cs:Model;Model", {L"cs:Model|Model|string"}},
        {"empty file", "", {}},
        {"lines without a semicolon are ignored", "\n\n   \n# cs:Model,Model\n", {}},
        {"type field trimmed", "p;q; VT_FILETIME \n", {L"p|q|date"}},
        {"type field with a further semicolon", "p;q;VT_FILETIME;\n", {L"p|q|string"}},
        {"type names are case-sensitive", "p;q;vt_int\np;q;Vt_Int\np;q;VT_INTEGER\n",
         {L"p|q|string", L"p|q|string", L"p|q|string"}},
        {"empty name, integer type", "path;;VT_INT\n", {L"path||integer"}},
        {"empty path and property", ";\n;;\n", {L"||string", L"||string"}},
        {"duplicates are kept", "cs:Model;Model\ncs:Model;Name\ncs:Model;Model\n",
         {L"cs:Model|Model|string", L"cs:Model|Name|string", L"cs:Model|Model|string"}},
        {"tabs and spaces trimmed, other white space kept", "\t cs:A \t;\t B\t\n cs:C\v; D\f\n",
         {L"cs:A|B|string", L"cs:C\v|D\f|string"}},
        {"property field keeps its text as written", "p; 12 \np;12abc\np;-3\np;0\np;-0\n",
         {L"p|12|string", L"p|12abc|string", L"p|-3|string", L"p|0|string", L"p|-0|string"}},
        {"text ends at the first null", std::string("cs:A;B\0;VT_INT\nnull\0;x\n", 24), {L"cs:A|B|string"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, Read(c.bytes)) << c.name;
    }
    EXPECT_EQ(Lines{}, Logged());
}

// The numeric types Windows declares its photo properties with, and value
// maps after a fourth ";". A map that cannot be read leaves the property text,
// as any unrecognised type field does, and says so in the log.
TEST_F(DefinitionFileTest, NumericTypesAndValueMaps) {
    const Lines expected = {
        L"a|1|vt18",  // VT_UI2
        L"b|2|vt19",  // VT_UI4
        L"c|3|vt3",   // VT_I4
        L"d|4|vt21",  // VT_UI8
        L"e|5|vt5",   // VT_R8
        L"f|6|vt11",  // VT_BOOL
        L"g|7|string",
        L"xmp:Rating|9|vt19|1>1 2>25 3>50 4>75 5>99",
        L"h|8|vt5|0.5>1.5 2.5>-3",
        L"i|9|string",
        L"j|10|string",
        L"k|11|string",
        L"l|12|string",
    };
    EXPECT_EQ(expected, Read("a;1;VT_UI2\n"
                             "b;2;VT_UI4\n"
                             "c;3;VT_I4\n"
                             "d;4;VT_UI8\n"
                             "e;5; VT_R8 \n"
                             "f;6;VT_BOOL\n"
                             "g;7;vt_ui4\n"
                             "xmp:Rating;9;VT_UI4;1=1, 2=25, 3=50, 4=75, 5=99\n"
                             "h;8;VT_R8; 1/2 = 1.5 ,2.5=-3\n"
                             "i;9;VT_UI4;1=-1\n"         // -1 is no VT_UI4
                             "j;10;VT_FILETIME;1=2\n"    // dates have no numbers
                             "k;11;VT_UI4;1=1,\n"        // an empty pair
                             "l;12;VT_UI4;\n"));         // nothing after the ";": no map, no message
    const std::wstring unreadable = L"ERROR: value map of %s cannot be read, its values are delivered as text";
    const auto line = [&](const wchar_t* path) {
        std::wstring text = unreadable;
        text.replace(text.find(L"%s"), 2, path);
        return text;
    };
    EXPECT_EQ((Lines{line(L"i"), line(L"j"), line(L"k")}), Logged());
}

TEST_F(DefinitionFileTest, CarriageReturnLineFeedReadsLikeLineFeed) {
    const std::string lf = "cs:Model;Model\ncs:FrameCount;5;VT_INT\ncs:ShotDate;ShotDate;VT_FILETIME\n";
    const std::string crlf = "cs:Model;Model\r\ncs:FrameCount;5;VT_INT\r\ncs:ShotDate;ShotDate;VT_FILETIME\r\n";
    const Lines expected = {L"cs:Model|Model|string", L"cs:FrameCount|5|integer", L"cs:ShotDate|ShotDate|date"};
    EXPECT_EQ(expected, Read(lf));
    EXPECT_EQ(expected, Read(crlf));
}

TEST_F(DefinitionFileTest, EachByteIsOneCharacter) {
    // No encoding is recognised: UTF-8 "é" is two characters, one per byte.
    CustomPropertyDefinitionList definitions;
    const std::wstring name = temp.File(L"bytes.txt");
    WriteBytes(name, "caf\xC3\xA9;Caf\xC3\xA9\n");
    ASSERT_EQ(1u, ReadSchemaDefinitionFile(name.c_str(), definitions));
    EXPECT_EQ(L"Caf\u00C3\u00A9", definitions.front().property);
    EXPECT_EQ(WideToAnsi(L"caf\u00C3\u00A9"), definitions.front().path);
}

TEST_F(DefinitionFileTest, Utf16FileYieldsNoDefinitions) {
    // "cs:Model;Model\r\ncs:FrameCount;5;VT_INT\r\n" saved as UTF-16 LE with a byte-order mark.
    const std::wstring text = L"cs:Model;Model\r\ncs:FrameCount;5;VT_INT\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Lines{}, Read(bytes));
}

TEST_F(DefinitionFileTest, LongLineIsReadInPiecesOf4095Characters) {
    const std::string noSemicolon(5000, 'a');
    EXPECT_EQ(Lines{}, Read(noSemicolon + "\n"));

    // The piece after the first 4095 characters is a line of its own.
    const std::string secondPieceDefines = std::string(4095, 'a') + "cs:Tail;Tail;VT_INT\n";
    EXPECT_EQ(Lines{L"cs:Tail|Tail|integer"}, Read(secondPieceDefines));

    const std::string firstPieceDefines = "cs:Head;" + std::string(4992, 'h') + "\ncs:Next;Next\n";
    const Lines expected = {L"cs:Head|" + std::wstring(4095 - 8, L'h') + L"|string", L"cs:Next|Next|string"};
    EXPECT_EQ(expected, Read(firstPieceDefines));
}

TEST_F(DefinitionFileTest, AppendsToTheListAndReturnsItsSize) {
    const std::wstring name = temp.File(L"two.txt");
    WriteBytes(name, "cs:A;A\ncs:B;B\n");
    CustomPropertyDefinitionList definitions(1);
    EXPECT_EQ(3u, ReadSchemaDefinitionFile(name.c_str(), definitions));
    EXPECT_EQ((Lines{L"||string", L"cs:A|A|string", L"cs:B|B|string"}), Describe(definitions));
}

TEST_F(DefinitionFileTest, NoNameMeansNoFileAndNoMessage) {
    CustomPropertyDefinitionList definitions;
    EXPECT_EQ(0u, ReadSchemaDefinitionFile(nullptr, definitions));
    EXPECT_EQ(0u, ReadSchemaDefinitionFile(L"", definitions));
    EXPECT_TRUE(definitions.empty());
    EXPECT_EQ(Lines{}, Logged());
}

TEST_F(DefinitionFileTest, FileThatCannotBeOpenedIsLogged) {
    const std::wstring missing = temp.File(L"missing.txt");
    const std::wstring locked = temp.File(L"locked.txt");
    WriteBytes(locked, "cs:Model;Model\n");
    UniqueFileHandle holder(CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    CustomPropertyDefinitionList definitions;
    EXPECT_EQ(0u, ReadSchemaDefinitionFile(missing.c_str(), definitions));
    EXPECT_EQ(0u, ReadSchemaDefinitionFile(locked.c_str(), definitions));
    EXPECT_EQ(0u, ReadSchemaDefinitionFile(temp.Path().c_str(), definitions));  // a directory
    EXPECT_TRUE(definitions.empty());
    const Lines expected = {L"ERROR: file " + missing + L" cannot be opened",
                            L"ERROR: file " + locked + L" cannot be opened",
                            L"ERROR: file " + temp.Path() + L" cannot be opened"};
    EXPECT_EQ(expected, Logged());
}

TEST_F(DefinitionFileTest, FileOpenForWritingElsewhereIsStillRead) {
    const std::wstring name = temp.File(L"shared.txt");
    WriteBytes(name, "cs:Model;Model\n");
    UniqueFileHandle writer(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    CustomPropertyDefinitionList definitions;
    EXPECT_EQ(1u, ReadSchemaDefinitionFile(name.c_str(), definitions));
}

TEST(SplitAndTrimTest, SplitsAtTheFirstSeparatorAndTrims) {
    struct Case {
        std::wstring text;
        size_t position;
        std::wstring head;
        std::wstring tail;
    };
    const Case cases[] = {
        {L"a;b", 1, L"a", L"b"},
        {L"  a \t; b ;c\n", 5, L"a", L"b ;c"},
        {L"a;", 1, L"a", L""},
        {L";", 0, L"", L""},
        {L" \t\n;\n\t ", 3, L"", L""},
        {L"a\r; b\r", 2, L"a\r", L"b\r"},
        {L" no separator ", std::wstring::npos, L" no separator ", L""},
        {L"", std::wstring::npos, L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring head = L"old";
        std::wstring tail = L"old";
        EXPECT_EQ(c.position, SplitAndTrim(c.text, head, tail, L";")) << Narrow(c.text);
        EXPECT_EQ(c.head, head) << Narrow(c.text);
        EXPECT_EQ(c.tail, tail) << Narrow(c.text);
    }
}

TEST(MakePropertyNameTest, DerivesNamesFromPaths) {
    struct Case {
        std::wstring path;
        std::wstring name;
    };
    const Case cases[] = {
        {L"cs:Camera/cs:Model", L"Camera_Model"},
        {L"cs:Items/*[2]", L"Items"},
        {L"cs:Model", L"Model"},
        {L"[3]", L"[3]"},
        {L"", L""},
        {L"Model", L"Model"},
        {L"cs:Items/*[1]/cs:Name", L"Items_Name"},
        {L"cs:A/*[1]/cs:B/*[2]/cs:C", L"A_C"},           // runs to the last closing bracket
        {L"cs:Items[2]", L"Items[2]"},                     // no slash and asterisk: kept
        {L"cs:Title/?xml:lang", L"Title_?lang"},
        {L"CS:Model", L"Model"},
        {L"_x-1.y:Model", L"Model"},
        {L"1cs:Model", L"1Model"},                         // a prefix starts with a letter or underscore
        {L"-cs:Model", L"-Model"},
        {L"cs:a:b", L"b"},                                 // both prefixes removed
        {L":Model", L"_Model"},
        {L"cs:Lens/cs:Make", L"Lens_Make"},
        {L"cs:Caf\u00E9", L"Caf\u00E9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.name, MakePropertyName(c.path)) << Narrow(c.path);
    }
}

TEST(MakePropertyNameTest, PathsLongerThan255CharactersGiveNoName) {
    const std::wstring name252(252, L'n');
    EXPECT_EQ(name252, MakePropertyName(L"cs:" + name252));  // 255 characters
    EXPECT_EQ(L"", MakePropertyName(L"cs:" + name252 + L"n"));
    EXPECT_EQ(L"", MakePropertyName(L"cs:Items/*[" + std::wstring(100000, L'1') + L"]"));
    EXPECT_EQ(L"", MakePropertyName(std::wstring(100000, L'n')));
}

TEST(AppendCustomPropSpecsTest, PropertyTextGivesIdentifierOrName) {
    struct Case {
        std::wstring property;
        std::wstring expected;  // "#id" or the name
    };
    const Case cases[] = {
        {L"12", L"#12"},
        {L" 12 ", L"#12"},
        {L"12abc", L"#12"},
        {L"+7", L"#7"},
        {L"-3", L"#4294967293"},
        {L"0", L"0"},
        {L"-0", L"-0"},
        {L"", L""},
        {L"Model", L"Model"},
        {L"abc12", L"abc12"},
        {L"99999999999", L"#2147483647"},   // clamped to the 32-bit limits
        {L"-99999999999", L"#2147483648"},
    };
    CustomSchema schema;
    schema.name = L"Camera";
    schema.namespaceUri = kCameraNs;
    schema.propertySet = ParseGuid(kCameraSet);
    for (const Case& c : cases) schema.definitions.push_back({"cs:Model", c.property, VT_LPWSTR});
    schema.definitions.push_back({"cs:FrameCount", L"5", VT_INT});
    schema.definitions.push_back({"cs:ShotDate", L"ShotDate", VT_FILETIME});

    PropSpecList list;
    list.emplace_back("ns:existing", "p", FullPropSpec(), VT_LPWSTR);
    AppendCustomPropSpecs(schema, list);

    Lines expected = {L"ns:existing p {00000000-0000-0000-0000-000000000000}/#0 string"};
    const std::wstring prefix = kCameraNsW + L" cs:Model " + kCameraSet + L"/";
    for (const Case& c : cases) expected.push_back(prefix + c.expected + L" string");
    expected.push_back(kCameraNsW + L" cs:FrameCount " + kCameraSet + L"/#5 integer");
    expected.push_back(kCameraNsW + L" cs:ShotDate " + kCameraSet + L"/ShotDate date");
    EXPECT_EQ(expected, Describe(list));

    // A name that reads as 0 is a name, not identifier 0.
    auto zero = std::next(list.begin(), 6);
    EXPECT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), zero->propSpec.Kind());
    ASSERT_NE(nullptr, zero->propSpec.Name());
    EXPECT_STREQ(L"0", zero->propSpec.Name());
}

TEST(AppendCustomPropSpecsTest, FieldRulesFromADefinitionFile) {
    TempDirectory temp;
    const std::wstring name = temp.File(L"fields.txt");
    WriteBytes(name,
               "cs:A; 12 \n"
               "cs:B;12abc\n"
               "cs:C;0\n"
               "cs:D;-0\n"
               "cs:E;-3\n"
               "cs:F;F; VT_FILETIME \n"
               "cs:G;G;VT_FILETIME;\n"
               "cs:H;H;vt_int\n"
               "path;;VT_INT\n"
               "cs:A;Again\n");
    CustomSchema schema;
    schema.namespaceUri = kCameraNs;
    schema.propertySet = ParseGuid(kCameraSet);
    ASSERT_EQ(10u, ReadSchemaDefinitionFile(name.c_str(), schema.definitions));
    PropSpecList list;
    AppendCustomPropSpecs(schema, list);
    const std::wstring p = kCameraNsW + L" ";
    const std::wstring s = L" " + kCameraSet + L"/";
    const Lines expected = {
        p + L"cs:A" + s + L"#12 string",         p + L"cs:B" + s + L"#12 string",
        p + L"cs:C" + s + L"0 string",           p + L"cs:D" + s + L"-0 string",
        p + L"cs:E" + s + L"#4294967293 string", p + L"cs:F" + s + L"F date",
        p + L"cs:G" + s + L"G string",           p + L"cs:H" + s + L"H string",
        p + L"path" + s + L" integer",           p + L"cs:A" + s + L"Again string",
    };
    EXPECT_EQ(expected, Describe(list));
}

TEST(DiscoverSchemaPropertiesTest, EveryNodeOfTheNamespaceAsALeafName) {
    const auto meta = ParseXmp(kCameraPacket);
    CustomPropertyDefinitionList definitions;
    const size_t size = DiscoverSchemaProperties(meta.get(), kCameraNs, definitions);
    const Lines expected = {
        L"cam:Model|Model|string", L"cam:FrameCount|FrameCount|string", L"cam:ShotDate|ShotDate|string",
        L"cam:Lens|Lens|string",   L"cam:Make|Make|string",             L"cam:Focal|Focal|string",
        L"cam:Keywords|Keywords|string", L"[1]|[1]|string",             L"[2]|[2]|string",
    };
    EXPECT_EQ(expected, Describe(definitions));
    EXPECT_EQ(definitions.size(), size);
}

TEST(DiscoverSchemaPropertiesTest, OverlongNamesInTheDocumentAreLeftOut) {
    const std::string longest = "cam:" + std::string(251, 'L');  // 255 characters
    const std::string overlong = "cam:" + std::string(100000, 'X');
    const std::string packet =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:cam=\"http://ns.example.com/camera/1.0/\">"
        "<" + overlong + ">big</" + overlong + "><" + longest + ">ok</" + longest + ">"
        "<cam:Model>M</cam:Model></rdf:Description></rdf:RDF></x:xmpmeta>";
    const auto meta = ParseXmp(packet);
    CustomPropertyDefinitionList definitions;
    DiscoverSchemaProperties(meta.get(), kCameraNs, definitions);
    const std::wstring longestW(longest.begin(), longest.end());
    EXPECT_EQ((Lines{longestW + L"|" + std::wstring(251, L'L') + L"|string", L"cam:Model|Model|string"}),
              Describe(definitions));
}

class DiscoveryLogTest : public LoggedRegistryTest {};

TEST_F(DiscoveryLogTest, UnknownOrAbsentNamespaceGivesNothingAndNoMessage) {
    const auto meta = ParseXmp(kCameraPacket);
    CustomPropertyDefinitionList definitions(1);
    EXPECT_EQ(1u, DiscoverSchemaProperties(meta.get(), "http://ns.example.com/never-registered/", definitions));
    // Known to the toolkit, but not in this document.
    EXPECT_EQ(1u, DiscoverSchemaProperties(meta.get(), "http://purl.org/dc/elements/1.1/", definitions));
    EXPECT_EQ(0u, DiscoverSchemaProperties(nullptr, kCameraNs, definitions));  // no document: nothing to count
    EXPECT_EQ(1u, definitions.size());
    EXPECT_EQ(Lines{}, Logged());
}

TEST(AppendCustomSchemaPropSpecsTest, DefinitionsOrDiscoveryPerSchemaOnCopies) {
    const auto meta = ParseXmp(kCameraPacket);
    CustomSchemaList schemas(4);
    auto schema = schemas.begin();
    schema->name = L"FromFile";  // declared definitions: used as they are, even when the document lacks them
    schema->namespaceUri = kCameraNs;
    schema->propertySet = ParseGuid(kCameraSet);
    schema->definitions.push_back({"cam:Model", L"Model", VT_LPWSTR});
    schema->definitions.push_back({"cam:Absent", L"7", VT_INT});
    (++schema)->name = L"Discovered";
    schema->namespaceUri = kCameraNs;
    schema->propertySet = ParseGuid(kOtherSet);
    (++schema)->name = L"Unknown";  // nothing to discover: contributes nothing
    schema->namespaceUri = "http://ns.example.com/never-registered/";
    schema->propertySet = ParseGuid(kOtherSet);
    (++schema)->name = L"AlsoFromFile";
    schema->namespaceUri = "http://ns.example.com/other/";
    schema->propertySet = ParseGuid(kOtherSet);
    schema->definitions.push_back({"o:X", L"X", VT_FILETIME});

    PropSpecList list;
    EXPECT_EQ(3, AppendCustomSchemaPropSpecs(schemas, meta.get(), list));
    const std::wstring c = kCameraNsW + L" ";
    const std::wstring a = L" " + kCameraSet + L"/";
    const std::wstring b = L" " + kOtherSet + L"/";
    const Lines expected = {
        c + L"cam:Model" + a + L"Model string",   c + L"cam:Absent" + a + L"#7 integer",
        c + L"cam:Model" + b + L"Model string",   c + L"cam:FrameCount" + b + L"FrameCount string",
        c + L"cam:ShotDate" + b + L"ShotDate string", c + L"cam:Lens" + b + L"Lens string",
        c + L"cam:Make" + b + L"Make string",     c + L"cam:Focal" + b + L"Focal string",
        c + L"cam:Keywords" + b + L"Keywords string", c + L"[1]" + b + L"[1] string",
        c + L"[2]" + b + L"[2] string",
        L"http://ns.example.com/other/ o:X" + b + L"X date",
    };
    EXPECT_EQ(expected, Describe(list));
    // The schemas themselves are unchanged: discovery worked on a copy.
    const std::vector<size_t> sizes = {2, 0, 0, 1};
    std::vector<size_t> actual;
    for (const CustomSchema& s : schemas) actual.push_back(s.definitions.size());
    EXPECT_EQ(sizes, actual);

    // Without a document only declared definitions contribute.
    PropSpecList withoutDocument;
    EXPECT_EQ(2, AppendCustomSchemaPropSpecs(schemas, nullptr, withoutDocument));
    EXPECT_EQ(3u, withoutDocument.size());
}

TEST(LeadingPrefixTest, ThePrefixOfTheFirstStepWhenItIsAnXmlName) {
    const struct {
        const char* path;
        const char* prefix;
    } cases[] = {
        {"lr:hierarchicalSubject", "lr"},
        {"Iptc4xmpExt:PersonInImage", "Iptc4xmpExt"},
        {"cam:Lens/cam:Make", "cam"},
        {"_x-1.y:Value", "_x-1.y"},
        {"cam:Items/*[2]", "cam"},
        {"Model", ""},        // no prefix at all
        {":Model", ""},       // empty prefix
        {"1cam:Model", ""},   // not an XML name
        {"ca m:Model", ""},   // a space ends the name before the colon
        {"cam/x:Model", ""},  // the colon belongs to a later step
        {"[1]", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.prefix, LeadingPrefix(c.path)) << c.path;
}

class DefinitionPrefixTest : public LoggedRegistryTest {
protected:
    static CustomSchema Schema(const wchar_t* name, const char* namespaceUri, std::initializer_list<const char*> paths) {
        CustomSchema schema;
        schema.name = name;
        schema.namespaceUri = namespaceUri;
        for (const char* path : paths) schema.definitions.push_back({path, L"5", VT_LPWSTR});
        return schema;
    }
    static std::string PrefixOf(const char* namespaceUri) {
        std::string prefix;
        return SXMPMeta::GetNamespacePrefix(namespaceUri, &prefix) ? prefix : "(not registered)";
    }
};

// The prefix a definition file uses becomes the namespace's prefix, so that a
// document writing the namespace under any other prefix is read through the
// file's paths. A namespace the toolkit already knows under another prefix
// keeps it, and the schema is named in the log.
TEST_F(DefinitionPrefixTest, NamespacesTakeThePrefixesTheirDefinitionsUse) {
    const CustomSchemaList schemas = {
        Schema(L"Lightroom", "http://ns.adobe.com/lightroom/1.0/", {"lr:hierarchicalSubject", "lr:privateRTKInfo"}),
        Schema(L"Camera", "http://ns.example.com/camera/1.0/", {"cam:Model", "cam:Lens/cam:Make", "Serial", "[1]"}),
        Schema(L"Basic", "http://ns.adobe.com/xap/1.0/", {"xap:CreatorTool"}),
        Schema(L"Dublin", "http://purl.org/dc/elements/1.1/", {"dc:rights"}),
        Schema(L"NoNamespace", "", {"x:Y"}),
        Schema(L"Discovered", "http://ns.example.com/discovered/1.0/", {}),
    };
    EXPECT_EQ(3u, RegisterDefinitionPrefixes(schemas));
    EXPECT_EQ("lr:", PrefixOf("http://ns.adobe.com/lightroom/1.0/"));
    EXPECT_EQ("cam:", PrefixOf("http://ns.example.com/camera/1.0/"));
    EXPECT_EQ("xmp:", PrefixOf("http://ns.adobe.com/xap/1.0/"));
    EXPECT_EQ("dc:", PrefixOf("http://purl.org/dc/elements/1.1/"));
    EXPECT_EQ("(not registered)", PrefixOf("http://ns.example.com/discovered/1.0/"));
    const Lines expected = {
        L"ERROR: namespace of custom schema Basic has another prefix than its definition file uses",
    };
    EXPECT_EQ(expected, Logged());

    // A document that writes the namespaces under prefixes of its own.
    const std::unique_ptr<SXMPMeta> meta = ParseXmp(
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:hs=\"http://ns.adobe.com/lightroom/1.0/\""
        " xmlns:c=\"http://ns.example.com/camera/1.0/\">"
        "<hs:hierarchicalSubject><rdf:Bag><rdf:li>Places|Harbour</rdf:li></rdf:Bag></hs:hierarchicalSubject>"
        "<c:Model>Velmora X1</c:Model>"
        "</rdf:Description></rdf:RDF></x:xmpmeta>");
    std::string value;
    EXPECT_TRUE(meta->GetArrayItem("http://ns.adobe.com/lightroom/1.0/", "lr:hierarchicalSubject", 1, &value, nullptr));
    EXPECT_EQ("Places|Harbour", value);
    EXPECT_TRUE(meta->GetProperty("http://ns.example.com/camera/1.0/", "cam:Model", &value, nullptr));
    EXPECT_EQ("Velmora X1", value);
}

// The toolkit holds one prefix per namespace and one namespace per prefix: a
// second schema over the same namespace with another prefix, and a prefix
// already taken by another namespace, are both logged.
TEST_F(DefinitionPrefixTest, ConflictingPrefixesAreLogged) {
    const CustomSchemaList schemas = {
        Schema(L"First", "http://ns.example.com/first/1.0/", {"one:Value"}),
        Schema(L"SameNamespace", "http://ns.example.com/first/1.0/", {"uno:Value"}),
        Schema(L"SamePrefix", "http://ns.example.com/second/1.0/", {"one:Value"}),
    };
    EXPECT_EQ(1u, RegisterDefinitionPrefixes(schemas));
    EXPECT_EQ("one:", PrefixOf("http://ns.example.com/first/1.0/"));
    const Lines expected = {
        L"ERROR: namespace of custom schema SameNamespace has another prefix than its definition file uses",
        L"ERROR: namespace of custom schema SamePrefix has another prefix than its definition file uses",
    };
    EXPECT_EQ(expected, Logged());
}

}  // namespace
