// Several threads creating, loading, draining and releasing filter objects of
// one DLL at once, each object on its own thread, thousands of documents.
#include "DllFixture.h"

#include <atomic>
#include <map>
#include <mutex>

namespace velmora::fuzz::test {
namespace {

constexpr int kThreads = 4;
constexpr int kDocumentsPerThread = 600;
constexpr DWORD kRunLimitMs = 150000;  // each thread stops by itself after this

struct Document {
    std::wstring path;
    std::string bytes;
};

struct Outcome {
    HRESULT load;
    uint64_t digest;
    size_t chunks;
    bool operator==(const Outcome& other) const {
        return load == other.load && digest == other.digest && chunks == other.chunks;
    }
};

Outcome Summarise(const HostRun& run) {
    return {run.load, run.drain.digest, run.drain.valueChunks + run.drain.textChunks};
}

struct Shared {
    const VelmoraDll* dll = nullptr;
    const std::vector<Document>* documents = nullptr;
    HANDLE start = nullptr;
    std::mutex lock;
    std::vector<std::string> faults;
    // (document, face) -> what the first thread to see it got
    std::map<std::pair<size_t, int>, Outcome> seen;
    std::atomic<int> processed{0};
};

struct Worker {
    Shared* shared;
    int index;
};

DWORD WINAPI Work(void* parameter) {
    const Worker& worker = *static_cast<Worker*>(parameter);
    Shared& shared = *worker.shared;
    WaitForSingleObject(shared.start, INFINITE);
    const DWORD begin = GetTickCount();
    const auto& documents = *shared.documents;
    for (int n = 0; n < kDocumentsPerThread && GetTickCount() - begin < kRunLimitMs; ++n) {
        // Each thread walks the documents in its own order.
        const size_t which = static_cast<size_t>(n * (worker.index + 1) + worker.index) % documents.size();
        const Face face = ((n + worker.index) % 2) ? Face::Stream : Face::File;
        const Document& document = documents[which];
        const HostRun run = RunDocument(*shared.dll, face, document.path, document.bytes);
        ++shared.processed;
        std::lock_guard<std::mutex> guard(shared.lock);
        if (!run.fault.empty()) {
            shared.faults.push_back(velmora::test::Narrow(document.path) + ": " + run.fault);
            continue;
        }
        const auto key = std::make_pair(which, static_cast<int>(face));
        const auto [slot, inserted] = shared.seen.emplace(key, Summarise(run));
        if (!inserted && !(slot->second == Summarise(run)))
            shared.faults.push_back(velmora::test::Narrow(document.path) + ": threads saw different chunks");
    }
    return 0;
}

class Stress : public DllTest {};

TEST_F(Stress, ThreadsCreateLoadDrainAndReleaseAtOnce) {
    // No warm-up: the threads race to create the first object, which builds
    // the configuration.
    LoadDll(true, 0, false);
    const wchar_t* names[] = {L"standard.jpg", L"standard.tif", L"standard.png", L"standard.psd",
                              L"standard.eps", L"logo.svg",     L"values.bin",   L"two-packets.bin",
                              L"no-xmp.jpg",   L"empty.bin",    L"bad-packet.bin", L"utf16-packet.bin",
                              // Native metadata imported by the handlers at once on every thread.
                              L"camera\\IPTC.jpg", L"camera\\Nikon.nef", L"camera\\extended-xmp.jpg",
                              L"standard.webp", L"standard.gif",
                              // Brotli boxes and compressed PNG text, read by the filter's own readers.
                              L"containers\\cjxl-brob.jxl", L"containers\\imagemagick-raw-profile.png",
                              L"containers\\ztxt-xmp.png"};
    std::vector<Document> documents;
    for (const wchar_t* name : names) documents.push_back({velmora::test::TestDataPath(name), Data(name)});

    Shared shared;
    shared.dll = dll.get();
    shared.documents = &documents;
    shared.start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Worker workers[kThreads];
    HANDLE threads[kThreads];
    for (int i = 0; i < kThreads; ++i) {
        workers[i] = {&shared, i};
        threads[i] = CreateThread(nullptr, 0, Work, &workers[i], 0, nullptr);
        ASSERT_NE(nullptr, threads[i]);
    }
    SetEvent(shared.start);
    const DWORD waited = WaitForMultipleObjects(kThreads, threads, TRUE, kRunLimitMs + 60000);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(shared.start);
    if (waited == WAIT_TIMEOUT) {
        // A thread is stuck inside the filter; nothing sensible is left to check.
        std::fprintf(stderr, "stress threads did not finish\n");
        TerminateProcess(GetCurrentProcess(), 4);
    }

    EXPECT_GE(shared.processed.load(), kThreads * kDocumentsPerThread / 2) << "the run was cut short by its time limit";
    for (const std::string& fault : shared.faults) ADD_FAILURE() << fault;
    EXPECT_HR(S_OK, dll->CanUnloadNow());
    EXPECT_TRUE(FilesIn(filterTemp.Path()).empty());

    // The configuration was built once: registry changes made now are not
    // seen, and one more pass on this thread gives what the threads saw
    // without holding on to anything more.
    RegistrySandbox::SetDword(kKey, L"MultipleInstancesMode", 1);
    RegistrySandbox::SetDword(std::wstring(kKey) + L"\\DefaultSchemas", L"DC", 0);
    outstandingAtStart = spy.Outstanding();
    for (size_t i = 0; i < documents.size(); ++i) {
        for (Face face : {Face::File, Face::Stream}) {
            const HostRun run = RunDocument(*dll, face, documents[i].path, documents[i].bytes);
            EXPECT_EQ("", run.fault) << velmora::test::Narrow(documents[i].path);
            const auto found = shared.seen.find(std::make_pair(i, static_cast<int>(face)));
            if (found == shared.seen.end()) continue;
            EXPECT_TRUE(found->second == Summarise(run)) << velmora::test::Narrow(documents[i].path);
        }
    }
}

}  // namespace
}  // namespace velmora::fuzz::test
