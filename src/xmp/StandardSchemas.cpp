// The rows of the three standard schemas: Dublin Core, Photoshop and XMP
// basic. Where a property is also a Windows summary-information property, its
// summary row comes first. Built during static initialisation, read-only after.
#include "xmp/StandardSchemas.h"

#include "toolkit/XmpToolkit.h"

#include <propidl.h>

namespace velmora {

namespace {

MetadataPropSpec Named(const char* ns, const char* name, const GUID& set, const wchar_t* hostName, VARTYPE type) {
    return MetadataPropSpec(ns, name, FullPropSpec(set, hostName), type);
}
MetadataPropSpec Summary(const char* ns, const char* name, PROPID id, VARTYPE type) {
    return MetadataPropSpec(ns, name, FullPropSpec(FMTID_SummaryInformation, id), type);
}

MetadataPropSpec Dc(const char* name, const wchar_t* hostName, VARTYPE type = VT_LPWSTR) {
    return Named(kXMP_NS_DC, name, FMTID_XmpDublinCore, hostName, type);
}
MetadataPropSpec DcSummary(const char* name, PROPID id, VARTYPE type = VT_LPWSTR) {
    return Summary(kXMP_NS_DC, name, id, type);
}
MetadataPropSpec Photoshop(const char* name, const wchar_t* hostName, VARTYPE type = VT_LPWSTR) {
    return Named(kXMP_NS_Photoshop, name, FMTID_XmpPhotoshop, hostName, type);
}
MetadataPropSpec Xap(const char* name, const wchar_t* hostName, VARTYPE type = VT_LPWSTR) {
    return Named(kXMP_NS_XMP, name, FMTID_XmpBasic, hostName, type);
}
MetadataPropSpec XapSummary(const char* name, PROPID id, VARTYPE type) { return Summary(kXMP_NS_XMP, name, id, type); }

const MetadataPropSpec dublinCoreRows[] = {
    Dc("contributor", L"contributor"),
    Dc("coverage", L"coverage"),
    DcSummary("creator", PIDSI_AUTHOR),
    Dc("creator", L"creator"),
    Dc("date", L"date", VT_FILETIME),
    DcSummary("description", PIDSI_SUBJECT),
    Dc("description", L"description"),
    Dc("format", L"format"),
    Dc("identifier", L"identifier"),
    Dc("language", L"language"),
    Dc("publisher", L"publisher"),
    Dc("relation", L"relation"),
    Dc("rights", L"rights"),
    Dc("source", L"source"),
    DcSummary("subject", PIDSI_KEYWORDS),
    Dc("subject", L"subject"),
    DcSummary("title", PIDSI_TITLE),
    Dc("title", L"title"),
    Dc("type", L"type"),
};

const MetadataPropSpec photoshopRows[] = {
    Photoshop("AuthorsPosition", L"AuthorsPosition"),
    Photoshop("CaptionWriter", L"CaptionWriter"),
    Photoshop("Category", L"Category"),
    Photoshop("City", L"City"),
    Photoshop("Country", L"Country"),
    Photoshop("Credit", L"Credit"),
    Photoshop("DateCreated", L"DateCreated", VT_FILETIME),
    Photoshop("Headline", L"Headline"),
    Photoshop("Instructions", L"Instructions"),
    Photoshop("Source", L"Source"),
    Photoshop("State", L"State"),
    Photoshop("SupplementalCategories", L"SupplementalCategories"),
    Photoshop("TransmissionReference", L"TransmissionReference"),
    Photoshop("Urgency", L"Urgency", VT_INT),
};

const MetadataPropSpec xmpBasicRows[] = {
    Xap("Advisory", L"Advisory"),
    Xap("BaseURL", L"BaseURL"),
    XapSummary("CreateDate", PIDSI_CREATE_DTM, VT_FILETIME),
    Xap("CreateDate", L"CreateDate", VT_FILETIME),
    Xap("CreatorTool", L"CreatorTool"),
    Xap("Identifier", L"Identifier"),
    Xap("MetadataDate", L"MetadataDate", VT_FILETIME),
    XapSummary("ModifyDate", PIDSI_LASTSAVE_DTM, VT_FILETIME),
    Xap("ModifyDate", L"ModifyDate", VT_FILETIME),
    Xap("Nickname", L"Nickname"),
};

template <class T, size_t N>
constexpr size_t CountOf(const T (&)[N]) {
    return N;
}

}  // namespace

const StandardSchema standardSchemas[3] = {
    {L"DC", dublinCoreRows, CountOf(dublinCoreRows)},
    {L"PHOTOSHOP", photoshopRows, CountOf(photoshopRows)},
    {L"XAP", xmpBasicRows, CountOf(xmpBasicRows)},
};

static_assert(CountOf(dublinCoreRows) == 19 && CountOf(photoshopRows) == 14 && CountOf(xmpBasicRows) == 10,
              "the standard tables have 19, 14 and 10 rows");

}  // namespace velmora
