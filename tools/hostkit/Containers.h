// Building blocks of PNG and JPEG XL documents for tests and the fuzzer: a
// chunk or a box around given bytes, zlib streams (and one that inflates to
// a given size, a bomb), a Brotli stream of stored meta-blocks (no encoder
// needed: any bytes, in the form every decoder reads), the 80-byte Brotli
// stream of 100 MB of zeros as the brotli tool writes it, and a raw profile's
// hex dump as ImageMagick writes it.
#pragma once

#include <cstddef>
#include <string>

namespace velmora::hostkit {

// A PNG chunk: length, type, data, CRC.
std::string PngChunk(const std::string& type, const std::string& data);
// A PNG of one grey pixel with the chunks given put before its image data.
std::string PngWith(const std::string& chunks);
// An ISO base media box: 32-bit size and type, then the content.
std::string Box(const std::string& type, const std::string& content);
// A JPEG XL container (signature and file type boxes) with the boxes given.
std::string JxlWith(const std::string& boxes);

std::string ZlibCompress(const std::string& data);
// A zlib stream of `size` spaces, made without holding them.
std::string ZlibBomb(size_t size);
std::string BrotliStored(const std::string& data);
extern const std::string kBrotliBomb100MB;

// "\n" name "\n" length (8 wide) "\n", then 36 bytes a line as hex.
std::string RawProfile(const std::string& name, const std::string& bytes);

}  // namespace velmora::hostkit
