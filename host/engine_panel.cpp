#include "engine_panel.h"

#include "host_error.h"

namespace mphost::panel {

// Until the drawing backend is part of the host, nothing draws: the engine refuses
// patches that need it instead of silently ignoring their pointer events and pictures.

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

}  // namespace mphost::panel
