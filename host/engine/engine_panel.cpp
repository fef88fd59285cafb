#include "engine/engine_panel.h"

#include <algorithm>
#include <cmath>

#include "common/host_error.h"

namespace mphost::panel {

void arrange(GuiModule& module, const GmpiDrawing_API::MP1_RECT& rect)
{
    if (!module.isGraphical())
        return;
    module.measure(GmpiDrawing_API::MP1_SIZE{rect.right - rect.left, rect.bottom - rect.top});
    module.arrange(rect);
}

void pointer(GuiModule& module, PointerAction action, std::int32_t flags, GmpiDrawing_API::MP1_POINT point)
{
    if (!module.isGraphical())
        throw HostError("module \"" + module.id() + "\" does not draw and takes no pointer events");
    switch (action) {
    case PointerAction::Down:
        module.pointerDown(flags, point);
        break;
    case PointerAction::Move:
        module.pointerMove(flags, point);
        break;
    case PointerAction::Up:
        module.pointerUp(flags, point);
        break;
    }
}

DrawingSurface render(const std::vector<std::pair<GuiModule*, GmpiDrawing_API::MP1_RECT>>& modules)
{
    float width = 1, height = 1;
    for (const auto& [module, rect] : modules) {
        width = std::max(width, rect.right);
        height = std::max(height, rect.bottom);
    }
    DrawingSurface surface(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
    surface.fill(Rgba{255, 255, 255, 255});
    for (const auto& [module, rect] : modules)
        if (module->isGraphical())
            module->render(surface);
    return surface;
}

}  // namespace mphost::panel
