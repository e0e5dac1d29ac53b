#include "common/Memory.h"

namespace velmora {

namespace {

thread_local bool allocationFailed = false;

}  // namespace

void NoteAllocationFailure() noexcept { allocationFailed = true; }

bool TakeAllocationFailure() noexcept {
    const bool failed = allocationFailed;
    allocationFailed = false;
    return failed;
}

}  // namespace velmora
