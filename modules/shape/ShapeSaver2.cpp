// Shape saver with interpolation: as the shape saver, reading Shape when it saves, and
// adding the ITP line with the Interpolation pin's mode when that lies in 0 .. 3. Only
// the current bundle carries this module.
#include "ShapeString.h"

#if !(defined(MP_SHAPE_CLASSIC) && MP_SHAPE_CLASSIC)

#include "ShapeFile.h"
#include "mp_sdk_gui.h"

namespace {

// 0 Shape, 1 Interpolation, 2 Trig, 3 AutoTrig, 4 FNameL, 5 FNameR.
class ShapeSaver2 : public SeGuiInvisibleBase {
    StringGuiPin pinShape;
    MpGuiPin<int> pinInterpolation;
    MpGuiPin<bool> pinTrig;
    MpGuiPin<bool> pinAutoTrig;
    StringGuiPin pinFNameL;
    StringGuiPin pinFNameR;

    std::wstring fileName;  // empty: nothing to save

public:
    ShapeSaver2()
    {
        initializePin(pinShape);
        initializePin(pinInterpolation);
        initializePin(pinTrig, &ShapeSaver2::onSetTrig);
        initializePin(pinAutoTrig, &ShapeSaver2::onSetAutoTrig);
        initializePin(pinFNameL, &ShapeSaver2::onSetFNameL);
        initializePin(pinFNameR, &ShapeSaver2::onSetFNameR);
    }

    void onSetFNameL() { setFileName(pinFNameL); }
    void onSetFNameR() { setFileName(pinFNameR); }
    void onSetTrig()
    {
        if (pinTrig)
            saveString();
    }
    void onSetAutoTrig()
    {
        if (pinAutoTrig && !fileName.empty())
            saveString();
    }

    void saveString() { saveShapeFile(fileName, pinShape, pinInterpolation); }  // failures stay silent

private:
    void setFileName(const std::wstring& name)
    {
        fileName = name;
        if (pinAutoTrig)
            saveString();
    }
};

const bool registered = gmpi::Register<ShapeSaver2>::withId(L"KV_ShapeSaver2");

}  // namespace

#endif
