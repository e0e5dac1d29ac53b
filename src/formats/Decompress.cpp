// zlib's inflate and Brotli's streaming decoder behind one loop: read a
// block of input, decompress it into a fixed output block, append, check the cap.
#include "formats/Decompress.h"

#include "diag/Debugger.h"

#include <brotli/decode.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>

namespace velmora {

namespace {

constexpr DWORD kInputBlock = 64 * 1024;
constexpr size_t kOutputBlock = 64 * 1024;

// One decompressor's step: consumes from in, produces into out.
enum class Step { More, End, Corrupt };

class ZlibStream {
public:
    ZlibStream() {
        if (inflateInit(&stream) != Z_OK) throw std::bad_alloc();
    }
    ~ZlibStream() { inflateEnd(&stream); }
    ZlibStream(const ZlibStream&) = delete;
    ZlibStream& operator=(const ZlibStream&) = delete;

    Step Run(const uint8_t*& in, size_t& inLeft, uint8_t* out, size_t& outLeft) {
        stream.next_in = const_cast<Bytef*>(in);
        stream.avail_in = static_cast<uInt>(inLeft);
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(outLeft);
        const int result = inflate(&stream, Z_NO_FLUSH);
        in = stream.next_in;
        inLeft = stream.avail_in;
        outLeft = stream.avail_out;
        switch (result) {
        case Z_OK:
        case Z_BUF_ERROR:  // no progress possible: more input or more room
            return Step::More;
        case Z_STREAM_END:
            return Step::End;
        case Z_MEM_ERROR:
            throw std::bad_alloc();
        default:
            return Step::Corrupt;
        }
    }

private:
    z_stream stream{};
};

class BrotliStream {
public:
    BrotliStream() : state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {
        if (!state) throw std::bad_alloc();
    }
    ~BrotliStream() { BrotliDecoderDestroyInstance(state); }
    BrotliStream(const BrotliStream&) = delete;
    BrotliStream& operator=(const BrotliStream&) = delete;

    Step Run(const uint8_t*& in, size_t& inLeft, uint8_t* out, size_t& outLeft) {
        const BrotliDecoderResult result = BrotliDecoderDecompressStream(state, &inLeft, &in, &outLeft, &out, nullptr);
        switch (result) {
        case BROTLI_DECODER_RESULT_SUCCESS:
            return Step::End;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
        case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
            return Step::More;
        default: {
            const int code = BrotliDecoderGetErrorCode(state);
            if (code <= BROTLI_DECODER_ERROR_ALLOC_CONTEXT_MODES && code >= BROTLI_DECODER_ERROR_ALLOC_BLOCK_TYPE_TREES) {
                throw std::bad_alloc();
            }
            return Step::Corrupt;
        }
        }
    }

private:
    BrotliDecoderState* state;
};

template <typename Stream>
Decompressed Run(Stream& stream, ByteSource& source, uint64_t offset, uint64_t length, size_t cap, std::string& out,
                 HRESULT& readFailure) {
    out.clear();
    const auto input = std::make_unique<uint8_t[]>(kInputBlock);
    const auto output = std::make_unique<uint8_t[]>(kOutputBlock);
    uint64_t consumed = 0;
    const uint8_t* in = input.get();
    size_t inLeft = 0;
    for (;;) {
        if (inLeft == 0 && consumed < length) {
            const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(kInputBlock, length - consumed));
            const HRESULT hr = source.ReadExactly(offset + consumed, input.get(), wanted);
            if (hr != S_OK) {
                readFailure = FAILED(hr) ? hr : HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
                return Decompressed::ReadFailed;
            }
            consumed += wanted;
            in = input.get();
            inLeft = wanted;
        }
        const size_t inBefore = inLeft;
        size_t outLeft = kOutputBlock;
        const Step step = stream.Run(in, inLeft, output.get(), outLeft);
        const size_t produced = kOutputBlock - outLeft;
        if (produced > cap - out.size()) {
            out.append(reinterpret_cast<const char*>(output.get()), cap - out.size());
            return Decompressed::TooLarge;
        }
        out.append(reinterpret_cast<const char*>(output.get()), produced);
        if (step == Step::End) return Decompressed::Done;
        if (step == Step::Corrupt) return Decompressed::Corrupt;
        // The block is used up and the stream has not ended: cut short.
        if (inLeft == 0 && consumed == length && produced == 0 && inBefore == 0) return Decompressed::Corrupt;
    }
}

}  // namespace

Decompressed Decompress(ByteSource& source, uint64_t offset, uint64_t length, Compression compression, size_t cap,
                        std::string& out, HRESULT& readFailure) {
    readFailure = S_OK;
    if (compression == Compression::None) {
        out.clear();
        if (length > cap) return Decompressed::TooLarge;
        out.resize(static_cast<size_t>(length));
        const HRESULT hr = source.ReadExactly(offset, &out[0], static_cast<DWORD>(length));
        if (hr == S_OK) return Decompressed::Done;
        readFailure = FAILED(hr) ? hr : HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
        return Decompressed::ReadFailed;
    }
    if (compression == Compression::Zlib) {
        ZlibStream stream;
        return Run(stream, source, offset, length, cap, out, readFailure);
    }
    BrotliStream stream;
    return Run(stream, source, offset, length, cap, out, readFailure);
}

bool ReadMetadataBlock(ByteSource& source, uint64_t offset, uint64_t length, Compression compression,
                       const std::wstring& what, std::string& out, HRESULT& readFailure) {
    const Decompressed outcome =
        Decompress(source, offset, length, compression, kMaxDecompressedBlock, out, readFailure);
    if (outcome == Decompressed::Done) return true;
    out.clear();
    if (outcome != Decompressed::ReadFailed) {
        debugger.Log(1, (L"ERROR: " + what + L" " + DecompressedText(outcome) + L" and is passed over \n").c_str());
    }
    return false;
}

const wchar_t* DecompressedText(Decompressed outcome) {
    switch (outcome) {
    case Decompressed::Done: return L"is complete";
    case Decompressed::TooLarge: return L"expands beyond 64 MB";
    case Decompressed::Corrupt: return L"is damaged or cut short";
    case Decompressed::ReadFailed: return L"could not be read";
    }
    return L"";
}

}  // namespace velmora
