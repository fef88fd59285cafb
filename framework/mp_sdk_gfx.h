// The base of GUI modules that draw: a second-generation GUI module that also implements
// the graphics interface (size, rectangle, rendering, pointer input) and holds the
// graphics host through which it asks for redraws and pointer capture. Everything here
// runs on the host's user-interface thread.
#pragma once

#include <cstdint>

#include "Drawing.h"
#include "mp_drawing_api.h"
#include "mp_sdk_gui.h"

namespace gmpi_gui {

// Slot order: IMpUserInterface2B, the destructor, pinTransmit (as MpGuiBase2), then
// measure .. getToolTip in the order of IMpGraphics2. The IMpGraphics2 sub-object answers
// SE_IID_GRAPHICS_MPGUI and SE_IID_GRAPHICS_MPGUI2.
class MpGuiGfxBase : public MpGuiBase2, public gmpi_gui_api::IMpGraphics2 {
public:
    MpGuiGfxBase() = default;
    ~MpGuiGfxBase() override;

    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override { return ++refCount; }
    std::int32_t release() override;
    // Obtains the graphics host (when offered), then connects as MpGuiBase2 does.
    std::int32_t setHost(gmpi::IMpUnknown* host) override;

    // The available size with each dimension raised to at least 1.
    std::int32_t measure(GmpiDrawing_API::MP1_SIZE availableSize, GmpiDrawing_API::MP1_SIZE* returnDesiredSize) override;
    // Stores a changed rectangle and invalidates the whole module.
    std::int32_t arrange(GmpiDrawing_API::MP1_RECT finalRect) override;
    // Draws nothing.
    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override;
    // Each answers hitTest(point).
    std::int32_t onPointerDown(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override;
    std::int32_t onPointerMove(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override;
    std::int32_t onPointerUp(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override;
    // Every point of the rectangle counts as inside.
    std::int32_t hitTest(GmpiDrawing_API::MP1_POINT point) override;
    // No tooltip (MP_FAIL).
    std::int32_t getToolTip(GmpiDrawing_API::MP1_POINT point, gmpi::IString* returnString) override;
    using MpGuiBase2::getToolTip;

    // The graphics host, or null before setHost or when the host offers none.
    IMpGraphicsHost* getGuiHost() const { return graphicsHost; }
    // The rectangle last given by arrange, in the host's coordinates.
    GmpiDrawing::Rect getRect() const { return GmpiDrawing::Rect(rect); }

protected:
    // Redraw requests to the graphics host (no-ops without one); null is the whole module.
    void invalidateRect(const GmpiDrawing_API::MP1_RECT* area = nullptr);
    void invalidateMeasure();
    // Pointer capture through the graphics host; getCapture is false without one.
    void setCapture();
    bool getCapture() const;
    void releaseCapture();

    IMpGraphicsHost* graphicsHost = nullptr;
    GmpiDrawing_API::MP1_RECT rect{};
    std::int32_t refCount = 1;
};

}  // namespace gmpi_gui
