#include "Containers.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace velmora::hostkit {

namespace {

std::string BigEndian32(size_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (24 - 8 * i) & 0xFF);
    return bytes;
}

}  // namespace

std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return BigEndian32(data.size()) + body + BigEndian32(crc);
}

std::string PngWith(const std::string& chunks) {
    const std::string header("\0\0\0\1\0\0\0\1\x08\0\0\0\0", 13);  // 1x1, 8-bit grey
    const std::string pixels = ZlibCompress(std::string("\0\x80", 2));
    return std::string("\x89PNG\r\n\x1A\n", 8) + PngChunk("IHDR", header) + chunks + PngChunk("IDAT", pixels) +
           PngChunk("IEND", "");
}

std::string Box(const std::string& type, const std::string& content) {
    return BigEndian32(8 + content.size()) + type + content;
}

std::string JxlWith(const std::string& boxes) {
    return Box("JXL ", "\r\n\x87\n") + Box("ftyp", std::string("jxl \0\0\0\0jxl ", 12)) + boxes +
           Box("jxlc", std::string("\xFF\x0A\xFA\x1F\x01\x90\x08\x06", 8));
}

std::string ZlibCompress(const std::string& data) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::string out(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&out[0]), &length, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 9) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(length);
    return out;
}

std::string ZlibBomb(size_t size) {
    z_stream stream{};
    if (deflateInit(&stream, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
    const std::string spaces(1 << 20, ' ');
    std::string out;
    char buffer[1 << 16];
    for (size_t left = size;;) {
        const size_t piece = left < spaces.size() ? left : spaces.size();
        left -= piece;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(spaces.data()));
        stream.avail_in = static_cast<uInt>(piece);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int result;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            result = deflate(&stream, flush);
            out.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0);
        if (left == 0 && result == Z_STREAM_END) break;
    }
    deflateEnd(&stream);
    return out;
}

// Bits go in from the least significant end of each byte.
std::string BrotliStored(const std::string& data) {
    std::string out;
    unsigned bits = 0, count = 0;
    const auto put = [&](unsigned value, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            bits |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                out += static_cast<char>(bits);
                bits = count = 0;
            }
        }
    };
    const auto align = [&] {
        if (count) put(0, 8 - count);
    };
    put(0, 1);  // WBITS 16
    for (size_t at = 0; at < data.size(); at += 65536) {
        const size_t length = data.size() - at < 65536 ? data.size() - at : 65536;
        put(0, 1);                                      // ISLAST 0
        put(0, 2);                                      // MNIBBLES 4
        put(static_cast<unsigned>(length - 1), 16);     // MLEN - 1
        put(1, 1);                                      // ISUNCOMPRESSED
        align();
        out.append(data, at, length);
    }
    put(1, 1);  // ISLAST
    put(1, 1);  // ISLASTEMPTY
    align();
    return out;
}

const std::string kBrotliBomb100MB(
    "\xCF\xFF\xFF\x7F\xF8\x27\x00\xE2\xB1\x40\x20\xF7\xFE\x9F\xFF\xFF\xFF\xF0\x4F\x00\xC4\x61\x01\x80\xEE\xFD\x3F"
    "\xFF\xFF\xFF\xE1\x9F\x00\x88\xC3\x22\x00\xDD\xFB\x7F\xFE\xFF\xFF\xC3\x3F\x01\x10\x87\x05\x00\xBA\xF7\xFF\xFC"
    "\xFF\xFF\x87\x7F\x02\x20\x0E\x0B\x00\x74\xEF\xFF\xF3\x1F\xBC\x1E\xFF\x04\x40\x1C\x16\x00\xE8\x62\xD7\x03",
    80);

std::string RawProfile(const std::string& name, const std::string& bytes) {
    char length[16];
    std::snprintf(length, sizeof length, "%8u", static_cast<unsigned>(bytes.size()));
    std::string text = "\n" + name + "\n" + length + "\n";
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
        if (i % 36 == 35) text += '\n';
    }
    return text + "\n";
}

}  // namespace velmora::hostkit
