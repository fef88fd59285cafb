// Bundle entry point, module factory, registration and the blob value type.
// Compiled into every bundle; each bundle has its own factory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>

#include "mp_api.h"
#include "mp_gui_api.h"

namespace gmpi {

// Creates one module with `new` and returns the interface the host owns (IMpPlugin2*
// for a DSP module, the primary GUI interface for a GUI module), or null.
using MpCreatorFunction = IMpUnknown* (*)();

}  // namespace gmpi

// The bundle's registry of module creators, keyed by (sub-type, identifier). Filled by
// static initialisers while the bundle loads and only read afterwards, so concurrent
// createInstance calls need no lock.
class MpFactory : public gmpi::IMpFactory2 {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    // The factory lives as long as the bundle: reference counting changes nothing.
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    std::int32_t createInstance(const wchar_t* uniqueId, std::int32_t subType, gmpi::IMpUnknown* host,
                                void** returnInterface) override;
    std::int32_t getSdkInformation(std::int32_t& returnSdkVersion, std::int32_t maxChars,
                                   wchar_t* returnCompilerInformation) override;
    std::int32_t createInstance2(const wchar_t* uniqueId, std::int32_t subType, void** returnInterface) override;
    virtual ~MpFactory() = default;

    // Inserts (subType, uniqueId) -> create unless the key is present: the first
    // registration of a key wins. The identifier is copied. Returns 0.
    std::int32_t RegisterPlugin(const wchar_t* uniqueId, std::int32_t subType, gmpi::MpCreatorFunction create);

    static constexpr std::int32_t sdkVersion = 30800;

private:
    // Ordered by sub-type (signed), then identifier character by character.
    std::map<std::pair<std::int32_t, std::wstring>, gmpi::MpCreatorFunction> registry;

    // Steps shared by both creation paths: look up and call the creator.
    std::int32_t create(const wchar_t* uniqueId, std::int32_t subType, void** returnInterface);
};

// The bundle's factory, created on first use.
MpFactory* Factory();

// Destroys the factory when the bundle is unloaded (a static object `grim_reaper`).
class factory_deleter_helper {
public:
    ~factory_deleter_helper();
};

// Registers a creator with the bundle's factory. Always returns 0.
std::int32_t RegisterPlugin(std::int32_t subType, const wchar_t* uniqueId, gmpi::IMpUnknown* (*create)());
// Accepts an XML description and ignores it: pin declarations live with the host.
std::int32_t RegisterPluginXml(const char* xml);

namespace gmpi {

// Which interface of a module object the host receives, and under which sub-type the
// module registers. Module bases specialise this through two static members:
//   static constexpr int32_t subType;  IMpUnknown* hostInterface(T*).
template <class T, class = void>
struct ModuleTraits;

template <class T>
struct ModuleTraits<T, std::enable_if_t<std::is_base_of_v<IMpPlugin2, T>>> {
    static constexpr std::int32_t subType = MP_SUB_TYPE_AUDIO;
    static IMpUnknown* hostInterface(T* module) { return static_cast<IMpPlugin2*>(module); }
};

// Second-generation GUI modules: sub-type 2, the host receives IMpUserInterface2B.
template <class T>
struct ModuleTraits<T, std::enable_if_t<std::is_base_of_v<IMpUserInterface2B, T>>> {
    static constexpr std::int32_t subType = MP_SUB_TYPE_GUI2;
    static IMpUnknown* hostInterface(T* module) { return static_cast<IMpUserInterface2B*>(module); }
};

// First-generation GUI modules: sub-type 1, the host receives IMpUserInterface. They are
// constructed with a null host; the factory's createInstance connects them.
template <class T>
struct ModuleTraits<T, std::enable_if_t<std::is_base_of_v<IMpUserInterface, T>>> {
    static constexpr std::int32_t subType = MP_SUB_TYPE_GUI;
    static IMpUnknown* hostInterface(T* module) { return static_cast<IMpUserInterface*>(module); }
};

// Registration helper used by module sources from a static initialiser:
//   namespace { auto r = gmpi::Register<DCBlocker>::withId(L"DC_Blocker"); }
template <class T>
struct Register {
    static IMpUnknown* create()
    {
        // `new` frees the memory again if the constructor throws; the factory catches it.
        if constexpr (std::is_default_constructible_v<T>)
            return ModuleTraits<T>::hostInterface(new T());
        else
            return ModuleTraits<T>::hostInterface(new T(nullptr));  // first-generation GUI: host pointer
    }
    static bool withId(const wchar_t* id)
    {
        return ::RegisterPlugin(ModuleTraits<T>::subType, id, &create) == 0;
    }
};

}  // namespace gmpi

// An owned byte buffer: the value type of blob pins on both halves. Reallocated only
// when its size changes; compared bytewise.
class MpBlob {
public:
    MpBlob() = default;
    MpBlob(std::size_t size, const void* data) { setValueRaw(size, data); }
    MpBlob(const MpBlob& other) { setValueRaw(other.size, other.data); }
    MpBlob(MpBlob&& other) noexcept
        : size(std::exchange(other.size, 0)), capacity(std::exchange(other.capacity, 0)),
          data(std::exchange(other.data, nullptr))
    {
    }
    MpBlob& operator=(const MpBlob& other)
    {
        if (this != &other)
            setValueRaw(other.size, other.data);
        return *this;
    }
    ~MpBlob() { delete[] data; }

    // Takes `size` bytes from `data`. A new size frees the old array and allocates a new
    // one (also for 0); the same size reuses the array and only copies.
    void setValueRaw(std::size_t size, const void* data);
    // Reallocates only when `size` exceeds the array's capacity (null below 1); always
    // stores `size`. Shrinking keeps the larger array, so growing back to it does not
    // reallocate. New contents are unspecified.
    void resize(int size);

    int getSize() const { return static_cast<int>(size); }
    char* getData() const { return data; }

    bool compare(const char* otherData, int otherSize) const;
    bool operator==(const MpBlob& other) const { return compare(other.data, other.getSize()); }
    bool operator!=(const MpBlob& other) const { return !(*this == other); }

private:
    std::uint64_t size = 0;
    std::uint64_t capacity = 0;  // bytes allocated for `data`
    char* data = nullptr;
};
