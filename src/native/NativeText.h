// Native values written into a document's model after the handler's read,
// by one rule: the document's own XMP (and what the toolkit reconciled into
// it) wins, and a native value only fills what the model lacks. A value that
// is empty or white space alone never fills or replaces anything. Texts with
// no home in a standard schema join the unordered array
// velmoraText:Comments, for the full text, each once.
#pragma once

#include "native/ExifTags.h"
#include "toolkit/XmpToolkit.h"

#include <string>
#include <string_view>

namespace velmora {

// The most native texts one document adds to velmoraText:Comments, and the
// longest one taken; the rest is passed over with a log line.
constexpr size_t kMaxNativeTexts = 64;
constexpr size_t kMaxNativeTextSize = 64u << 10;

// Whether the text holds nothing but white space (and NUL characters).
bool IsBlank(std::string_view text);

// Whether the property, simple or an array, holds the value (as an item).
bool HasValue(const SXMPMeta& meta, const char* ns, const char* name, const std::string& value);

// Sets the x-default item of a language alternative, when the property is missing.
void FillLangAlt(SXMPMeta& meta, const char* ns, const char* name, const std::string& text);
// Sets a simple property, when it is missing.
void FillSimple(SXMPMeta& meta, const char* ns, const char* name, const std::string& text);
// Sets a date property from a text the toolkit reads as a date, when it is
// missing; false when the text is no date.
bool FillDate(SXMPMeta& meta, const char* ns, const char* name, const std::string& text);
// Makes an ordered array of the ";"-separated items, when it is missing.
void FillList(SXMPMeta& meta, const char* ns, const char* name, const std::string& items);
// Adds each ";"-separated keyword to dc:subject unless it is there already.
void AddKeywords(SXMPMeta& meta, const std::string& keywords);
// Adds a text to velmoraText:Comments unless it is there already.
void AddFullText(SXMPMeta& meta, const std::string& text);

// Windows' own tags into the model: XPTitle to dc:title, XPSubject to
// dc:description, XPComment to exif:UserComment, XPAuthor to dc:creator,
// each where the model has none; XPKeywords joins dc:subject.
void AddWindowsTags(SXMPMeta& meta, const TiffTexts& texts);

// Corrects the texts the toolkit decoded from an IPTC-IIM block without a
// character-set record as the system's code page: where the bytes are
// valid UTF-8, they are read as UTF-8, else as Latin-1. Every model value
// that is the toolkit's reading of a dataset becomes the right reading.
void CorrectIptcText(SXMPMeta& meta, std::string_view iptc);

// Descriptive properties of the model whose every text is blank are taken
// out and, where the document's own XMP (own, may be null) holds the
// property with text, restored from it, else filled from the IPTC block.
void DropBlankValues(SXMPMeta& meta, const SXMPMeta* own, std::string_view iptc);

// Whether DropBlankValues would find a property to drop.
bool HasBlankValues(const SXMPMeta& meta);

// Replaces the property in meta with own's, when own holds it with text.
void RestoreFrom(SXMPMeta& meta, const SXMPMeta& own, const char* ns, const char* name);

}  // namespace velmora
