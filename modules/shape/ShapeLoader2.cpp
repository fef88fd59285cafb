// Shape loader with interpolation: as the shape loader, and a file's ITP line (mode 0 to
// 3) sets the Interpolation pin; a file without one, or with another mode, leaves the
// pin as it is. Only the current bundle carries this module.
#include "ShapeString.h"

#if !(defined(MP_SHAPE_CLASSIC) && MP_SHAPE_CLASSIC)

#include "ShapeFile.h"
#include "mp_sdk_gui.h"

namespace {

// 0 Shape (out), 1 Interpolation (out), 2 Trig, 3 AutoLoad, 4 FNameL, 5 FNameR.
class ShapeLoader2 : public SeGuiInvisibleBase {
    StringGuiPin pinShape;
    MpGuiPin<int> pinInterpolation;
    MpGuiPin<bool> pinTrig;
    MpGuiPin<bool> pinAutoLoad;
    StringGuiPin pinFNameL;
    StringGuiPin pinFNameR;

    std::wstring fileName;  // resolved full path; empty: nothing to load

public:
    ShapeLoader2()
    {
        initializePin(pinShape);
        initializePin(pinInterpolation);
        initializePin(pinTrig, &ShapeLoader2::onSetTrig);
        initializePin(pinAutoLoad);
        initializePin(pinFNameL, &ShapeLoader2::onSetFNameL);
        initializePin(pinFNameR, &ShapeLoader2::onSetFNameR);
    }

    void onSetFNameL() { setFileName(pinFNameL); }
    void onSetFNameR() { setFileName(pinFNameR); }
    void onSetTrig()
    {
        if (pinTrig)
            loadString();
    }

    void loadString()
    {
        const auto loaded = loadShapeFile(fileName);
        if (!loaded)
            return;
        if (loaded->interpolation >= 0)
            pinInterpolation = loaded->interpolation;  // transmitted only when it differs
        pinShape = loaded->shape;
    }

private:
    void setFileName(const std::wstring& name)
    {
        fileName = resolveShapeFileName(getHost(), name);
        if (pinAutoLoad)
            loadString();
    }
};

const bool registered = gmpi::Register<ShapeLoader2>::withId(L"KV_ShapeLoader2");

}  // namespace

#endif
