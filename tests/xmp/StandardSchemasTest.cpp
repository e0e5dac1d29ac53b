// The three built-in schema tables, row by row: namespace, XMP property,
// property set, name or identifier, type, in the order the chunks follow.
#include "xmp/StandardSchemas.h"

#include "TestSupport.h"
#include "toolkit/XmpToolkit.h"

#include <cwchar>
#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Row {
    const char* propPath;
    const GUID* set;
    const wchar_t* name;  // null: numbered
    PROPID id;
    VARTYPE type;
};

// As literals: indexes and queries store these sets, so they never change.
// {F29F85E0-4FF9-1068-AB91-08002B27B3D9}, the Windows summary information
const GUID kSummary = {0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
// {1DAED496-2F55-4B1A-89E7-011A4607F8F5}
const GUID kDc = {0x1DAED496, 0x2F55, 0x4B1A, {0x89, 0xE7, 0x01, 0x1A, 0x46, 0x07, 0xF8, 0xF5}};
// {51371CE2-CF81-4A65-B7D6-0332F3D51D9C}
const GUID kPs = {0x51371CE2, 0xCF81, 0x4A65, {0xB7, 0xD6, 0x03, 0x32, 0xF3, 0xD5, 0x1D, 0x9C}};
// {30B1C230-C017-4FF4-B0E8-9F44F1997C35}
const GUID kXap = {0x30B1C230, 0xC017, 0x4FF4, {0xB0, 0xE8, 0x9F, 0x44, 0xF1, 0x99, 0x7C, 0x35}};

const std::vector<Row> kDublinCore = {
    {"contributor", &kDc, L"contributor", 0, VT_LPWSTR},
    {"coverage", &kDc, L"coverage", 0, VT_LPWSTR},
    {"creator", &kSummary, nullptr, 4, VT_LPWSTR},
    {"creator", &kDc, L"creator", 0, VT_LPWSTR},
    {"date", &kDc, L"date", 0, VT_FILETIME},
    {"description", &kSummary, nullptr, 3, VT_LPWSTR},
    {"description", &kDc, L"description", 0, VT_LPWSTR},
    {"format", &kDc, L"format", 0, VT_LPWSTR},
    {"identifier", &kDc, L"identifier", 0, VT_LPWSTR},
    {"language", &kDc, L"language", 0, VT_LPWSTR},
    {"publisher", &kDc, L"publisher", 0, VT_LPWSTR},
    {"relation", &kDc, L"relation", 0, VT_LPWSTR},
    {"rights", &kDc, L"rights", 0, VT_LPWSTR},
    {"source", &kDc, L"source", 0, VT_LPWSTR},
    {"subject", &kSummary, nullptr, 5, VT_LPWSTR},
    {"subject", &kDc, L"subject", 0, VT_LPWSTR},
    {"title", &kSummary, nullptr, 2, VT_LPWSTR},
    {"title", &kDc, L"title", 0, VT_LPWSTR},
    {"type", &kDc, L"type", 0, VT_LPWSTR},
};

const std::vector<Row> kPhotoshop = {
    {"AuthorsPosition", &kPs, L"AuthorsPosition", 0, VT_LPWSTR},
    {"CaptionWriter", &kPs, L"CaptionWriter", 0, VT_LPWSTR},
    {"Category", &kPs, L"Category", 0, VT_LPWSTR},
    {"City", &kPs, L"City", 0, VT_LPWSTR},
    {"Country", &kPs, L"Country", 0, VT_LPWSTR},
    {"Credit", &kPs, L"Credit", 0, VT_LPWSTR},
    {"DateCreated", &kPs, L"DateCreated", 0, VT_FILETIME},
    {"Headline", &kPs, L"Headline", 0, VT_LPWSTR},
    {"Instructions", &kPs, L"Instructions", 0, VT_LPWSTR},
    {"Source", &kPs, L"Source", 0, VT_LPWSTR},
    {"State", &kPs, L"State", 0, VT_LPWSTR},
    {"SupplementalCategories", &kPs, L"SupplementalCategories", 0, VT_LPWSTR},
    {"TransmissionReference", &kPs, L"TransmissionReference", 0, VT_LPWSTR},
    {"Urgency", &kPs, L"Urgency", 0, VT_INT},
};

const std::vector<Row> kXmpBasic = {
    {"Advisory", &kXap, L"Advisory", 0, VT_LPWSTR},
    {"BaseURL", &kXap, L"BaseURL", 0, VT_LPWSTR},
    {"CreateDate", &kSummary, nullptr, 12, VT_FILETIME},
    {"CreateDate", &kXap, L"CreateDate", 0, VT_FILETIME},
    {"CreatorTool", &kXap, L"CreatorTool", 0, VT_LPWSTR},
    {"Identifier", &kXap, L"Identifier", 0, VT_LPWSTR},
    {"MetadataDate", &kXap, L"MetadataDate", 0, VT_FILETIME},
    {"ModifyDate", &kSummary, nullptr, 13, VT_FILETIME},
    {"ModifyDate", &kXap, L"ModifyDate", 0, VT_FILETIME},
    {"Nickname", &kXap, L"Nickname", 0, VT_LPWSTR},
};

void ExpectTable(const StandardSchema& schema, const wchar_t* registrySwitch, const char* ns,
                 const std::vector<Row>& rows) {
    EXPECT_STREQ(registrySwitch, schema.registrySwitch);
    ASSERT_EQ(rows.size(), schema.rowCount);
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(std::string(ns) + rows[i].propPath + " row " + std::to_string(i + 1));
        const MetadataPropSpec& actual = schema.rows[i];
        EXPECT_EQ(ns, actual.schemaNS);
        EXPECT_EQ(rows[i].propPath, actual.propPath);
        EXPECT_EQ(rows[i].type, actual.type);
        EXPECT_TRUE(IsEqualGUID(*rows[i].set, actual.propSpec.PropertySet()));
        if (rows[i].name) {
            ASSERT_EQ(static_cast<ULONG>(PRSPEC_LPWSTR), actual.propSpec.Kind());
            ASSERT_NE(nullptr, actual.propSpec.Name());
            EXPECT_STREQ(rows[i].name, actual.propSpec.Name());  // exact spelling and case
        } else {
            ASSERT_EQ(static_cast<ULONG>(PRSPEC_PROPID), actual.propSpec.Kind());
            EXPECT_EQ(rows[i].id, actual.propSpec.Id());
        }
    }
}

}  // namespace

TEST(StandardSchemasTables, DublinCore) {
    ExpectTable(standardSchemas[0], L"DC", "http://purl.org/dc/elements/1.1/", kDublinCore);
}

TEST(StandardSchemasTables, Photoshop) {
    ExpectTable(standardSchemas[1], L"PHOTOSHOP", "http://ns.adobe.com/photoshop/1.0/", kPhotoshop);
}

TEST(StandardSchemasTables, XmpBasic) {
    ExpectTable(standardSchemas[2], L"XAP", "http://ns.adobe.com/xap/1.0/", kXmpBasic);
}

TEST(StandardSchemasTables, NamespacesAreTheToolkitsOwn) {
    EXPECT_EQ(kXMP_NS_DC, standardSchemas[0].rows[0].schemaNS);
    EXPECT_EQ(kXMP_NS_Photoshop, standardSchemas[1].rows[0].schemaNS);
    EXPECT_EQ(kXMP_NS_XMP, standardSchemas[2].rows[0].schemaNS);
}

TEST(StandardSchemasTables, ProductSetsAreDistinctAndNotPublishedOnes) {
    const GUID storage = {0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};
    const GUID docSummary = {0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
    const GUID* sets[] = {&kDc, &kPs, &kXap};
    for (const GUID* a : sets) {
        EXPECT_FALSE(IsEqualGUID(*a, kSummary));
        EXPECT_FALSE(IsEqualGUID(*a, storage));
        EXPECT_FALSE(IsEqualGUID(*a, docSummary));
        for (const GUID* b : sets) {
            if (a == b) continue;
            EXPECT_FALSE(IsEqualGUID(*a, *b));
        }
    }
}
