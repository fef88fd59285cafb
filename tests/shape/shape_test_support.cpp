#include "shape_test_support.h"


#include "test_support.h"

namespace shape_test {

namespace {

struct LoadedBundle {
    std::shared_ptr<mphost::Bundle> bundle;
    mphost::BundleDescription descriptions;
};

LoadedBundle load(const std::string& name)
{
    const std::string path = testing_support::bundlePath(name);
    return {mphost::Bundle::load(path), mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(path))};
}

// Each bundle is held by a static created after the library loaded, so that it is
// released before the library's own static objects are destroyed at exit.
const LoadedBundle& loaded(Flavour flavour)
{
    if (flavour == Flavour::current) {
        static const LoadedBundle current = load("shape_modules");
        return current;
    }
    static const LoadedBundle classic = load("shape_modules_classic");
    return classic;
}

}  // namespace

std::unique_ptr<mphost::DspModule> make(Flavour flavour, const std::string& name, mphost::DspModuleOptions options)
{
    const LoadedBundle& entry = loaded(flavour);
    const std::string id = flavour == Flavour::current ? "KV_" + name : name;
    const mphost::ModuleDescription* description = entry.descriptions.find(id);
    if (!description)
        throw std::runtime_error("no description for " + id);
    auto module = std::make_unique<mphost::DspModule>(entry.bundle, *description, std::move(options));
    module->start();
    return module;
}

std::unique_ptr<mphost::GuiModule> makeGui(Flavour flavour, const std::string& name, mphost::GuiModuleOptions options)
{
    const LoadedBundle& entry = loaded(flavour);
    const std::string id = flavour == Flavour::current ? "KV_" + name : name;
    const mphost::ModuleDescription* description = entry.descriptions.find(id);
    if (!description)
        throw std::runtime_error("no description for " + id);
    auto module = std::make_unique<mphost::GuiModule>(entry.bundle, *description, std::move(options));
    module->start();
    module->takeTransmissions();
    return module;
}

std::wstring textOutput(const mphost::DspModule& module, const std::string& pin)
{
    return std::get<std::wstring>(module.outputValue(pin));
}

}  // namespace shape_test
