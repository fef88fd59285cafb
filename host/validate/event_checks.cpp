// DSP halves under random events: three fresh instances per check, each at a random
// sample rate, sleep delay and count of duplicated pins, driven block by block.
#include "validate/dsp_stress.h"

namespace mphost::validation {

namespace {

DspModuleOptions randomInstanceOptions(CheckContext& context)
{
    static const std::vector<float> rates{8000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
    DspModuleOptions options;
    options.sampleRate = pick(context.random, rates);
    options.maxBlockSize = 4096;
    options.sleepDelay = pick(context.random, std::vector<int>{1, 64, 1000, 4096});
    for (const PinDescription& pin : context.module.dsp->pins)
        if (pin.autoDuplicate)
            options.duplicates[pin.name] = uniformInt(context.random, 0, 4);
    return options;
}

void runInstances(CheckContext& context, bool hostile)
{
    const int instances = 3;
    for (int run = 0; run < instances && !context.failed(); ++run) {
        DspModule instance(context.bundle, context.module, randomInstanceOptions(context));
        instance.start();
        DspStress stress(instance, context);
        // The blocks spread over the instances, the first ones taking the remainder.
        const std::int64_t blocks = context.blocks / instances + (run < context.blocks % instances ? 1 : 0);
        stress.run(std::max<std::int64_t>(blocks, 1), hostile);
        (void)instance.takeMessages();
    }
}

}  // namespace

// Ordinary values: outputs must stay finite.
void dspOrdinaryEvents(CheckContext& context)
{
    runInstances(context, false);
}

void dspHostileEvents(CheckContext& context)
{
    runInstances(context, true);
}

}  // namespace mphost::validation
