// mphost tooltips: what the pointer would show over each module of a patch's panel.
#include <iostream>
#include <string>

#include "commands.h"
#include "common/host_error.h"
#include "engine/engine.h"
#include "engine/patch.h"

namespace mphost::cli {

namespace {

// One line per tooltip: line breaks and tabs written as \n and \t, backslashes doubled.
std::string oneLine(const std::string& text)
{
    std::string result;
    for (const char c : text) {
        if (c == '\n')
            result += "\\n";
        else if (c == '\t')
            result += "\\t";
        else if (c == '\r')
            result += "\\r";
        else if (c == '\\')
            result += "\\\\";
        else
            result += c;
    }
    return result;
}

}  // namespace

int runTooltips(const TooltipsOptions& options)
{
    try {
        PatchEnvironment environment;
        environment.bundleFolders = bundleFolders(options.bundleFolders);
        Patch patch = loadPatch(options.patch, environment);
        if (!options.skin.empty())
            patch.skinFolder = options.skin;
        else if (patch.skinFolder.empty())
            patch.skinFolder = defaultSkinFolder();
        if (!patch.hasPanel())
            throw HostError(patch.source + ": the patch has no GUI module with a \"rect\" on the panel");
        Engine engine(patch);
        engine.begin();
        for (const PatchModule& module : patch.modules) {
            GuiModule* gui = module.rect ? engine.gui(module.name) : nullptr;
            if (!gui || !gui->isGraphical())
                continue;
            const auto& rect = *module.rect;
            const std::string tip =
                gui->toolTip({(rect.right - rect.left) * 0.5f, (rect.bottom - rect.top) * 0.5f});
            std::cout << module.name << ": " << (tip.empty() ? "(no tooltip)" : oneLine(tip)) << "\n";
        }
        return 0;
    } catch (const HostError& error) {
        std::cerr << "mphost tooltips: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
