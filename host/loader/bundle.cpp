#include "loader/bundle.h"

#include <dlfcn.h>

#include "common/host_error.h"
#include "common/file_access.h"
#include "unicode_conversion.h"

namespace mphost {

std::shared_ptr<Bundle> Bundle::load(const std::filesystem::path& path)
{
    if (const std::string wrong = notRegularFile(path); !wrong.empty())
        throw HostError("bundle '" + path.string() + "' " + wrong +
                        "; give the path of a built bundle (build/bundles/<name>.so)");

    std::shared_ptr<Bundle> bundle(new Bundle());
    bundle->libraryPath = path;
    // RTLD_LOCAL: two bundles in one process never see each other's symbols.
    bundle->libraryHandle = dlopen(std::filesystem::absolute(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!bundle->libraryHandle) {
        const char* reason = dlerror();
        throw HostError("'" + path.string() + "' is not a loadable bundle: " + (reason ? reason : "unknown error") +
                        "; rebuild it for this system and check that the libraries it needs are installed");
    }
    auto entry = reinterpret_cast<gmpi::MpGetFactoryFunction>(dlsym(bundle->libraryHandle, gmpi::MP_GET_FACTORY_SYMBOL));
    if (!entry)
        throw HostError("'" + path.string() + "' is not a bundle: it does not export MP_GetFactory; name a module "
                        "bundle (build/bundles/*.so), not a support library");

    ComPtr<gmpi::IMpUnknown> unknown;
    const std::int32_t result = entry(unknown.receive());
    if (result != gmpi::MP_OK || !unknown)
        throw HostError("'" + path.string() + "': MP_GetFactory returned " + describeResult(result) +
                        "; the bundle is broken: rebuild it");
    bundle->factoryInterface = unknown.as<gmpi::IMpFactory>(gmpi::MP_IID_FACTORY);
    if (!bundle->factoryInterface)
        throw HostError("'" + path.string() + "': the object returned by MP_GetFactory is not a factory");
    bundle->factory2Interface = unknown.as<gmpi::IMpFactory2>(gmpi::MP_IID_FACTORY2);
    return bundle;
}

Bundle::~Bundle()
{
    factory2Interface.reset();
    factoryInterface.reset();
    if (libraryHandle)
        dlclose(libraryHandle);
}

int Bundle::sdkVersion() const
{
    std::int32_t version = 0;
    wchar_t text[2] = {};
    factoryInterface->getSdkInformation(version, 2, text);
    return version;
}

std::wstring Bundle::compilerInformation() const
{
    std::int32_t version = 0;
    wchar_t text[256] = {};
    factoryInterface->getSdkInformation(version, 256, text);
    return text;
}

std::int32_t Bundle::tryCreate(std::int32_t subType, const std::wstring& id, ComPtr<gmpi::IMpUnknown>& result) const
{
    if (factory2Interface)
        return factory2Interface->createInstance2(id.c_str(), subType, result.receive());
    return factoryInterface->createInstance(id.c_str(), subType, nullptr, result.receive());
}

ComPtr<gmpi::IMpUnknown> Bundle::create(std::int32_t subType, const std::wstring& id) const
{
    ComPtr<gmpi::IMpUnknown> object;
    const std::int32_t result = tryCreate(subType, id, object);
    const std::string what = "module \"" + WStringToUtf8(id) + "\" (sub-type " + std::to_string(subType) +
                             ") of bundle '" + name() + "'";
    if (result == gmpi::MP_NOSUPPORT)
        throw HostError(what + " is not provided by the bundle");
    if (result != gmpi::MP_OK)
        throw HostError(what + " could not be created: the module failed during construction");
    if (!object)
        throw HostError(what + " could not be created: the factory returned no object");
    return object;
}

}  // namespace mphost
