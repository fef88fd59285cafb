// Creation by the factory, reference counts and queryInterface of one half, created
// repeatedly without a host.
#include "common/com_ptr.h"
#include "common/host_error.h"
#include "validate/checks.h"

namespace mphost::validation {

namespace {

void checkCreation(CheckContext& context, int subType, const gmpi::MpGuid& primaryIid, const char* primaryName)
{
    for (int round = 0; round < 20; ++round) {
        ComPtr<gmpi::IMpUnknown> object;
        const std::int32_t result = context.bundle->tryCreate(subType, context.module.wideId(), object);
        if (result != gmpi::MP_OK || !object)
            return context.fail("creation returned " + describeResult(result) + (object ? "" : " without an object"));
        if (object->addRef() < 2 || object->release() < 1)
            return context.fail("reference counts do not start at 1");
        void* answer = reinterpret_cast<void*>(1);
        const gmpi::MpGuid unknownIid{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
        if (object->queryInterface(unknownIid, &answer) != gmpi::MP_NOSUPPORT || answer != nullptr)
            return context.fail("queryInterface with an unknown identifier does not answer -2 with null");
        if (!object.as<gmpi::IMpUnknown>(primaryIid) || !object.as<gmpi::IMpUnknown>(gmpi::MP_IID_UNKNOWN))
            return context.fail(std::string("queryInterface does not answer ") + primaryName + " and MP_IID_UNKNOWN");
        ++context.report.blocks;
    }
}

}  // namespace

void dspCreation(CheckContext& context)
{
    checkCreation(context, gmpi::MP_SUB_TYPE_AUDIO, gmpi::MP_IID_PLUGIN2, "MP_IID_PLUGIN2");
}

// Halves of both generations are created without a host. A first-generation half is
// also created the legacy way with a host that offers nothing: it may refuse, but a
// refusal must not hand back an object (the caller would not know to release it).
void guiCreation(CheckContext& context)
{
    if (context.module.gui->subType == gmpi::MP_SUB_TYPE_GUI2)
        return checkCreation(context, gmpi::MP_SUB_TYPE_GUI2, gmpi::MP_IID_GUI_PLUGIN2B, "MP_IID_GUI_PLUGIN2B");
    checkCreation(context, gmpi::MP_SUB_TYPE_GUI, gmpi::MP_IID_GUI_PLUGIN, "MP_IID_GUI_PLUGIN");
    if (context.failed())
        return;
    const std::wstring id = context.module.wideId();
    ComPtr<gmpi::IMpUnknown> object;
    const std::int32_t result =
        context.bundle->factory()->createInstance(id.c_str(), gmpi::MP_SUB_TYPE_GUI, nullptr, object.receive());
    if (result != gmpi::MP_OK && object)
        return context.fail("legacy creation without a host returned " + describeResult(result) +
                            " and an object as well");
    ++context.report.blocks;
}

}  // namespace mphost::validation
