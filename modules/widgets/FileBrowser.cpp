// A folder browser without drawing of its own: keeps a current folder, lists its entries as
// an enumeration-list text (folders end in "/") for a list box, and as entries are picked
// moves into folders or reports the chosen file's full path. GUI only; user-interface
// thread. Paths travel as UTF-8 inside the module and as wide text on the pins.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "mp_sdk_gui.h"
#include "unicode_conversion.h"

namespace fs = std::filesystem;

namespace {

bool pathExists(const fs::path& path)
{
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}

bool isFolder(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// Absolute, without "." and ".." and without a trailing separator ("/" stays "/").
fs::path tidy(const fs::path& path)
{
    std::error_code error;
    fs::path result = fs::absolute(path, error);
    if (error)
        result = path;
    result = result.lexically_normal();
    if (!result.has_filename() && result.has_relative_path())
        result = result.parent_path();
    return result;
}

std::wstring wide(const fs::path& path)
{
    return Utf8ToWstring(path.native());
}

fs::path fromPin(const std::wstring& text)
{
    return fs::path(WStringToUtf8(text));
}

// 0 Path, 1 Ext, 2 (spare), 3 Rescan, 4 Parent, 5 Choice, 6 ItemList (out), 7 FNameOut.
class FileBrowser : public SeGuiInvisibleBase {
    StringGuiPin pinPath;
    StringGuiPin pinExt;
    StringGuiPin pinSpare;  // kept for patches; nothing reads it
    MpGuiPin<bool> pinRescan;
    MpGuiPin<bool> pinParent;
    MpGuiPin<int> pinChoice;
    StringGuiPin pinItemList;
    StringGuiPin pinFNameOut;

    struct Entry {
        fs::path fullPath;
        bool folder = false;
    };

    fs::path currentFolder;
    std::vector<Entry> entries;  // of the last listing, in listing order
    std::int32_t count = 0;
    std::string filter;  // "." and Ext, or empty for every file

public:
    FileBrowser()
    {
        initializePin(pinPath, &FileBrowser::onSetPath);
        initializePin(pinExt, &FileBrowser::onSetExt);
        initializePin(pinSpare);
        initializePin(pinRescan, &FileBrowser::onSetRescan);
        initializePin(pinParent, &FileBrowser::onSetParent);
        initializePin(pinChoice, &FileBrowser::onSetChoice);
        initializePin(pinItemList);
        initializePin(pinFNameOut, &FileBrowser::onSetFNameOut);
    }

    // The host sets every pin, outputs included, before this: list again so that the
    // listing, Choice and FNameOut follow Path and the stored choice.
    std::int32_t initialize() override
    {
        SeGuiInvisibleBase::initialize();
        onSetPath();
        return gmpi::MP_OK;
    }

    void onSetExt()
    {
        const std::string ext = pinExt;
        filter = ext.empty() ? std::string() : "." + ext;  // used from the next listing on
    }

    void onSetPath()
    {
        const std::wstring path = pinPath;
        fs::path folder = path.empty() ? resourceFolder() : fromPin(path);
        if (!pathExists(folder)) {
            folder = resourceFolder() / fromPin(path);
            if (path.empty() || !pathExists(folder)) {
                entries.clear();
                count = 0;
                pinItemList = std::wstring();
                return;
            }
        }
        folder = tidy(folder);
        if (!isFolder(folder)) {
            // The path names a file: show its folder with the file chosen.
            pinFNameOut = wide(folder);
            folder = folder.parent_path();
            pinPath = wide(folder);
        }
        currentFolder = folder;
        pinChoice = -1;
        scanCurrentPath();
    }

    void onSetRescan()
    {
        if (pinRescan)
            scanCurrentPath();
    }

    void onSetParent()
    {
        if (!pinParent)
            return;
        currentFolder = currentFolder.parent_path();  // the root is its own parent
        pinPath = wide(currentFolder);
        pinChoice = -1;
        scanCurrentPath();
    }

    void onSetChoice()
    {
        const int choice = pinChoice;
        if (choice < 0 || choice >= count)
            return;
        const Entry entry = entries[static_cast<std::size_t>(choice)];
        if (entry.folder) {
            currentFolder = entry.fullPath;
            pinPath = wide(currentFolder);
            // The old row number means nothing in the new listing; without this a list
            // box would not report a pick of the same row there.
            pinChoice = -1;
            scanCurrentPath();
        } else {
            pinFNameOut = wide(entry.fullPath);
        }
    }

    void onSetFNameOut()
    {
        const std::wstring chosen = pinFNameOut;
        for (std::int32_t index = 0; index < count; ++index)
            if (wide(entries[static_cast<std::size_t>(index)].fullPath) == chosen) {
                pinChoice = index;
                return;
            }
    }

private:
    // The host's resource folder (the first-generation host's resolution of the empty
    // name); empty when the host offers none.
    fs::path resourceFolder()
    {
        gmpi::IMpUserInterfaceHost* host = nullptr;
        if (!getHost() ||
            getHost()->queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&host)) != gmpi::MP_OK || !host)
            return {};
        wchar_t folder[500] = {};
        const std::int32_t result = host->resolveFilename(L"", 500, folder);
        host->release();
        folder[499] = L'\0';
        return result == gmpi::MP_OK ? fromPin(folder) : fs::path();
    }

    // Whether the process may read `path` (entries it may not are left out of listings).
    static bool readable(const fs::path& path) { return ::access(path.c_str(), R_OK) == 0; }

    // Lists the current folder in the order the file system gives, without sorting: folders
    // always, files whose extension equals the filter exactly (every file without filter).
    void scanCurrentPath()
    {
        const std::wstring chosen = pinFNameOut;
        entries.clear();
        count = 0;
        std::wostringstream list;
        std::int32_t choiceFound = -1;
        if (isFolder(currentFolder)) {
            std::error_code error;
            fs::directory_iterator it(currentFolder, fs::directory_options::skip_permission_denied, error);
            bool previousAccepted = false;
            for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
                // A comma written for a rejected entry serves the next accepted one; the
                // text may therefore end with a comma.
                if (previousAccepted)
                    list << L',';
                const fs::path& fullPath = it->path();
                std::error_code statusError;
                const bool folder = it->is_directory(statusError);
                const bool accepted = !statusError && readable(fullPath) &&
                                      (folder || filter.empty() || fullPath.extension().native() == filter);
                previousAccepted = accepted;
                if (!accepted)
                    continue;
                const std::wstring name = wide(fullPath.filename());
                list << name;
                if (folder)
                    list << L'/';
                entries.push_back({fullPath, folder});
                ++count;
                if (!chosen.empty() && choiceFound < 0 && wide(fullPath) == chosen)
                    choiceFound = count - 1;
            }
        }
        if (choiceFound >= 0)
            pinChoice = choiceFound;
        pinItemList = list.str();
    }
};

const bool registered = gmpi::Register<FileBrowser>::withId(L"FileBrowser");

}  // namespace
