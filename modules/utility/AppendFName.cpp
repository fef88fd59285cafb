// AppendFName: a folder and a file name joined into one path ("/tmp" or "/tmp/" with
// "x.txt" gives /tmp/x.txt; an absolute file name replaces the folder). With one input
// empty the other passes unchanged.
#include <filesystem>
#include <string>

#include "mp_sdk_gui.h"

namespace {

// 0 Dir, 1 File, 2 Out.
class AppendFName : public SeGuiInvisibleBase {
    StringGuiPin pinDir;
    StringGuiPin pinFile;
    StringGuiPin pinOut;

public:
    AppendFName()
    {
        initializePin(pinDir, &AppendFName::onSetEither);
        initializePin(pinFile, &AppendFName::onSetEither);
        initializePin(pinOut);
    }

    void onSetEither()
    {
        const std::wstring& dir = pinDir;
        const std::wstring& file = pinFile;
        if (dir.empty() || file.empty()) {
            pinOut = dir.empty() ? file : dir;
            return;
        }
        const std::filesystem::path joined =
            std::filesystem::path(static_cast<std::string>(pinDir)) / static_cast<std::string>(pinFile);
        pinOut = joined.string();
    }
};

const bool registered = gmpi::Register<AppendFName>::withId(L"AppendFName");

}  // namespace
