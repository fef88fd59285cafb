// SplitFName: a path split into its folder and its last element (/a/b/c.txt gives /a/b
// and c.txt; a trailing separator gives an empty name; a bare name an empty folder).
#include <filesystem>
#include <string>

#include "mp_sdk_gui.h"

namespace {

// 0 In, 1 Path, 2 Name.
class SplitFName : public SeGuiInvisibleBase {
    StringGuiPin pinIn;
    StringGuiPin pinPath;
    StringGuiPin pinName;

public:
    SplitFName()
    {
        initializePin(pinIn, &SplitFName::onSetIn);
        initializePin(pinPath);
        initializePin(pinName);
    }

    void onSetIn()
    {
        const std::filesystem::path path(static_cast<std::string>(pinIn));
        pinPath = path.parent_path().string();
        pinName = path.filename().string();
    }
};

const bool registered = gmpi::Register<SplitFName>::withId(L"SplitFName");

}  // namespace
