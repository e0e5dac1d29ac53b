// Where the time of a document goes, phase by phase, measured in this process
// over the filter's own libraries (the same code the DLL is built from), and
// the I/O floor every document pays: open the file, read 64 KB, close it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmora::bench {

double Now();

// Opens the file, reads up to 64 KB and closes it: the least a host's filter
// process does for a document.
bool OpenReadCloseFloor(const std::wstring& path);

// Per document and per phase, averaged over `repeat` passes over every
// document, each phase beside the open-read-close floor measured in the
// same passes, and beside the host path through the DLL (hostPath, one
// document each call). Prints one table; returns the number of documents.
size_t PrintPhases(const std::vector<std::wstring>& paths, int repeat, const char* arch,
                   const std::function<void(const std::wstring&)>& hostPath);

}  // namespace velmora::bench
