// A file requester without drawing of its own: a press and release of Open (true, then
// false) shows the host's file dialog; the file the user picks is written to FileName, by
// bare name when it lies in the host's resource folder of its type, and Done pulses. A
// cancel leaves FileName as it was. GUI only; user-interface thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mp_drawing_api.h"
#include "mp_sdk_gui.h"
#include "text_utilities.h"

namespace {

// The host resource type of files with extension `extension` (exact, case-sensitive), or
// null for files kept by full path.
const char* resourceType(const std::string& extension)
{
    if (extension == "sf2" || extension == "sfz")
        return "Instrument";
    if (extension == "png" || extension == "bmp" || extension == "jpg")
        return "Image";
    if (extension == "wav")
        return "Audio";
    if (extension == "mid")
        return "MIDI";
    return nullptr;
}

// The extensions of an Extensions text such as "wav,aif" or "*.wav *.aif", without dots;
// "*" stands for any file.
std::vector<std::string> extensionList(const std::string& text)
{
    std::vector<std::string> tokens;
    SplitString(text.c_str(), tokens);
    std::vector<std::string> extensions;
    for (const std::string& token : tokens) {
        std::string_view extension(token);  // "*.*" becomes "*"
        if (extension.starts_with("*."))
            extension.remove_prefix(2);
        else if (extension.starts_with("."))
            extension.remove_prefix(1);
        if (!extension.empty())
            extensions.emplace_back(extension);
    }
    return extensions;
}

class FileReq;

// The completion callback handed to the host with a shown dialog. It outlives its module
// when the host still holds it: the module detaches it when it goes.
class DialogCompletion final : public gmpi_gui::IMpCompletionCallback {
public:
    explicit DialogCompletion(FileReq* owner) : owner(owner) {}

    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi_gui::SE_IID_COMPLETION_CALLBACK && iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = static_cast<gmpi_gui::IMpCompletionCallback*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return ++refCount; }
    std::int32_t release() override
    {
        const std::int32_t count = --refCount;
        if (count == 0)
            delete this;
        return count;
    }
    void OnComplete(std::int32_t result) override;

    void detach() { owner = nullptr; }

private:
    FileReq* owner;
    std::int32_t refCount = 1;
};

// 0 FileName, 1 Extensions, 2 DialogType, 3 Open, 4 Done (out).
class FileReq : public SeGuiInvisibleBase {
    StringGuiPin pinFileName;
    StringGuiPin pinExtensions;
    MpGuiPin<int> pinDialogType;
    MpGuiPin<bool> pinOpen;
    MpGuiPin<bool> pinDone;

    bool armed = false;                                 // Open was pressed (true)
    gmpi_sdk::mp_shared_ptr<gmpi_gui::IMpFileDialog> dialog;  // while one shows
    DialogCompletion* completion = nullptr;             // our reference, while one shows

public:
    FileReq()
    {
        initializePin(pinFileName);
        initializePin(pinExtensions);
        initializePin(pinDialogType);
        initializePin(pinOpen, &FileReq::onSetOpen);
        initializePin(pinDone);
    }

    ~FileReq() override { closeDialog(); }

    // A press arms; its release opens the dialog.
    void onSetOpen()
    {
        if (pinOpen) {
            armed = true;
            return;
        }
        if (!armed)
            return;
        armed = false;
        openDialog();
    }

    void OnFileDialogComplete(std::int32_t result)
    {
        if (result != gmpi::MP_OK || !dialog) {
            closeDialog();  // cancelled: FileName stays
            return;
        }
        gmpi_sdk::MpString selected;
        const bool haveSelection = dialog->GetSelectedFilename(&selected) == gmpi::MP_OK;
        closeDialog();
        if (!haveSelection)
            return;
        std::string path = selected.str();
        // Files in the host's resource folders are stored by name only.
        if (const char* type = resourceType(GetExtension(path)); type && getHost()) {
            const std::string bareName = StripPath(path);
            gmpi_sdk::MpString found;
            if (getHost()->findHostResource(bareName.c_str(), type, &found) == gmpi::MP_OK && found.str() == path)
                path = bareName;
        }
        pinFileName = path;
        pinDone = true;
        pinDone = false;
    }

private:
    void openDialog()
    {
        if (dialog || !getHost())
            return;  // one dialog at a time: the host's dialogs are modal
        gmpi_sdk::mp_shared_ptr<gmpi_gui::IMpGraphicsHostBase> graphicsHost;
        if (getHost()->queryInterface(gmpi_gui::SE_IID_GRAPHICS_HOST_BASE,
                                      reinterpret_cast<void**>(graphicsHost.put())) != gmpi::MP_OK ||
            !graphicsHost)
            return;
        gmpi_sdk::mp_shared_ptr<gmpi_gui::IMpFileDialog> created;
        if (graphicsHost->createFileDialog(pinDialogType, created.put()) != gmpi::MP_OK || !created)
            return;
        for (const std::string& extension : extensionList(pinExtensions))
            created->AddExtension(extension.c_str(), "");
        const std::string initialPath = pinFileName;
        created->SetInitialFullPath(initialPath.c_str());

        dialog = created;
        completion = new DialogCompletion(this);
        if (created->ShowAsync(completion) != gmpi::MP_OK)
            closeDialog();
    }

    void closeDialog()
    {
        dialog = {};
        if (completion) {
            completion->detach();
            completion->release();
            completion = nullptr;
        }
    }
};

void DialogCompletion::OnComplete(std::int32_t result)
{
    if (owner)
        owner->OnFileDialogComplete(result);
}

const bool registered = gmpi::Register<FileReq>::withId(L"FileReq");

}  // namespace
