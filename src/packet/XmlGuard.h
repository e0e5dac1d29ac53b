// The guard in front of the XML parser. The bytes of a packet (or of a whole
// file parsed as XML) go through it before the parser sees them, and it says
// when they must not be parsed at all:
// - Element nesting past kMaxDepth. The toolkit builds and walks its XML and
//   RDF trees recursively, so a packet nested tens of thousands of elements
//   deep overflows the host thread's stack; no real XMP comes near the limit.
// - An entity declaration ("<!ENTITY" as markup, general or parameter). XMP
//   has no use for them, and a document type whose internal subset declares
//   them can make the parser expand text exponentially or quadratically, or
//   name files to read. A document type with an external identifier only
//   (the standard line of SVG files) passes: the parser never fetches it.
// The guard follows the text, fed in any pieces, through comments, CDATA
// sections, processing instructions, tags, quoted values and declarations,
// in one pass. It reads the text by code unit in the form it is told (the
// one the parser will read it in): a unit is markup only when it is the
// ASCII character itself, so the unit of a Cyrillic or Devanagari letter
// that holds the byte of '<' is text. In 8-bit text, text and quoted values,
// most of a packet, are passed over with memchr. Zero units are skipped.
#pragma once

#include "packet/CharacterForm.h"

#include <cstddef>
#include <cstdint>

namespace velmora {

enum class XmlVerdict { Passes, TooDeep, DeclaresEntities };

class XmlGuard {
public:
    static constexpr uint32_t kMaxDepth = 256;

    explicit XmlGuard(CharacterForm form = CharacterForm::Utf8) : form(form) {}

    // Feeds the next bytes; a code unit cut by the end waits for the next piece. Once the verdict is not Passes it stays what it
    // was: the first refusal in the bytes is the one reported.
    XmlVerdict Feed(const char* bytes, size_t length);
    XmlVerdict Verdict() const { return verdict; }

private:
    enum class State {
        Content,            // text, or the inside of an internal subset
        TagOpen,            // after '<'
        MarkupKeyword,      // after "<!": "--", "[CDATA[", "DOCTYPE", "ENTITY" or another keyword
        Comment,
        CData,
        Instruction,
        StartTag,
        StartTagQuoted,
        EndTag,
        Declaration,
        DeclarationQuoted,
    };

    void FeedBytes(const char* bytes, size_t length);
    void FeedUnits(const char* bytes, size_t length);
    void Step(char c);
    void StepKeyword(char c);
    void StepToTerminator(char mark, char c);
    void OpenElement();
    void CloseElement();

    CharacterForm form;
    uint8_t unit[4] = {};     // a code unit read so far, in wide text
    size_t unitLength = 0;
    State state = State::Content;
    XmlVerdict verdict = XmlVerdict::Passes;
    char quote = 0;
    char keyword[8] = {};     // the characters after "<!" so far
    uint32_t keywordLength = 0;
    uint32_t matched = 0;     // progress through "-->", "]]>" or "?>"
    uint32_t depth = 0;
    bool slash = false;       // the start tag's last character was '/'
    bool doctype = false;     // the declaration being read is the document type
    bool inSubset = false;    // inside the document type's "[...]", where no element counts
};

}  // namespace velmora
