// The XMP Toolkit's client templates over std::string (SXMPMeta, SXMPUtils,
// SXMPIterator, SXMPFiles). Include this header, never XMP.hpp directly. Also the
// toolkit's lifetime in the process, and how its errors are told apart.
#pragma once

#include <string>

#define TXMP_STRING_TYPE std::string
#define XMP_INCLUDE_XMPFILES 1
#include "XMP.hpp"

namespace velmora {

// The filter's own namespace for texts that have no home in a standard
// schema (a PNG comment, a JPEG COM segment): they reach the full text only.
constexpr char kVelmoraTextNS[] = "http://ns.corvantis.com/velmora/text/1.0/";
constexpr char kVelmoraTextPrefix[] = "velmoraText";

// Starts the toolkit (the data model and the file handlers) the first time it
// is called in the process; later calls
// only look. Safe on any thread, and not from DllMain. False (and a level-1
// log line) when the toolkit cannot start; the next call tries again.
bool StartXmpToolkit() noexcept;

// Stops the toolkit if it was started, once nothing in the process can use
// it any more (the module is being freed).
void StopXmpToolkit() noexcept;

// The toolkit hands a failed allocation inside it back as an XMP_Error.
// Memory running out is no fault of the document.
bool IsOutOfMemory(const XMP_Error& error) noexcept;
// Throws it on as std::bad_alloc; returns for every other error.
void ThrowIfOutOfMemory(const XMP_Error& error);

}  // namespace velmora
