#include "skinBitmap.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ImageCache.h"

using namespace GmpiDrawing_API;
using GmpiDrawing::Rect;

namespace {

std::int32_t toInt(double value)
{
    if (!(value == value))
        return 0;
    return static_cast<std::int32_t>(std::clamp(value, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                                                static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

}  // namespace

std::int32_t skinBitmap::Load(gmpi::IMpUserInterfaceHost2* uiHost, gmpi_gui::IMpGraphicsHost* graphicsHost,
                              const char* name)
{
    bitmap = GmpiDrawing::Bitmap();
    metadata = nullptr;
    drawAt = -1;
    lastFrame = 0;
    if (!name || !*name)
        return gmpi::MP_FAIL;
    bitmap = ImageCache::instance()->GetImage(uiHost, graphicsHost, name, &metadata);
    if (!bitmap || !metadata) {
        bitmap = GmpiDrawing::Bitmap();
        metadata = nullptr;
        return gmpi::MP_FAIL;
    }
    // A frame height of 0 (or one taller than the image) leaves a single frame.
    const std::int64_t imageHeight = bitmap.GetSize().height;
    if (metadata->frameHeight > 0)
        lastFrame = static_cast<std::int32_t>(std::max<std::int64_t>(0, imageHeight / metadata->frameHeight - 1));
    return gmpi::MP_OK;
}

GmpiDrawing::Size skinBitmap::frameSize() const
{
    const GmpiDrawing::SizeU image = bitmap.GetSize();
    float width = static_cast<float>(image.width);
    float height = static_cast<float>(image.height);
    if (metadata && metadata->frameWidth > 0)
        width = static_cast<float>(metadata->frameWidth);
    if (metadata && metadata->frameHeight > 0)
        height = static_cast<float>(metadata->frameHeight);
    return {width, height};
}

bool skinBitmap::calcDrawAt(float value)
{
    if (!bitmap || !metadata)
        return false;
    const double v = value > 0.0f ? std::min(1.0, static_cast<double>(value)) : 0.0;  // NaN gives 0
    std::int32_t position = 0;
    switch (metadata->type) {
    case ABT_SLIDER: {
        const double range = static_cast<double>(metadata->handleRangeEnd) - metadata->handleRangeStart;
        const double offset = std::trunc(v * range);
        position = metadata->isVerticalSlider() ? toInt(metadata->handleRangeEnd - offset)
                                                : toInt(metadata->handleRangeStart + offset);
        break;
    }
    case ABT_BARGRAPH: {
        const double segments = std::trunc(v * (static_cast<double>(metadata->segmentValue) + 1.0));
        position = toInt(segments * metadata->handleRangeEnd + metadata->handleRangeStart - 1.0);
        break;
    }
    default: {
        double steppedValue = v;
        if (stepCount > 1)
            steppedValue = std::round(v * (stepCount - 1)) / (stepCount - 1);
        const double frame = std::trunc(steppedValue * lastFrame + 0.5);
        position = toInt(frame * std::max(0, metadata->frameHeight));
        break;
    }
    }
    if (position == drawAt)
        return false;
    drawAt = position;
    return true;
}

void skinBitmap::renderBitmap(GmpiDrawing::Graphics& graphics, MP1_SIZE_U offset)
{
    if (!bitmap || !metadata) {
        const Rect area = graphics.GetAxisAlignedClip();
        graphics.FillRectangle(area, graphics.CreateSolidColorBrush(GmpiDrawing::Color(0.3f, 0.3f, 0.3f)));
        const float height = std::clamp(std::min(area.getWidth(), area.getHeight()) * 0.8f, 4.0f, 200.0f);
        GmpiDrawing::TextFormat format = graphics.GetFactory().CreateTextFormat(height, "Arial", MP1_FONT_WEIGHT_NORMAL);
        format.SetTextAlignment(MP1_TEXT_ALIGNMENT_CENTER);
        format.SetParagraphAlignment(MP1_PARAGRAPH_ALIGNMENT_CENTER);
        graphics.DrawTextU("X", format, area, graphics.CreateSolidColorBrush(GmpiDrawing::Color(1, 1, 1)));
        return;
    }
    const GmpiDrawing::Size frame = frameSize();
    const float left = static_cast<float>(offset.width) + metadata->padding[0];
    const float top = static_cast<float>(offset.height) + metadata->padding[2];
    const float position = static_cast<float>(std::max(0, drawAt));

    switch (metadata->type) {
    case ABT_SLIDER: {
        // The track (first frame), then the handle moved along the slider's axis.
        graphics.DrawBitmap(bitmap, Rect(left, top, left + frame.width, top + frame.height),
                            Rect(0, 0, frame.width, frame.height));
        Rect source = handleSource();
        Rect destination = handlePlace();
        // Crop what a negative position would place before the start of the track.
        if (destination.top < 0.0f) {
            source.top -= destination.top;
            destination.top = 0.0f;
        }
        if (destination.left < 0.0f) {
            source.left -= destination.left;
            destination.left = 0.0f;
        }
        if (destination.getWidth() > 0.0f && destination.getHeight() > 0.0f)
            graphics.DrawBitmap(bitmap, Rect(destination.left + left, destination.top + top, destination.right + left,
                                             destination.bottom + top),
                                source);
        break;
    }
    case ABT_BARGRAPH: {
        // The unlit segments (first frame), then the lit part (second frame, or the first
        // when there is only one) over `position` pixels from the bottom, or from the
        // left for horizontal bargraphs.
        graphics.DrawBitmap(bitmap, Rect(left, top, left + frame.width, top + frame.height),
                            Rect(0, 0, frame.width, frame.height));
        const float litTop = lastFrame >= 1 ? frame.height : 0.0f;
        if (metadata->mouseResponse == 1) {
            const float lit = std::min(position, frame.width);
            if (lit > 0.0f)
                graphics.DrawBitmap(bitmap, Rect(left, top, left + lit, top + frame.height),
                                    Rect(0, litTop, lit, litTop + frame.height));
        } else {
            const float lit = std::min(position, frame.height);
            if (lit > 0.0f)
                graphics.DrawBitmap(bitmap, Rect(left, top + frame.height - lit, left + frame.width, top + frame.height),
                                    Rect(0, litTop + frame.height - lit, frame.width, litTop + frame.height));
        }
        break;
    }
    default:
        graphics.DrawBitmap(bitmap, Rect(left, top, left + frame.width, top + frame.height),
                            Rect(0, position, frame.width, position + frame.height));
        break;
    }
}

Rect skinBitmap::handleSource() const
{
    return Rect(metadata->handleRect[0], metadata->handleRect[1], metadata->handleRect[2], metadata->handleRect[3]);
}

Rect skinBitmap::handlePlace() const
{
    const Rect source = handleSource();
    const float position = static_cast<float>(drawAt);
    if (metadata->isVerticalSlider())
        return Rect(0.0f, position, source.getWidth(), position + source.getHeight());
    return Rect(position, 0.0f, position + source.getWidth(), source.getHeight());
}

bool skinBitmap::bitmapHitTestLocal(MP1_POINT point)
{
    if (!bitmap || !metadata)
        return false;
    if (metadata->type == ABT_BARGRAPH)
        return true;
    const float x = point.x - metadata->padding[0];
    const float y = point.y - metadata->padding[2];
    if (metadata->type == ABT_SLIDER) {
        return handlePlace().contains(GmpiDrawing::Point(x, y));
    }
    const GmpiDrawing::Size frame = frameSize();
    if (!(x >= 0.0f && y >= 0.0f && x < frame.width && y < frame.height))
        return false;
    // An opaque pixel of the current frame.
    const GmpiDrawing::SizeU image = bitmap.GetSize();
    const auto px = static_cast<std::int64_t>(x);
    const auto py = static_cast<std::int64_t>(y) + std::max(0, drawAt);
    if (px >= image.width || py >= image.height)
        return false;
    GmpiDrawing::BitmapPixels pixels = bitmap.lockPixels(MP1_BITMAP_LOCK_READ);
    const std::uint8_t* address = pixels.getAddress();
    if (!address)
        return true;
    return address[py * pixels.getBytesPerRow() + px * 4 + 3] != 0;
}
