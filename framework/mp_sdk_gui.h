// The GUI module bases and the GUI pins.
//
// A GUI module derives from SeGuiInvisibleBase (no drawing) or from the graphics base,
// binds its pins in its constructor with initializePin (indices follow declaration
// order), each optionally with a handler named onSet plus the pin's role, and sends
// values by assigning its pins. The host stores values with setPin and then runs the
// pin's handler with notifyPin; assignments transmit only changes and never call the
// module's own handler. Everything here runs on the host's user-interface thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "mp_gui_api.h"
#include "mp_sdk_common.h"

class MpGuiPinBase;

// A pin handler bound to its module: called with the voice of the notification.
class IGuiCallback {
public:
    virtual ~IGuiCallback() = default;
    virtual void operator()(int voice) = 0;
};

// Calls a handler without arguments on the module.
template <class I>
class IGuiPinCallback : public IGuiCallback {
public:
    IGuiPinCallback(I* module, void (I::*handler)()) : module(module), handler(handler) {}
    void operator()(int /*voice*/) override { (module->*handler)(); }

private:
    I* module;
    void (I::*handler)();
};

// Calls a handler that takes the voice on the module.
template <class I>
class IGuiPinCallbackIndexed : public IGuiCallback {
public:
    IGuiPinCallbackIndexed(I* module, void (I::*handler)(int)) : module(module), handler(handler) {}
    void operator()(int voice) override { (module->*handler)(voice); }

private:
    I* module;
    void (I::*handler)(int);
};

// What GUI pins are bound to: keeps the pins by index and sends their values out.
class GuiPinOwner {
public:
    GuiPinOwner() = default;
    GuiPinOwner(const GuiPinOwner&) = delete;
    GuiPinOwner& operator=(const GuiPinOwner&) = delete;

    // Sends `size` bytes as the value of pin `pinId` through the host; the host's result.
    virtual std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data, std::int32_t voice = 0) = 0;

    // Stores a value and runs the pin's handler only when the value changed. MP_FAIL for
    // an unbound pin.
    std::int32_t setPin2(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data);
    // The pin bound at `index`, or null.
    MpGuiPinBase* getPin(int index) const;

protected:
    virtual ~GuiPinOwner();

    // Binds `pin` at `index` with `callback` (owned by the pin from then on, may be null).
    // An index already bound keeps its first pin.
    void bindPin(int index, MpGuiPinBase& pin, IGuiCallback* callback);
    // The index for a pin bound without one: 0 first, then one past the highest bound.
    int nextPinIndex() const;
    // The pin machinery behind setPin and notifyPin of both module generations.
    std::int32_t storePinValue(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data);
    std::int32_t notifyPinHandler(std::int32_t pinId, std::int32_t voice);

    std::map<int, MpGuiPinBase*> pins;  // the pins are members of the module
};

// A connection point of a GUI module: holds a value and, optionally, a handler.
class MpGuiPinBase {
public:
    MpGuiPinBase() = default;
    MpGuiPinBase(const MpGuiPinBase&) = delete;
    virtual ~MpGuiPinBase() { delete callback; }

    // Stores `size` bytes of wire form; true when the value changed. A null `data` or a
    // negative size counts as an empty payload.
    virtual bool set(int voice, int size, const void* data) = 0;
    virtual int getDatatype() const = 0;
    // The value's wire form.
    virtual int rawSize() const = 0;
    virtual const void* rawData() const = 0;
    // GUI pins have no default handler.
    virtual IGuiCallback* getDefaultEventHandler() { return nullptr; }

    int getIndex() const { return index; }
    // Runs the handler, if any.
    void notify(int voice)
    {
        if (callback)
            (*callback)(voice);
    }

protected:
    friend class GuiPinOwner;

    // Sends the current value through the owner (nothing while unbound).
    void transmit()
    {
        if (owner)
            owner->pinTransmit(index, rawSize(), rawData(), 0);
    }

    int index = -1;
    GuiPinOwner* owner = nullptr;
    IGuiCallback* callback = nullptr;
};

// How each value type is compared with and taken from a payload.
template <typename T>
struct MpGuiPinTraits;

template <>
struct MpGuiPinTraits<int> {
    static constexpr int datatype = gmpi::MP_INT32;
    static bool set(int& value, int size, const void* data);
    static int rawSize(const int&) { return sizeof(int); }
    static const void* rawData(const int& value) { return &value; }
};

template <>
struct MpGuiPinTraits<float> {
    static constexpr int datatype = gmpi::MP_FLOAT32;
    static bool set(float& value, int size, const void* data);  // compared bitwise
    static int rawSize(const float&) { return sizeof(float); }
    static const void* rawData(const float& value) { return &value; }
};

template <>
struct MpGuiPinTraits<bool> {
    static constexpr int datatype = gmpi::MP_BOOL;
    // A 4-byte payload is an int32 (non-zero is true) and always counts as a change.
    static bool set(bool& value, int size, const void* data);
    static int rawSize(const bool&) { return 1; }
    static const void* rawData(const bool& value) { return &value; }
};

template <>
struct MpGuiPinTraits<std::wstring> {
    static constexpr int datatype = gmpi::MP_STRING;
    // size / 4 characters; a remainder is dropped.
    static bool set(std::wstring& value, int size, const void* data);
    static int rawSize(const std::wstring& value) { return static_cast<int>(value.size() * sizeof(wchar_t)); }
    static const void* rawData(const std::wstring& value) { return value.data(); }
};

template <>
struct MpGuiPinTraits<MpBlob> {
    static constexpr int datatype = gmpi::MP_BLOB;
    static bool set(MpBlob& value, int size, const void* data);
    static int rawSize(const MpBlob& value) { return value.getSize(); }
    static const void* rawData(const MpBlob& value) { return value.getData(); }
};

// A GUI pin of value type int, float, bool, std::wstring or MpBlob.
template <typename T>
class MpGuiPin : public MpGuiPinBase {
public:
    bool set(int /*voice*/, int size, const void* data) override
    {
        if (!data || size < 0)
            size = 0;
        return MpGuiPinTraits<T>::set(value, size, data);
    }
    int getDatatype() const override { return MpGuiPinTraits<T>::datatype; }
    int rawSize() const override { return MpGuiPinTraits<T>::rawSize(value); }
    const void* rawData() const override { return MpGuiPinTraits<T>::rawData(value); }

    // Stores a different value and transmits it; an equal value sends nothing. The pin's
    // own handler is not called.
    MpGuiPin& operator=(const T& newValue)
    {
        if (!(newValue == value)) {
            value = newValue;
            transmit();
        }
        return *this;
    }
    // Takes the other pin's value, as above.
    MpGuiPin& operator=(const MpGuiPin& other) { return *this = other.value; }

    const T& getValue() const { return value; }
    operator const T&() const { return value; }

protected:
    T value{};
};

// Text pin with UTF-8 views.
class StringGuiPin : public MpGuiPin<std::wstring> {
public:
    using MpGuiPin<std::wstring>::operator=;
    StringGuiPin& operator=(const StringGuiPin& other)
    {
        MpGuiPin<std::wstring>::operator=(other);
        return *this;
    }
    // Assigns UTF-8 text (ill-formed sequences become U+FFFD).
    StringGuiPin& operator=(const std::string& utf8);
    StringGuiPin& operator=(const char* utf8) { return *this = std::string(utf8 ? utf8 : ""); }
    // The value as UTF-8.
    operator std::string() const;
};

// ---------------------------------------------------------------------------------
// What both GUI module generations share: the pin machinery, the default handlers and
// the connection to the GUI host. `Interface` is the generation's module interface (pin
// handlers are its members), `HostInterface` the host interface it obtains, `Bases` the
// interfaces the module implements, the primary one first.
//
// Binary layout: after the primary interface's slots come, in declaration order, the
// functions overriding the other bases: setHost (first generation only, as the second
// generation's primary interface has it), the destructor's two entries, pinTransmit.
template <class Interface_, class HostInterface, class... Bases>
class GuiModuleBase : public Bases..., public GuiPinOwner {
public:
    using Interface = Interface_;
    using Handler = void (Interface::*)();
    using IndexedHandler = void (Interface::*)(int);

    std::int32_t initialize() override { return gmpi::MP_OK; }
    // Store the value / run the pin's handler; MP_FAIL for an unbound pin.
    std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) override
    {
        return storePinValue(pinId, voice, size, data);
    }
    std::int32_t notifyPin(std::int32_t pinId, std::int32_t voice) override { return notifyPinHandler(pinId, voice); }
    // No messages, context menu or tool tip by default.
    std::int32_t receiveMessageFromAudio(std::int32_t, std::int32_t, const void*) override { return gmpi::MP_FAIL; }
    std::int32_t populateContextMenu(float, float, gmpi::IMpUnknown*) override { return gmpi::MP_FAIL; }
    std::int32_t onContextMenu(std::int32_t) override { return gmpi::MP_FAIL; }
    std::int32_t getToolTip(float, float, gmpi::IMpUnknown*) override { return gmpi::MP_FAIL; }
    // Connects to the GUI host (each generation its own way); declared here for the slot order.
    std::int32_t setHost(gmpi::IMpUnknown* host) override = 0;
    ~GuiModuleBase() override
    {
        if (uiHost)
            uiHost->release();
    }
    // Calls the GUI host's pin transmit; MP_FAIL while no host is connected.
    std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data, std::int32_t voice = 0) override
    {
        return uiHost ? uiHost->pinTransmit(pinId, size, data, voice) : gmpi::MP_FAIL;
    }

    // Binds `pin` at `index` (or, without an index, at 0 or one past the highest index
    // bound so far) with an optional handler.
    void initializePin(int index, MpGuiPinBase& pin, Handler handler = nullptr)
    {
        bindPin(index, pin, handler ? new IGuiPinCallback<Interface>(this, handler) : nullptr);
    }
    void initializePin(int index, MpGuiPinBase& pin, IndexedHandler handler)
    {
        bindPin(index, pin, handler ? new IGuiPinCallbackIndexed<Interface>(this, handler) : nullptr);
    }
    void initializePin(MpGuiPinBase& pin, Handler handler = nullptr) { initializePin(nextPinIndex(), pin, handler); }
    void initializePin(MpGuiPinBase& pin, IndexedHandler handler) { initializePin(nextPinIndex(), pin, handler); }
    template <class Module>
    void initializePin(int index, MpGuiPinBase& pin, void (Module::*handler)())
    {
        initializePin(index, pin, static_cast<Handler>(handler));
    }
    template <class Module>
    void initializePin(int index, MpGuiPinBase& pin, void (Module::*handler)(int))
    {
        initializePin(index, pin, static_cast<IndexedHandler>(handler));
    }
    template <class Module>
    void initializePin(MpGuiPinBase& pin, void (Module::*handler)())
    {
        initializePin(nextPinIndex(), pin, static_cast<Handler>(handler));
    }
    template <class Module>
    void initializePin(MpGuiPinBase& pin, void (Module::*handler)(int))
    {
        initializePin(nextPinIndex(), pin, static_cast<IndexedHandler>(handler));
    }

    // The GUI host, or null before setHost.
    HostInterface* getHost() const { return uiHost; }

protected:
    HostInterface* uiHost = nullptr;
};

// ---------------------------------------------------------------------------------
// Second-generation GUI module base (sub-type 2). Slot order: IMpUserInterface2B, then
// the destructor, then pinTransmit.
class MpGuiBase2
    : public GuiModuleBase<gmpi::IMpUserInterface2, gmpi::IMpUserInterfaceHost2, gmpi::IMpUserInterface2B> {
public:
    // IMpUnknown: MP_IID_GUI_PLUGIN2, MP_IID_GUI_PLUGIN2B and MP_IID_UNKNOWN give the
    // primary interface. Reference counting is left to the derived base.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    // Obtains MP_IID_UI_HOST2; MP_NOSUPPORT when `host` is null or lacks it.
    std::int32_t setHost(gmpi::IMpUnknown* host) override;
};

// Base of the GUI modules that do not draw: adds the reference count.
class SeGuiInvisibleBase : public MpGuiBase2 {
public:
    std::int32_t addRef() override { return ++refCount; }
    std::int32_t release() override;

protected:
    std::int32_t refCount = 1;
};

// ---------------------------------------------------------------------------------
// First-generation GUI module base (sub-type 1): the same pin machinery on
// IMpUserInterface, connected through IMpLegacyInitialization. Slot order:
// IMpUserInterface, then setHost, the destructor and pinTransmit.
class MpGuiBase_base : public GuiModuleBase<gmpi::IMpUserInterface, gmpi::IMpUserInterfaceHost,
                                            gmpi::IMpUserInterface, gmpi::IMpLegacyInitialization> {
public:
    // Connects to `host` when it is not null (see setHost).
    explicit MpGuiBase_base(gmpi::IMpUnknown* host);

    // MP_IID_UNKNOWN, MP_IID_GUI_PLUGIN and MP_IID_LEGACY_INITIALIZATION.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    // Obtains MP_IID_UI_HOST; throws std::runtime_error("host Interfaces not supported")
    // when `host` lacks it. Called by the factory's createInstance, which catches.
    std::int32_t setHost(gmpi::IMpUnknown* host) override;
};

// First-generation base with the reference count (starts at 1).
class MpGuiBase : public MpGuiBase_base {
public:
    explicit MpGuiBase(gmpi::IMpUnknown* host) : MpGuiBase_base(host) {}
    std::int32_t addRef() override { return ++refCount; }
    std::int32_t release() override;

protected:
    std::int32_t refCount = 1;
};

// ---------------------------------------------------------------------------------
namespace gmpi_sdk {

// Holds one reference to a host object (any IMpUnknown-derived interface) and releases
// it when destroyed; copying adds a reference.
template <class I>
class mp_shared_ptr {
public:
    mp_shared_ptr() = default;
    // Adds a reference to `object`.
    explicit mp_shared_ptr(I* object) : object(object)
    {
        if (object)
            object->addRef();
    }
    mp_shared_ptr(const mp_shared_ptr& other) : mp_shared_ptr(other.object) {}
    mp_shared_ptr(mp_shared_ptr&& other) noexcept : object(other.object) { other.object = nullptr; }
    mp_shared_ptr& operator=(mp_shared_ptr other) noexcept
    {
        I* held = object;
        object = other.object;
        other.object = held;
        return *this;
    }
    ~mp_shared_ptr()
    {
        if (object)
            object->release();
    }
    // Releases the current reference and gives the slot for an out parameter that hands
    // over a reference.
    I** put()
    {
        *this = mp_shared_ptr();
        return &object;
    }
    I* get() const { return object; }
    I* operator->() const { return object; }
    explicit operator bool() const { return object != nullptr; }

private:
    I* object = nullptr;
};

// The IString modules pass to the host for returned text. Lives where the caller puts it
// (usually on the stack): reference counting changes nothing.
class MpString final : public gmpi::IString {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    std::int32_t setData(const char* data, std::int32_t size) override;
    std::int32_t getSize() override { return static_cast<std::int32_t>(text.size()); }
    const char* getData() override { return text.c_str(); }

    const std::string& str() const { return text; }

private:
    std::string text;
};

}  // namespace gmpi_sdk
