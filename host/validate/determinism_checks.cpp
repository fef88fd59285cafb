// Determinism and independence of DSP halves: instances given the same inputs give the same
// output, whether alone, a second time, or interleaved block by block with another
// instance (state leaking through globals or shared tables shows as a difference); and
// instances opened after the host's sample rate changed behave as in a fresh host.
//
// A module whose output legitimately differs between instances must make that difference
// an input (a seed pin): the script sets every instance's inputs alike.
#include "validate/scripted_run.h"

namespace mphost::validation {

namespace {

const std::vector<int> blockSizes{1, 2, 7, 32, 64, 128, 256, 1000, 4096};

// Fails with `what` and the difference, when there is one.
bool same(CheckContext& context, const Recording& reference, const Recording& other, const Script& script,
          const std::string& what)
{
    const std::string difference = firstDifference(reference, other, script);
    if (!difference.empty())
        context.fail(what + ": " + difference);
    return difference.empty();
}

}  // namespace

void dspDeterminism(CheckContext& context)
{
    if (context.module.dsp->differsByInstance)
        return context.note("each instance differs by design (differsByInstance): determinism not compared");
    // Four instances play the script: alone, two interleaved block by block, alone again.
    const Script script = makeScript(context, std::max<std::int64_t>(8, context.blocks / 4), blockSizes);
    const Recording first = playAlone(context, script, scriptInstanceOptions(48000.0f));
    if (first.nonFinite)
        return context.fail("not finite for finite inputs: " + first.nonFiniteWhere);

    const auto pool = std::make_shared<SharedMemoryPool>();
    DspModule a(context.bundle, context.module, scriptInstanceOptions(48000.0f, pool));
    DspModule b(context.bundle, context.module, scriptInstanceOptions(48000.0f, pool));
    a.start();
    b.start();
    ScriptPlayer playerA(a, script), playerB(b, script);
    while (!playerA.done()) {
        playerA.step();
        playerB.step();
    }
    context.report.blocks += static_cast<std::int64_t>(script.blocks.size()) * 3;
    if (!same(context, first, playerA.recording(), script,
              "two instances interleaved block by block differ from one alone (state shared between instances?)") ||
        !same(context, first, playerB.recording(), script,
              "the second of two interleaved instances differs from one alone (state shared between instances?)"))
        return;
    const Recording again = playAlone(context, script, scriptInstanceOptions(48000.0f));
    context.report.blocks += static_cast<std::int64_t>(script.blocks.size());
    same(context, first, again, script,
         "a second run with the same inputs differs from the first (state kept in globals, or output that depends "
         "on time or addresses?)");
}

// Instances opened one after another at rates from 8 kHz to 384 kHz, sharing one host's
// tables, each compared with an instance of a fresh host at its rate; blocks of 1, odd
// sizes and 4096 samples.
void dspRateChanges(CheckContext& context)
{
    static const std::vector<float> rates{44100.0f, 8000.0f, 384000.0f, 22050.0f, 192000.0f, 11025.0f, 96000.0f};
    static const std::vector<int> sizes{1, 3, 17, 127, 1001, 4095, 4096};
    const std::int64_t blocks = std::max<std::int64_t>(6, context.blocks / static_cast<std::int64_t>(rates.size() * 2));
    const auto pool = std::make_shared<SharedMemoryPool>();
    for (const float rate : rates) {
        const Script script = makeScript(context, blocks, sizes);
        const std::string at = "at " + std::to_string(static_cast<int>(rate)) + " Hz";
        const Recording changed = playAlone(context, script, scriptInstanceOptions(rate, pool));
        context.report.blocks += blocks;
        if (changed.nonFinite)
            return context.fail(at + ", opened after a rate change: not finite for finite inputs: " +
                                changed.nonFiniteWhere);
        const Recording fresh = playAlone(context, script, scriptInstanceOptions(rate));
        context.report.blocks += blocks;
        if (!same(context, fresh, changed, script,
                  at + ": an instance opened after the rate changed differs from one in a fresh host (a table or "
                       "state made for the old rate?)"))
            return;
    }
}

}  // namespace mphost::validation
