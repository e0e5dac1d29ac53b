// Where the kit's helpers report a failure that their callers cannot act on
// (a registry override refused, a scratch directory not made, COM refusing
// the malloc spy). Tools print it; a test program routes it to its framework.
#pragma once

#include <string>

namespace velmora::hostkit {

using FailureHandler = void (*)(const std::string& message);

// Replaces the handler; the default writes the message to stderr.
void SetFailureHandler(FailureHandler handler);
void ReportFailure(const std::string& message);

}  // namespace velmora::hostkit
