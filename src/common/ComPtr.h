// The one owning pointer to a COM interface: holds one reference and releases
// it on destruction; Put() and PutVoid() for out-parameters.
#pragma once

#include <unknwn.h>

#include <utility>

namespace velmora {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* pointer) : pointer_(pointer) {}  // takes over one reference
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.pointer_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    T** Put() {
        Reset();
        return &pointer_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset(T* pointer = nullptr) {
        T* old = std::exchange(pointer_, pointer);
        if (old) old->Release();
    }
    // Asks for another interface of the same object.
    template <class U>
    HRESULT As(REFIID iid, ComPtr<U>& other) const {
        return pointer_->QueryInterface(iid, other.PutVoid());
    }

private:
    T* pointer_ = nullptr;
};

}  // namespace velmora
