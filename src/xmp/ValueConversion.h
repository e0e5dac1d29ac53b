// Strict conversions of XMP value texts into the scalar types a definition
// file may declare (VT_UI2, VT_UI4, VT_I4, VT_UI8, VT_R8, VT_BOOL), and the
// value maps a definition may declare on top of them. A text converts only
// when all of it reads as a value of the type, in range; anything else gives
// no value. Nothing here allocates on the conversion path except the
// parsing of value maps, which happens once, when definitions are read.
#pragma once

#include "common/Win32.h"

#include <windows.h>
#include <propidl.h>

#include <string>
#include <vector>

namespace velmora {

// Converts the whole text, for the types IsScalarType names, (ASCII white space around it aside) to type:
//   integer types  decimal digits with an optional sign, within the type's range
//   VT_R8          a decimal ("2.8", "-1.5e3"), a rational ("28/10"; a zero
//                  denominator gives nothing) or a GPS coordinate
//                  ("51,30.4512N", "51,30,27N"; S and W negative)
//   VT_BOOL        "True" or "False", in any letter case
// On success value holds vt and the number; otherwise value is untouched.
bool ConvertScalar(const std::string& text, VARTYPE type, PROPVARIANT& value);

// A date text as the toolkit's date parser reads it. Some writers split the
// year, month and day with ":" ("2022:08:24T22:07:07+02:00", as GIMP writes
// XMP dates, or Exif's own "2022:08:24 22:07:07"); such a text comes back
// with "-" there and "T" before the time. Every other text comes back as it is.
std::string NormalizeDateText(const std::string& text);

// The VT_R8 reading of ConvertScalar.
bool ParseXmpReal(const std::string& text, double& value);

// A declared table from exact values to the texts they become before the
// declared type's conversion, such as the stars of xmp:Rating to Windows'
// percent scale: "1=1, 2=25, 3=50, 4=75, 5=99". A value that no row names
// gives no value.
struct ValueMap {
    struct Row {
        double from;
        std::string to;
    };
    std::vector<Row> rows;

    // The text the row for the value's reading holds, or null when the text
    // is no number or no row names it.
    const std::string* Find(const std::string& text) const;
};

// Reads "from=to" pairs separated by commas; every from must read as a number
// (ParseXmpReal) and every to must convert to type. False, with map
// unchanged, for an empty or malformed table or a type that has no numbers.
bool ParseValueMap(const std::string& text, VARTYPE type, ValueMap& map);

}  // namespace velmora
