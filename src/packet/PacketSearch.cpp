// PacketSearch: what XMPScanner reports, with the header hunt done by a
// vectorised pass.
//
// How the scanner hunts (and what this file relies on): between packets its
// machine looks for the next '<' byte by byte, then counts the zero bytes
// after it (none: 8-bit characters; one: 16-bit; three: 32-bit; two: no
// header, the hunt resumes at the byte after them) and matches
// "?xpacket begin=" one character per 1, 2 or 4 bytes, looking only at the
// first byte of each character. On a mismatch the hunt resumes at the byte
// that failed. So a '<' not followed by '?' (after zero, one or three zero
// bytes) fails at once and only steps over zero bytes, which cannot start a
// header; the vectorised pass skips those, and every other '<' is followed
// exactly as the scanner follows it. Where "?xpacket begin=" matches whole,
// or the block ends before the attempt is decided, the machine's state from
// then on is more than a position: an XMPScanner takes over from that '<'.
//
// Its machine is in the same state as the scanner's would be: fresh at the
// start of a block (the scanner drops its machine at the end of a block
// unless a packet is in progress), and fresh after a complete packet (the
// scanner resets it there). A first, short window usually holds the whole
// packet; what is reported up to the end of the last complete packet in the
// window is final, and the hunt goes on after it. Otherwise the window grows,
// up to the rest of the block; a packet still in progress at the end of the
// block keeps its scanner, which reads the following blocks whole until the
// packet ends.
//
// Two details of the scanner are kept as they are. A big-endian packet starts
// at the zero bytes before its '<', taken from the snip before it. And when
// the last byte of the stream is a '<' that the hunt reaches, the scanner
// reports a partial packet that starts at the previous '<' it looked at
// (or at the start of its current snip); for that case the scanner reads the
// last block from where its machine was fresh.
#include "packet/PacketSearch.h"

#include <emmintrin.h>

#include <algorithm>

namespace velmora {

namespace {

using SnipInfo = XMPScanner::SnipInfo;
using SnipInfoVector = XMPScanner::SnipInfoVector;

constexpr char kHeader[] = "?xpacket begin=";
// The first window a scanner gets: a typical packet with its padding.
constexpr size_t kFirstWindow = 16 * 1024;

XMP_Int64 EndOf(const SnipInfo& snip) { return snip.fOffset + snip.fLength; }
XMP_Int64 EndOf(const SnipInfoVector& list) { return list.empty() ? 0 : EndOf(list.back()); }

bool IsPacket(const SnipInfo& snip) {
    return snip.fState == XMPScanner::eValidPacketSnip || snip.fState == XMPScanner::eBadPacketSnip;
}

// The zero bytes a big-endian packet has before its '<'.
size_t LeadingZeros(XMPScanner::CharacterForm form) {
    if (form == XMPScanner::eChar16BitBig) return 1;
    if (form == XMPScanner::eChar32BitBig) return 3;
    return 0;
}

bool LastIsPartial(XMPScanner& scanner) {
    SnipInfoVector found;
    scanner.Report(found);
    for (auto snip = found.rbegin(); snip != found.rend(); ++snip) {
        if (snip->fState != XMPScanner::eNotSeenSnip) return snip->fState == XMPScanner::ePartialPacketSnip;
    }
    return false;
}

// The last complete packet (valid or bad) the scanner reported.
bool LastPacket(XMPScanner& scanner, SnipInfo& packet) {
    SnipInfoVector found;
    scanner.Report(found);
    for (auto snip = found.rbegin(); snip != found.rend(); ++snip) {
        if (IsPacket(*snip)) {
            packet = *snip;
            return true;
        }
    }
    return false;
}

void AppendRawUpTo(SnipInfoVector& list, XMP_Int64 end) {
    const XMP_Int64 listEnd = EndOf(list);
    if (end <= listEnd) return;
    if (!list.empty() && list.back().fState == XMPScanner::eRawInputSnip) {
        list.back().fLength += end - listEnd;
    } else {
        list.push_back(SnipInfo(XMPScanner::eRawInputSnip, listEnd, end - listEnd));
    }
}

}  // namespace

PacketSearch::PacketSearch(XMP_Int64 streamLength) : streamLength(streamLength) {}

PacketSearch::~PacketSearch() = default;

PacketSearch::Attempt PacketSearch::TryHeader(const uint8_t* bytes, size_t at, size_t end, size_t& resume) {
    size_t p = at + 1;
    unsigned zeros = 0;
    while (zeros < 3) {
        if (p >= end) return Attempt::NeedMore;
        if (bytes[p] != 0) break;
        ++zeros;
        ++p;
    }
    if (zeros == 2) {
        resume = p;
        return Attempt::Failed;
    }
    const size_t stride = zeros == 0 ? 1 : zeros == 1 ? 2 : 4;
    for (const char* c = kHeader; *c; ++c) {
        if (p >= end) return Attempt::NeedMore;
        if (bytes[p] != static_cast<uint8_t>(*c)) {
            resume = p;
            return Attempt::Failed;
        }
        p += stride;
    }
    return Attempt::Header;
}

size_t PacketSearch::Hunt(const uint8_t* bytes, size_t from, size_t end) {
    const __m128i less = _mm_set1_epi8('<');
    const __m128i question = _mm_set1_epi8('?');
    // 16 positions: a '<' with a '?' 1, 2 or 4 bytes after it.
    auto candidates = [&](size_t i) {
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i after1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const __m128i after2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 2));
        const __m128i after4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 4));
        const __m128i marks = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(after1, question), _mm_cmpeq_epi8(after2, question)),
                                           _mm_cmpeq_epi8(after4, question));
        return _mm_and_si128(_mm_cmpeq_epi8(at, less), marks);
    };

    size_t i = from;
    for (;;) {
        // Vector loads reach 4 + 15 bytes past a position: the last 19 bytes
        // are looked at one by one.
        bool found = false;
        while (i + 64 + 4 <= end) {
            const __m128i any = _mm_or_si128(_mm_or_si128(candidates(i), candidates(i + 16)),
                                             _mm_or_si128(candidates(i + 32), candidates(i + 48)));
            if (_mm_movemask_epi8(any) != 0) break;
            i += 64;
        }
        while (i + 16 + 4 <= end) {
            const int mask = _mm_movemask_epi8(candidates(i));
            if (mask != 0) {
                i += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
                found = true;
                break;
            }
            i += 16;
        }
        if (!found) {
            while (i < end && bytes[i] != '<') ++i;
            if (i >= end) return end;
        }
        size_t resume = i + 1;
        if (TryHeader(bytes, i, end, resume) != Attempt::Failed) return i;
        i = resume;
    }
}

std::unique_ptr<XMPScanner> PacketSearch::ScannerOver(const uint8_t* block, XMP_Int64 base, size_t from,
                                                      size_t end) const {
    auto scanner = std::make_unique<XMPScanner>(streamLength);
    scanner->Scan(block + from, base + static_cast<XMP_Int64>(from), static_cast<XMP_Int64>(end - from));
    return scanner;
}

XMP_Int64 PacketSearch::TakeSnips(XMPScanner& scanner, XMP_Int64 start, XMP_Int64 upTo, SnipInfoVector& list) {
    SnipInfoVector found;
    scanner.Report(found);
    bool first = true;
    for (SnipInfo snip : found) {
        if (snip.fState == XMPScanner::eNotSeenSnip) continue;
        if (EndOf(snip) > upTo) break;
        snip.fEncodingAttr = "";  // points into the scanner, which goes away
        if (first) {
            first = false;
            // The hunt's bytes up to the scanner's start are raw input; a
            // big-endian packet there takes its leading zero bytes from the
            // snip before it, as the scanner does.
            AppendRawUpTo(list, start);
            if (snip.fOffset < start && !list.empty()) {
                list.back().fLength -= start - snip.fOffset;
                if (list.back().fLength == 0) list.pop_back();
            }
        }
        Append(list, snip);
    }
    return EndOf(list);
}

void PacketSearch::Append(SnipInfoVector& list, const SnipInfo& snip) {
    if (snip.fState == XMPScanner::eRawInputSnip && !list.empty() &&
        list.back().fState == XMPScanner::eRawInputSnip) {
        list.back().fLength += snip.fLength;
    } else {
        list.push_back(snip);
    }
}

void PacketSearch::Scan(const void* bufferOrigin, XMP_Int64 bufferOffset, XMP_Int64 bufferLength) {
    if (bufferLength == 0) return;
    if (bufferOffset < 0 || bufferLength < 0 || bufferOffset >= streamLength ||
        bufferLength > streamLength - bufferOffset || !bufferOrigin) {
        throw XMPScanner::ScanError("Bad origin, offset, or length");
    }
    if (bufferOffset < scanned) throw XMPScanner::ScanError("Already seen");
    if (bufferOffset > scanned) throw XMPScanner::ScanError("Not contiguous");
    ScanBlock(static_cast<const uint8_t*>(bufferOrigin), bufferOffset, static_cast<size_t>(bufferLength));
    scanned = bufferOffset + bufferLength;
}

void PacketSearch::ScanBlock(const uint8_t* block, XMP_Int64 base, size_t length) {
    const XMP_Int64 blockEnd = base + static_cast<XMP_Int64>(length);
    if (pending) {
        // A packet in progress: its scanner reads the whole block, as the
        // scanner would, and is done when the block ends outside a packet.
        pending->Scan(block, base, static_cast<XMP_Int64>(length));
        if (LastIsPartial(*pending)) return;
        TakeSnips(*pending, pendingStart, blockEnd, snips);
        pending.reset();
        return;
    }

    const bool lastBlock = blockEnd == streamLength;
    size_t fresh = 0;             // where the machine was last fresh in this block
    XMP_Int64 snipStart = base;   // where the scanner's current snip starts
    for (size_t at = Hunt(block, 0, length); at < length; at = Hunt(block, fresh, length)) {
        if (lastBlock && at == length - 1) {
            // The stream ends with a '<' the hunt reaches.
            auto scanner = ScannerOver(block, base, fresh, length);
            const XMP_Int64 freshAt = base + static_cast<XMP_Int64>(fresh);
            TakeSnips(*scanner, freshAt, blockEnd, snips);
            const bool lookedAtLess = block[fresh] == '<' && fresh + 1 < length;
            // Its partial packet starts at the previous '<' the machine
            // looked at, or at the start of the current snip when there was
            // none; a machine fresh after a big-endian packet starts a few
            // bytes after that snip.
            if (freshAt > snipStart && !lookedAtLess && snips.size() >= 2 &&
                snips.back().fState == XMPScanner::ePartialPacketSnip && snips.back().fOffset == freshAt) {
                SnipInfo partial = snips.back();
                snips.pop_back();
                if (snips.back().fState == XMPScanner::eRawInputSnip && snips.back().fOffset == snipStart) {
                    snips.pop_back();
                    partial.fLength += partial.fOffset - snipStart;
                    partial.fOffset = snipStart;
                }
                snips.push_back(partial);
            }
            return;
        }

        // A header, or one cut by the end of the block: a scanner reads on
        // from its '<' through growing windows.
        for (size_t window = kFirstWindow;; window *= 4) {
            const size_t end = length - at <= window ? length : at + window;
            auto scanner = ScannerOver(block, base, at, end);
            const XMP_Int64 start = base + static_cast<XMP_Int64>(at);
            if (end == length) {
                if (LastIsPartial(*scanner)) {
                    pending = std::move(scanner);
                    pendingStart = start;
                } else {
                    TakeSnips(*scanner, start, blockEnd, snips);
                }
                return;
            }
            SnipInfo packet;
            if (LastPacket(*scanner, packet)) {
                const XMP_Int64 packetEnd = EndOf(packet);
                TakeSnips(*scanner, start, packetEnd, snips);
                snipStart = packetEnd;
                // The machine goes on after the packet's last byte, which for
                // a big-endian packet lies past the snip.
                const XMP_Int64 next = packetEnd + static_cast<XMP_Int64>(LeadingZeros(packet.fCharForm));
                fresh = static_cast<size_t>(std::min(next, blockEnd) - base);
                break;
            }
        }
    }
    AppendRawUpTo(snips, blockEnd);
}

void PacketSearch::Report(SnipInfoVector& report) {
    report = snips;
    if (pending) TakeSnips(*pending, pendingStart, scanned, report);
    if (scanned < streamLength) {
        report.push_back(SnipInfo(XMPScanner::eNotSeenSnip, scanned, streamLength - scanned));
    }
}

long PacketSearch::GetSnipCount() {
    SnipInfoVector report;
    Report(report);
    return static_cast<long>(report.size());
}

}  // namespace velmora
