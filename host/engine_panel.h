// The engine's use of drawing modules: arranging them on the panel, pointer input and
// pictures of the panel. Kept apart from the engine so the engine builds without the
// drawing backend; `available()` says whether this build draws.
#pragma once

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "gui_module.h"
#include "mp_drawing_api.h"
#include "patch.h"

namespace mphost::panel {

// Whether this build has the drawing backend (pointer events, arranging and pictures).
bool available();

// Measures and arranges a drawing module at `rect` (panel coordinates). Modules that do
// not draw are left alone.
void arrange(GuiModule& module, const GmpiDrawing_API::MP1_RECT& rect);

// A pointer event at `point`, in the module's own coordinates.
void pointer(GuiModule& module, PointerAction action, std::int32_t flags, GmpiDrawing_API::MP1_POINT point);

// Draws every drawing module at its rectangle on a panel just large enough for all of
// them, white behind, and writes it as PNG. Throws HostError when the file cannot be written.
void writePng(const std::vector<std::pair<GuiModule*, GmpiDrawing_API::MP1_RECT>>& modules,
              const std::filesystem::path& file);

}  // namespace mphost::panel
