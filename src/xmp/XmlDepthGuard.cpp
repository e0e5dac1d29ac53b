#include "xmp/XmlDepthGuard.h"

namespace velmora {

bool XmlDepthGuard::Feed(const char* bytes, size_t length) {
    for (size_t i = 0; i < length && !exceeded; ++i) {
        if (bytes[i] != '\0') Step(bytes[i]);
    }
    return !exceeded;
}

void XmlDepthGuard::Open() {
    if (++depth > kMaxDepth) exceeded = true;
}

// A comment ("-->") or a CDATA section ("]]>") ends at two marks and a '>'.
void XmlDepthGuard::StepToTerminator(char mark, char c) {
    if (c == mark) {
        if (matched < 2) ++matched;
    } else if (c == '>' && matched == 2) {
        state = State::Text;
    } else {
        matched = 0;
    }
}

void XmlDepthGuard::Step(char c) {
    switch (state) {
    case State::Text:
        if (c == '<') state = State::TagOpen;
        return;
    case State::TagOpen:
        if (c == '/') {
            state = State::EndTag;
        } else if (c == '?') {
            state = State::Instruction;
            matched = 0;
        } else if (c == '!') {
            state = State::Markup;
            matched = 0;
            markupBrackets = 0;
        } else {
            Open();
            state = c == '>' ? State::Text : State::StartTag;
        }
        return;
    case State::StartTag:
        if (c == '"' || c == '\'') {
            quote = c;
            state = State::Quoted;
        } else if (c == '/') {
            state = State::Slash;
        } else if (c == '>') {
            state = State::Text;
        }
        return;
    case State::Slash:  // "/>" closes the element it opened
        if (c == '>') {
            if (depth > 0) --depth;
            state = State::Text;
        } else {
            state = State::StartTag;
            Step(c);
        }
        return;
    case State::Quoted:
        if (c == quote) state = State::StartTag;
        return;
    case State::EndTag:
        if (c == '>') {
            if (depth > 0) --depth;
            state = State::Text;
        }
        return;
    case State::Markup:  // "<!--", "<![CDATA[" or a declaration such as DOCTYPE
        if (matched == 0 && c == '-') {
            matched = 1;
        } else if (matched == 1 && c == '-') {
            state = State::Comment;
            matched = 0;
        } else if (matched == 0 && c == '[') {
            state = State::CData;
            matched = 0;
        } else if (c == '[') {
            ++markupBrackets;
        } else if (c == ']') {
            if (markupBrackets > 0) --markupBrackets;
        } else if (c == '>' && markupBrackets == 0) {
            state = State::Text;
        } else {
            matched = 2;  // a declaration: runs to its closing '>'
        }
        return;
    case State::Comment:
        StepToTerminator('-', c);
        return;
    case State::CData:
        StepToTerminator(']', c);
        return;
    case State::Instruction:
        if (c == '?') {
            matched = 1;
        } else if (c == '>' && matched == 1) {
            state = State::Text;
        } else {
            matched = 0;
        }
        return;
    }
}

}  // namespace velmora
