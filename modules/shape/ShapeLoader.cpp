// Shape loader: reads a shape file into the Shape pin, normalised, on a true Trig or,
// with AutoLoad set, whenever a file-name pin changes. The two file-name pins are
// equivalent; the one changed last wins. Names are resolved through the host. A missing
// or invalid file changes nothing.
#include "ShapeFile.h"
#include "ShapeString.h"
#include "mp_sdk_gui.h"

namespace {

// 0 Shape (out), 1 Trig, 2 AutoLoad, 3 FNameL, 4 FNameR.
class ShapeLoader : public SeGuiInvisibleBase {
    StringGuiPin pinShape;
    MpGuiPin<bool> pinTrig;
    MpGuiPin<bool> pinAutoLoad;
    StringGuiPin pinFNameL;
    StringGuiPin pinFNameR;

    std::wstring fileName;  // resolved full path; empty: nothing to load

public:
    ShapeLoader()
    {
        initializePin(pinShape);
        initializePin(pinTrig, &ShapeLoader::onSetTrig);
        initializePin(pinAutoLoad);
        initializePin(pinFNameL, &ShapeLoader::onSetFNameL);
        initializePin(pinFNameR, &ShapeLoader::onSetFNameR);
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
        if (const auto loaded = loadShapeFile(fileName))
            pinShape = loaded->shape;  // transmitted only when it differs
    }

private:
    void setFileName(const std::wstring& name)
    {
        fileName = resolveShapeFileName(getHost(), name);
        if (pinAutoLoad)
            loadString();
    }
};

const bool registered = gmpi::Register<ShapeLoader>::withId(SHAPE_MODULE_ID("ShapeLoader"));

}  // namespace
