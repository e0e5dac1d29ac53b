// The tags of a TIFF structure's first IFD that the toolkit's import leaves
// out or reads with the wrong text encoding: Windows' own UTF-16LE text tags
// (XPTitle, XPComment, XPAuthor, XPKeywords, XPSubject, which Explorer
// writes) and the IPTC-IIM block a TIFF keeps in a tag of its own (IPTC-NAA,
// or Photoshop's image resources). Only IFD0 is read: its entry table once,
// then each wanted value, each under a cap; an offset or count that points
// outside the structure passes the tag over. Also the decoding of IPTC-IIM
// datasets and Photoshop image resources.
#pragma once

#include "io/ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The most read of one tag's value; no writer makes a text tag this long.
constexpr uint32_t kMaxTagValue = 1u << 20;

struct TiffTexts {
    // Windows' tags as UTF-8, empty when absent.
    std::string xpTitle, xpComment, xpAuthor, xpKeywords, xpSubject;
    std::string iptc;       // the IPTC-NAA tag's bytes
    std::string resources;  // the Photoshop image resources tag's bytes
};

// Reads the TIFF structure of `length` bytes at `base` in source (a TIFF
// document, or an Exif block). S_OK, S_FALSE for no TIFF header, or a failed
// read's code. Throws std::bad_alloc.
HRESULT ReadTiffTexts(ByteSource& source, uint64_t base, uint64_t length, TiffTexts& texts);

// UTF-16LE bytes as UTF-8: up to the first NUL character, an odd last byte
// dropped, an unpaired surrogate read as U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// One IPTC-IIM dataset: record, number and its bytes as stored.
struct IptcDataSet {
    uint8_t record = 0;
    uint8_t number = 0;
    std::string_view data;
};

// The datasets of an IPTC-IIM block, in order, up to the first malformed
// one (extended lengths over 64 KB are passed over).
std::vector<IptcDataSet> ParseIptc(std::string_view block);

// Whether the block's character-set record (1:90) names UTF-8.
bool IptcDeclaresUtf8(const std::vector<IptcDataSet>& dataSets);

// A dataset's text as UTF-8: as stored when the block declares UTF-8 or the
// bytes are valid UTF-8, else read as Latin-1.
std::string IptcText(std::string_view data, bool declaredUtf8);

// The IPTC-IIM block (resource 0x0404) among Photoshop image resources
// ("8BIM" records); empty when there is none.
std::string_view IptcOfResources(std::string_view resources);

bool IsValidUtf8(std::string_view text);

}  // namespace velmora
