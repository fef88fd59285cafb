// A script of blocks drawn once from a check's generator and played to any number of DSP
// instances, so that their outputs can be compared sample for sample: the same block
// sizes, the same events at the same timestamps, the same input signals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness/dsp_module.h"
#include "validate/checks.h"

namespace mphost::validation {

struct ScriptEvent {
    std::string pin;
    PinValue value;  // control inputs
    Bytes midi;      // MIDI inputs (value unused)
    int timestamp = 0;
};

struct ScriptBlock {
    int count = 0;  // samples
    std::vector<ScriptEvent> events;
};

struct Script {
    std::vector<ScriptBlock> blocks;
    std::uint64_t signalSeed = 0;  // the audio inputs' signal
};

// `blocks` blocks with sizes from `sizes`, ordinary values on random control and MIDI inputs
// in about one block of four. Every audio input streams a signal of its own.
Script makeScript(CheckContext& context, std::int64_t blocks, const std::vector<int>& sizes);

// What an instance produced: every audio output's samples, and every control output's value
// at the end of each block (as text), in script order.
struct Recording {
    std::vector<std::string> names;          // audio outputs, then control outputs
    std::vector<std::vector<float>> audio;   // per audio output
    std::vector<std::vector<std::string>> control;  // per control output, per block
    bool nonFinite = false;
    std::string nonFiniteWhere;  // the first non-finite sample
};

// One instance playing a script block by block (call step() until done()).
class ScriptPlayer {
public:
    ScriptPlayer(DspModule& module, const Script& script);
    bool done() const { return next >= script.blocks.size(); }
    // Plays the next block; throws what the module threw.
    void step();
    const Recording& recording() const { return taken; }

private:
    DspModule& module;
    const Script& script;
    std::size_t next = 0;
    std::int64_t clock = 0;
    std::vector<std::string> audioInputs;
    std::vector<std::string> audioOutputs;
    std::vector<std::string> controlOutputs;
    Recording taken;
};

// Instance options of the script checks: maxBlockSize 4096, every duplicated pin once.
DspModuleOptions scriptInstanceOptions(float sampleRate, std::shared_ptr<SharedMemoryPool> pool = {});

// Plays the whole script to one fresh instance.
Recording playAlone(CheckContext& context, const Script& script, const DspModuleOptions& options);

// Empty when equal; otherwise where and how `other` first differs from `reference`.
std::string firstDifference(const Recording& reference, const Recording& other, const Script& script);

}  // namespace mphost::validation
