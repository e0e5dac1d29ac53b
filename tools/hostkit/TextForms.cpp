#include "TextForms.h"

#include <cstdint>

namespace velmora::hostkit {

const char* Name(TextForm form) {
    switch (form) {
    case TextForm::Utf8: return "UTF-8";
    case TextForm::Utf16Little: return "UTF-16LE";
    case TextForm::Utf16Big: return "UTF-16BE";
    case TextForm::Utf32Little: return "UTF-32LE";
    case TextForm::Utf32Big: return "UTF-32BE";
    }
    return "?";
}

namespace {

void AppendUnit(std::string& out, uint32_t unit, size_t bytes, bool bigEndian) {
    for (size_t i = 0; i < bytes; ++i) {
        const size_t shift = 8 * (bigEndian ? bytes - 1 - i : i);
        out += static_cast<char>(unit >> shift & 0xFF);
    }
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const size_t extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[extra] | c >> (6 * extra));
    for (size_t i = extra; i-- > 0;) out += static_cast<char>(0x80 | (c >> (6 * i) & 0x3F));
}

}  // namespace

std::string Encode(const std::u32string& text, TextForm form) {
    std::string out;
    const bool big = form == TextForm::Utf16Big || form == TextForm::Utf32Big;
    for (const char32_t c : text) {
        switch (form) {
        case TextForm::Utf8:
            AppendUtf8(out, c);
            break;
        case TextForm::Utf16Little:
        case TextForm::Utf16Big:
            if (c >= 0x10000) {
                AppendUnit(out, 0xD800 + ((c - 0x10000) >> 10), 2, big);
                AppendUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), 2, big);
            } else {
                AppendUnit(out, c, 2, big);
            }
            break;
        case TextForm::Utf32Little:
        case TextForm::Utf32Big:
            AppendUnit(out, c, 4, big);
            break;
        }
    }
    return out;
}

std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned char lead = byte(i);
        const size_t extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = lead < 0x80 || extra > 0;
        for (size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
                valid = false;
            } else {
                c = c << 6 | (byte(i + k) & 0x3F);
            }
        }
        if (valid && extra > 0 && ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || (extra == 2 && c < 0x800) ||
                                   (extra == 3 && c < 0x10000))) {
            valid = false;
        }
        if (!valid) {
            out += static_cast<char32_t>(lead);
            ++i;
            continue;
        }
        out += c;
        i += extra + 1;
    }
    return out;
}

}  // namespace velmora::hostkit
