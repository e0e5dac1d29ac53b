// The one translation unit that instantiates the toolkit's client glue, and
// the toolkit's start and stop.
#include "toolkit/XmpToolkit.h"

#include "diag/Debugger.h"

#include "XMP.incl_cpp"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>

namespace velmora {

namespace {

// Constant-initialised, so both exist before any thread can get here.
SRWLOCK toolkitLock = SRWLOCK_INIT;
std::atomic<bool> toolkitStarted{false};

}  // namespace

bool StartXmpToolkit() noexcept {
    if (toolkitStarted.load(std::memory_order_acquire)) return true;
    AcquireSRWLockExclusive(&toolkitLock);
    bool started = toolkitStarted.load(std::memory_order_relaxed);
    if (!started) {
        try {
            started = SXMPMeta::Initialize();
            if (started && !SXMPFiles::Initialize()) {
                SXMPMeta::Terminate();
                started = false;
            }
            if (started) {
                std::string registered;
                SXMPMeta::RegisterNamespace(kVelmoraTextNS, kVelmoraTextPrefix, &registered);
            }
        } catch (const XMP_Error&) {
            started = false;
        } catch (const std::bad_alloc&) {
            started = false;
        }
        if (started) {
            toolkitStarted.store(true, std::memory_order_release);
        } else {
            debugger.Log(1, L"ERROR: SXMPMeta::Initialize() failed \n");
        }
    }
    ReleaseSRWLockExclusive(&toolkitLock);
    return started;
}

void StopXmpToolkit() noexcept {
    AcquireSRWLockExclusive(&toolkitLock);
    if (toolkitStarted.load(std::memory_order_relaxed)) {
        // Terminate reports nothing: the client glue's calls catch everything.
        SXMPFiles::Terminate();
        SXMPMeta::Terminate();
        toolkitStarted.store(false, std::memory_order_release);
    }
    ReleaseSRWLockExclusive(&toolkitLock);
}

bool IsOutOfMemory(const XMP_Error& error) noexcept {
    // The toolkit's boundary turns a std::bad_alloc into a standard-exception
    // error that carries its text; its own allocation checks say NoMemory.
    const XMP_Int32 id = error.GetID();
    const char* message = error.GetErrMsg();
    return id == kXMPErr_NoMemory ||
           (id == kXMPErr_StdException && message && std::strcmp(message, "std::bad_alloc") == 0);
}

void ThrowIfOutOfMemory(const XMP_Error& error) {
    if (IsOutOfMemory(error)) throw std::bad_alloc();
}

}  // namespace velmora
