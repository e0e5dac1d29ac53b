// A guard against pathologically deep XML. The toolkit builds and walks its
// XML and RDF trees recursively, so a packet nested tens of thousands of
// elements deep overflows the host thread's stack. The guard follows element
// nesting through the raw bytes (fed in any pieces) and says when it passes
// the limit; no real XMP comes near it.
// It reads UTF-8, and UTF-16 in either byte order (zero bytes are skipped).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

class XmlDepthGuard {
public:
    static constexpr uint32_t kMaxDepth = 256;

    // Feeds the next bytes; false once the nesting has gone past kMaxDepth
    // (and from then on).
    bool Feed(const char* bytes, size_t length);
    bool Exceeded() const { return exceeded; }

private:
    enum class State { Text, TagOpen, StartTag, EndTag, Quoted, Slash, Markup, Comment, CData, Instruction };

    void Step(char c);
    void StepToTerminator(char mark, char c);
    void Open();

    State state = State::Text;
    char quote = 0;
    uint32_t depth = 0;
    uint32_t matched = 0;  // progress through a terminator ("-->", "]]>", "?>") or an opener
    uint32_t markupBrackets = 0;
    bool exceeded = false;
};

}  // namespace velmora
