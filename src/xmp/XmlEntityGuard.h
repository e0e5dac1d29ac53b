// A guard against entity declarations. XMP has no use for them, and a
// document type whose internal subset declares entities can make the XML
// parser expand text exponentially or quadratically, or name files to read.
// The guard follows the raw bytes (fed in any pieces) through comments,
// CDATA sections, processing instructions, tags and declarations, and says
// when it meets "<!ENTITY" as markup, general or parameter alike. A document
// type with an external identifier only (the standard line of SVG files)
// passes: the parser never fetches it.
// It reads UTF-8, and UTF-16 in either byte order (zero bytes are skipped).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

class XmlEntityGuard {
public:
    // Feeds the next bytes; false once an entity declaration has been seen
    // (and from then on).
    bool Feed(const char* bytes, size_t length);
    bool Refused() const { return refused; }

private:
    enum class State {
        Content,            // text, or the inside of an internal subset
        TagOpen,            // after '<'
        MarkupKeyword,      // after "<!": "--", "[CDATA[", "DOCTYPE", "ENTITY" or another keyword
        Comment,
        CData,
        Instruction,
        Tag,
        TagQuoted,
        Declaration,
        DeclarationQuoted,
    };

    void Step(char c);
    void StepKeyword(char c);
    void StepToTerminator(char mark, char c);

    State state = State::Content;
    char quote = 0;
    char keyword[8] = {};     // the characters after "<!" so far
    uint32_t keywordLength = 0;
    uint32_t matched = 0;     // progress through "-->", "]]>" or "?>"
    bool doctype = false;     // the declaration being read is the document type
    bool inSubset = false;    // inside the document type's "[...]"
    bool refused = false;
};

}  // namespace velmora
