// Test-only modules on the framework's skin pieces, loaded through the real binary path.
//
// SkinProbe_Image: an ImageBase widget. Pins 0 Value (float, the animation position),
// 1 Image, 2 Hint, 3 MenuItems, 4 MenuChoice (the ImageBase pins in their order), then
// 5 MouseDown (bool), 6 Report (text out): after every load or position change the
// widget writes "frame=<draw position> last=<last frame> type=<type> w=<frame width>
// h=<frame height> mr=<mouse response> entries=<image cache entries> loads=<load hooks>" there.
#include <cstdio>
#include <string>

#include "ImageBase.h"

namespace {

class SkinProbeImage : public ImageBase {
    MpGuiPin<float> pinValue;
    StringGuiPin pinReport;
    int loads = 0;

public:
    SkinProbeImage()
    {
        initializePin(pinValue, &SkinProbeImage::onSetValue);
        initializePin(pinFilename, &SkinProbeImage::onSetImage);
        initializePin(pinHint);
        initializePin(pinMenuItems);
        initializePin(pinMenuSelection);
        initializePin(pinMouseDown);
        initializePin(pinReport);
    }

    void onSetImage()
    {
        onSetFilename();
        report();
    }

    void onSetValue()
    {
        calcDrawAt();
        report();
    }

    std::int32_t onPointerDown(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || hitTest(point) != gmpi::MP_OK)
            return gmpi::MP_FAIL;
        setCapture();
        pinMouseDown = true;
        return gmpi::MP_OK;
    }

protected:
    float getAnimationPos() override { return pinValue.getValue(); }
    void onLoaded() override { ++loads; }

private:
    void report()
    {
        char text[200];
        const ImageMetadata* m = getMetadata();
        std::snprintf(text, sizeof text, "frame=%d last=%d type=%d w=%d h=%d mr=%d entries=%d loads=%d", getDrawAt(),
                      getLastFrame(), m ? m->type : -1, m ? m->frameWidth : -1, m ? m->frameHeight : -1,
                      getMouseResponse(), static_cast<int>(ImageCache::instance()->entryCount()), loads);
        pinReport = std::string(text);
    }
};

const bool registered = gmpi::Register<SkinProbeImage>::withId(L"SkinProbe_Image");

}  // namespace
