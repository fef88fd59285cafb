// The harness for one GUI module instance: creates it from a bundle by identifier (the
// descriptions' "gui" half, sub-type 2, or 1 for the first generation), connects the GUI
// host services, sets and notifies pins as a host does, and collects what the module
// sent: pin transmissions and messages to its DSP half. Tests, the validator and the
// patch engine all drive GUI modules through this class. Like a host's event loop, every
// call into a module first delivers the GUI timer ticks due on the platform clock
// (services/run_loop.h), except calls made while another call or a tick is running.
//
//   GuiModule module(bundle, *descriptions.find("KV_V2dB"));
//   module.start();                        // every pin's default, then initialize()
//   module.setPin("V", 5.0f);              // setPin + notifyPin
//   module.takeTransmissions();            // {pin "dB", -6.02...}
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/com_ptr.h"
#include "common/pin_value.h"
#include "drawing/drawing_surface.h"
#include "harness/context_menu.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"
#include "mp_gui_api.h"
#include "services/gui_host.h"

namespace mphost {

using GmpiDrawing_API::MP1_POINT;
using GmpiDrawing_API::MP1_RECT;
using GmpiDrawing_API::MP1_SIZE;

struct GuiModuleOptions {
    GuiHostSettings host;
    // Instances of each auto-duplicated pin, by pin name (1 when not given; 0 allowed).
    std::map<std::string, int> duplicates;
};

// An instantiated GUI pin: auto-duplicated pins appear once per instance, named "Name[k]".
struct GuiPin {
    std::string name;
    std::int32_t index = 0;
    const PinDescription* description = nullptr;
    std::int32_t datatype = 0;
    std::int32_t direction = 0;
    // The host's view: the last value the host set or the module transmitted.
    PinValue value;
};

// A value the module transmitted.
struct PinTransmission {
    std::int32_t pinIndex;
    std::string pinName;
    std::int32_t voice;
    PinValue value;  // decoded by the pin's datatype
    Bytes raw;       // the bytes as sent

    bool operator==(const PinTransmission&) const = default;
};

class GuiModule {
public:
    // Creates and connects the module. Throws HostError when the module has no GUI half,
    // cannot be created or refuses the host.
    GuiModule(std::shared_ptr<Bundle> bundle, const ModuleDescription& description, GuiModuleOptions options = {});
    ~GuiModule();
    GuiModule(const GuiModule&) = delete;
    GuiModule& operator=(const GuiModule&) = delete;

    const std::vector<GuiPin>& pins() const { return pinList; }
    // The pin named `name`; throws HostError naming the module's pins when absent.
    const GuiPin& pin(std::string_view name) const;
    const std::string& id() const { return moduleId; }
    int subType() const { return moduleSubType; }
    GuiHost& host() { return *guiHost; }
    // The primary interface (IMpUserInterface2B or IMpUserInterface).
    gmpi::IMpUnknown* object() const;

    // As a host does after creation: every pin's default value (setPin then notifyPin, in
    // index order), then initialize().
    void start();
    // As start(), with `values` (by pin name) in place of the defaults.
    void start(const std::map<std::string, PinValue>& values);
    std::int32_t initialize();

    // The host changes a value: setPin then notifyPin. The value must have the pin's
    // datatype. Returns setPin's result when it failed, otherwise notifyPin's.
    std::int32_t setPin(std::string_view pinName, const PinValue& value);
    // Unchecked forms, for any index and payload: setPin alone, notifyPin alone, or both.
    std::int32_t setPinOnly(std::int32_t pinIndex, const Bytes& payload, std::int32_t voice = 0);
    std::int32_t notifyPin(std::int32_t pinIndex, std::int32_t voice = 0);
    std::int32_t setPinRaw(std::int32_t pinIndex, const Bytes& payload, std::int32_t voice = 0);

    // The host's view of a pin's value.
    const PinValue& value(std::string_view pinName) const;

    // Transmissions since the last call, oldest first.
    std::vector<PinTransmission> takeTransmissions() { return std::exchange(transmissions, {}); }
    // Called for each transmission as it arrives (after it is recorded); it may call back
    // into the module, as a host routing the value to another pin of it would.
    void onTransmit(std::function<void(const PinTransmission&)> listener) { transmitListener = std::move(listener); }

    // One turn of the host's user-interface loop: the GUI timers due, then the completions
    // of file dialogs that have their scripted answer (host().fileDialogs()). Returns the
    // number of dialogs completed.
    int pump();

    // Messages the module sent to its DSP half since the last call, oldest first.
    std::vector<MessageToDsp> takeMessagesToDsp() { return guiHost->takeMessagesToDsp(); }
    // Delivers a message from the DSP half (the payload is copied for the call).
    std::int32_t sendMessageFromDsp(std::int32_t id, const Bytes& payload);

    // The context menu, as a host shows it on a right click: openContextMenu calls the
    // module's populateContextMenu at `point` (module-local) with a sink that collects the
    // items (none when the module declines); chooseContextMenuItem then tells the module
    // which item the user chose (onContextMenu with its id) and returns the module's result.
    std::vector<ContextMenuItem> openContextMenu(MP1_POINT point);
    std::int32_t chooseContextMenuItem(std::int32_t id);

    // Drawing modules (those answering SE_IID_GRAPHICS_MPGUI2 or SE_IID_GRAPHICS_MPGUI).
    // The operations below do nothing (and return MP_NOSUPPORT, an empty size or text)
    // for other modules.
    bool isGraphical() const { return graphics1 || graphics2; }
    // The size the module wants within `available` (as the module answered; 0 x 0 when
    // it failed).
    MP1_SIZE measure(MP1_SIZE available);
    // Gives the module its rectangle (host coordinates, surface pixels when rendered).
    void arrange(MP1_RECT rect);
    const MP1_RECT& arrangedRect() const { return arranged; }
    // Pointer input; points are module-local (origin at the module's top-left). The
    // module's result: MP_OK when it handled the event.
    std::int32_t pointerDown(std::int32_t flags, MP1_POINT point);
    std::int32_t pointerMove(std::int32_t flags, MP1_POINT point);
    std::int32_t pointerUp(std::int32_t flags, MP1_POINT point);
    // MP_OK when `point` (module-local) counts as inside; MP_OK for first-generation
    // graphics, which have no hit test.
    std::int32_t hitTest(MP1_POINT point);
    // The tooltip at `point` (module-local), empty when there is none.
    std::string toolTip(MP1_POINT point);
    // Draws the module into `surface` at its arranged rectangle: origin at the
    // rectangle's top-left, clipped to it.
    void render(DrawingSurface& surface);
    // Measures the module in width x height, arranges it at (0, 0) with that size and
    // draws it alone on a new transparent surface.
    DrawingSurface renderAlone(int width, int height);
    // What the module asked of its graphics host.
    GraphicsHost& graphicsHost() { return guiHost->graphics(); }

private:
    GuiPin& findPin(std::string_view name);
    const GuiPin& findPin(std::string_view name) const;
    GuiPin* pinByIndex(std::int32_t index);
    void received(std::int32_t pinId, std::int32_t voice, Bytes data);
    void findGraphics();
    gmpi_gui_api::IMpGraphics* graphics() const;

    std::shared_ptr<Bundle> bundle;
    std::string moduleId;
    int moduleSubType = 2;
    GuiModuleOptions options;
    std::vector<GuiPin> pinList;
    std::unique_ptr<GuiHost> guiHost;
    ComPtr<gmpi::IMpUserInterface2B> module2;  // sub-type 2
    ComPtr<gmpi::IMpUserInterface> module1;    // sub-type 1
    ComPtr<gmpi_gui_api::IMpGraphics2> graphics2;  // drawing modules
    ComPtr<gmpi_gui_api::IMpGraphics> graphics1;   // drawing modules without hit test
    MP1_RECT arranged{0, 0, 0, 0};
    std::vector<PinTransmission> transmissions;
    std::function<void(const PinTransmission&)> transmitListener;
};

}  // namespace mphost
