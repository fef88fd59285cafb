// The folder browser and the file requester through the built bundle, with the GUI host's
// scripted file dialogs and host resources.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "common/host_error.h"
#include "engine/engine.h"
#include "engine/patch.h"
#include "gui_test_support.h"

using namespace gui_testing;
namespace fs = std::filesystem;

namespace {

// Memory-backed when the system has such a folder: creating many files there is quick.
fs::path scratchRoot()
{
    std::error_code error;
    if (fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path();
}

struct TempFolder {
    fs::path path;
    explicit TempFolder(const std::string& name = "files")
    {
        path = scratchRoot() / ("file_browser_test_" + name + "_" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder()
    {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(path, error))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path, error);
    }
};

void touch(const fs::path& path)
{
    std::ofstream file(path);
}

std::wstring wide(const fs::path& path)
{
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());  // temporary paths are ASCII
}

// The items of a listing, split at commas (a trailing comma gives a last empty item).
std::vector<std::wstring> items(const std::wstring& list)
{
    std::vector<std::wstring> result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(L',', start);
        result.push_back(list.substr(start, comma - start));
        if (comma == std::wstring::npos)
            return result;
        start = comma + 1;
    }
}

std::multiset<std::wstring> namesOf(const std::wstring& list)
{
    std::multiset<std::wstring> names;
    for (const std::wstring& item : items(list))
        if (!item.empty())
            names.insert(item);
    return names;
}

int indexOf(const std::wstring& list, const std::wstring& name)
{
    int index = 0;
    for (const std::wstring& item : items(list)) {
        if (item == name)
            return index;
        if (!item.empty())
            ++index;
    }
    return -1;
}

std::wstring listing(mphost::GuiModule& browser)
{
    return textOf(browser.value("ItemList"));
}

// A folder holding the sub-folder a (with one file inside), x.wav and y.txt.
struct SampleFolder : TempFolder {
    SampleFolder() : TempFolder("sample")
    {
        fs::create_directory(path / "a");
        touch(path / "a" / "inner.wav");
        touch(path / "x.wav");
        touch(path / "y.txt");
    }
    // The entry the operating system lists last.
    std::string lastEntry() const
    {
        std::string last;
        for (const auto& entry : fs::directory_iterator(path))
            last = entry.path().filename().string();
        return last;
    }
};

}  // namespace

TEST(FileBrowser, ListsFoldersWithASlashAndFilesMatchingTheFilterExactly)
{
    SampleFolder folder;
    auto browser = makeUi("FileBrowser");
    browser->setPin("Ext", std::wstring(L"wav"));
    browser->setPin("Path", wide(folder.path));
    const std::wstring list = listing(*browser);
    EXPECT_EQ(namesOf(list), (std::multiset<std::wstring>{L"a/", L"x.wav"})) << list;
    // A rejected entry that comes last leaves the comma written before it.
    EXPECT_EQ(!list.empty() && list.back() == L',', folder.lastEntry() == "y.txt") << list;
    EXPECT_EQ(list.find(L",,"), std::wstring::npos) << list;

    // Without filter every entry; the filter takes effect at the next listing and is
    // case-sensitive.
    browser->setPin("Ext", std::wstring());
    EXPECT_EQ(listing(*browser), list);
    browser->setPin("Rescan", true);
    EXPECT_EQ(namesOf(listing(*browser)), (std::multiset<std::wstring>{L"a/", L"x.wav", L"y.txt"}));
    EXPECT_NE(listing(*browser).back(), L',');
    browser->setPin("Ext", std::wstring(L"WAV"));
    browser->setPin("Rescan", false);
    browser->setPin("Rescan", true);
    EXPECT_EQ(namesOf(listing(*browser)), (std::multiset<std::wstring>{L"a/"}));
}

TEST(FileBrowser, NavigatesIntoFoldersAndUpToTheRootWhichStaysTheRoot)
{
    SampleFolder folder;
    auto browser = makeUi("FileBrowser");
    browser->setPin("Path", wide(folder.path));
    const std::wstring top = listing(*browser);
    browser->takeTransmissions();

    browser->setPin("Choice", indexOf(top, L"a/"));
    EXPECT_EQ(textOf(browser->value("Path")), wide(folder.path / "a"));
    EXPECT_EQ(listing(*browser), L"inner.wav");
    // The row number of the old listing is given up, so the same row can be picked again.
    EXPECT_EQ(intOf(browser->value("Choice")), -1);

    browser->setPin("Parent", true);
    EXPECT_EQ(textOf(browser->value("Path")), wide(folder.path));
    EXPECT_EQ(namesOf(listing(*browser)), namesOf(top));
    EXPECT_EQ(intOf(browser->value("Choice")), -1);

    // Choosing a file reports it and does not list again.
    touch(folder.path / "late.wav");
    browser->takeTransmissions();
    browser->setPin("Choice", indexOf(listing(*browser), L"x.wav"));
    EXPECT_EQ(sent(*browser), (std::vector<Sent>{{"FNameOut", wide(folder.path / "x.wav")}}));
    // Out-of-range choices are ignored.
    for (const int choice : {-1, 3, 99, INT32_MIN, INT32_MAX}) {
        browser->setPin("Choice", choice);
        EXPECT_TRUE(browser->takeTransmissions().empty()) << choice;
    }

    browser->setPin("Path", std::wstring(L"/"));
    const std::wstring root = listing(*browser);
    EXPECT_FALSE(root.empty());
    browser->setPin("Parent", false);
    browser->setPin("Parent", true);
    EXPECT_EQ(textOf(browser->value("Path")), L"/");
    EXPECT_EQ(namesOf(listing(*browser)), namesOf(root));
}

TEST(FileBrowser, APathNamingAFileShowsItsFolderWithTheFileChosen)
{
    SampleFolder folder;
    auto browser = makeUi("FileBrowser");
    browser->setPin("Path", wide(folder.path / "x.wav"));
    EXPECT_EQ(textOf(browser->value("FNameOut")), wide(folder.path / "x.wav"));
    EXPECT_EQ(textOf(browser->value("Path")), wide(folder.path));
    EXPECT_EQ(intOf(browser->value("Choice")), indexOf(listing(*browser), L"x.wav"));

    // FNameOut set from outside chooses its entry.
    browser->setPin("FNameOut", wide(folder.path / "y.txt"));
    EXPECT_EQ(intOf(browser->value("Choice")), indexOf(listing(*browser), L"y.txt"));
    // A trailing separator is the same folder, and its parent is the folder above.
    browser->setPin("Path", wide(folder.path / "a") + L"/");
    browser->setPin("Parent", false);
    browser->setPin("Parent", true);
    EXPECT_EQ(textOf(browser->value("Path")), wide(folder.path));
}

TEST(FileBrowser, AnEmptyOrRelativePathListsTheResourceFolderAndAMissingOneNothing)
{
    SampleFolder folder;
    mphost::GuiModuleOptions options;
    options.host.searchPaths = {folder.path};
    auto browser = makeUi("FileBrowser", options);
    EXPECT_EQ(namesOf(listing(*browser)), (std::multiset<std::wstring>{L"a/", L"x.wav", L"y.txt"}));

    browser->setPin("Path", std::wstring(L"a"));  // relative: under the resource folder
    EXPECT_EQ(listing(*browser), L"inner.wav");
    browser->setPin("Path", std::wstring(L"no such folder"));
    EXPECT_EQ(listing(*browser), L"");

    // Without a resource folder an empty Path lists nothing.
    auto bare = makeUi("FileBrowser");
    EXPECT_EQ(listing(*bare), L"");
}

TEST(FileBrowser, EntriesThatCannotBeReadAreLeftOut)
{
    SampleFolder folder;
    fs::create_symlink(folder.path / "gone.wav", folder.path / "dangling.wav");
    auto browser = makeUi("FileBrowser");
    browser->setPin("Path", wide(folder.path));
    EXPECT_EQ(namesOf(listing(*browser)), (std::multiset<std::wstring>{L"a/", L"x.wav", L"y.txt"}));

    fs::permissions(folder.path / "x.wav", fs::perms::none);
    fs::permissions(folder.path / "a", fs::perms::none);
    if (::access((folder.path / "x.wav").c_str(), R_OK) == 0)
        GTEST_SKIP() << "this user reads files without read permission (root)";
    browser->setPin("Rescan", true);
    EXPECT_EQ(namesOf(listing(*browser)), (std::multiset<std::wstring>{L"y.txt"}));
}

TEST(FileBrowser, AFolderOfAHundredThousandEntriesListsInLinearTime)
{
    TempFolder small("small"), large("large");
    const auto fill = [](const fs::path& folder, int count) {
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%d.wav", i);
            const fs::path file = folder / name;
            const int descriptor = ::open(file.c_str(), O_CREAT | O_WRONLY, 0644);
            ASSERT_GE(descriptor, 0);
            ::close(descriptor);
        }
    };
    fill(small.path, 10000);
    fill(large.path, 100000);
    auto browser = makeUi("FileBrowser");
    const auto timeListing = [&](const fs::path& folder) {
        const auto start = std::chrono::steady_clock::now();
        browser->setPin("Path", wide(folder));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const double smallSeconds = timeListing(small.path);
    const double largeSeconds = timeListing(large.path);
    EXPECT_EQ(items(listing(*browser)).size(), 100000u);
    // Linear is 10 times; quadratic would be 100 times. Generous for a loaded machine.
    // No limit of its own on the time: build/bench/widgets_bench measures it.
    EXPECT_LT(largeSeconds, 40.0 * smallSeconds + 0.5) << smallSeconds << " s for 10k, " << largeSeconds;
    std::printf("listing 10000 entries: %.3f s, 100000 entries: %.3f s\n", smallSeconds, largeSeconds);
}

TEST(FileBrowser, HostileTextsAndPinsNeverCrash)
{
    SampleFolder folder;
    auto browser = makeUi("FileBrowser");
    const std::wstring hostile[] = {std::wstring(L"\0\0a", 3), std::wstring(100000, L'x'),
                                    std::wstring(5000, L'/'),  L"\xD800\x110000\xFFFF",
                                    L"..",                     L"../../../../../../..",
                                    L"\n,\"'",                 wide(folder.path) + L"/\0x.wav"};
    for (const std::wstring& text : hostile) {
        browser->setPin("Ext", text);
        browser->setPin("Path", text);
        browser->setPin("FNameOut", text);
        browser->setPin("Parent", true);
        browser->setPin("Parent", false);
        browser->setPin("Choice", 0);
        browser->setPin("Rescan", true);
    }
    // Bad payload sizes for the bool and int pins.
    const auto& choice = browser->pin("Choice");
    EXPECT_EQ(browser->setPinRaw(choice.index, mphost::Bytes{1}), gmpi::MP_OK);
    EXPECT_EQ(browser->setPinRaw(choice.index, mphost::Bytes(9, 0xFF)), gmpi::MP_OK);
}

// ---------------------------------------------------------------------------------

namespace {

mphost::GuiModuleOptions sharedDialogs(std::shared_ptr<mphost::FileDialogScript> script)
{
    mphost::GuiModuleOptions options;
    options.host.fileDialogs = std::move(script);
    return options;
}

void pressAndRelease(mphost::GuiModule& requester)
{
    requester.setPin("Open", true);
    requester.setPin("Open", false);
}

}  // namespace

TEST(FileReq, OpensOnReleaseAndCompletesAtTheNextPump)
{
    auto requester = makeUi("FileReq");
    auto& dialogs = requester->host().fileDialogs();
    requester->setPin("Extensions", std::wstring(L"*.wav, aif"));
    requester->setPin("DialogType", 1);
    requester->setPin("FileName", std::wstring(L"/old/name.wav"));
    requester->takeTransmissions();

    requester->setPin("Open", false);  // a release without a press
    requester->setPin("Open", true);   // a press only arms
    EXPECT_TRUE(dialogs.history().empty());
    dialogs.answer("/picked/take 1.wav");  // given before the dialog opens
    requester->setPin("Open", false);
    ASSERT_EQ(dialogs.history().size(), 1u);
    EXPECT_EQ(dialogs.history()[0].type, 1);
    EXPECT_EQ(dialogs.history()[0].extensions, (std::vector<std::string>{"wav", "aif"}));
    EXPECT_EQ(dialogs.history()[0].initialPath, "/old/name.wav");
    // Asynchronous: nothing before the host's next turn.
    EXPECT_TRUE(requester->takeTransmissions().empty());
    EXPECT_EQ(requester->pump(), 1);
    EXPECT_EQ(sent(*requester), (std::vector<Sent>{{"FileName", std::wstring(L"/picked/take 1.wav")},
                                                   {"Done", true},
                                                   {"Done", false}}));
    EXPECT_EQ(requester->pump(), 0);

    // A dialog opened before its answer waits for it; a cancel keeps FileName.
    pressAndRelease(*requester);
    EXPECT_EQ(requester->pump(), 0);
    EXPECT_EQ(dialogs.openDialogs(), 1u);
    pressAndRelease(*requester);  // one dialog at a time
    EXPECT_EQ(dialogs.history().size(), 2u);
    dialogs.answer(std::nullopt);
    EXPECT_EQ(requester->pump(), 1);
    EXPECT_TRUE(requester->takeTransmissions().empty());
    EXPECT_EQ(textOf(requester->value("FileName")), L"/picked/take 1.wav");
}

TEST(FileReq, FilesInTheHostResourceFolderOfTheirTypeAreStoredByName)
{
    TempFolder resources("resources"), elsewhere("elsewhere");
    for (const char* name : {"kick.wav", "snare.WAV", "song.mid", "photo.png"})
        touch(resources.path / name);
    touch(elsewhere.path / "kick.wav");
    touch(resources.path / "notes.txt");
    mphost::GuiModuleOptions options;
    options.host.resourceFolders = {{"Audio", resources.path}, {"MIDI", resources.path}};
    auto requester = makeUi("FileReq", options);

    const auto pick = [&](const fs::path& file) {
        requester->host().fileDialogs().answer(file.string());
        pressAndRelease(*requester);
        requester->pump();
        return textOf(requester->value("FileName"));
    };
    EXPECT_EQ(pick(resources.path / "kick.wav"), L"kick.wav");
    EXPECT_EQ(pick(resources.path / "song.mid"), L"song.mid");
    // The same bare name elsewhere, an extension of another case, a type without a
    // resource folder and a file type without resources all keep the full path.
    EXPECT_EQ(pick(elsewhere.path / "kick.wav"), wide(elsewhere.path / "kick.wav"));
    EXPECT_EQ(pick(resources.path / "snare.WAV"), wide(resources.path / "snare.WAV"));
    EXPECT_EQ(pick(resources.path / "photo.png"), wide(resources.path / "photo.png"));
    EXPECT_EQ(pick(resources.path / "notes.txt"), wide(resources.path / "notes.txt"));
}

TEST(FileReq, DialogsOfAModuleThatGoesAreDroppedAndTheAnswerServesTheNext)
{
    auto script = std::make_shared<mphost::FileDialogScript>();
    auto first = makeUi("FileReq", sharedDialogs(script));
    auto second = makeUi("FileReq", sharedDialogs(script));
    pressAndRelease(*first);
    first.reset();  // its dialog still open
    EXPECT_EQ(script->openDialogs(), 0u);
    pressAndRelease(*second);
    script->answer("/x/y.wav");
    EXPECT_EQ(script->deliver(), 1);
    EXPECT_EQ(textOf(second->value("FileName")), L"/x/y.wav");
}

TEST(FileReq, HostileSettingsOpenNoDialogOrAHarmlessOne)
{
    auto requester = makeUi("FileReq");
    auto& dialogs = requester->host().fileDialogs();
    for (const int type : {-1, 3, INT32_MIN, INT32_MAX}) {
        requester->setPin("DialogType", type);
        pressAndRelease(*requester);
    }
    EXPECT_TRUE(dialogs.history().empty());
    requester->setPin("DialogType", 0);
    requester->setPin("Extensions", std::wstring(L"\"unclosed ,,, '*.*' \xD800"));
    requester->setPin("FileName", std::wstring(100000, L'\\'));
    pressAndRelease(*requester);
    ASSERT_EQ(dialogs.history().size(), 1u);
    dialogs.answer(std::string("\\\\only\\back\\slashes.wav"));
    EXPECT_EQ(requester->pump(), 1);
    EXPECT_EQ(textOf(requester->value("FileName")), L"\\\\only\\back\\slashes.wav");
}

TEST(FileReq, PatchScriptsAnswerTheDialogAndTheBrowserFollowsThePick)
{
    SampleFolder folder;
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {fs::path(testing_support::bundlePath("ui_modules")).parent_path()};
    environment.patchFolder = folder.path;
    const std::string json = R"json({ "seconds": 0.1, "blockSize": 64, "modules": [
        { "name": "req", "bundle": "ui_modules", "id": "FileReq" },
        { "name": "browser", "bundle": "ui_modules", "id": "FileBrowser" } ],
      "connections": [ "req.FileName -> browser.Path" ],
      "script": [
        { "time": 0.01, "file_dialog": "a/inner.wav" },
        { "time": 0.02, "set": "req.Open", "value": true },
        { "time": 0.03, "set": "req.Open", "value": false },
        { "time": 0.05, "set": "req.Open", "value": true },
        { "time": 0.06, "set": "req.Open", "value": false },
        { "time": 0.07, "file_dialog": null } ] })json";
    mphost::Engine engine(mphost::parsePatch(json, "test.json", environment));
    while (engine.position() < 1600)  // the release at 0.03 s and the next turn
        engine.processBlock();
    EXPECT_EQ(textOf(engine.gui("req")->value("FileName")), wide(folder.path / "a" / "inner.wav"));
    EXPECT_EQ(textOf(engine.gui("browser")->value("ItemList")), L"inner.wav");
    engine.render();
    EXPECT_EQ(textOf(engine.gui("req")->value("FileName")), wide(folder.path / "a" / "inner.wav"));

    try {
        mphost::parsePatch(R"json({ "modules": [ { "name": "req", "bundle": "ui_modules", "id": "FileReq" } ],
          "script": [ { "time": 0.1, "file_dialog": 5 } ] })json",
                           "bad.json", environment);
        ADD_FAILURE() << "a number was taken as a path";
    } catch (const mphost::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("$.script[0].file_dialog"), std::string::npos) << error.what();
    }
}
