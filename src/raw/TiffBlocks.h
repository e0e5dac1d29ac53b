// TIFF structures kept in pieces: Canon's CR3 stores IFD0, the Exif IFD and
// the GPS IFD each as a whole TIFF structure of its own (a header, then the
// IFD at the offset it names). Joined, they become the one structure that a
// JPEG's Exif segment holds, for the toolkit's import. Only the first IFD of
// each piece is taken, with the values it points at; pointers to further
// IFDs (SubIFDs, interoperability) and the maker note are left out, since
// their offsets would not hold in the joined structure.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// IFD0 of `ifd0`, with the first IFD of `exif` as its Exif IFD and that of
// `gps` as its GPS IFD (either may be empty, or a piece in the other byte
// order, which is left out). Empty when `ifd0` holds no TIFF header and
// neither other piece does either; an IFD that runs past its piece ends at
// its last whole entry. The result is at most `cap` bytes: values that would
// pass it are left out.
std::string JoinTiffBlocks(std::string_view ifd0, std::string_view exif, std::string_view gps, size_t cap);

}  // namespace velmora
