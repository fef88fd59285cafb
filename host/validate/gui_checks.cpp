// GUI halves (both generations) driven as a host does: values on every pin before and
// after initialize(), layout at extreme sizes, random operations with ordinary and with
// hostile values.
#include "validate/gui_stress.h"

namespace mphost::validation {

namespace {

GuiModuleOptions randomInstanceOptions(CheckContext& context)
{
    GuiModuleOptions options;
    for (const PinDescription& pin : context.module.gui->pins)
        if (pin.autoDuplicate)
            options.duplicates[pin.name] = uniformInt(context.random, 0, 4);
    return options;
}

// Three fresh instances, each set up with values on every pin (hostile ones when
// `hostile`) and initialized, then handed to `drive` with its share of the operations.
template <class Drive>
void eachInstance(CheckContext& context, bool hostile, Drive&& drive)
{
    const int instances = 3;
    for (int run = 0; run < instances && !context.failed(); ++run) {
        GuiModule instance(context.bundle, context.module, randomInstanceOptions(context));
        GuiStress stress(instance, context);
        const std::int64_t operations = context.blocks / instances + (run < context.blocks % instances ? 1 : 0);
        if (stress.setEveryPin(hostile) && stress.initialize())
            drive(stress, std::max<std::int64_t>(operations, 1), run);
        (void)instance.takeTransmissions();
        (void)instance.takeMessagesToDsp();
    }
}

}  // namespace

void guiPinsAroundInitialize(CheckContext& context)
{
    // Before initialize(): ordinary values in the first instance, hostile in the others.
    const int instances = 3;
    for (int run = 0; run < instances && !context.failed(); ++run) {
        GuiModule instance(context.bundle, context.module, randomInstanceOptions(context));
        GuiStress stress(instance, context);
        if (stress.setEveryPin(run > 0) && stress.initialize() && stress.setEveryPin(false))
            stress.setEveryPin(true);
        (void)instance.takeTransmissions();
        (void)instance.takeMessagesToDsp();
    }
}

void guiExtremeSizes(CheckContext& context)
{
    GuiModule instance(context.bundle, context.module, randomInstanceOptions(context));
    GuiStress stress(instance, context);
    if (stress.setEveryPin(false) && stress.initialize())
        stress.sweepExtremeSizes();
}

void guiOrdinaryOperations(CheckContext& context)
{
    eachInstance(context, false, [](GuiStress& stress, std::int64_t operations, int) { stress.run(operations, false); });
}

void guiHostileOperations(CheckContext& context)
{
    eachInstance(context, true, [](GuiStress& stress, std::int64_t operations, int) { stress.run(operations, true); });
}

}  // namespace mphost::validation
