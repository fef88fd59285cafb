// The text object the host hands to a module for returned text (MP_IID_RETURNSTRING):
// tooltips and the like. Lives where the caller puts it (usually the stack), so reference
// counting changes nothing. User-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "mp_gui_api.h"

namespace mphost {

class ReturnString final : public gmpi::IString {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (!returnInterface)
            return gmpi::MP_FAIL;
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_UNKNOWN && iid != gmpi::MP_IID_RETURNSTRING)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = static_cast<gmpi::IString*>(this);
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    std::int32_t setData(const char* data, std::int32_t size) override
    {
        text = size > 0 && data ? std::string(data, static_cast<std::size_t>(size)) : std::string();
        return gmpi::MP_OK;
    }
    std::int32_t getSize() override { return static_cast<std::int32_t>(text.size()); }
    const char* getData() override { return text.c_str(); }

    std::string text;
};

}  // namespace mphost
