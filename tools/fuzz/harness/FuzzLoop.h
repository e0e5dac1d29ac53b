// The fuzzing loop: mutated inputs through both host paths of a loaded DLL,
// bounded by a count and a time. After each input it checks that nothing
// crashed (an unhandled-exception filter records the input and ends the
// process), nothing hung (a watchdog thread does the same after the
// per-input limit), no task allocation is outstanding, no temporary file is
// left, the DLL can unload, and the file and stream paths gave the same
// chunks. Every finding is written to the findings directory as
// <kind>-<seed>-<index>.bin with a .txt beside it saying what was seen; an
// input that hangs (or crashes so that no handler can run) ends the process
// with exit code 4 and stays behind as input.bin in the work directory.
// One loop per process at a time.
#pragma once

#include "HostHarness.h"

#include "MallocSpy.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::fuzz {

struct FuzzOptions {
    std::vector<std::string> seeds;  // seed inputs (file contents)
    uint64_t seed = 1;               // generator seed
    uint64_t count = 300;            // inputs at most
    DWORD seconds = 60;              // run time at most
    DWORD inputSeconds = 20;         // one input at most, then it counts as a hang
    std::wstring workDirectory;      // where the input file is written (ends in a backslash)
    std::wstring filterTempDirectory;  // the DLL's "TempPath" (ends in a backslash)
    std::wstring findingsDirectory;  // where findings go (ends in a backslash); empty: not kept
    size_t maxInputSize = 4u << 20;
    size_t maxNesting = 20000;       // deepest nesting the mutator makes
    bool stopAtFirstFinding = false;
    bool verbose = false;            // one line per finding on stdout
    const hostkit::MallocSpy* spy = nullptr;  // counts task allocations when given
};

struct FuzzReport {
    uint64_t inputs = 0;
    uint64_t loadedWithXmp = 0;      // inputs whose file load gave at least one chunk
    uint64_t chunks = 0;
    uint64_t bytes = 0;
    DWORD milliseconds = 0;
    std::vector<std::string> findings;  // "kind: description"
};

FuzzReport RunFuzz(const VelmoraDll& dll, const FuzzOptions& options);

// Checks one input through both faces as the loop does; empty when sound.
// The input file is written to inputPath first.
// Task allocations are counted when spy is given.
std::string CheckInput(const VelmoraDll& dll, const std::string& bytes, const std::wstring& inputPath,
                       const std::wstring& filterTempDirectory, const hostkit::MallocSpy* spy,
                       size_t* chunks = nullptr);

// Every file of a directory (ending in a backslash), in name order.
std::vector<std::pair<std::wstring, std::string>> ReadDirectory(const std::wstring& directory);

}  // namespace velmora::fuzz
