// StringSaver: saves the last text received on String to a file, on a true Trig, when
// AutoTrig becomes true, or, with AutoTrig set, whenever a file-name pin changes. A text
// change alone does not save. File names are used as given.
#include <string>

#include "StringFile.h"
#include "mp_sdk_gui.h"

namespace {

// 0 String, 1 Trig, 2 AutoTrig, 3 FNameL, 4 FNameR.
class StringSaver : public SeGuiInvisibleBase {
    StringGuiPin pinString;
    MpGuiPin<bool> pinTrig;
    MpGuiPin<bool> pinAutoTrig;
    StringGuiPin pinFNameL;
    StringGuiPin pinFNameR;

    std::wstring fileName;  // empty: nothing to save
    std::wstring text;      // the text to save

public:
    StringSaver()
    {
        initializePin(pinString, &StringSaver::onSetString);
        initializePin(pinTrig, &StringSaver::onSetTrig);
        initializePin(pinAutoTrig, &StringSaver::onSetAutoTrig);
        initializePin(pinFNameL, &StringSaver::onSetFNameL);
        initializePin(pinFNameR, &StringSaver::onSetFNameR);
    }

    void onSetString() { text = pinString; }
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

    void saveString()
    {
        if (!fileName.empty())
            writeTextFile(fileName, text);  // a file that cannot be written is left alone
    }

private:
    void setFileName(const std::wstring& name)
    {
        fileName = name;
        if (pinAutoTrig)
            saveString();
    }
};

const bool registered = gmpi::Register<StringSaver>::withId(L"StringSaver");

}  // namespace
