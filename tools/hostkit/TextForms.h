// Text written in each form an XMP packet may take: UTF-8, and UTF-16 and
// UTF-32 in either byte order, for tests and the fuzzer that make packets of
// non-Latin text. Code points past U+FFFF become surrogate pairs in UTF-16.
#pragma once

#include <string>

namespace velmora::hostkit {

enum class TextForm { Utf8, Utf16Little, Utf16Big, Utf32Little, Utf32Big };

inline constexpr TextForm kTextForms[] = {TextForm::Utf8, TextForm::Utf16Little, TextForm::Utf16Big,
                                          TextForm::Utf32Little, TextForm::Utf32Big};

const char* Name(TextForm form);

// The code points in the form, without a byte-order mark.
std::string Encode(const std::u32string& text, TextForm form);

// UTF-8 to code points; a byte that starts no valid sequence stands for itself
// (as Latin-1 does), so any bytes can be widened.
std::u32string DecodeUtf8(const std::string& text);

}  // namespace velmora::hostkit
