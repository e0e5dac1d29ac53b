// The PNG chunk walk, the text chunks that may hold XMP, and the decoding of
// their text: inflating, and the raw profile's hex dump.
#include "formats/PngText.h"

#include "formats/FormatHandler.h"

#include "common/ByteOrder.h"
#include "diag/Debugger.h"
#include "formats/Decompress.h"
#include "packet/PacketReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace velmora {

namespace {

constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
constexpr std::string_view kRawProfileKeyword = "Raw profile type xmp";
// A text chunk's header (keyword, flags, language, translated keyword) is
// read from this many first bytes; a longer one is passed over.
constexpr DWORD kTextHeadSize = 1024;
// More candidates than any writer makes are passed over.
constexpr size_t kMaxCandidates = 16;
constexpr uint64_t kPngSignatureSize = 8;

enum class TextForm { Plain, Zlib };

struct Candidate {
    bool rawProfile = false;
    TextForm form = TextForm::Plain;
    bool standard = false;  // an uncompressed iTXt chunk with the XMP keyword
    const wchar_t* place = nullptr;
    uint64_t offset = 0;  // of the text in the document
    uint64_t length = 0;
};

// The text of a tEXt, zTXt or iTXt chunk whose keyword is one of the two,
// told from its head (the chunk's first bytes). False for any other chunk.
bool TakeText(std::string_view type, std::string_view head, uint64_t dataOffset, uint64_t dataLength,
              Candidate& candidate) {
    const size_t keywordEnd = head.find('\0');
    if (keywordEnd == std::string_view::npos) return false;
    const std::string_view keyword = head.substr(0, keywordEnd);
    const bool xmp = keyword == kXmpKeyword;
    candidate.rawProfile = keyword == kRawProfileKeyword;
    if (!xmp && !candidate.rawProfile) return false;
    size_t textStart = keywordEnd + 1;
    if (type == "tEXt") {
        if (xmp) return false;  // not a place any writer keeps XMP
        candidate.place = L"a raw profile in a tEXt chunk";
    } else if (type == "zTXt") {
        if (head.size() < textStart + 1 || head[textStart] != 0) return false;  // method 0: zlib
        textStart += 1;
        candidate.form = TextForm::Zlib;
        candidate.place = xmp ? L"a zTXt chunk" : L"a raw profile in a zTXt chunk";
    } else {  // iTXt: compression flag and method, language, translated keyword
        if (head.size() < textStart + 2) return false;
        const bool compressed = head[textStart] == 1;
        if (head[textStart] > 1 || (compressed && head[textStart + 1] != 0)) return false;
        const size_t language = head.find('\0', textStart + 2);
        if (language == std::string_view::npos) return false;
        const size_t translated = head.find('\0', language + 1);
        if (translated == std::string_view::npos) return false;
        textStart = translated + 1;
        candidate.form = compressed ? TextForm::Zlib : TextForm::Plain;
        candidate.standard = xmp && !compressed;
        candidate.place = candidate.rawProfile ? L"a raw profile in an iTXt chunk"
                          : compressed         ? L"a compressed iTXt chunk"
                                               : L"an iTXt chunk";
    }
    if (textStart > dataLength) return false;
    candidate.offset = dataOffset + textStart;
    candidate.length = dataLength - textStart;
    return true;
}

// Gathers the candidates from the chunks. S_OK or a read's code.
HRESULT WalkChunks(ByteSource& source, std::vector<Candidate>& candidates) {
    bool tooMany = false;
    return WalkPngChunks(source, [&](std::string_view type, uint64_t offset, uint64_t length) -> HRESULT {
        if (type != "tEXt" && type != "zTXt" && type != "iTXt") return S_OK;
        char head[kTextHeadSize];
        const DWORD headLength = static_cast<DWORD>(std::min<uint64_t>(length, sizeof head));
        const HRESULT hr = source.ReadExactly(offset, head, headLength);
        if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
        Candidate candidate;
        if (TakeText(type, std::string_view(head, headLength), offset, length, candidate)) {
            if (candidates.size() < kMaxCandidates) {
                candidates.push_back(candidate);
            } else if (!tooMany) {
                debugger.Log(1, L"ERROR: a PNG holds more XMP text chunks than are read; the others are passed over \n");
                tooMany = true;
            }
        }
        return S_OK;
    });
}

// A candidate's XMP: its text, inflated and decoded as needed. False (with a
// log line) when it cannot be used.
bool ReadCandidate(ByteSource& source, const Candidate& candidate, std::string& xmp, HRESULT& readFailure) {
    std::string text;
    if (!ReadMetadataBlock(source, candidate.offset, candidate.length,
                           candidate.form == TextForm::Zlib ? Compression::Zlib : Compression::None,
                           L"the XMP in " + std::wstring(candidate.place), text, readFailure)) {
        return false;
    }
    if (!candidate.rawProfile) {
        xmp = std::move(text);
        return true;
    }
    if (!DecodeRawProfile(text, xmp)) {
        debugger.LogFormat(1, L"ERROR: the XMP in %s is not a well-formed hex dump and is passed over \n", candidate.place);
        return false;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

}  // namespace

HRESULT WalkPngChunks(ByteSource& source, const ChunkVisitor& visit) {
    const uint64_t size = source.Size();
    for (uint64_t at = kPngSignatureSize; size >= at && size - at >= 12;) {
        uint8_t header[8];
        HRESULT hr = S_OK;
        if (!source.ReadOrEnd(at, header, 8, hr)) return hr;
        const uint64_t length = ReadBig32(header);
        const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
        if (length > 0x7FFFFFFF || length > size - at - 12) {
            debugger.Log(1, L"ERROR: a PNG chunk runs past the end of the document; the chunks after it are not read \n");
            break;
        }
        if (type == "IEND") break;
        hr = visit(type, at + 8, length);
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
        at += 12 + length;
    }
    return S_OK;
}

bool DecodeRawProfile(const std::string& text, std::string& bytes) {
    bytes.clear();
    // "\n" name "\n" length "\n", the length right-aligned with spaces.
    size_t at = 0;
    if (text.empty() || text[at++] != '\n') return false;
    const size_t nameEnd = text.find('\n', at);
    if (nameEnd == std::string::npos || nameEnd == at) return false;
    at = nameEnd + 1;
    while (at < text.size() && text[at] == ' ') ++at;
    uint64_t length = 0;
    const size_t digits = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        length = length * 10 + uint64_t(text[at] - '0');
        if (length > text.size()) return false;  // more than the dump can hold
    }
    if (at == digits || length == 0 || at >= text.size() || text[at] != '\n') return false;
    ++at;
    // Two hex digits a byte, split by line ends only; after them line ends
    // (and the NUL some writers end text with) alone.
    if (length > (text.size() - at) / 2) return false;
    bytes.reserve(static_cast<size_t>(length));
    int high = -1;
    for (; at < text.size() && bytes.size() < length; ++at) {
        const char c = text[at];
        if (IsLineEnd(c)) continue;
        const int value = HexValue(c);
        if (value < 0) return false;
        if (high < 0) {
            high = value;
        } else {
            bytes += static_cast<char>(high << 4 | value);
            high = -1;
        }
    }
    if (bytes.size() != length) return false;
    for (; at < text.size(); ++at) {
        if (!IsLineEnd(text[at]) && !(text[at] == '\0' && at + 1 == text.size())) return false;
    }
    return true;
}

void ReadPngText(ByteSource& source, SXMPMeta& meta, HandlerReading& reading) {
    std::vector<Candidate> candidates;
    HRESULT hr = WalkChunks(source, candidates);
    // The standard place first, then the others as they come.
    std::stable_partition(candidates.begin(), candidates.end(), [](const Candidate& c) { return c.standard; });
    for (const Candidate& candidate : candidates) {
        if (FAILED(hr)) break;
        std::string xmp;
        if (!ReadCandidate(source, candidate, xmp, hr)) continue;
        if (PacketReader::ParseWholePacket(xmp, meta)) {
            reading.outcome = HandlerReading::Outcome::Xmp;
            reading.place = candidate.place;
            return;
        }
        meta = SXMPMeta();
    }
    if (FAILED(hr)) {
        reading.readFailure = hr;
        reading.outcome = HandlerReading::Outcome::Failed;
    }
}

}  // namespace velmora
