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

// Base of the objects the host hands to a module with one reference already counted
// (pin iterators, skin files): answers MP_IID_UNKNOWN only and deletes itself, as
// `Derived`, on its last release.
template <class Derived, class Interface>
class HostOwnedObject : public Interface {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = static_cast<Interface*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return ++references; }
    std::int32_t release() override
    {
        const std::int32_t count = --references;
        if (count == 0)
            delete static_cast<Derived*>(this);
        return count;
    }

private:
    std::int32_t references = 1;
};

}  // namespace mphost
