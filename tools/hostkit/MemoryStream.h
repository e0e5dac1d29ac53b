// An unnamed memory stream (CreateStreamOnHGlobal) holding a copy of bytes,
// positioned at its start: a document handed over as content only.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

namespace velmora::hostkit {

// S_OK with *stream holding one reference, or the failing call's code and null.
HRESULT MemoryStream(const std::string& bytes, IStream** stream);

}  // namespace velmora::hostkit
