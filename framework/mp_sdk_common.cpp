#include "mp_sdk_common.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {
MpFactory* factoryInstance = nullptr;
}

MpFactory* Factory()
{
    if (!factoryInstance)
        factoryInstance = new MpFactory();
    return factoryInstance;
}

factory_deleter_helper::~factory_deleter_helper()
{
    delete Factory();
    factoryInstance = nullptr;
}

// Constructed during static initialisation; its destructor runs when the bundle unloads.
static factory_deleter_helper grim_reaper;

std::int32_t RegisterPlugin(std::int32_t subType, const wchar_t* uniqueId, gmpi::IMpUnknown* (*create)())
{
    return Factory()->RegisterPlugin(uniqueId, subType, create);
}

std::int32_t RegisterPluginXml(const char* /*xml*/)
{
    return 0;
}

extern "C" __attribute__((visibility("default"))) std::int32_t MP_GetFactory(void** returnInterface)
{
    return Factory()->queryInterface(gmpi::MP_IID_UNKNOWN, returnInterface);
}

std::int32_t MpFactory::RegisterPlugin(const wchar_t* uniqueId, std::int32_t subType, gmpi::MpCreatorFunction create)
{
    if (uniqueId)
        registry.try_emplace({subType, std::wstring(uniqueId)}, create);
    return 0;
}

std::int32_t MpFactory::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UNKNOWN || iid == gmpi::MP_IID_FACTORY || iid == gmpi::MP_IID_FACTORY2) {
        *returnInterface = static_cast<gmpi::IMpFactory2*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    return gmpi::MP_NOSUPPORT;
}

std::int32_t MpFactory::create(const wchar_t* uniqueId, std::int32_t subType, void** returnInterface)
{
    *returnInterface = nullptr;
    if (!uniqueId)
        return gmpi::MP_NOSUPPORT;
    const auto found = registry.find({subType, std::wstring(uniqueId)});
    if (found == registry.end() || found->second == nullptr)
        return gmpi::MP_NOSUPPORT;
    try {
        *returnInterface = found->second();
    } catch (...) {
        return gmpi::MP_FAIL;
    }
    return gmpi::MP_OK;
}

std::int32_t MpFactory::createInstance(const wchar_t* uniqueId, std::int32_t subType, gmpi::IMpUnknown* host,
                                       void** returnInterface)
{
    const std::int32_t result = create(uniqueId, subType, returnInterface);
    if (result != gmpi::MP_OK || *returnInterface == nullptr)
        return result;
    auto* object = static_cast<gmpi::IMpUnknown*>(*returnInterface);
    if (auto* legacy = dynamic_cast<gmpi::IMpLegacyInitialization*>(object)) {
        try {
            legacy->setHost(host);
        } catch (...) {
            // A module that refuses the host is of no use to it: released here rather
            // than handed over with a failure the caller may not expect to own.
            object->release();
            *returnInterface = nullptr;
            return gmpi::MP_FAIL;
        }
    }
    return gmpi::MP_OK;
}

std::int32_t MpFactory::createInstance2(const wchar_t* uniqueId, std::int32_t subType, void** returnInterface)
{
    return create(uniqueId, subType, returnInterface);
}

std::int32_t MpFactory::getSdkInformation(std::int32_t& returnSdkVersion, std::int32_t maxChars,
                                          wchar_t* returnCompilerInformation)
{
    returnSdkVersion = sdkVersion;
    std::wostringstream text;
    text << L"GCC Compiler V" << 1002 << L" (Release)";
    const std::wstring information = text.str();
    if (returnCompilerInformation && maxChars > 0) {
        const std::size_t count = std::min(information.size(), static_cast<std::size_t>(maxChars) - 1);
        std::copy_n(information.data(), count, returnCompilerInformation);
        returnCompilerInformation[count] = L'\0';
    }
    return gmpi::MP_OK;
}

void MpBlob::setValueRaw(std::size_t newSize, const void* newData)
{
    if (newSize != size) {
        delete[] data;
        size = capacity = newSize;
        data = new char[newSize];
    }
    if (newSize != 0)
        std::memcpy(data, newData, newSize);
}

void MpBlob::resize(int newSize)
{
    if (static_cast<std::int64_t>(capacity) < newSize) {
        delete[] data;
        data = new char[static_cast<std::size_t>(newSize)];
        capacity = static_cast<std::uint64_t>(newSize);
    }
    size = newSize < 0 ? 0 : static_cast<std::uint64_t>(newSize);
}

bool MpBlob::compare(const char* otherData, int otherSize) const
{
    if (otherSize < 0 || static_cast<std::uint64_t>(otherSize) != size)
        return false;
    return size == 0 || std::memcmp(data, otherData, size) == 0;
}
