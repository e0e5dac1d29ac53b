// The toolkit's file handlers read a document through this: an XMP_IO over a
// byte source, for reading only. Reads go through one buffered block, so the
// handlers' many small reads (a marker, a length, a tag) cost no call into the
// file or the stream each; a read of a block or more goes straight through.
// Writing, truncating and temporary files are refused with an XMP_Error, and
// so is any single read larger than kMaxRead: no image keeps metadata that
// large in one piece, and a handler must not be led by a forged length into
// reading a whole large file into memory. A source that fails or ends early
// makes the read throw; ReadFailure then tells the source's own code.
// Not thread-safe: one per load.
#pragma once

#include "io/ByteSource.h"

#include "XMP_Environment.h"
#include "XMP_Const.h"
#include "XMP_IO.hpp"

#include <cstdint>
#include <memory>

namespace velmora {

class SourceIO : public XMP_IO {
public:
    static constexpr XMP_Uns32 kBlockSize = 64 * 1024;
    static constexpr XMP_Uns32 kMaxRead = 64u << 20;

    explicit SourceIO(ByteSource& source) : source(source) {}
    SourceIO(const SourceIO&) = delete;
    SourceIO& operator=(const SourceIO&) = delete;

    XMP_Uns32 Read(void* buffer, XMP_Uns32 count, bool readAll = false) override;
    XMP_Int64 Seek(XMP_Int64 offset, SeekMode mode) override;
    XMP_Int64 Length() override { return static_cast<XMP_Int64>(source.Size()); }

    void Write(const void* buffer, XMP_Uns32 count) override;
    void Truncate(XMP_Int64 length) override;
    XMP_IO* DeriveTemp() override;
    void AbsorbTemp() override;
    void DeleteTemp() override {}  // there is never one

    // Bytes delivered from the source so far (each byte once per read of it).
    uint64_t BytesRead() const { return bytesRead; }
    // The code of the source's read that failed, or S_OK.
    HRESULT ReadFailure() const { return readFailure; }

private:
    [[noreturn]] void Fail(HRESULT code);
    // Exactly `count` bytes at `offset` into target, straight from the source.
    void ReadFromSource(uint64_t offset, char* target, XMP_Uns32 count);

    ByteSource& source;
    uint64_t position = 0;
    std::unique_ptr<char[]> block;
    uint64_t blockOffset = 0;
    XMP_Uns32 blockFilled = 0;
    uint64_t bytesRead = 0;
    HRESULT readFailure = S_OK;
};

}  // namespace velmora
