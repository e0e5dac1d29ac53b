#include "io/SourceWindow.h"

#include <algorithm>
#include <cstring>

namespace velmora {

SourceWindow::SourceWindow(ByteSource& outer, uint64_t offset, uint64_t length) : outer(outer) {
    start = std::min(offset, outer.Size());
    size = std::min(length, outer.Size() - start);
    position = 0;
}

void SourceWindow::ReplaceHead(const void* bytes, size_t count) {
    headCount = std::min(count, kMaxHead);
    std::memcpy(head, bytes, headCount);
}

HRESULT SourceWindow::MoveTo(uint64_t offset) {
    at = offset;
    return S_OK;
}

HRESULT SourceWindow::ReadHere(void* target, DWORD wanted, DWORD& got) {
    got = 0;
    if (at >= size) return S_OK;
    const DWORD asked = static_cast<DWORD>(std::min<uint64_t>(wanted, size - at));
    HRESULT hr = outer.ReadAt(start + at, target, asked, got);
    if (FAILED(hr)) return hr;
    if (at < headCount) {
        const size_t shown = std::min<uint64_t>(headCount - at, got);
        std::memcpy(target, head + at, shown);
    }
    at += got;
    return S_OK;
}

}  // namespace velmora
