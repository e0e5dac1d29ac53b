// Tests that must write the Wine prefix's real registry (COM class lookups do
// not see a per-process override) hold this lock for their whole run, so that
// test processes of either bitness never change the same keys at once.
#pragma once

#include <windows.h>

namespace velmora::test {

inline constexpr const wchar_t* kPrefixRegistryMutex = L"Local\\VelmoraTestsPrefixRegistry";

class PrefixRegistryLock {
public:
    PrefixRegistryLock() : mutex(CreateMutexW(nullptr, FALSE, kPrefixRegistryMutex)) {
        if (mutex) WaitForSingleObject(mutex, INFINITE);
    }
    ~PrefixRegistryLock() {
        if (!mutex) return;
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    PrefixRegistryLock(const PrefixRegistryLock&) = delete;
    PrefixRegistryLock& operator=(const PrefixRegistryLock&) = delete;

private:
    HANDLE mutex;
};

}  // namespace velmora::test
