#include "mp_sdk_gui.h"

#include <cstring>
#include <stdexcept>

#include "unicode_conversion.h"

// ---------------------------------------------------------------------------------
// Pin value traits

namespace {

// int and float: unchanged when exactly 4 equal bytes arrive; otherwise the payload's
// bytes (at most 4) replace the stored ones.
template <typename T>
bool setFourBytes(T& value, int size, const void* data)
{
    static_assert(sizeof(T) == 4);
    if (size == 4 && std::memcmp(&value, data, 4) == 0)
        return false;
    if (size > 0)
        std::memcpy(&value, data, static_cast<std::size_t>(std::min(size, 4)));
    return true;
}

}  // namespace

bool MpGuiPinTraits<int>::set(int& value, int size, const void* data)
{
    return setFourBytes(value, size, data);
}

bool MpGuiPinTraits<float>::set(float& value, int size, const void* data)
{
    return setFourBytes(value, size, data);
}

bool MpGuiPinTraits<bool>::set(bool& value, int size, const void* data)
{
    if (size == 4) {
        std::int32_t word;
        std::memcpy(&word, data, sizeof word);
        value = word != 0;
        return true;
    }
    const bool newValue = size > 0 && *static_cast<const char*>(data) != 0;
    if (size == 1 && newValue == value)
        return false;
    value = newValue;
    return true;
}

bool MpGuiPinTraits<std::wstring>::set(std::wstring& value, int size, const void* data)
{
    if (static_cast<std::size_t>(size) == value.size() * sizeof(wchar_t) &&
        (size == 0 || std::memcmp(value.data(), data, static_cast<std::size_t>(size)) == 0))
        return false;
    value.assign(static_cast<const wchar_t*>(data), static_cast<std::size_t>(size) / sizeof(wchar_t));
    return true;
}

bool MpGuiPinTraits<MpBlob>::set(MpBlob& value, int size, const void* data)
{
    if (value.compare(static_cast<const char*>(data), size))
        return false;
    value.setValueRaw(static_cast<std::size_t>(size), data);
    return true;
}

StringGuiPin& StringGuiPin::operator=(const std::string& utf8)
{
    MpGuiPin<std::wstring>::operator=(Utf8ToWstring(utf8));
    return *this;
}

StringGuiPin::operator std::string() const
{
    return WStringToUtf8(value);
}

// ---------------------------------------------------------------------------------
// GuiPinOwner

GuiPinOwner::~GuiPinOwner()
{
    pins.clear();
}

std::int32_t GuiPinOwner::setPin2(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data)
{
    MpGuiPinBase* pin = getPin(pinId);
    if (!pin)
        return gmpi::MP_FAIL;
    if (pin->set(voice, size, data))
        pin->notify(voice);
    return gmpi::MP_OK;
}

MpGuiPinBase* GuiPinOwner::getPin(int index) const
{
    const auto found = pins.find(index);
    return found == pins.end() ? nullptr : found->second;
}

void GuiPinOwner::bindPin(int index, MpGuiPinBase& pin, IGuiCallback* callback)
{
    if (!pins.try_emplace(index, &pin).second) {
        delete callback;  // the index keeps its first pin
        return;
    }
    pin.index = index;
    pin.owner = this;
    delete pin.callback;
    pin.callback = callback;
}

int GuiPinOwner::nextPinIndex() const
{
    return pins.empty() ? 0 : pins.rbegin()->first + 1;
}

std::int32_t GuiPinOwner::storePinValue(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data)
{
    MpGuiPinBase* pin = getPin(pinId);
    if (!pin)
        return gmpi::MP_FAIL;
    pin->set(voice, size, data);
    return gmpi::MP_OK;
}

std::int32_t GuiPinOwner::notifyPinHandler(std::int32_t pinId, std::int32_t voice)
{
    MpGuiPinBase* pin = getPin(pinId);
    if (!pin)
        return gmpi::MP_FAIL;
    pin->notify(voice);
    return gmpi::MP_OK;
}

// ---------------------------------------------------------------------------------
// MpGuiBase2

std::int32_t MpGuiBase2::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_GUI_PLUGIN2 || iid == gmpi::MP_IID_GUI_PLUGIN2B || iid == gmpi::MP_IID_UNKNOWN) {
        *returnInterface = static_cast<gmpi::IMpUserInterface2B*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    return gmpi::MP_NOSUPPORT;
}

std::int32_t MpGuiBase2::setHost(gmpi::IMpUnknown* host)
{
    if (uiHost) {  // reconnecting drops the previous host
        uiHost->release();
        uiHost = nullptr;
    }
    if (!host)
        return gmpi::MP_NOSUPPORT;
    host->queryInterface(gmpi::MP_IID_UI_HOST2, reinterpret_cast<void**>(&uiHost));
    return uiHost ? gmpi::MP_OK : gmpi::MP_NOSUPPORT;
}

std::int32_t SeGuiInvisibleBase::release()
{
    const std::int32_t count = --refCount;
    if (count == 0)
        delete this;
    return count;
}

// ---------------------------------------------------------------------------------
// First generation

MpGuiBase_base::MpGuiBase_base(gmpi::IMpUnknown* host)
{
    if (host)
        setHost(host);
}

std::int32_t MpGuiBase_base::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UNKNOWN || iid == gmpi::MP_IID_GUI_PLUGIN)
        *returnInterface = static_cast<gmpi::IMpUserInterface*>(this);
    else if (iid == gmpi::MP_IID_LEGACY_INITIALIZATION)
        *returnInterface = static_cast<gmpi::IMpLegacyInitialization*>(this);
    else
        return gmpi::MP_NOSUPPORT;
    static_cast<gmpi::IMpUserInterface*>(this)->addRef();
    return gmpi::MP_OK;
}

std::int32_t MpGuiBase_base::setHost(gmpi::IMpUnknown* host)
{
    if (uiHost) {
        uiHost->release();
        uiHost = nullptr;
    }
    if (host)
        host->queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&uiHost));
    if (!uiHost)
        throw std::runtime_error("host Interfaces not supported");
    return gmpi::MP_OK;
}

std::int32_t MpGuiBase::release()
{
    const std::int32_t count = --refCount;
    if (count == 0)
        delete this;
    return count;
}

// ---------------------------------------------------------------------------------
// MpString

namespace gmpi_sdk {

std::int32_t MpString::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid != gmpi::MP_IID_UNKNOWN && iid != gmpi::MP_IID_RETURNSTRING)
        return gmpi::MP_NOSUPPORT;
    *returnInterface = static_cast<gmpi::IString*>(this);
    return gmpi::MP_OK;
}

std::int32_t MpString::setData(const char* data, std::int32_t size)
{
    if (size < 1 || !data)
        text.clear();
    else
        text.assign(data, static_cast<std::size_t>(size));
    return gmpi::MP_OK;
}

}  // namespace gmpi_sdk
