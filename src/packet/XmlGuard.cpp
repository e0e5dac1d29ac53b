#include "packet/XmlGuard.h"

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

XmlVerdict XmlGuard::Feed(const char* bytes, size_t length) {
    if (verdict != XmlVerdict::Passes) return verdict;
    if (form == CharacterForm::Utf8) {
        FeedBytes(bytes, length);
    } else {
        FeedUnits(bytes, length);
    }
    return verdict;
}

void XmlGuard::FeedBytes(const char* bytes, size_t length) {
    const char* p = bytes;
    const char* const end = bytes + length;
    while (p < end && verdict == XmlVerdict::Passes) {
        // Where only one byte value can change the state, go straight to it.
        if (state == State::Content && !inSubset) {
            p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        } else if (state == State::StartTagQuoted || state == State::DeclarationQuoted) {
            p = static_cast<const char*>(std::memchr(p, quote, static_cast<size_t>(end - p)));
        }
        if (!p) break;
        if (*p != '\0') Step(*p);
        ++p;
    }
}

// Every character past ASCII steps as one and the same non-markup character,
// as the bytes of a UTF-8 sequence do.
void XmlGuard::FeedUnits(const char* bytes, size_t length) {
    const size_t size = UnitSize(form);
    for (size_t i = 0; i < length && verdict == XmlVerdict::Passes; ++i) {
        unit[unitLength++] = static_cast<uint8_t>(bytes[i]);
        if (unitLength < size) continue;
        unitLength = 0;
        const uint32_t c = DecodeUnit(form, unit);
        if (c != 0) Step(c < 0x80 ? static_cast<char>(c) : '\x80');
    }
}

void XmlGuard::OpenElement() {
    if (inSubset) return;
    if (++depth > kMaxDepth) verdict = XmlVerdict::TooDeep;
}

void XmlGuard::CloseElement() {
    if (!inSubset && depth > 0) --depth;
}

// A comment ("-->"), CDATA section ("]]>") or instruction ("?>") ends at its
// marks and a '>'.
void XmlGuard::StepToTerminator(char mark, char c) {
    const uint32_t marks = mark == '?' ? 1 : 2;
    if (c == mark) {
        if (matched < marks) ++matched;
    } else if (c == '>' && matched == marks) {
        state = State::Content;
    } else {
        matched = 0;
    }
}

void XmlGuard::StepKeyword(char c) {
    keyword[keywordLength++] = c;
    if (Is(kEntity, keyword, keywordLength)) {
        verdict = XmlVerdict::DeclaresEntities;
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

void XmlGuard::Step(char c) {
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
        } else if (c == '/') {
            state = State::EndTag;
        } else {
            OpenElement();
            state = State::StartTag;
            slash = false;
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
    case State::StartTag:
        if (c == '>') {
            if (slash) CloseElement();  // "/>" closes the element it opened
            state = State::Content;
        } else if (c == '"' || c == '\'') {
            quote = c;
            state = State::StartTagQuoted;
        }
        slash = c == '/';
        return;
    case State::StartTagQuoted:
        if (c == quote) state = State::StartTag;
        return;
    case State::EndTag:
        if (c == '>') {
            CloseElement();
            state = State::Content;
        }
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
