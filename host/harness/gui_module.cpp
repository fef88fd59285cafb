#include "harness/gui_module.h"

#include <algorithm>

#include "common/host_error.h"
#include "harness/module_pins.h"
#include "harness/return_string.h"
#include "services/run_loop.h"

namespace mphost {

namespace {

thread_local int callDepth = 0;

// Entered by every call into a module. The outermost call first runs the timers due, as
// a host's event loop delivers ticks between its events and never inside another call.
class ModuleCall {
public:
    ModuleCall()
    {
        if (callDepth++ == 0)
            runDueTimers();
    }
    ~ModuleCall() { --callDepth; }
    ModuleCall(const ModuleCall&) = delete;
    ModuleCall& operator=(const ModuleCall&) = delete;
};

}  // namespace

GuiModule::GuiModule(std::shared_ptr<Bundle> bundleToUse, const ModuleDescription& description,
                     GuiModuleOptions moduleOptions)
    : bundle(std::move(bundleToUse)), moduleId(description.id), options(std::move(moduleOptions))
{
    if (!description.gui)
        throw HostError("module \"" + moduleId + "\" has no GUI half");
    moduleSubType = description.gui->subType;

    std::vector<InstantiatedPin> instantiated =
        instantiatePins(description.gui->pins, options.duplicates, pinList,
                        [](GuiPin& pin, const PinDescription& pinDescription) { pin.value = pinDescription.defaultValue; });

    guiHost = std::make_unique<GuiHost>(options.host, std::move(instantiated));
    guiHost->graphics().setFactory(drawing::sharedFactory());
    guiHost->setTransmitSink(
        [this](std::int32_t pinId, std::int32_t voice, Bytes data) { received(pinId, voice, std::move(data)); });

    const std::wstring wideId = description.wideId();
    if (moduleSubType == gmpi::MP_SUB_TYPE_GUI) {
        // First generation: the factory connects the host and catches a refusal.
        ComPtr<gmpi::IMpUnknown> created;
        const std::int32_t result =
            bundle->factory()->createInstance(wideId.c_str(), gmpi::MP_SUB_TYPE_GUI,
                                              static_cast<gmpi::IMpUserInterfaceHost*>(guiHost.get()),
                                              created.receive());
        if (result != gmpi::MP_OK || !created)
            throw HostError("module \"" + moduleId + "\" (first-generation GUI) could not be created: " +
                            describeResult(result));
        module1 = created.as<gmpi::IMpUserInterface>(gmpi::MP_IID_GUI_PLUGIN);
        if (!module1)
            throw HostError("module \"" + moduleId + "\" is not a first-generation GUI module");
        findGraphics();
        return;
    }

    const ComPtr<gmpi::IMpUnknown> created = bundle->create(moduleSubType, wideId);
    module2 = created.as<gmpi::IMpUserInterface2B>(gmpi::MP_IID_GUI_PLUGIN2B);
    if (!module2)
        throw HostError("module \"" + moduleId + "\" is not a GUI module (no IMpUserInterface2B)");
    const std::int32_t result = module2->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(guiHost.get()));
    if (result != gmpi::MP_OK)
        throw HostError("module \"" + moduleId + "\" refused the GUI host: " + describeResult(result));
    findGraphics();
}

void GuiModule::findGraphics()
{
    const ComPtr<gmpi::IMpUnknown> unknown = ComPtr<gmpi::IMpUnknown>::adopt(object());
    unknown->addRef();
    graphics2 = unknown.as<gmpi_gui_api::IMpGraphics2>(gmpi_gui_api::SE_IID_GRAPHICS_MPGUI2);
    if (!graphics2)
        graphics1 = unknown.as<gmpi_gui_api::IMpGraphics>(gmpi_gui_api::SE_IID_GRAPHICS_MPGUI);
}

GuiModule::~GuiModule()
{
    // The module releases its host interfaces before the host goes.
    graphics2.reset();
    graphics1.reset();
    module2.reset();
    module1.reset();
}

int GuiModule::pump()
{
    const ModuleCall call;
    return guiHost->fileDialogs().deliver();
}

gmpi::IMpUnknown* GuiModule::object() const
{
    return module2 ? static_cast<gmpi::IMpUnknown*>(module2.get()) : static_cast<gmpi::IMpUnknown*>(module1.get());
}

GuiPin& GuiModule::findPin(std::string_view name)
{
    return const_cast<GuiPin&>(std::as_const(*this).findPin(name));
}

const GuiPin& GuiModule::findPin(std::string_view name) const
{
    return findPinNamed(pinList, name, moduleId, "GUI");
}

const GuiPin& GuiModule::pin(std::string_view name) const
{
    return findPin(name);
}

GuiPin* GuiModule::pinByIndex(std::int32_t index)
{
    return pinAtIndex(pinList, index);
}

void GuiModule::start()
{
    start({});
}

void GuiModule::start(const std::map<std::string, PinValue>& values)
{
    for (const auto& [name, value] : values)
        if (!holdsDatatype(value, findPin(name).datatype))
            throw HostError("pin \"" + name + "\" of \"" + moduleId + "\" takes " +
                            std::string(datatypeName(findPin(name).datatype)) + " values");
    for (const GuiPin& pin : pinList) {
        const auto given = values.find(pin.name);
        setPinRaw(pin.index, encodePinValue(given != values.end() ? given->second : pin.description->defaultValue));
    }
    initialize();
}

std::int32_t GuiModule::initialize()
{
    const ModuleCall call;
    return module2 ? module2->initialize() : module1->initialize();
}

std::int32_t GuiModule::setPin(std::string_view pinName, const PinValue& value)
{
    const GuiPin& pin = findPin(pinName);
    if (!holdsDatatype(value, pin.datatype))
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" takes " +
                        std::string(datatypeName(pin.datatype)) + " values");
    return setPinRaw(pin.index, encodePinValue(value));
}

std::int32_t GuiModule::setPinOnly(std::int32_t pinIndex, const Bytes& payload, std::int32_t voice)
{
    const ModuleCall call;
    if (GuiPin* pin = pinByIndex(pinIndex))
        pin->value = decodePinValue(pin->datatype, payload.data(), payload.size());
    const Bytes copy = payload;  // the module may not rely on the caller's memory
    const auto size = static_cast<std::int32_t>(copy.size());
    const void* data = copy.empty() ? nullptr : copy.data();
    return module2 ? module2->setPin(pinIndex, voice, size, data) : module1->setPin(pinIndex, voice, size, data);
}

std::int32_t GuiModule::notifyPin(std::int32_t pinIndex, std::int32_t voice)
{
    const ModuleCall call;
    return module2 ? module2->notifyPin(pinIndex, voice) : module1->notifyPin(pinIndex, voice);
}

std::int32_t GuiModule::setPinRaw(std::int32_t pinIndex, const Bytes& payload, std::int32_t voice)
{
    const ModuleCall call;
    const std::int32_t result = setPinOnly(pinIndex, payload, voice);
    if (result != gmpi::MP_OK)
        return result;
    return notifyPin(pinIndex, voice);
}

const PinValue& GuiModule::value(std::string_view pinName) const
{
    return findPin(pinName).value;
}

void GuiModule::received(std::int32_t pinId, std::int32_t voice, Bytes data)
{
    PinTransmission transmission{pinId, "", voice, data, data};
    if (GuiPin* pin = pinByIndex(pinId)) {
        transmission.pinName = pin->name;
        transmission.value = decodePinValue(pin->datatype, data.data(), data.size());
        pin->value = transmission.value;
    }
    transmissions.push_back(transmission);
    if (transmitListener)
        transmitListener(transmission);
}

std::int32_t GuiModule::sendMessageFromDsp(std::int32_t id, const Bytes& payload)
{
    const ModuleCall call;
    const Bytes copy = payload;
    const auto size = static_cast<std::int32_t>(copy.size());
    const void* data = copy.empty() ? nullptr : copy.data();
    return module2 ? module2->receiveMessageFromAudio(id, size, data) : module1->receiveMessageFromAudio(id, size, data);
}

// ---------------------------------------------------------------------------------
// Drawing modules

gmpi_gui_api::IMpGraphics* GuiModule::graphics() const
{
    return graphics2 ? static_cast<gmpi_gui_api::IMpGraphics*>(graphics2.get()) : graphics1.get();
}

MP1_SIZE GuiModule::measure(MP1_SIZE available)
{
    const ModuleCall call;
    MP1_SIZE desired{0, 0};
    if (auto* module = graphics(); module && module->measure(available, &desired) != gmpi::MP_OK)
        desired = {0, 0};
    return desired;
}

void GuiModule::arrange(MP1_RECT rect)
{
    const ModuleCall call;
    arranged = rect;
    if (auto* module = graphics())
        module->arrange(rect);
}

std::int32_t GuiModule::pointerDown(std::int32_t flags, MP1_POINT point)
{
    const ModuleCall call;
    auto* module = graphics();
    return module ? module->onPointerDown(flags, point) : gmpi::MP_NOSUPPORT;
}

std::int32_t GuiModule::pointerMove(std::int32_t flags, MP1_POINT point)
{
    const ModuleCall call;
    auto* module = graphics();
    return module ? module->onPointerMove(flags, point) : gmpi::MP_NOSUPPORT;
}

std::int32_t GuiModule::pointerUp(std::int32_t flags, MP1_POINT point)
{
    const ModuleCall call;
    auto* module = graphics();
    return module ? module->onPointerUp(flags, point) : gmpi::MP_NOSUPPORT;
}

std::int32_t GuiModule::hitTest(MP1_POINT point)
{
    const ModuleCall call;
    if (graphics2)
        return graphics2->hitTest(point);
    return graphics1 ? gmpi::MP_OK : gmpi::MP_NOSUPPORT;
}

std::vector<ContextMenuItem> GuiModule::openContextMenu(MP1_POINT point)
{
    const ModuleCall call;
    ContextMenuSink sink;
    const std::int32_t result = module2 ? module2->populateContextMenu(point.x, point.y, &sink)
                                        : module1->populateContextMenu(point.x, point.y, &sink);
    if (result != gmpi::MP_OK)
        return {};
    return std::move(sink.items);
}

std::int32_t GuiModule::chooseContextMenuItem(std::int32_t id)
{
    const ModuleCall call;
    return module2 ? module2->onContextMenu(id) : module1->onContextMenu(id);
}

std::string GuiModule::toolTip(MP1_POINT point)
{
    const ModuleCall call;
    ReturnString text;
    if (!graphics2 || graphics2->getToolTip(point, &text) != gmpi::MP_OK)
        return {};
    return text.text;
}

void GuiModule::render(DrawingSurface& surface)
{
    const ModuleCall call;
    auto* module = graphics();
    if (!module)
        return;
    surface.setOrigin(arranged.left, arranged.top, &arranged);
    module->OnRender(surface.deviceContext());
    surface.resetOrigin();
}

DrawingSurface GuiModule::renderAlone(int width, int height)
{
    DrawingSurface surface(width, height, guiHost->graphics().drawingFactory());
    // Measured as a host does before arranging; the module gets the whole surface
    // whatever it asks for, as in a fixed panel slot.
    measure({static_cast<float>(surface.width()), static_cast<float>(surface.height())});
    arrange({0, 0, static_cast<float>(surface.width()), static_cast<float>(surface.height())});
    render(surface);
    return surface;
}

}  // namespace mphost
