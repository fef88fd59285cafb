// String files and file names.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "gui_test_support.h"

using namespace gui_testing;
using testing_support::TempFolder;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

void writeFile(const fs::path& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

std::wstring wide(const fs::path& path)
{
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());  // temporary paths are ASCII
}

}  // namespace

TEST(StringFiles, SavedTextLoadsBackUnchanged)
{
    TempFolder folder;
    const fs::path file = folder.path / "text.txt";
    const std::wstring text = L"line one\r\nZ\u00fcrich \u266A \U0001F3B5\nlast";

    auto saver = makeUi("StringSaver");
    saver->setPin("String", text);
    saver->setPin("FNameL", wide(file));
    EXPECT_FALSE(fs::exists(file));  // AutoTrig is off: no save yet
    saver->setPin("Trig", true);
    EXPECT_EQ(readFile(file), "line one\r\nZ\xc3\xbcrich \xe2\x99\xaa \xf0\x9f\x8e\xb5\nlast");

    auto loader = makeUi("StringLoader");
    loader->setPin("FNameR", wide(file));
    EXPECT_TRUE(sent(*loader).empty());  // AutoTrig is off: no load yet
    loader->setPin("Trig", true);
    EXPECT_EQ(sent(*loader), (std::vector<Sent>{{"String", text}}));
    loader->setPin("Trig", true);  // the same content again: nothing new to send
    EXPECT_TRUE(sent(*loader).empty());
}

TEST(StringFiles, AutoTrigLoadsOnEveryFileNameChange)
{
    TempFolder folder;
    writeFile(folder.path / "a.txt", "A");
    writeFile(folder.path / "b.txt", "B");
    auto loader = makeUi("StringLoader");
    loader->setPin("AutoTrig", true);
    loader->setPin("FNameL", wide(folder.path / "a.txt"));
    loader->setPin("FNameR", wide(folder.path / "b.txt"));
    loader->setPin("FNameL", wide(folder.path / "missing.txt"));  // cannot open: String unchanged
    EXPECT_EQ(sent(*loader), (std::vector<Sent>{{"String", std::wstring(L"A")}, {"String", std::wstring(L"B")}}));
    loader->setPin("FNameL", std::wstring());  // empty name: nothing happens
    loader->setPin("Trig", true);
    EXPECT_TRUE(sent(*loader).empty());
}

TEST(StringFiles, LoaderResolvesNamesThroughTheHostWhenOffered)
{
    TempFolder folder;
    writeFile(folder.path / "preset.txt", "resolved");
    mphost::GuiModuleOptions options;
    options.host.searchPaths = {folder.path};
    auto loader = makeUi("StringLoader", options);
    loader->setPin("AutoTrig", true);
    loader->setPin("FNameL", std::wstring(L"preset.txt"));
    EXPECT_EQ(textOf(loader->value("String")), L"resolved");

    options.host.offerFirstGeneration = false;  // the name is used as given (relative: not found here)
    auto unresolved = makeUi("StringLoader", options);
    unresolved->setPin("AutoTrig", true);
    unresolved->setPin("FNameL", std::wstring(L"preset.txt"));
    EXPECT_TRUE(sent(*unresolved).empty());
}

TEST(StringFiles, SaverKeepsTheLastTextAndSavesOnAutoTrig)
{
    TempFolder folder;
    auto saver = makeUi("StringSaver");
    saver->setPin("String", std::wstring(L"first"));
    saver->setPin("String", std::wstring(L"second"));
    saver->setPin("FNameL", wide(folder.path / "one.txt"));
    saver->setPin("Trig", true);
    saver->setPin("FNameR", wide(folder.path / "two.txt"));
    saver->setPin("Trig", true);
    EXPECT_EQ(readFile(folder.path / "one.txt"), "second");
    EXPECT_EQ(readFile(folder.path / "two.txt"), "second");

    saver->setPin("String", std::wstring(L"third"));
    EXPECT_EQ(readFile(folder.path / "two.txt"), "second");  // a text change alone does not save
    saver->setPin("AutoTrig", true);
    EXPECT_EQ(readFile(folder.path / "two.txt"), "third");
    saver->setPin("FNameL", wide(folder.path / "three.txt"));
    EXPECT_EQ(readFile(folder.path / "three.txt"), "third");
    saver->setPin("FNameL", wide(folder.path / "no" / "such" / "folder.txt"));  // nothing written, no failure
}

TEST(FileNames, SplitIntoFolderAndName)
{
    auto module = makeUi("SplitFName");
    const auto split = [&](const std::wstring& in) {
        module->setPin("In", in);
        return std::make_pair(textOf(module->value("Path")), textOf(module->value("Name")));
    };
    EXPECT_EQ(split(L"/a/b/c.txt"), std::make_pair(std::wstring(L"/a/b"), std::wstring(L"c.txt")));
    EXPECT_EQ(split(L"name.txt"), std::make_pair(std::wstring(), std::wstring(L"name.txt")));
    EXPECT_EQ(split(L"/a/b/"), std::make_pair(std::wstring(L"/a/b"), std::wstring()));
    EXPECT_EQ(split(L"/d\u00e9j\u00e0/\u266A.wav"), std::make_pair(std::wstring(L"/d\u00e9j\u00e0"), std::wstring(L"\u266A.wav")));
}

TEST(FileNames, AppendJoinsFolderAndFile)
{
    auto module = makeUi("AppendFName");
    const auto join = [&](const std::wstring& dir, const std::wstring& file) {
        module->setPin("Dir", dir);
        module->setPin("File", file);
        return textOf(module->value("Out"));
    };
    EXPECT_EQ(join(L"/tmp/", L"x.txt"), L"/tmp/x.txt");
    EXPECT_EQ(join(L"/tmp", L"x.txt"), L"/tmp/x.txt");
    EXPECT_EQ(join(L"/tmp", L"/abs/y"), L"/abs/y");
    EXPECT_EQ(join(L"", L"x.txt"), L"x.txt");
    EXPECT_EQ(join(L"/tmp", L""), L"/tmp");
    EXPECT_EQ(join(L"", L""), L"");
}
