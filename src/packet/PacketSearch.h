// PacketSearch: the toolkit's packet scanner (XMPScanner) without its cost on
// bytes that cannot hold a packet. It takes the same calls and reports the
// same snips: a stream of known length, fed in contiguous blocks in order.
//
// Where the scanner walks every byte through its state machine, the search
// follows the scanner's hunt for a packet header with a vectorised pass: the
// scanner's only memory between headers is where its hunt resumes, and that
// is found by looking at the few places where '<' is followed by '?' (in
// 8-bit, UTF-16 and UTF-32 form). Where a full "<?xpacket begin=" starts, or
// a header runs into the next block, an XMPScanner takes over from that byte
// and reads on until a packet is complete (its machine is then in a fresh
// state again) or the block ends. What it reports is taken over; the bytes
// the hunt passed over are raw input.
//
// Memory: the snip list, one scanner for the packet in progress, nothing of
// the bytes. Throws what XMPScanner throws (XMPScanner::ScanError for calls
// outside the stream or out of order, std::runtime_error for a packet of
// 2 GB or more) and std::bad_alloc.
#pragma once

#include "toolkit/XmpToolkit.h"

#include "XMPScanner.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmora {

class PacketSearch {
public:
    explicit PacketSearch(XMP_Int64 streamLength);
    ~PacketSearch();
    PacketSearch(const PacketSearch&) = delete;
    PacketSearch& operator=(const PacketSearch&) = delete;

    // The next block of the stream: bufferOffset must be where the previous
    // block ended (0 for the first).
    void Scan(const void* bufferOrigin, XMP_Int64 bufferOffset, XMP_Int64 bufferLength);
    // The snips so far, in stream order, as XMPScanner::Report gives them
    // (the encoding attribute is not kept: always "").
    void Report(XMPScanner::SnipInfoVector& snips);
    long GetSnipCount();

private:
    // How a header hunt at a '<' ended: it failed (the hunt resumes at a
    // later byte), it read a whole "?xpacket begin=", or the block ended.
    enum class Attempt { Failed, Header, NeedMore };

    static Attempt TryHeader(const uint8_t* bytes, size_t at, size_t end, size_t& resume);
    // The first '<' from `from` on where the scanner's hunt stops (a header,
    // or a header cut by the end of the block); `end` when there is none.
    static size_t Hunt(const uint8_t* bytes, size_t from, size_t end);

    // Runs a scanner over block[from, end) at stream offset base + from.
    std::unique_ptr<XMPScanner> ScannerOver(const uint8_t* block, XMP_Int64 base, size_t from, size_t end) const;
    // Adds the seen snips of a scanner that started at `start`, those ending
    // at or before `upTo`, to `list`. Returns the end of the list.
    static XMP_Int64 TakeSnips(XMPScanner& scanner, XMP_Int64 start, XMP_Int64 upTo,
                               XMPScanner::SnipInfoVector& list);
    static void Append(XMPScanner::SnipInfoVector& list, const XMPScanner::SnipInfo& snip);

    void ScanBlock(const uint8_t* block, XMP_Int64 base, size_t length);

    XMP_Int64 streamLength;
    XMP_Int64 scanned = 0;  // bytes seen so far
    XMPScanner::SnipInfoVector snips;  // final snips, covering [0, snips end)
    // A packet in progress at the end of the last block, with the scanner
    // that reads it; null when the scanner's hunt is between packets.
    std::unique_ptr<XMPScanner> pending;
    XMP_Int64 pendingStart = 0;  // where that scanner started reading
};

}  // namespace velmora
