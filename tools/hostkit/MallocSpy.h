// A real IMallocSpy registered with COM for the life of the object: it counts
// every CoTaskMemAlloc made while it is registered against every free of
// those blocks, and can make chosen allocations fail (PreAlloc returning 0).
// Blocks allocated before registration are freed without being counted, so
// register it before creating the objects under test. Needs CoInitialize.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>

namespace velmora::hostkit {

class MallocSpy {
public:
    MallocSpy();   // registers; reports a failure when COM refuses
    ~MallocSpy();  // revokes (COM keeps the spy alive while blocks are outstanding)
    MallocSpy(const MallocSpy&) = delete;
    MallocSpy& operator=(const MallocSpy&) = delete;

    bool Registered() const { return registered; }
    size_t Allocations() const;   // counted allocations so far
    size_t Frees() const;         // frees of counted blocks
    size_t Outstanding() const;   // counted blocks not yet freed
    // The allocation `skip` requests from now is refused, and so are the
    // `count` - 1 after it; skip 0 means the very next one.
    void FailAllocations(size_t count, size_t skip = 0);
    size_t FailedAllocations() const;

private:
    class Spy;
    Spy* spy;
    bool registered = false;
};

}  // namespace velmora::hostkit
