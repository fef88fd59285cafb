// An owning pointer to a reference-counted interface: releases its reference when it
// goes, adds one when copied.
#pragma once

#include <utility>

#include "mp_api.h"

namespace mphost {

template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(const ComPtr& other) : pointer(other.pointer)
    {
        if (pointer)
            pointer->addRef();
    }
    ComPtr(ComPtr&& other) noexcept : pointer(std::exchange(other.pointer, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(pointer, other.pointer);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr adopt(Interface* owned)
    {
        ComPtr result;
        result.pointer = owned;
        return result;
    }

    void reset()
    {
        if (auto* old = std::exchange(pointer, nullptr))
            old->release();
    }
    // For operations that return an owned reference through a void** argument.
    void** receive()
    {
        reset();
        return reinterpret_cast<void**>(&pointer);
    }

    Interface* get() const { return pointer; }
    Interface* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    // Queries the object for another interface; null when it does not offer it.
    template <class Other>
    ComPtr<Other> as(const gmpi::MpGuid& iid) const
    {
        ComPtr<Other> result;
        if (pointer)
            pointer->queryInterface(iid, result.receive());
        return result;
    }

private:
    Interface* pointer = nullptr;
};

}  // namespace mphost
