// Unsigned integers read from bytes in a stated byte order. The caller has
// checked that the bytes are there: these read exactly 2, 4 or 8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

template <typename Byte>
constexpr uint16_t ReadBig16(const Byte* p) {
    return static_cast<uint16_t>(static_cast<uint16_t>(static_cast<uint8_t>(p[0])) << 8 |
                                 static_cast<uint8_t>(p[1]));
}

template <typename Byte>
constexpr uint32_t ReadBig32(const Byte* p) {
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 8 | static_cast<uint8_t>(p[3]);
}

template <typename Byte>
constexpr uint64_t ReadBig64(const Byte* p) {
    return static_cast<uint64_t>(ReadBig32(p)) << 32 | ReadBig32(p + 4);
}

template <typename Byte>
constexpr uint16_t ReadLittle16(const Byte* p) {
    return static_cast<uint16_t>(static_cast<uint16_t>(static_cast<uint8_t>(p[1])) << 8 |
                                 static_cast<uint8_t>(p[0]));
}

template <typename Byte>
constexpr uint32_t ReadLittle32(const Byte* p) {
    return static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 | static_cast<uint8_t>(p[0]);
}

template <typename Byte>
constexpr uint64_t ReadLittle64(const Byte* p) {
    return static_cast<uint64_t>(ReadLittle32(p + 4)) << 32 | ReadLittle32(p);
}

// Either order, as a TIFF header ("II" or "MM") states it.
template <typename Byte>
constexpr uint16_t Read16(const Byte* p, bool bigEndian) {
    return bigEndian ? ReadBig16(p) : ReadLittle16(p);
}

template <typename Byte>
constexpr uint32_t Read32(const Byte* p, bool bigEndian) {
    return bigEndian ? ReadBig32(p) : ReadLittle32(p);
}

}  // namespace velmora
