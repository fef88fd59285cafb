// A loaded module bundle: the shared library, its entry point and its factory.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "common/com_ptr.h"
#include "mp_api.h"

namespace mphost {

class Bundle {
public:
    // Loads the bundle at `path` and fetches its factory. Throws HostError naming the
    // file when it is missing, is not a shared library, or does not export MP_GetFactory.
    static std::shared_ptr<Bundle> load(const std::filesystem::path& path);

    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;
    // Releases the factory and unloads the library. Release every instance first
    // (the harness keeps its bundle alive for that reason).
    ~Bundle();

    const std::filesystem::path& path() const { return libraryPath; }
    // The bundle's name: the file name without directory and extension.
    std::string name() const { return libraryPath.stem().string(); }

    gmpi::IMpFactory* factory() const { return factoryInterface.get(); }
    // Null when the factory is first-generation only.
    gmpi::IMpFactory2* factory2() const { return factory2Interface.get(); }

    // SDK version and compiler text reported by the factory.
    int sdkVersion() const;
    std::wstring compilerInformation() const;

    // Creates (subType, id) through createInstance2 (or createInstance with a null host
    // on a first-generation factory). Returns the raw result code and the owned object.
    std::int32_t tryCreate(std::int32_t subType, const std::wstring& id, ComPtr<gmpi::IMpUnknown>& result) const;
    // As tryCreate, but throws HostError explaining a failure or a null object.
    ComPtr<gmpi::IMpUnknown> create(std::int32_t subType, const std::wstring& id) const;

private:
    Bundle() = default;

    std::filesystem::path libraryPath;
    void* libraryHandle = nullptr;
    ComPtr<gmpi::IMpFactory> factoryInterface;
    ComPtr<gmpi::IMpFactory2> factory2Interface;
};

}  // namespace mphost
