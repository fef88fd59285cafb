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
// Second-generation GUI module base (sub-type 2). Slot order: IMpUserInterface2B, then
// the destructor, then pinTransmit.
class MpGuiBase2 : public gmpi::IMpUserInterface2B, public GuiPinOwner {
public:
    using Interface = gmpi::IMpUserInterface2;
    using Handler = void (Interface::*)();
    using IndexedHandler = void (Interface::*)(int);

    // IMpUnknown: MP_IID_GUI_PLUGIN2, MP_IID_GUI_PLUGIN2B and MP_IID_UNKNOWN give the
    // primary interface. Reference counting is left to the derived base.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t setHost(gmpi::IMpUnknown* host) override;
    std::int32_t initialize() override { return gmpi::MP_OK; }
    std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) override;
    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override;
    std::int32_t populateContextMenu(float x, float y, gmpi::IMpUnknown* contextMenuItemsSink) override;
    std::int32_t onContextMenu(std::int32_t selection) override;
    std::int32_t getToolTip(float x, float y, gmpi::IMpUnknown* returnString) override;
    std::int32_t notifyPin(std::int32_t pinId, std::int32_t voice) override;
    ~MpGuiBase2() override;
    // Calls the GUI host's pin transmit; MP_FAIL while no host is connected.
    std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data, std::int32_t voice = 0) override;

    // Binds `pin` at `index` (or, without an index, at 0 or one past the highest index
    // bound so far) with an optional handler.
    void initializePin(int index, MpGuiPinBase& pin, Handler handler = nullptr);
    void initializePin(int index, MpGuiPinBase& pin, IndexedHandler handler);
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
    gmpi::IMpUserInterfaceHost2* getHost() const { return uiHost; }

protected:
    gmpi::IMpUserInterfaceHost2* uiHost = nullptr;
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
// IMpUserInterface, connected through IMpLegacyInitialization.
class MpGuiBase_base : public gmpi::IMpUserInterface, public gmpi::IMpLegacyInitialization, public GuiPinOwner {
public:
    using Interface = gmpi::IMpUserInterface;
    using Handler = void (Interface::*)();
    using IndexedHandler = void (Interface::*)(int);

    // Connects to `host` when it is not null (see setHost).
    explicit MpGuiBase_base(gmpi::IMpUnknown* host);

    // MP_IID_UNKNOWN, MP_IID_GUI_PLUGIN and MP_IID_LEGACY_INITIALIZATION.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t initialize() override { return gmpi::MP_OK; }
    std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) override;
    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override;
    std::int32_t populateContextMenu(float x, float y, gmpi::IMpUnknown* contextMenuItemsSink) override;
    std::int32_t onContextMenu(std::int32_t selection) override;
    std::int32_t getToolTip(float x, float y, gmpi::IMpUnknown* returnString) override;
    std::int32_t notifyPin(std::int32_t pinId, std::int32_t voice) override;
    // Obtains MP_IID_UI_HOST; throws std::runtime_error("host Interfaces not supported")
    // when `host` lacks it. Called by the factory's createInstance, which catches.
    std::int32_t setHost(gmpi::IMpUnknown* host) override;
    virtual ~MpGuiBase_base();
    std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void* data, std::int32_t voice = 0) override;

    void initializePin(int index, MpGuiPinBase& pin, Handler handler = nullptr);
    void initializePin(int index, MpGuiPinBase& pin, IndexedHandler handler);
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

    gmpi::IMpUserInterfaceHost* getHost() const { return uiHost; }

protected:
    gmpi::IMpUserInterfaceHost* uiHost = nullptr;
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
