// A search host in a box, for robustness runs: loads the built Velmora.dll,
// makes filter objects through its class object, loads documents through
// IPersistFile and IPersistStream (an unnamed memory stream), and drains
// every chunk while checking the chunk protocol. Objects made here belong to
// the thread that made them; a VelmoraDll may be shared by threads.
#pragma once

#include "Files.h"
#include "LoadedModule.h"

#include <windows.h>
#include <filter.h>
#include <filterr.h>
#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::fuzz {

// The kit's loader and file helpers, by the names the harness has used.
using hostkit::FilesIn;
using hostkit::ReadWholeFile;
using hostkit::VelmoraDll;
using hostkit::WriteWholeFile;

// What a drain found. `fault` is empty when the filter kept the protocol.
struct DrainResult {
    HRESULT end = S_OK;          // what the last GetChunk returned
    size_t valueChunks = 0;
    size_t textChunks = 0;
    size_t failedValues = 0;     // GetValue failures (expected under injected faults)
    uint64_t digest = 1469598103934665603ull;  // FNV-1a over what the host received
    std::string fault;
};

// Drains every chunk after a successful Init through the kit's drain with
// the protocol checked (ChunkDrain.h), in GetText pieces of 512 characters,
// and sums up what came back. allowAllocationFailures accepts E_OUTOFMEMORY
// and E_FAIL from GetValue and null attribute names.
// firstChunkId: the id the next chunk must carry (1 right after Init).
DrainResult DrainChecked(IFilter* filter, bool allowAllocationFailures = false, size_t maxChunks = 200000,
                         ULONG firstChunkId = 1);

enum class Face { File, Stream };

// One document through the whole host path: CreateFilter, Load (a path, or an
// unnamed memory stream over the bytes), Init with the index attributes,
// drain, Release.
struct HostRun {
    HRESULT create = S_OK;
    HRESULT load = S_OK;
    HRESULT init = S_OK;
    DrainResult drain;
    std::string fault;  // protocol fault, or empty
};
HostRun RunDocument(const VelmoraDll& dll, Face face, const std::wstring& path, const std::string& bytes,
                    bool allowAllocationFailures = false);

}  // namespace velmora::fuzz
