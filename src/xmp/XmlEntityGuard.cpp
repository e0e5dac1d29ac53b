#include "xmp/XmlEntityGuard.h"

#include <cstring>

namespace velmora {

namespace {

// What may follow "<!": the keywords the guard tells apart.
constexpr const char* kComment = "--";
constexpr const char* kCData = "[CDATA[";
constexpr const char* kDoctype = "DOCTYPE";
constexpr const char* kEntity = "ENTITY";

bool StartsWith(const char* word, const char* text, uint32_t length) {
    return std::strlen(word) >= length && std::memcmp(word, text, length) == 0;
}

bool Is(const char* word, const char* text, uint32_t length) {
    return std::strlen(word) == length && std::memcmp(word, text, length) == 0;
}

}  // namespace

bool XmlEntityGuard::Feed(const char* bytes, size_t length) {
    for (size_t i = 0; i < length && !refused; ++i) {
        if (bytes[i] != '\0') Step(bytes[i]);
    }
    return !refused;
}

// A comment ("-->"), CDATA section ("]]>") or instruction ("?>") ends at its
// marks and a '>'.
void XmlEntityGuard::StepToTerminator(char mark, char c) {
    const uint32_t marks = mark == '?' ? 1 : 2;
    if (c == mark) {
        if (matched < marks) ++matched;
    } else if (c == '>' && matched == marks) {
        state = State::Content;
    } else {
        matched = 0;
    }
}

void XmlEntityGuard::StepKeyword(char c) {
    keyword[keywordLength++] = c;
    if (Is(kEntity, keyword, keywordLength)) {
        refused = true;
        return;
    }
    if (Is(kComment, keyword, keywordLength)) {
        state = State::Comment;
        matched = 0;
        return;
    }
    if (Is(kCData, keyword, keywordLength)) {
        state = State::CData;
        matched = 0;
        return;
    }
    if (StartsWith(kEntity, keyword, keywordLength) || StartsWith(kComment, keyword, keywordLength) ||
        StartsWith(kCData, keyword, keywordLength) || StartsWith(kDoctype, keyword, keywordLength)) {
        doctype = Is(kDoctype, keyword, keywordLength);
        return;
    }
    // Any other declaration; the character that told it apart (a space, a
    // quote, '[' or '>') belongs to its body.
    state = State::Declaration;
    Step(c);
}

void XmlEntityGuard::Step(char c) {
    switch (state) {
    case State::Content:
        if (c == '<') {
            state = State::TagOpen;
        } else if (c == ']' && inSubset) {
            inSubset = false;  // the rest of the document type, up to its '>'
            doctype = true;
            state = State::Declaration;
        }
        return;
    case State::TagOpen:
        if (c == '!') {
            state = State::MarkupKeyword;
            keywordLength = 0;
            doctype = false;
        } else if (c == '?') {
            state = State::Instruction;
            matched = 0;
        } else {
            state = State::Tag;
            Step(c);
        }
        return;
    case State::MarkupKeyword:
        StepKeyword(c);
        return;
    case State::Comment:
        StepToTerminator('-', c);
        return;
    case State::CData:
        StepToTerminator(']', c);
        return;
    case State::Instruction:
        StepToTerminator('?', c);
        return;
    case State::Tag:
        if (c == '"' || c == '\'') {
            quote = c;
            state = State::TagQuoted;
        } else if (c == '>') {
            state = State::Content;
        }
        return;
    case State::TagQuoted:
        if (c == quote) state = State::Tag;
        return;
    case State::Declaration:
        if (c == '"' || c == '\'') {
            quote = c;
            state = State::DeclarationQuoted;
        } else if (c == '[' && doctype && !inSubset) {
            inSubset = true;
            state = State::Content;
        } else if (c == '>') {
            doctype = false;
            state = State::Content;
        }
        return;
    case State::DeclarationQuoted:
        if (c == quote) state = State::Declaration;
        return;
    }
}

}  // namespace velmora
