// The host services a GUI module reaches through MP_IID_UI_HOST2 and MP_IID_UI_HOST: pin
// transmission, messages to the DSP half, skin resources from a skin folder, host
// resources by type, file-name resolution and the pin list. One GuiHost serves one module
// instance; the harness owns it. All calls arrive on the user-interface thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/com_ptr.h"
#include "common/pin_value.h"
#include "mp_drawing_api.h"
#include "mp_gui_api.h"
#include "services/dsp_host.h"
#include "services/file_dialog.h"

namespace mphost {

struct GuiHostSettings {
    // Skin resources (images, image metadata, font files) are resolved and opened only
    // inside this folder. Empty: no skin, every resolution fails.
    std::filesystem::path skinFolder;
    // The host's resource folders by type ("Audio", "Image", "Instrument", "MIDI", ...).
    std::map<std::string, std::filesystem::path> resourceFolders;
    // Folders searched, in order, by the first-generation file-name resolution; the first
    // is the resource folder that the empty name resolves to.
    std::vector<std::filesystem::path> searchPaths;
    // Whether queryInterface offers the first-generation interface (MP_IID_UI_HOST).
    bool offerFirstGeneration = true;
    // The scripted user of the file dialogs, shared by the hosts of one patch. Null: the
    // host makes one of its own (GuiHost::fileDialogs).
    std::shared_ptr<FileDialogScript> fileDialogs;
};

// A message the GUI half sent to its DSP half (payload copied when sent).
struct MessageToDsp {
    std::int32_t id;
    Bytes data;
};

// What a drawing module asked of its graphics host.
struct GraphicsRequests {
    // invalidateRect calls, and whether one of them named the whole module (null).
    int invalidations = 0;
    bool wholeModuleInvalid = false;
    // Union of the rectangles named (module coordinates); empty when none was named.
    std::optional<GmpiDrawing_API::MP1_RECT> invalidArea;
    // invalidateMeasure calls.
    int measureRequests = 0;
    // Whether the module holds the pointer capture, and the setCapture and
    // releaseCapture calls.
    bool captured = false;
    int captures = 0;
    int releases = 0;
};

class GuiHost;

// The graphics host of one drawing module (gmpi_gui::SE_IID_GRAPHICS_HOST), part of its
// GuiHost: drawing factory, invalidation, measure requests and pointer capture.
class GraphicsHost final : public gmpi_gui::IMpGraphicsHost {
public:
    explicit GraphicsHost(GuiHost& owner) : owner(owner) {}

    // IMpUnknown: references count on the GuiHost; other interfaces are the GuiHost's.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override;
    std::int32_t release() override;

    std::int32_t reserved3() override { return gmpi::MP_NOSUPPORT; }
    void GetDrawingFactory(GmpiDrawing_API::IMpFactory** returnFactory) override;
    void invalidateRect(const GmpiDrawing_API::MP1_RECT* invalidRect) override;
    void invalidateMeasure() override { ++state.measureRequests; }
    std::int32_t setCapture() override;
    std::int32_t getCapture(std::int32_t& returnValue) override;
    std::int32_t releaseCapture() override;

    const GraphicsRequests& requests() const { return state; }
    // The requests since the last call; the capture state carries over.
    GraphicsRequests takeRequests();
    void setFactory(ComPtr<GmpiDrawing_API::IMpFactory> newFactory) { factory = std::move(newFactory); }
    const ComPtr<GmpiDrawing_API::IMpFactory>& drawingFactory() const { return factory; }

private:
    GuiHost& owner;
    ComPtr<GmpiDrawing_API::IMpFactory> factory;  // set by whoever drives the module; null: none
    GraphicsRequests state;
};

// The window services of any GUI module (gmpi_gui::SE_IID_GRAPHICS_HOST_BASE), part of its
// GuiHost: file dialogs, answered by the host's FileDialogScript.
class GraphicsHostBase final : public gmpi_gui::IMpGraphicsHostBase {
public:
    explicit GraphicsHostBase(GuiHost& owner) : owner(owner) {}

    // IMpUnknown: references count on the GuiHost; other interfaces are the GuiHost's.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override;
    std::int32_t release() override;
    std::int32_t createFileDialog(std::int32_t dialogType, gmpi_gui::IMpFileDialog** returnFileDialog) override;

private:
    GuiHost& owner;
};

class GuiHost final : public gmpi::IMpUserInterfaceHost2, public gmpi::IMpUserInterfaceHost {
public:
    // Called for every accepted pin transmission with the copied bytes.
    using TransmitSink = std::function<void(std::int32_t pinId, std::int32_t voice, Bytes data)>;

    GuiHost(GuiHostSettings settings, std::vector<InstantiatedPin> pins);
    GuiHost(const GuiHost&) = delete;
    GuiHost& operator=(const GuiHost&) = delete;
    // Drops the module's open file dialogs.
    ~GuiHost();

    // IMpUnknown. Owned by the harness: the count is kept for checks, nothing is deleted.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override { return ++references; }
    std::int32_t release() override { return --references; }

    // Both generations
    std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data, std::int32_t voice) override;
    std::int32_t reserved4() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t reserved5() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t sendMessageToAudio(std::int32_t id, std::int32_t size, const void* data) override;
    std::int32_t reserved7() override { return gmpi::MP_NOSUPPORT; }

    // IMpUserInterfaceHost2
    std::int32_t resolveSkinResource(const char* name, const char* kind, gmpi::IString* fullName) override;
    std::int32_t openSkinResource(const char* fullName, gmpi::IProtectedFile2** file) override;
    std::int32_t findHostResource(const char* fileName, const char* type, gmpi::IString* fullPath) override;

    // IMpUserInterfaceHost
    std::int32_t reserved8() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t reserved9() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t resolveFilename(const wchar_t* fileName, std::int32_t maxChars, wchar_t* returnFullFilename) override;
    std::int32_t createPinIterator(void** returnInterface) override;

    // The skin file for `name` of `kind`, or empty. Names may omit the extension (tried
    // per kind: Image .png .bmp .jpg, ImageMeta .txt); names leading outside the skin
    // folder are refused.
    std::filesystem::path findSkinFile(const std::string& name, const std::string& kind) const;
    // First-generation resolution: the empty name gives the first search path; absolute
    // names are kept; relative ones are looked up in the search paths (joined to the
    // first when none holds them).
    std::filesystem::path resolve(const std::filesystem::path& fileName) const;

    // The graphics host served to drawing modules.
    GraphicsHost& graphics() { return graphicsHost; }
    const GraphicsHost& graphics() const { return graphicsHost; }

    // The scripted answers of this host's file dialogs (shared with the other hosts of a
    // patch when the settings gave one).
    FileDialogScript& fileDialogs() { return *dialogs; }

    void setTransmitSink(TransmitSink sink) { transmitSink = std::move(sink); }
    std::vector<MessageToDsp> takeMessagesToDsp() { return std::exchange(messages, {}); }
    const GuiHostSettings& settings() const { return hostSettings; }
    std::int32_t referenceCount() const { return references; }

private:
    bool knowsPin(std::int32_t pinId) const;

    GuiHostSettings hostSettings;
    std::vector<InstantiatedPin> pins;
    TransmitSink transmitSink;
    std::vector<MessageToDsp> messages;
    std::int32_t references = 0;
    GraphicsHost graphicsHost{*this};
    GraphicsHostBase graphicsHostBase{*this};
    std::shared_ptr<FileDialogScript> dialogs;
};

}  // namespace mphost
