// The block driver of the DSP checks: blocks of random sizes with random events on every
// pin, each block checked for exceptions, allocations, non-finite outputs (for finite
// inputs) and static outputs that move.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "harness/dsp_module.h"
#include "validate/checks.h"

namespace mphost::validation {

// Drives one DSP half through blocks of random events and checks each block.
class DspStress {
public:
    DspStress(DspModule& module, CheckContext& context)
        : module(module), random(context.random), report(context.report), context(context),
          allocatesByDesign(context.module.dsp->allocatesInProcess)
    {
        for (const DspPin& pin : module.pins()) {
            if (pin.isAudio() && pin.isInput())
                inputs.push_back({pin.name, false, std::get<float>(pin.description->defaultValue)});
            if (pin.isAudio() && !pin.isInput())
                outputs.push_back({pin.name, 0.0f});
        }
    }

    // Runs `blocks` blocks; false once a failure was recorded.
    bool run(std::int64_t blocks, bool hostile)
    {
        for (std::int64_t block = 0; block < blocks && report.passed; ++block) {
            const int count = pick(random, std::vector<int>{1, 2, 7, 32, 64, 64, 128, 256, 1000, 4096,
                                                            uniformInt(random, 1, 4096)});
            // The first block of each instance carries every initial value, texts and
            // blobs included.
            bool numericEventsOnly = !firstBlock;
            firstBlock = false;
            const int eventCount = uniformInt(random, 0, 3) == 0 ? uniformInt(random, 1, 8) : 0;
            for (int e = 0; e < eventCount; ++e)
                numericEventsOnly &= queueRandomEvent(count, hostile);
            fillInputs(count, hostile);
            finiteInputs = !hostile;
            trace("block " + std::to_string(report.blocks) + ": " + std::to_string(count) + " samples");

            try {
                module.process(count);
            } catch (const std::exception& error) {
                fail(std::string("an exception left process(): ") + error.what());
                return false;
            } catch (...) {
                fail("an exception left process()");
                return false;
            }
            ++report.blocks;
            if (tracing) {
                for (const auto& record : module.lastBlockLog().records())
                    if (record.kind == OutputLog::Kind::Streaming)
                        trace("  output " + module.pins()[static_cast<std::size_t>(record.pinOrId)].name +
                              (record.streaming ? " streaming" : " static") + " at " + std::to_string(record.timestamp));
                trace(std::string("  ") + (module.lastBlockSkipped() ? "skipped" : module.asleep() ? "asleep" : "awake"));
            }
            if (!module.lastBlockSkipped()) {
                checkAllocations(numericEventsOnly);
                checkOutputs(count);
            }
            rememberLastSamples(count);
        }
        return report.passed;
    }

private:
    // An audio input: its state at the block start and at most one change in the block.
    struct Input {
        std::string name;
        bool streaming;
        float constant;
        int changeAt = -1;  // sample of this block's streaming change, or -1
        float nextConstant = 0;
    };
    struct Output {
        std::string name;
        float lastSample;
    };

    void trace(const std::string& line) const
    {
        if (tracing)
            std::fprintf(stderr, "%s\n", line.c_str());
    }

    void fail(const std::string& what) { context.fail("block " + std::to_string(report.blocks) + ": " + what); }

    // Returns true when the event carries no text or blob payload.
    bool queueRandomEvent(int count, bool hostile)
    {
        const auto& pins = module.pins();
        if (pins.empty())
            return true;
        const DspPin& pin = pins[static_cast<std::size_t>(uniformInt(random, 0, static_cast<int>(pins.size()) - 1))];
        const int timestamp = uniformInt(random, 0, count - 1);
        if (!pin.isInput())
            return true;
        if (pin.isAudio()) {
            for (Input& input : inputs)
                if (input.name == pin.name && input.changeAt < 0) {
                    input.changeAt = timestamp;
                    input.nextConstant = hostile ? std::get<float>(makeValue(random, gmpi::MP_FLOAT32, true))
                                                 : uniformFloat(random, -1, 1);
                    module.queueStreaming(pin.name, !input.streaming, timestamp);
                    trace("  queue " + pin.name + (input.streaming ? " static" : " streaming") + " at " +
                          std::to_string(timestamp));
                }
            return true;
        }
        if (pin.datatype == gmpi::MP_MIDI) {
            module.queueMidi(pin.name, makeMidi(random, hostile), timestamp);
            return !hostile;
        }
        const PinValue value = makeValue(random, pin.datatype, hostile);
        trace("  queue " + pin.name + " = " + formatPinValue(value).substr(0, 40) + " at " + std::to_string(timestamp));
        module.queueValue(pin.name, value, timestamp);
        return pin.datatype != gmpi::MP_STRING && pin.datatype != gmpi::MP_BLOB;
    }

    // Streaming inputs vary; static inputs hold their constant from the sample where they
    // became static, as the host promises.
    void fillInputs(int count, bool hostile)
    {
        for (Input& input : inputs) {
            const std::span<float> buffer = module.input(input.name);
            for (int i = 0; i < count; ++i) {
                if (i == input.changeAt) {
                    input.streaming = !input.streaming;
                    input.constant = input.nextConstant;
                }
                float value = input.constant;
                if (input.streaming)
                    value = hostile && uniformInt(random, 0, 63) == 0
                                ? std::get<float>(makeValue(random, gmpi::MP_FLOAT32, true))
                                : std::sin(static_cast<float>(sampleClock + i) * 0.01f) * 0.9f;
                buffer[static_cast<std::size_t>(i)] = value;
            }
            input.changeAt = -1;
        }
        sampleClock += count;
    }

    void checkAllocations(bool numericEventsOnly)
    {
        const std::uint64_t allocations = module.allocationsInLastProcess();
        if (allocations == 0 || !numericEventsOnly)
            return;
        if (allocatesByDesign) {
            // One note per module, though each run drives a fresh instance.
            context.note("allocates while processing (by design)");
            return;
        }
        fail(std::to_string(allocations) + " heap allocation(s) inside process()");
    }

    void checkOutputs(int count)
    {
        for (Output& output : outputs) {
            const std::span<const float> samples = module.output(output.name);
            const DspPin& pin = module.pin(output.name);
            if (finiteInputs) {
                for (int i = 0; i < count; ++i)
                    if (!std::isfinite(samples[static_cast<std::size_t>(i)])) {
                        fail("output \"" + output.name + "\" is not finite at sample " + std::to_string(i) +
                             " for finite inputs");
                        return;
                    }
            }
            if (pin.streaming || !started)
                continue;
            // Static: constant from where it went static (or from the block start).
            const int from = pin.staticSince >= 0 ? pin.staticSince : 0;
            const float held = pin.staticSince >= 0 ? samples[static_cast<std::size_t>(from)] : output.lastSample;
            for (int i = from; i < count; ++i)
                if (!sameValue(samples[static_cast<std::size_t>(i)], held)) {
                    std::ostringstream what;
                    what << "output \"" << output.name << "\" is declared static"
                         << (pin.staticSince >= 0 ? " from sample " + std::to_string(pin.staticSince) : "")
                         << " with value " << held << " but is " << samples[static_cast<std::size_t>(i)]
                         << " at sample " << i << " of " << count;
                    fail(what.str());
                    return;
                }
        }
    }

    void rememberLastSamples(int count)
    {
        for (Output& output : outputs)
            output.lastSample = module.output(output.name)[static_cast<std::size_t>(count - 1)];
        started = true;
    }

    DspModule& module;
    Random& random;
    CheckReport& report;
    CheckContext& context;
    bool allocatesByDesign;
    std::vector<Input> inputs;
    std::vector<Output> outputs;
    std::int64_t sampleClock = 0;
    bool finiteInputs = true;
    bool firstBlock = true;
    bool started = false;
    bool tracing = std::getenv("MPHOST_VALIDATE_TRACE") != nullptr;
};


}  // namespace mphost::validation
