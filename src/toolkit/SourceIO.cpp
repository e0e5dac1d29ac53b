#include "toolkit/SourceIO.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

[[noreturn]] void ReadOnly() { throw XMP_Error(kXMPErr_FilePermission, "the document is open for reading only"); }

}  // namespace

void SourceIO::Fail(HRESULT code) {
    if (SUCCEEDED(readFailure)) readFailure = code;
    throw XMP_Error(kXMPErr_ReadError, "the document could not be read");
}

void SourceIO::ReadFromSource(uint64_t offset, char* target, XMP_Uns32 count) {
    for (XMP_Uns32 done = 0; done < count;) {
        DWORD got = 0;
        const HRESULT hr = source.ReadAt(offset + done, target + done, count - done, got);
        if (FAILED(hr)) Fail(hr);
        // The source ended before the size it had when it was opened.
        if (got == 0) Fail(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
        bytesRead += got;
        done += got;
    }
}

XMP_Uns32 SourceIO::Read(void* buffer, XMP_Uns32 count, bool readAll) {
    const uint64_t size = source.Size();
    const uint64_t available = position < size ? size - position : 0;
    if (count > available) {
        if (readAll) throw XMP_Error(kXMPErr_EnforceFailure, "not enough data");
        count = static_cast<XMP_Uns32>(available);
    }
    if (count > kMaxRead) throw XMP_Error(kXMPErr_BadFileFormat, "a read larger than any metadata block");

    char* out = static_cast<char*>(buffer);
    XMP_Uns32 left = count;
    while (left > 0) {
        if (position >= blockOffset && position < blockOffset + blockFilled) {
            const XMP_Uns32 at = static_cast<XMP_Uns32>(position - blockOffset);
            const XMP_Uns32 n = std::min(left, blockFilled - at);
            std::memcpy(out, block.get() + at, n);
            out += n;
            left -= n;
            position += n;
            continue;
        }
        if (left >= kBlockSize) {
            ReadFromSource(position, out, left);
            position += left;
            break;
        }
        if (!block) block = std::make_unique<char[]>(kBlockSize);
        blockFilled = 0;
        blockOffset = position;
        const XMP_Uns32 fill = static_cast<XMP_Uns32>(std::min<uint64_t>(kBlockSize, size - position));
        ReadFromSource(position, block.get(), fill);
        blockFilled = fill;
    }
    return count;
}

XMP_Int64 SourceIO::Seek(XMP_Int64 offset, SeekMode mode) {
    const XMP_Int64 size = Length();
    XMP_Int64 base = 0;
    if (mode == kXMP_SeekFromCurrent) base = static_cast<XMP_Int64>(position);
    if (mode == kXMP_SeekFromEnd) base = size;
    // Beyond either end there is nothing to read, and a document open for
    // reading cannot grow.
    if ((offset < 0 && -offset > base) || (offset > 0 && offset > size - base)) {
        throw XMP_Error(kXMPErr_EnforceFailure, "a seek outside the document");
    }
    position = static_cast<uint64_t>(base + offset);
    return static_cast<XMP_Int64>(position);
}

void SourceIO::Write(const void*, XMP_Uns32) { ReadOnly(); }
void SourceIO::Truncate(XMP_Int64) { ReadOnly(); }
XMP_IO* SourceIO::DeriveTemp() { ReadOnly(); }
void SourceIO::AbsorbTemp() { ReadOnly(); }

}  // namespace velmora
