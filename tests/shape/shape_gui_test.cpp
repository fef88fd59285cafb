// The interface-side shape modules: the string modifier and the shape file loaders and
// savers of both bundles.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

#include "shape_test_support.h"

using namespace shape_test;
namespace fs = std::filesystem;

namespace {

const Flavour flavours[] = {Flavour::current, Flavour::classic};
const std::wstring diagonal = L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)";

struct Sent {
    std::string pin;
    mphost::PinValue value;
    bool operator==(const Sent&) const = default;
};
void PrintTo(const Sent& sent, std::ostream* out)
{
    *out << "{" << sent.pin << ", " << mphost::formatPinValue(sent.value) << "}";
}
using SentList = std::vector<Sent>;

SentList sent(mphost::GuiModule& module)
{
    SentList result;
    for (const auto& transmission : module.takeTransmissions())
        result.push_back({transmission.pinName, transmission.value});
    return result;
}

std::wstring text(const mphost::GuiModule& module, const std::string& pin)
{
    return std::get<std::wstring>(module.value(pin));
}

// A folder of its own per test, removed afterwards; names are ASCII.
struct TempFolder {
    const fs::path path = fs::temp_directory_path() / ("shape_gui_test_" + std::to_string(::getpid()));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder()
    {
        std::error_code error;
        fs::remove_all(path, error);
    }
    std::wstring name(const std::string& file) const
    {
        const std::string full = (path / file).string();
        return std::wstring(full.begin(), full.end());
    }
    std::string read(const std::string& file) const
    {
        std::ostringstream contents;
        contents << std::ifstream(path / file, std::ios::binary).rdbuf();
        return contents.str();
    }
    void write(const std::string& file, const std::string& contents) const
    {
        std::ofstream(path / file, std::ios::binary) << contents;
    }
};

}  // namespace

TEST(SSModGUI, ShapesPassBetweenTheSidesAndFeedTheValuePins)
{
    for (const Flavour flavour : flavours) {
        auto module = makeGui(flavour, "SSModGUI");
        module->setPin("NodeIndex1", 2);
        module->setPin("NodeIndex2", 3);
        module->setPin("Axis2", 0);
        module->setPin("NodeIndex3", 40);    // no such node: idle
        EXPECT_TRUE(sent(*module).empty());  // no shape yet: nothing to modify

        module->setPin("ShapeL", diagonal);
        EXPECT_EQ(sent(*module), (SentList{{"Value1", -3.0f}, {"Value2", -2.0f}, {"ShapeR", diagonal}}));

        module->setPin("ShapeR", std::wstring(L"(-5,1)(0,2)(5,3)"));  // node 3 is gone: Value2 stays
        EXPECT_EQ(sent(*module), (SentList{{"Value1", 3.0f}, {"ShapeL", std::wstring(L"(-5,1)(0,2)(5,3)")}}));

        module->setPin("ShapeL", std::wstring(L"(-5,1)(4,0)"));  // invalid: ignored, old nodes kept
        EXPECT_TRUE(sent(*module).empty());

        module->setPin("Value1", 0.5f);
        const std::wstring modified = L"(-5,1)(0,2)(5,0.5)";
        EXPECT_EQ(sent(*module), (SentList{{"ShapeR", modified}, {"ShapeL", modified}}));
    }
}

TEST(SSModGUI, LimitedValuesAreWrittenBack)
{
    auto module = makeGui(Flavour::current, "SSModGUI");
    module->setPin("ShapeL", std::wstring(L"(-5,0)(-1,0)(1,0)(5,0)"));
    sent(*module);

    // An inner node stays 0.01 clear of its neighbours.
    module->setPin("Value1", 9.0f);
    module->setPin("Axis1", 0);
    module->setPin("NodeIndex1", 1);
    const std::wstring moved = L"(-5,0)(0.99,0)(1,0)(5,0)";
    EXPECT_EQ(sent(*module), (SentList{{"Value1", 0.99f}, {"ShapeR", moved}, {"ShapeL", moved}}));
    module->setPin("Value1", -4.995f);
    EXPECT_EQ(sent(*module)[0], (Sent{"Value1", -4.99f}));

    // The end nodes keep x = -5 and +5.
    module->setPin("Value2", 3.0f);
    module->setPin("Axis2", 0);
    module->setPin("NodeIndex2", 0);
    EXPECT_EQ(sent(*module), (SentList{{"Value2", -5.0f}}));

    // y is limited to the shape range; a value that is not a number counts as -5.
    module->setPin("NodeIndex3", 3);
    sent(*module);
    module->setPin("Value3", 8.0f);
    EXPECT_EQ(sent(*module)[0], (Sent{"Value3", 5.0f}));
    EXPECT_EQ(text(*module, "ShapeR"), L"(-5,0)(-4.99,0)(1,0)(5,5)");
    module->setPin("Value3", std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(sent(*module)[0], (Sent{"Value3", -5.0f}));

    // Neighbours too close for the margin: the node stays, and a new shape moves the
    // Value pins to their nodes.
    module->setPin("ShapeL", std::wstring(L"(-5,0)(2,0)(2.00390625,0)(2.0078125,0)(5,0)"));
    EXPECT_EQ(std::get<float>(module->value("Value1")), 2.0f);
    module->setPin("NodeIndex1", 2);
    EXPECT_EQ(std::get<float>(module->value("Value1")), 2.00390625f);
    EXPECT_EQ(text(*module, "ShapeR"), L"(-5,0)(2,0)(2.00391,0)(2.00781,0)(5,0)");
}

TEST(ShapeFiles, RoundTripKeepsInterpolationModesOnly)
{
    TempFolder folder;
    auto saver = makeGui(Flavour::current, "ShapeSaver2");
    saver->setPin("Shape", std::wstring(L"(-5,0)(0,2.50)(5,1)"));
    saver->setPin("Interpolation", 1);
    saver->setPin("FNameL", folder.name("a.shp"));
    EXPECT_FALSE(fs::exists(folder.path / "a.shp"));  // no trigger yet
    saver->setPin("Trig", true);
    EXPECT_EQ(folder.read("a.shp"), "(-5,0)(0,2.5)(5,1)\nITP=1");
    saver->setPin("Interpolation", 5);
    saver->setPin("AutoTrig", true);  // saves at once: a name is set
    EXPECT_EQ(folder.read("a.shp"), "(-5,0)(0,2.5)(5,1)");

    folder.write("b.shp", "(-5,0)(5,1)\nITP=1");
    folder.write("c.shp", "(-5,0)(5,1)\nITP=7");
    auto loader2 = makeGui(Flavour::current, "ShapeLoader2");
    loader2->setPin("FNameR", folder.name("b.shp"));
    EXPECT_TRUE(sent(*loader2).empty());  // AutoLoad is off
    loader2->setPin("Trig", true);
    EXPECT_EQ(sent(*loader2), (SentList{{"Interpolation", 1}, {"Shape", std::wstring(L"(-5,0)(5,1)")}}));
    loader2->setPin("FNameR", folder.name("c.shp"));
    loader2->setPin("Shape", std::wstring());
    loader2->setPin("Trig", true);
    EXPECT_EQ(sent(*loader2), (SentList{{"Shape", std::wstring(L"(-5,0)(5,1)")}}));

    auto loader = makeGui(Flavour::current, "ShapeLoader");  // reads past the ITP line
    loader->setPin("AutoLoad", true);
    loader->setPin("FNameL", folder.name("b.shp"));
    EXPECT_EQ(sent(*loader), (SentList{{"Shape", std::wstring(L"(-5,0)(5,1)")}}));
}

TEST(ShapeFiles, ParserFormAndNameResolutionFollowTheBundleAndHost)
{
    TempFolder folder;
    folder.write("spaced.shp", "(-5,2) (5,2)");
    mphost::GuiModuleOptions options;
    options.host.searchPaths = {folder.path};
    for (const Flavour flavour : flavours) {
        auto loader = makeGui(flavour, "ShapeLoader", options);
        loader->setPin("AutoLoad", true);
        loader->setPin("FNameL", std::wstring(L"spaced.shp"));
        EXPECT_EQ(sent(*loader).size(), flavour == Flavour::classic ? 1u : 0u);
    }
    options.host.offerFirstGeneration = false;  // the bare name is not found from here
    auto loader = makeGui(Flavour::classic, "ShapeLoader", options);
    loader->setPin("AutoLoad", true);
    loader->setPin("FNameL", std::wstring(L"spaced.shp"));
    EXPECT_TRUE(sent(*loader).empty());
}

TEST(ShapeFiles, SaversWriteValidShapesOnTriggersAndFailuresChangeNothing)
{
    TempFolder folder;
    auto saver = makeGui(Flavour::classic, "ShapeSaver");
    saver->setPin("Shape", diagonal);
    saver->setPin("FNameR", folder.name("d.shp"));
    saver->setPin("AutoTrig", true);
    EXPECT_EQ(folder.read("d.shp"), std::string(diagonal.begin(), diagonal.end()));
    saver->setPin("Shape", std::wstring(L"(-5,0)(0,0)"));  // a shape change alone does not save
    EXPECT_EQ(folder.read("d.shp").size(), diagonal.size());
    saver->setPin("Trig", true);  // invalid shape: the file stays
    EXPECT_EQ(folder.read("d.shp").size(), diagonal.size());
    saver->setPin("Shape", diagonal);
    saver->setPin("FNameR", folder.name("no/such/folder.shp"));
    EXPECT_FALSE(fs::exists(folder.path / "no"));

    folder.write("invalid.shp", "(-5,0)(4,1)\nITP=2");
    auto loader = makeGui(Flavour::current, "ShapeLoader2");
    loader->setPin("AutoLoad", true);
    for (const char* name : {"missing.shp", "", "invalid.shp"})  // "": the folder itself
        loader->setPin("FNameL", folder.name(name));
    EXPECT_TRUE(sent(*loader).empty());
}
