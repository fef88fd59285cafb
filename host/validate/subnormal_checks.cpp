// Subnormal outputs: a DSP half driven with loud input, then with silence, runs with the
// processor's flush-to-zero switched off, as on a host that does not set it. A module whose
// state decays into subnormal values (slow on most processors, and never reaching the
// exact 0 that lets it sleep) shows them on its outputs.
#include <algorithm>
#include <cmath>
#include <sstream>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "harness/dsp_module.h"
#include "validate/checks.h"

namespace mphost::validation {

namespace {

// Flush-to-zero and denormals-are-zero off for the current thread while the object lives.
class KeepSubnormals {
public:
#if defined(__SSE__)
    KeepSubnormals() : saved(_mm_getcsr()) { _mm_setcsr(saved & ~0x8040u); }
    ~KeepSubnormals() { _mm_setcsr(saved); }

private:
    unsigned saved;
#endif
};

// Loud input: a full-scale square wave with noise, different per input.
void fillLoud(DspModule& module, const std::vector<std::string>& inputs, Random& random, int count)
{
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        const std::span<float> buffer = module.input(inputs[k]);
        const int period = 40 + static_cast<int>(k) * 13;
        for (int i = 0; i < count; ++i)
            buffer[static_cast<std::size_t>(i)] = ((i / period) % 2 ? 0.9f : -0.9f) + uniformFloat(random, -0.1f, 0.1f);
    }
}

// Fails at the first subnormal sample of an audio output in the last block.
bool checkOutputs(CheckContext& context, DspModule& module, int count, const std::string& phase)
{
    for (const DspPin& pin : module.pins()) {
        if (!pin.isAudio() || pin.isInput())
            continue;
        const std::span<const float> samples = module.output(pin.name);
        for (int i = 0; i < count; ++i)
            if (std::fpclassify(samples[static_cast<std::size_t>(i)]) == FP_SUBNORMAL) {
                std::ostringstream what;
                what << "output \"" << pin.name << "\" is subnormal (" << samples[static_cast<std::size_t>(i)] << ") "
                     << phase << ": flush the module's state to zero below a tiny threshold";
                context.fail(what.str());
                return false;
            }
    }
    return true;
}

// One instance: loud input for `loud` samples, then silent static inputs for `silent`.
void loudThenSilent(CheckContext& context, bool defaults, std::int64_t loud, std::int64_t silent)
{
    DspModuleOptions options;
    options.maxBlockSize = 4096;
    options.callerFlushesSubnormals = true;  // and this thread does not flush: see KeepSubnormals
    DspModule module(context.bundle, context.module, options);
    std::map<std::string, PinValue> values;
    if (!defaults)
        for (const DspPin& pin : module.pins())
            if (pin.isInput() && !pin.isAudio() && pin.datatype != gmpi::MP_MIDI)
                values[pin.name] = makeValue(context.random, pin.datatype, false);
    module.start(values);
    std::vector<std::string> inputs;
    for (const DspPin& pin : module.pins())
        if (pin.isAudio() && pin.isInput()) {
            inputs.push_back(pin.name);
            module.queueStreaming(pin.name, true);
        }
    for (std::int64_t done = 0; done < loud; done += 512) {
        fillLoud(module, inputs, context.random, 512);
        module.process(512);
        ++context.report.blocks;
        if (!checkOutputs(context, module, 512, "during loud input"))
            return;
        (void)module.takeMessages();
    }
    for (const std::string& input : inputs) {
        module.queueStreaming(input, false);
        module.fillInput(input, 0.0f);
    }
    for (std::int64_t done = 0; done < silent; done += 4096) {
        module.process(4096);
        ++context.report.blocks;
        if (!checkOutputs(context, module, 4096,
                          "after " + std::to_string(done) + " samples of silence following loud input"))
            return;
        (void)module.takeMessages();
    }
}

}  // namespace

void dspSubnormals(CheckContext& context)
{
    const KeepSubnormals keep;
    // Long enough for a pole of 0.9995 to decay from full scale below the subnormal limit.
    const std::int64_t silent = std::clamp<std::int64_t>(context.blocks * 2048, 1 << 17, 1 << 20);
    loudThenSilent(context, true, 24000, silent);
    if (!context.failed())
        loudThenSilent(context, false, 24000, silent);
}

}  // namespace mphost::validation
