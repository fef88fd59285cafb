// The engine's use of drawing modules: arranging them on the panel, pointer input and
// pictures of the panel, in one place apart from the engine's audio and value routing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "drawing/drawing_surface.h"
#include "engine/patch.h"
#include "harness/gui_module.h"
#include "mp_drawing_api.h"

namespace mphost::panel {

// Measures and arranges a drawing module at `rect` (panel coordinates). Modules that do
// not draw are left alone.
void arrange(GuiModule& module, const GmpiDrawing_API::MP1_RECT& rect);

// A pointer event at `point`, in the module's own coordinates. Throws HostError for a
// module that does not draw.
void pointer(GuiModule& module, PointerAction action, std::int32_t flags, GmpiDrawing_API::MP1_POINT point);

// Draws every drawing module at its rectangle on a panel just large enough for all of
// them, white behind.
DrawingSurface render(const std::vector<std::pair<GuiModule*, GmpiDrawing_API::MP1_RECT>>& modules);

}  // namespace mphost::panel
