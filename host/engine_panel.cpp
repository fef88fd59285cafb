#include "engine_panel.h"

#include <algorithm>
#include <cmath>

#include "host_error.h"

// The drawing backend (DrawingSurface and the drawing operations of GuiModule) is a
// separate part of the host; until a build has it, nothing draws and the engine refuses
// patches that need it instead of silently ignoring their pointer events and pictures.
#if defined(MPHOST_HAS_DRAWING)
#include "drawing/drawing_surface.h"
#endif

namespace mphost::panel {

#if defined(MPHOST_HAS_DRAWING)

bool available()
{
    return true;
}

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

void writePng(const std::vector<std::pair<GuiModule*, GmpiDrawing_API::MP1_RECT>>& modules,
              const std::filesystem::path& file)
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
    if (!surface.writePng(file))
        throw HostError("cannot write the panel picture '" + file.string() + "'");
}

#else

bool available()
{
    return false;
}

void arrange(GuiModule&, const GmpiDrawing_API::MP1_RECT&) {}

void pointer(GuiModule&, PointerAction, std::int32_t, GmpiDrawing_API::MP1_POINT)
{
    throw HostError("pointer events need the drawing backend, which this build of the host lacks");
}

void writePng(const std::vector<std::pair<GuiModule*, GmpiDrawing_API::MP1_RECT>>&, const std::filesystem::path& file)
{
    throw HostError("cannot draw the panel to '" + file.string() + "': this build of the host has no drawing backend");
}

#endif

}  // namespace mphost::panel
