#include "Failures.h"

#include <cstdio>

namespace velmora::hostkit {

namespace {

void PrintFailure(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

FailureHandler handler = PrintFailure;

}  // namespace

void SetFailureHandler(FailureHandler replacement) { handler = replacement ? replacement : PrintFailure; }

void ReportFailure(const std::string& message) { handler(message); }

}  // namespace velmora::hostkit
