// The DLL loaded, used, freed and loaded again within one process, by several
// threads at once: the toolkit starts on first use and stops only when the
// module is freed, so every round gives the same chunks and the module
// really goes away between rounds.
#include "LoadedDll.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

using namespace velmora::test;

namespace {

TEST(DllReload, LoadUseFreeAndLoadAgainOnSeveralThreads) {
    const std::wstring documents[] = {TestDataPath(L"standard.jpg"), TestDataPath(L"utf16-packet.bin"),
                                      TestDataPath(L"standard.psd")};
    std::vector<std::vector<std::wstring>> reference;
    {
        const LoadedDll dll;
        for (const std::wstring& path : documents) reference.push_back(dll.Chunks(path));
    }
    ASSERT_EQ(nullptr, GetModuleHandleW(L"Velmora.dll"));
    for (const auto& chunks : reference) ASSERT_GT(chunks.size(), 1u);

    constexpr int kRounds = 3;
    constexpr int kThreads = 4;
    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, start);
        std::vector<int> mismatches(kThreads, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                WaitForSingleObject(start, INFINITE);
                // Each thread loads the DLL for itself, and frees it when done;
                // the last one to free it unloads it.
                for (int pass = 0; pass < 2; ++pass) {
                    const LoadedDll dll;
                    for (size_t d = 0; d < std::size(documents); ++d) {
                        if (dll.Chunks(documents[d]) != reference[d]) ++mismatches[t];
                    }
                }
            });
        }
        SetEvent(start);
        for (std::thread& thread : threads) thread.join();
        CloseHandle(start);
        for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, mismatches[t]) << "thread " << t;
        EXPECT_EQ(nullptr, GetModuleHandleW(L"Velmora.dll"));
    }
}

}  // namespace
