// StringLoader: loads a text file into the String pin, on a true Trig or, with AutoTrig
// set, whenever a file-name pin changes. The two file-name pins are equivalent; the one
// changed last wins. Names are resolved through the host's resource folders.
#include <string>

#include "StringFile.h"
#include "mp_sdk_gui.h"

namespace {

// 0 String (out), 1 Trig, 2 AutoTrig, 3 FNameL, 4 FNameR.
class StringLoader : public SeGuiInvisibleBase {
    StringGuiPin pinString;
    MpGuiPin<bool> pinTrig;
    MpGuiPin<bool> pinAutoTrig;
    StringGuiPin pinFNameL;
    StringGuiPin pinFNameR;

    std::wstring fileName;  // resolved; empty: nothing to load

public:
    StringLoader()
    {
        initializePin(pinString);
        initializePin(pinTrig, &StringLoader::onSetTrig);
        initializePin(pinAutoTrig);
        initializePin(pinFNameL, &StringLoader::onSetFNameL);
        initializePin(pinFNameR, &StringLoader::onSetFNameR);
    }

    void onSetFNameL() { setFileName(pinFNameL); }
    void onSetFNameR() { setFileName(pinFNameR); }
    void onSetTrig()
    {
        if (pinTrig)
            loadString();
    }

    // The full path the host's first-generation interface gives for `name`; the name
    // itself when the host does not offer that interface or cannot resolve it.
    std::wstring resolveFilename(std::wstring name)
    {
        gmpi::IMpUserInterfaceHost* host = nullptr;
        if (!getHost() || getHost()->queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&host)) !=
                              gmpi::MP_OK || !host)
            return name;
        wchar_t fullName[500];
        const std::int32_t result = host->resolveFilename(name.c_str(), 500, fullName);
        host->release();
        return result == gmpi::MP_OK ? std::wstring(fullName) : name;
    }

    void loadString()
    {
        if (fileName.empty())
            return;
        if (const auto text = readTextFile(fileName))
            pinString = *text;  // transmitted only when it differs
    }

private:
    void setFileName(const std::wstring& name)
    {
        fileName = resolveFilename(name);
        if (pinAutoTrig)
            loadString();
    }
};

const bool registered = gmpi::Register<StringLoader>::withId(L"StringLoader");

}  // namespace
