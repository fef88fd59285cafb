// The host's context menu while a module fills it: the object handed to
// populateContextMenu. With items offered it answers MP_IID_CONTEXT_ITEMS_SINK and
// collects what the module adds; without, it answers only MP_IID_UNKNOWN, as a host with
// no menu of its own would, and a module must cope with that. Lives where the caller puts
// it (usually the stack), so reference counting changes nothing. User-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mp_gui_api.h"

namespace mphost {

// One item of a context menu: its text (UTF-8), the id handed back to onContextMenu when
// it is chosen, and the flags the module gave.
struct ContextMenuItem {
    std::string text;
    std::int32_t id = 0;
    std::int32_t flags = 0;
    bool operator==(const ContextMenuItem&) const = default;
};

class ContextMenuSink final : public gmpi::IMpContextItemSink {
public:
    explicit ContextMenuSink(bool offerItems = true) : offerItems(offerItems) {}

    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (!returnInterface)
            return gmpi::MP_FAIL;
        *returnInterface = nullptr;
        if (iid == gmpi::MP_IID_UNKNOWN || (offerItems && iid == gmpi::MP_IID_CONTEXT_ITEMS_SINK)) {
            *returnInterface = static_cast<gmpi::IMpContextItemSink*>(this);
            return gmpi::MP_OK;
        }
        return gmpi::MP_NOSUPPORT;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    // A null text is an item without text.
    std::int32_t AddItem(const char* text, std::int32_t id, std::int32_t flags) override
    {
        items.push_back({text ? std::string(text) : std::string(), id, flags});
        return gmpi::MP_OK;
    }

    std::vector<ContextMenuItem> items;

private:
    bool offerItems;
};

}  // namespace mphost
