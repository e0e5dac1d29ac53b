// Strict scalar conversions of XMP value texts, and value maps.
#include "xmp/ValueConversion.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

namespace velmora {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Digits only, with an optional sign: the magnitude and whether it was negative.
bool ParseInteger(std::string_view text, uint64_t& magnitude, bool& negative) {
    negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, 10);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseUnsigned(std::string_view text, uint64_t limit, uint64_t& value) {
    uint64_t magnitude = 0;
    bool negative = false;
    if (!ParseInteger(text, magnitude, negative) || magnitude > limit) return false;
    if (negative && magnitude != 0) return false;
    value = magnitude;
    return true;
}

bool ParseSigned32(std::string_view text, int32_t& value) {
    uint64_t magnitude = 0;
    bool negative = false;
    if (!ParseInteger(text, magnitude, negative)) return false;
    const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
    if (magnitude > limit) return false;
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

// [+-]digits[.digits][(e|E)[+-]digits], or [+-].digits[...]: a plain decimal,
// never "inf", "nan" or a hexadecimal form.
bool ParseDecimal(std::string_view text, double& value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return false;
    }
    size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    if (i != text.size()) return false;
    double read = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), read, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(read)) return false;
    value = read;
    return true;
}

// "n/d" with signed integers; a zero denominator has no value.
bool ParseRational(std::string_view text, double& value) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    uint64_t numerator = 0;
    uint64_t denominator = 0;
    bool numeratorNegative = false;
    bool denominatorNegative = false;
    if (!ParseInteger(text.substr(0, slash), numerator, numeratorNegative) ||
        !ParseInteger(text.substr(slash + 1), denominator, denominatorNegative) || denominator == 0) {
        return false;
    }
    const double magnitude = static_cast<double>(numerator) / static_cast<double>(denominator);
    value = numeratorNegative != denominatorNegative ? -magnitude : magnitude;
    return true;
}

// XMP's GPS coordinate: "DDD,MM,SSk" or "DDD,MM.mmk", k one of N, S, E, W.
// Degrees are whole; minutes and seconds below 60; latitudes at most 90
// degrees and longitudes at most 180.
bool ParseCoordinate(std::string_view text, double& value) {
    if (text.size() < 4) return false;
    const char direction = static_cast<char>(text.back() & ~0x20);  // upper case
    double limit = 0;
    bool negative = false;
    switch (direction) {
    case 'N': limit = 90; break;
    case 'S': limit = 90; negative = true; break;
    case 'E': limit = 180; break;
    case 'W': limit = 180; negative = true; break;
    default: return false;
    }
    text.remove_suffix(1);
    const size_t firstComma = text.find(',');
    if (firstComma == std::string_view::npos) return false;
    const std::string_view degreesText = text.substr(0, firstComma);
    std::string_view rest = text.substr(firstComma + 1);
    std::string_view minutesText = rest;
    std::string_view secondsText;
    const size_t secondComma = rest.find(',');
    if (secondComma != std::string_view::npos) {
        minutesText = rest.substr(0, secondComma);
        secondsText = rest.substr(secondComma + 1);
        if (secondsText.empty()) return false;
    }
    uint64_t degrees = 0;
    bool degreesNegative = false;
    double minutes = 0;
    double seconds = 0;
    if (degreesText.empty() || !IsDigit(degreesText.front()) ||
        !ParseInteger(degreesText, degrees, degreesNegative) || degrees > limit) {
        return false;
    }
    const auto unsignedDecimal = [](std::string_view part, double& number) {
        return !part.empty() && IsDigit(part.front()) && ParseDecimal(part, number) && number < 60;
    };
    if (!unsignedDecimal(minutesText, minutes)) return false;
    if (!secondsText.empty() && (minutesText.find('.') != std::string_view::npos || !unsignedDecimal(secondsText, seconds))) {
        return false;  // decimal minutes come without seconds
    }
    const double magnitude = static_cast<double>(degrees) + minutes / 60.0 + seconds / 3600.0;
    if (magnitude > limit) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char a = (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] + 32) : text[i];
        const char b = (word[i] >= 'A' && word[i] <= 'Z') ? static_cast<char>(word[i] + 32) : word[i];
        if (a != b) return false;
    }
    return true;
}

}  // namespace

bool ParseXmpReal(const std::string& text, double& value) {
    const std::string_view trimmed = Trimmed(text);
    return ParseDecimal(trimmed, value) || ParseRational(trimmed, value) || ParseCoordinate(trimmed, value);
}

bool ConvertScalar(const std::string& text, VARTYPE type, PROPVARIANT& value) {
    const std::string_view trimmed = Trimmed(text);
    uint64_t whole = 0;
    switch (type) {
    case VT_UI2:
        if (!ParseUnsigned(trimmed, 0xFFFF, whole)) return false;
        value.uiVal = static_cast<USHORT>(whole);
        break;
    case VT_UI4:
        if (!ParseUnsigned(trimmed, 0xFFFFFFFFu, whole)) return false;
        value.ulVal = static_cast<ULONG>(whole);
        break;
    case VT_UI8:
        if (!ParseUnsigned(trimmed, std::numeric_limits<uint64_t>::max(), whole)) return false;
        value.uhVal.QuadPart = whole;
        break;
    case VT_I4: {
        int32_t number = 0;
        if (!ParseSigned32(trimmed, number)) return false;
        value.lVal = number;
        break;
    }
    case VT_R8: {
        double number = 0;
        if (!ParseXmpReal(text, number)) return false;
        value.dblVal = number;
        break;
    }
    case VT_BOOL:
        if (EqualsIgnoringCase(trimmed, "true")) {
            value.boolVal = VARIANT_TRUE;
        } else if (EqualsIgnoringCase(trimmed, "false")) {
            value.boolVal = VARIANT_FALSE;
        } else {
            return false;
        }
        break;
    default:
        return false;
    }
    value.vt = type;
    return true;
}

const std::string* ValueMap::Find(const std::string& text) const {
    double number = 0;
    if (!ParseXmpReal(text, number)) return nullptr;
    for (const Row& row : rows) {
        if (row.from == number) return &row.to;
    }
    return nullptr;
}

bool ParseValueMap(const std::string& text, VARTYPE type, ValueMap& map) {
    if (!IsScalarType(type)) return false;
    ValueMap read;
    std::string_view rest = text;
    while (true) {
        const size_t comma = rest.find(',');
        const std::string_view pair = Trimmed(rest.substr(0, comma));
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos) return false;
        ValueMap::Row row{};
        const std::string from(Trimmed(pair.substr(0, equals)));
        row.to = std::string(Trimmed(pair.substr(equals + 1)));
        PROPVARIANT probe{};
        if (!ParseXmpReal(from, row.from) || !ConvertScalar(row.to, type, probe)) return false;
        read.rows.push_back(std::move(row));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    map = std::move(read);
    return true;
}

std::string NormalizeDateText(const std::string& text) {
    const auto digits = [&text](size_t from, size_t count) {
        for (size_t i = from; i < from + count; ++i) {
            if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        }
        return true;
    };
    // "YYYY:MM", then ":DD", then the end, "T" or " " and the time.
    if (!digits(0, 4) || text.size() < 7 || text[4] != ':' || !digits(5, 2)) return text;
    std::string date(text);
    date[4] = '-';
    if (date.size() == 7) return date;
    if (date[7] != ':' || !digits(8, 2)) return text;
    date[7] = '-';
    if (date.size() > 10) {
        if (date[10] != 'T' && date[10] != ' ') return text;
        date[10] = 'T';
    }
    return date;
}

}  // namespace velmora
