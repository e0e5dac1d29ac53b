// The character forms XML text comes in, told apart from the text's first
// bytes the way the toolkit's parser tells them apart, so that the guard
// reads the same code units the parser will. Also the one form the parser
// cannot read itself, UTF-32, decoded to UTF-8 piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

enum class CharacterForm { Utf8, Utf16Big, Utf16Little, Utf32Big, Utf32Little };

// How many first bytes tell the form.
constexpr size_t kFormHeadSize = 4;

// The form of text that begins with these bytes (at most the first four are
// looked at; fewer when the text is shorter).
CharacterForm DetectCharacterForm(const uint8_t* bytes, size_t length);

// Bytes per code unit.
constexpr size_t UnitSize(CharacterForm form) {
    return form == CharacterForm::Utf8 ? 1 : (form == CharacterForm::Utf16Big || form == CharacterForm::Utf16Little) ? 2 : 4;
}

// The code unit in unit[0, UnitSize(form)).
uint32_t DecodeUnit(CharacterForm form, const uint8_t* unit);

// UTF-32 (either byte order) to UTF-8, fed in pieces of any size. Not
// thread-safe: one decoder serves one text.
class Utf32Decoder {
public:
    explicit Utf32Decoder(CharacterForm form) : form(form) {}

    // Appends the UTF-8 of the whole code points in the bytes to out; a code
    // point cut by the end waits for the next piece. False at a value that
    // is no Unicode scalar value (a surrogate, or past U+10FFFF). Throws
    // std::bad_alloc.
    bool Feed(const char* bytes, size_t length, std::string& out);
    // False when the text ended inside a code point.
    bool Finished() const { return partialLength == 0; }

private:
    CharacterForm form;
    uint8_t partial[4] = {};
    size_t partialLength = 0;
};

}  // namespace velmora
