// Shape saver: writes the last shape received on Shape to a file, normalised, on a true
// Trig, when AutoTrig becomes true, or, with AutoTrig set, whenever a file-name pin
// changes. A shape change alone does not save; an invalid shape or an unwritable path
// leaves the file system as it is. File names are used as given.
#include "ShapeFile.h"
#include "ShapeString.h"
#include "mp_sdk_gui.h"

namespace {

// 0 Shape, 1 Trig, 2 AutoTrig, 3 FNameL, 4 FNameR.
class ShapeSaver : public SeGuiInvisibleBase {
    StringGuiPin pinShape;
    MpGuiPin<bool> pinTrig;
    MpGuiPin<bool> pinAutoTrig;
    StringGuiPin pinFNameL;
    StringGuiPin pinFNameR;

    std::wstring fileName;  // empty: nothing to save
    std::wstring shape;     // the shape to save, as received

public:
    ShapeSaver()
    {
        initializePin(pinShape, &ShapeSaver::onSetShape);
        initializePin(pinTrig, &ShapeSaver::onSetTrig);
        initializePin(pinAutoTrig, &ShapeSaver::onSetAutoTrig);
        initializePin(pinFNameL, &ShapeSaver::onSetFNameL);
        initializePin(pinFNameR, &ShapeSaver::onSetFNameR);
    }

    void onSetShape() { shape = pinShape; }
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

    void saveString() { saveShapeFile(fileName, shape); }  // failures stay silent

private:
    void setFileName(const std::wstring& name)
    {
        fileName = name;
        if (pinAutoTrig)
            saveString();
    }
};

const bool registered = gmpi::Register<ShapeSaver>::withId(SHAPE_MODULE_ID("ShapeSaver"));

}  // namespace
