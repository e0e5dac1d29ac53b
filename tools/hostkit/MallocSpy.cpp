#include "MallocSpy.h"

#include "Failures.h"

#include "common/ComObject.h"

#include <cstdio>
#include <mutex>
#include <set>

namespace velmora::hostkit {

class MallocSpy::Spy final : public ComObject<IMallocSpy> {
public:

    bool Offers(REFIID riid) const override { return IsEqualIID(riid, IID_IMallocSpy); }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cbRequest) override {
        std::lock_guard<std::mutex> guard(lock);
        if (ShouldFail()) return 0;
        return cbRequest;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* pActual) override {
        std::lock_guard<std::mutex> guard(lock);
        if (pActual) {
            live.insert(pActual);
            ++allocations;
        }
        return pActual;
    }
    void* STDMETHODCALLTYPE PreFree(void* pRequest, BOOL) override {
        std::lock_guard<std::mutex> guard(lock);
        if (pRequest && live.erase(pRequest)) ++frees;
        return pRequest;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* pRequest, SIZE_T cbRequest, void** ppNewRequest, BOOL) override {
        std::lock_guard<std::mutex> guard(lock);
        *ppNewRequest = pRequest;
        if (cbRequest != 0 && ShouldFail()) return 0;
        if (pRequest && live.erase(pRequest)) ++frees;
        return cbRequest;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* pActual, BOOL) override {
        std::lock_guard<std::mutex> guard(lock);
        if (pActual) {
            live.insert(pActual);
            ++allocations;
        }
        return pActual;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* pRequest, BOOL) override { return pRequest; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* pRequest, BOOL) override { return pRequest; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int fActual) override { return fActual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

    mutable std::mutex lock;
    std::set<void*> live;
    size_t allocations = 0;
    size_t frees = 0;
    size_t failSkip = 0;
    size_t failCount = 0;
    size_t failed = 0;

private:
    bool ShouldFail() {
        if (failCount == 0) return false;
        if (failSkip > 0) {
            --failSkip;
            return false;
        }
        --failCount;
        ++failed;
        return true;
    }
};

MallocSpy::MallocSpy() : spy(new Spy) {
    const HRESULT hr = CoRegisterMallocSpy(spy);
    registered = SUCCEEDED(hr);
    if (!registered) {
        char message[64];
        std::snprintf(message, sizeof message, "CoRegisterMallocSpy failed: 0x%08lX", static_cast<unsigned long>(hr));
        ReportFailure(message);
    }
}

MallocSpy::~MallocSpy() {
    {
        std::lock_guard<std::mutex> guard(spy->lock);
        spy->failCount = 0;
    }
    if (registered) CoRevokeMallocSpy();
    spy->Release();
}

size_t MallocSpy::Allocations() const {
    std::lock_guard<std::mutex> guard(spy->lock);
    return spy->allocations;
}

size_t MallocSpy::Frees() const {
    std::lock_guard<std::mutex> guard(spy->lock);
    return spy->frees;
}

size_t MallocSpy::Outstanding() const {
    std::lock_guard<std::mutex> guard(spy->lock);
    return spy->live.size();
}

void MallocSpy::FailAllocations(size_t count, size_t skip) {
    std::lock_guard<std::mutex> guard(spy->lock);
    spy->failCount = count;
    spy->failSkip = skip;
}

size_t MallocSpy::FailedAllocations() const {
    std::lock_guard<std::mutex> guard(spy->lock);
    return spy->failed;
}

}  // namespace velmora::hostkit
