#include "services/gui_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <utility>

#include "common/com_ptr.h"
#include "services/file_name_reply.h"
#include "unicode_conversion.h"

namespace mphost {

namespace {

// A skin file read whole when opened (the host file object); deletes itself on its
// last release.
class SkinFile final : public HostOwnedObject<SkinFile, gmpi::IProtectedFile2> {
public:
    explicit SkinFile(std::vector<char> contents) : contents(std::move(contents)) {}

    std::int32_t read(void* buffer, std::int64_t bytes) override
    {
        if (bytes < 0 || (bytes > 0 && !buffer))
            return gmpi::MP_FAIL;
        const auto available = static_cast<std::int64_t>(contents.size() - position);
        if (bytes > available)
            return gmpi::MP_FAIL;  // a short read copies nothing
        std::memcpy(buffer, contents.data() + position, static_cast<std::size_t>(bytes));
        position += static_cast<std::size_t>(bytes);
        return gmpi::MP_OK;
    }
    std::int32_t reserved4() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t getSize(std::int64_t* bytes) override
    {
        if (!bytes)
            return gmpi::MP_FAIL;
        *bytes = static_cast<std::int64_t>(contents.size());
        return gmpi::MP_OK;
    }

private:
    std::vector<char> contents;
    std::size_t position = 0;
};

// Whether `path` (absolute, normalised) lies inside `folder` (absolute, normalised).
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder)
{
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty())
            continue;  // the trailing separator of "dir/"
        if (p == path.end() || *p != *f)
            return false;
    }
    return true;
}

bool isRegularFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::int32_t returnText(gmpi::IString* target, const std::string& text)
{
    if (!target)
        return gmpi::MP_FAIL;
    target->setData(text.data(), static_cast<std::int32_t>(text.size()));
    return gmpi::MP_OK;
}

}  // namespace

GuiHost::GuiHost(GuiHostSettings settings, std::vector<InstantiatedPin> pins)
    : hostSettings(std::move(settings)), pins(std::move(pins)), dialogs(hostSettings.fileDialogs)
{
    if (!dialogs)
        dialogs = std::make_shared<FileDialogScript>();
}

GuiHost::~GuiHost()
{
    dialogs->forget(this);
}

std::int32_t GraphicsHostBase::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    return owner.queryInterface(iid, returnInterface);
}

std::int32_t GraphicsHostBase::addRef()
{
    return owner.addRef();
}

std::int32_t GraphicsHostBase::release()
{
    return owner.release();
}

std::int32_t GraphicsHostBase::createFileDialog(std::int32_t dialogType, gmpi_gui::IMpFileDialog** returnFileDialog)
{
    if (!returnFileDialog)
        return gmpi::MP_FAIL;
    *returnFileDialog = nullptr;
    if (dialogType < gmpi_gui::MP_FILE_DIALOG_OPEN || dialogType > gmpi_gui::MP_FILE_DIALOG_FOLDER)
        return gmpi::MP_FAIL;
    *returnFileDialog = new HostFileDialog(owner.fileDialogs(), &owner, dialogType);
    return gmpi::MP_OK;
}

std::int32_t GuiHost::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UNKNOWN || iid == gmpi::MP_IID_UI_HOST2)
        *returnInterface = static_cast<gmpi::IMpUserInterfaceHost2*>(this);
    else if (iid == gmpi::MP_IID_UI_HOST && hostSettings.offerFirstGeneration)
        *returnInterface = static_cast<gmpi::IMpUserInterfaceHost*>(this);
    else if (iid == gmpi_gui::SE_IID_GRAPHICS_HOST)
        *returnInterface = static_cast<gmpi_gui::IMpGraphicsHost*>(&graphicsHost);
    else if (iid == gmpi_gui::SE_IID_GRAPHICS_HOST_BASE)
        *returnInterface = static_cast<gmpi_gui::IMpGraphicsHostBase*>(&graphicsHostBase);
    else
        return gmpi::MP_NOSUPPORT;
    addRef();
    return gmpi::MP_OK;
}

bool GuiHost::knowsPin(std::int32_t pinId) const
{
    return std::any_of(pins.begin(), pins.end(), [pinId](const InstantiatedPin& pin) { return pin.index == pinId; });
}

std::int32_t GuiHost::pinTransmit(std::int32_t pinId, std::int32_t size, const void* data, std::int32_t voice)
{
    if (size < 0 || (size > 0 && !data) || !knowsPin(pinId))
        return gmpi::MP_FAIL;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Bytes copy(bytes, bytes + size);
    if (transmitSink)
        transmitSink(pinId, voice, std::move(copy));
    return gmpi::MP_OK;
}

std::int32_t GuiHost::sendMessageToAudio(std::int32_t id, std::int32_t size, const void* data)
{
    if (size < 0 || (size > 0 && !data))
        return gmpi::MP_FAIL;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    messages.push_back({id, Bytes(bytes, bytes + size)});
    return gmpi::MP_OK;
}

std::filesystem::path GuiHost::findSkinFile(const std::string& name, const std::string& kind) const
{
    if (name.empty() || hostSettings.skinFolder.empty())
        return {};
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::absolute(hostSettings.skinFolder, error).lexically_normal();
    const std::filesystem::path given = std::filesystem::path(name);
    const std::filesystem::path candidate = (given.is_absolute() ? given : folder / given).lexically_normal();
    if (!isInside(candidate, folder))
        return {};
    if (isRegularFile(candidate))
        return candidate;
    if (candidate.has_extension())
        return {};
    static const std::map<std::string, std::vector<const char*>> extensionsByKind = {
        {"Image", {".png", ".bmp", ".jpg"}},
        {"ImageMeta", {".txt"}},
    };
    const auto extensions = extensionsByKind.find(kind);
    if (extensions == extensionsByKind.end())
        return {};
    for (const char* extension : extensions->second) {
        std::filesystem::path withExtension = candidate;
        withExtension += extension;
        if (isRegularFile(withExtension))
            return withExtension;
    }
    return {};
}

std::int32_t GuiHost::resolveSkinResource(const char* name, const char* kind, gmpi::IString* fullName)
{
    if (!name || !fullName)
        return gmpi::MP_FAIL;
    const std::filesystem::path found = findSkinFile(name, kind ? kind : "");
    if (found.empty())
        return gmpi::MP_FAIL;
    return returnText(fullName, found.string());
}

std::int32_t GuiHost::openSkinResource(const char* fullName, gmpi::IProtectedFile2** file)
{
    if (!file)
        return gmpi::MP_FAIL;
    *file = nullptr;
    if (!fullName)
        return gmpi::MP_FAIL;
    const std::filesystem::path path = findSkinFile(fullName, "");
    if (path.empty())
        return gmpi::MP_FAIL;
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return gmpi::MP_FAIL;
    std::vector<char> contents((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    *file = new SkinFile(std::move(contents));
    return gmpi::MP_OK;
}

std::int32_t GuiHost::findHostResource(const char* fileName, const char* type, gmpi::IString* fullPath)
{
    if (!fileName || !type || !fullPath || !*fileName)
        return gmpi::MP_FAIL;
    const auto folder = hostSettings.resourceFolders.find(type);
    if (folder == hostSettings.resourceFolders.end())
        return gmpi::MP_FAIL;
    const std::filesystem::path bare = std::filesystem::path(fileName);
    if (bare.has_parent_path() || bare.is_absolute())
        return gmpi::MP_FAIL;  // bare names only
    const std::filesystem::path candidate = folder->second / bare;
    if (!isRegularFile(candidate))
        return gmpi::MP_FAIL;
    return returnText(fullPath, candidate.string());
}

std::filesystem::path GuiHost::resolve(const std::filesystem::path& fileName) const
{
    const auto& searchPaths = hostSettings.searchPaths;
    if (fileName.empty())
        return searchPaths.empty() ? fileName : searchPaths.front();
    if (fileName.is_absolute() || searchPaths.empty())
        return fileName;
    std::error_code error;
    for (const auto& folder : searchPaths)
        if (std::filesystem::exists(folder / fileName, error))
            return folder / fileName;
    return searchPaths.front() / fileName;
}

std::int32_t GuiHost::resolveFilename(const wchar_t* fileName, std::int32_t maxChars, wchar_t* returnFullFilename)
{
    if (!fileName || !returnFullFilename || maxChars < 1)
        return gmpi::MP_FAIL;
    return replyFileName(resolve(std::filesystem::path(WStringToUtf8(fileName))), maxChars, returnFullFilename);
}

std::int32_t GuiHost::createPinIterator(void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    *returnInterface = static_cast<gmpi::IMpPinIterator*>(newPinIterator(pins));
    return gmpi::MP_OK;
}

// ---------------------------------------------------------------------------------
// Graphics host

std::int32_t GraphicsHost::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;
    return owner.queryInterface(iid, returnInterface);
}

std::int32_t GraphicsHost::addRef()
{
    return owner.addRef();
}

std::int32_t GraphicsHost::release()
{
    return owner.release();
}

void GraphicsHost::GetDrawingFactory(GmpiDrawing_API::IMpFactory** returnFactory)
{
    if (!returnFactory)
        return;
    *returnFactory = factory.get();
    if (factory)
        factory->addRef();
}

void GraphicsHost::invalidateRect(const GmpiDrawing_API::MP1_RECT* invalidRect)
{
    ++state.invalidations;
    const bool usable = invalidRect && std::isfinite(invalidRect->left) && std::isfinite(invalidRect->top) &&
                        std::isfinite(invalidRect->right) && std::isfinite(invalidRect->bottom);
    if (!usable) {
        // A rectangle that cannot be used invalidates everything.
        state.wholeModuleInvalid = true;
        return;
    }
    const GmpiDrawing_API::MP1_RECT rect{std::min(invalidRect->left, invalidRect->right),
                                         std::min(invalidRect->top, invalidRect->bottom),
                                         std::max(invalidRect->left, invalidRect->right),
                                         std::max(invalidRect->top, invalidRect->bottom)};
    if (!state.invalidArea) {
        state.invalidArea = rect;
        return;
    }
    auto& area = *state.invalidArea;
    area = {std::min(area.left, rect.left), std::min(area.top, rect.top), std::max(area.right, rect.right),
            std::max(area.bottom, rect.bottom)};
}

std::int32_t GraphicsHost::setCapture()
{
    ++state.captures;
    state.captured = true;
    return gmpi::MP_OK;
}

std::int32_t GraphicsHost::getCapture(std::int32_t& returnValue)
{
    returnValue = state.captured ? 1 : 0;
    return gmpi::MP_OK;
}

std::int32_t GraphicsHost::releaseCapture()
{
    ++state.releases;
    state.captured = false;
    return gmpi::MP_OK;
}

GraphicsRequests GraphicsHost::takeRequests()
{
    GraphicsRequests taken = state;
    state = {};
    state.captured = taken.captured;
    return taken;
}

}  // namespace mphost
