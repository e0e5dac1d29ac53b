// A stretch of another byte source read as a document of its own, in place:
// a JPEG preview inside a raw file, a TIFF block inside a record. Its first
// bytes may be shown replaced (a raw format's own magic shown as the
// standard TIFF header it stands for), so that a handler for the standard
// format reads the stretch unchanged otherwise. Reads go to the outer source
// and never past the stretch. Used by one thread, for one load.
#pragma once

#include "io/ByteSource.h"

#include <cstddef>
#include <cstdint>

namespace velmora {

class SourceWindow : public ByteSource {
public:
    static constexpr size_t kMaxHead = 8;

    // The `length` bytes at `offset` of outer, cut to what outer holds.
    SourceWindow(ByteSource& outer, uint64_t offset, uint64_t length);

    // Shows `count` (at most kMaxHead) bytes of head in place of the
    // stretch's first ones.
    void ReplaceHead(const void* head, size_t count);

protected:
    HRESULT MoveTo(uint64_t offset) override;
    HRESULT ReadHere(void* target, DWORD wanted, DWORD& got) override;

private:
    ByteSource& outer;
    uint64_t start;
    uint64_t at = 0;
    uint8_t head[kMaxHead] = {};
    size_t headCount = 0;
};

}  // namespace velmora
