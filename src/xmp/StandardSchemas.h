// The built-in mappings of the Dublin Core, Photoshop and XMP basic schemas
// onto host properties. Row order is the order of the chunks.
#pragma once

#include "xmp/PropSpec.h"

#include <objidl.h>  // FMTID_SummaryInformation, the Windows summary-information set

#include <cstddef>

namespace velmora {

// The product's own property sets, one per standard schema; fixed forever,
// since indexes and queries store them.
// {1DAED496-2F55-4B1A-89E7-011A4607F8F5}
inline constexpr GUID FMTID_XmpDublinCore = {
    0x1DAED496, 0x2F55, 0x4B1A, {0x89, 0xE7, 0x01, 0x1A, 0x46, 0x07, 0xF8, 0xF5}};
// {51371CE2-CF81-4A65-B7D6-0332F3D51D9C}
inline constexpr GUID FMTID_XmpPhotoshop = {
    0x51371CE2, 0xCF81, 0x4A65, {0xB7, 0xD6, 0x03, 0x32, 0xF3, 0xD5, 0x1D, 0x9C}};
// {30B1C230-C017-4FF4-B0E8-9F44F1997C35}
inline constexpr GUID FMTID_XmpBasic = {
    0x30B1C230, 0xC017, 0x4FF4, {0xB0, 0xE8, 0x9F, 0x44, 0xF1, 0x99, 0x7C, 0x35}};

// One standard schema: its "DefaultSchemas" switch and its rows.
struct StandardSchema {
    const wchar_t* registrySwitch;  // "DC", "PHOTOSHOP", "XAP"
    const MetadataPropSpec* rows;
    size_t rowCount;
};

// Dublin Core (19 rows), Photoshop (14), XMP basic (10), in that order.
extern const StandardSchema standardSchemas[3];

}  // namespace velmora
