#include "ImageBase.h"

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "it_enum_list.h"
#include "unicode_conversion.h"

using namespace GmpiDrawing_API;

namespace {

// Wide text in the multibyte encoding of the current locale; characters it cannot
// express end the text.
std::string toMultibyte(const std::wstring& text)
{
    if (text.empty())
        return {};
    const std::size_t needed = std::wcstombs(nullptr, text.c_str(), 0);
    if (needed == static_cast<std::size_t>(-1))
        return WStringToUtf8(text);  // not expressible in the locale: UTF-8, as the host reads names
    std::string result(needed + 1, '\0');
    std::wcstombs(&result[0], text.c_str(), needed + 1);
    result.resize(needed);
    return result;
}

}  // namespace

void ImageBase::onSetFilename()
{
    const std::string name = toMultibyte(pinFilename.getValue());
    if (Load(getHost(), getGuiHost(), name.c_str()) != gmpi::MP_OK) {
        invalidateRect();
        return;
    }
    onLoaded();
    invalidateMeasure();
    skinBitmap::calcDrawAt(getAnimationPos());
    invalidateRect();
}

void ImageBase::calcDrawAt()
{
    if (skinBitmap::calcDrawAt(getAnimationPos()))
        invalidateRect();
}

std::int32_t ImageBase::measure(MP1_SIZE availableSize, MP1_SIZE* returnDesiredSize)
{
    if (!bitmap || !returnDesiredSize)
        return MpGuiGfxBase::measure(availableSize, returnDesiredSize);
    const GmpiDrawing::Size frame = frameSize();
    returnDesiredSize->width = std::max(1.0f, frame.width + metadata->padding[0] + metadata->padding[1]);
    returnDesiredSize->height = std::max(1.0f, frame.height + metadata->padding[2] + metadata->padding[3]);
    return gmpi::MP_OK;
}

std::int32_t ImageBase::OnRender(IMpDeviceContext* drawingContext)
{
    if (!drawingContext)
        return gmpi::MP_FAIL;
    IMpDeviceContext* context = nullptr;
    if (drawingContext->queryInterface(SE_IID_DEVICECONTEXT_MPGUI, reinterpret_cast<void**>(&context)) != gmpi::MP_OK ||
        !context)
        return gmpi::MP_FAIL;
    GmpiDrawing::Graphics graphics(context);
    context->release();  // the wrapper holds its own reference
    renderBitmap(graphics, MP1_SIZE_U{0, 0});
    return gmpi::MP_OK;
}

std::int32_t ImageBase::hitTest(MP1_POINT point)
{
    return bitmapHitTestLocal(point) ? gmpi::MP_OK : gmpi::MP_FAIL;
}

std::int32_t ImageBase::onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/)
{
    if (!getCapture())
        return gmpi::MP_FAIL;
    releaseCapture();
    pinMouseDown = false;
    pinMouseOver = false;
    return gmpi::MP_OK;
}

std::int32_t ImageBase::getToolTip(MP1_POINT /*point*/, gmpi::IString* returnString)
{
    const std::string hint = pinHint;
    if (!returnString || hint.empty())
        return gmpi::MP_FAIL;
    returnString->setData(hint.data(), static_cast<std::int32_t>(hint.size()));
    return gmpi::MP_OK;
}

std::int32_t ImageBase::populateContextMenu(float /*x*/, float /*y*/, gmpi::IMpUnknown* contextMenuItemsSink)
{
    if (!contextMenuItemsSink)
        return gmpi::MP_FAIL;
    gmpi::IMpContextItemSink* sink = nullptr;
    if (contextMenuItemsSink->queryInterface(gmpi::MP_IID_CONTEXT_ITEMS_SINK, reinterpret_cast<void**>(&sink)) !=
            gmpi::MP_OK ||
        !sink)
        return gmpi::MP_FAIL;
    it_enum_list items(pinMenuItems.getValue());
    for (items.First(); !items.IsDone(); items.Next()) {
        const std::string text = WStringToUtf8(items.CurrentItem()->text);
        sink->AddItem(text.c_str(), items.CurrentItem()->value, 0);
    }
    sink->release();
    return gmpi::MP_OK;
}

std::int32_t ImageBase::onContextMenu(std::int32_t selection)
{
    pinMenuSelection = selection;
    pinMenuSelection = -1;
    return gmpi::MP_OK;
}
