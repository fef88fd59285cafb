#include "mp_sdk_gfx.h"

#include <algorithm>

namespace gmpi_gui {

using namespace GmpiDrawing_API;

MpGuiGfxBase::~MpGuiGfxBase()
{
    if (graphicsHost)
        graphicsHost->release();
}

std::int32_t MpGuiGfxBase::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi_gui_api::SE_IID_GRAPHICS_MPGUI || iid == gmpi_gui_api::SE_IID_GRAPHICS_MPGUI2) {
        *returnInterface = static_cast<gmpi_gui_api::IMpGraphics2*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    return MpGuiBase2::queryInterface(iid, returnInterface);
}

std::int32_t MpGuiGfxBase::release()
{
    const std::int32_t count = --refCount;
    if (count == 0)
        delete this;
    return count;
}

std::int32_t MpGuiGfxBase::setHost(gmpi::IMpUnknown* host)
{
    if (graphicsHost) {  // reconnecting drops the previous host
        graphicsHost->release();
        graphicsHost = nullptr;
    }
    if (host)
        host->queryInterface(SE_IID_GRAPHICS_HOST, reinterpret_cast<void**>(&graphicsHost));
    return MpGuiBase2::setHost(host);
}

std::int32_t MpGuiGfxBase::measure(MP1_SIZE availableSize, MP1_SIZE* returnDesiredSize)
{
    if (returnDesiredSize) {
        // std::max keeps a NaN dimension out: NaN compares false, so 1 is taken.
        returnDesiredSize->width = std::max(1.0f, availableSize.width);
        returnDesiredSize->height = std::max(1.0f, availableSize.height);
    }
    return gmpi::MP_OK;
}

std::int32_t MpGuiGfxBase::arrange(MP1_RECT finalRect)
{
    if (finalRect.left != rect.left || finalRect.top != rect.top || finalRect.right != rect.right ||
        finalRect.bottom != rect.bottom) {
        rect = finalRect;
        invalidateRect();
    }
    return gmpi::MP_OK;
}

std::int32_t MpGuiGfxBase::OnRender(IMpDeviceContext* /*drawingContext*/) { return gmpi::MP_OK; }

std::int32_t MpGuiGfxBase::onPointerDown(std::int32_t /*flags*/, MP1_POINT point) { return hitTest(point); }
std::int32_t MpGuiGfxBase::onPointerMove(std::int32_t /*flags*/, MP1_POINT point) { return hitTest(point); }
std::int32_t MpGuiGfxBase::onPointerUp(std::int32_t /*flags*/, MP1_POINT point) { return hitTest(point); }
std::int32_t MpGuiGfxBase::hitTest(MP1_POINT /*point*/) { return gmpi::MP_OK; }

std::int32_t MpGuiGfxBase::getToolTip(MP1_POINT /*point*/, gmpi::IString* /*returnString*/) { return gmpi::MP_FAIL; }

void MpGuiGfxBase::invalidateRect(const MP1_RECT* area)
{
    if (graphicsHost)
        graphicsHost->invalidateRect(area);
}

void MpGuiGfxBase::invalidateMeasure()
{
    if (graphicsHost)
        graphicsHost->invalidateMeasure();
}

void MpGuiGfxBase::setCapture()
{
    if (graphicsHost)
        graphicsHost->setCapture();
}

bool MpGuiGfxBase::getCapture() const
{
    std::int32_t captured = 0;
    if (graphicsHost)
        graphicsHost->getCapture(captured);
    return captured != 0;
}

void MpGuiGfxBase::releaseCapture()
{
    if (graphicsHost)
        graphicsHost->releaseCapture();
}

}  // namespace gmpi_gui
