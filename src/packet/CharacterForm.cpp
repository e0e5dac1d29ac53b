#include "packet/CharacterForm.h"

#include "common/ByteOrder.h"
#include "common/Utf8.h"

namespace velmora {

// The parser's own rules: the first character is U+FEFF or ASCII, and U+0000
// never comes first.
//   EF BB BF -- UTF-8          nn mm -- --  UTF-8
//   FE FF -- -- UTF-16BE       00 nn -- --  UTF-16BE
//   00 00 FE FF UTF-32BE       00 00 00 nn  UTF-32BE
//   FF FE 00 00 UTF-32LE       nn 00 00 00  UTF-32LE
//   FF FE -- -- UTF-16LE       nn 00 -- --  UTF-16LE
CharacterForm DetectCharacterForm(const uint8_t* bytes, size_t length) {
    if (length < 2) return CharacterForm::Utf8;
    if (bytes[0] == 0) {
        return length < 4 || bytes[1] != 0 ? CharacterForm::Utf16Big : CharacterForm::Utf32Big;
    }
    if (bytes[0] < 0x80) {
        if (bytes[1] != 0) return CharacterForm::Utf8;
        return length < 4 || bytes[2] != 0 ? CharacterForm::Utf16Little : CharacterForm::Utf32Little;
    }
    if (bytes[0] == 0xEF) return CharacterForm::Utf8;
    if (bytes[0] == 0xFE) return CharacterForm::Utf16Big;
    return length < 4 || bytes[2] != 0 ? CharacterForm::Utf16Little : CharacterForm::Utf32Little;
}

uint32_t DecodeUnit(CharacterForm form, const uint8_t* unit) {
    switch (form) {
    case CharacterForm::Utf8:
        return unit[0];
    case CharacterForm::Utf16Big:
        return ReadBig16(unit);
    case CharacterForm::Utf16Little:
        return ReadLittle16(unit);
    case CharacterForm::Utf32Big:
        return ReadBig32(unit);
    case CharacterForm::Utf32Little:
        return ReadLittle32(unit);
    }
    return 0;
}

bool Utf32Decoder::Feed(const char* bytes, size_t length, std::string& out) {
    out.reserve(out.size() + length);
    for (size_t i = 0; i < length; ++i) {
        partial[partialLength++] = static_cast<uint8_t>(bytes[i]);
        if (partialLength < 4) continue;
        partialLength = 0;
        const uint32_t c = DecodeUnit(form, partial);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        AppendUtf8(c, out);
    }
    return true;
}

}  // namespace velmora
