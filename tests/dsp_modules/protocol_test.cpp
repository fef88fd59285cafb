// What every module of the bundle shares: registration and descriptions, sleeping when
// idle, waking for a streaming input, and processing without allocating.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include <xmmintrin.h>

#include "dsp_test_support.h"

using namespace dsp_test;

namespace {

const std::vector<std::string> identifiers{
    "DC_Blocker", "Integrator", "Derivator", "Averaging", "MinMax", "MinMaxIndex",
    "RngClp", "Glider", "Glider2", "KV_ZXDet", "KV_AudioCounter", "Memory/Reset",
    "Memory/Reset2", "Freezer", "Latency", "KV_RepLat", "KV_Crusher"};

std::vector<const mphost::DspPin*> pinsWhere(const mphost::DspModule& module, bool input, bool audio)
{
    std::vector<const mphost::DspPin*> result;
    for (const auto& pin : module.pins())
        if (pin.isInput() == input && pin.isAudio() == audio)
            result.push_back(&pin);
    return result;
}

}  // namespace

TEST(DspModulesBundle, DescribesAndProvidesTheSeventeenElementaryModulesFirst)
{
    // The elementary modules come first; the bundle's other module families follow them.
    std::vector<std::string> described;
    for (const auto& module : descriptions().modules)
        described.push_back(module.id);
    ASSERT_GE(described.size(), identifiers.size());
    described.resize(identifiers.size());
    EXPECT_EQ(described, identifiers);
    for (const auto& id : identifiers)
        EXPECT_NO_THROW(makeModule(id)) << id;
    const auto* minMaxIndex = descriptions().find("MinMaxIndex");
    EXPECT_TRUE(minMaxIndex->dsp->pins.back().autoDuplicate);
}

TEST(DspModulesBundle, EveryModuleButAveragingSleepsWithStaticInputs)
{
    for (const auto& id : identifiers) {
        auto module = makeModule(id);
        module->start();
        for (int block = 0; block < 4; ++block)
            module->process(64);
        if (id == "Averaging") {
            EXPECT_FALSE(module->asleep());
            continue;
        }
        EXPECT_TRUE(module->lastBlockSkipped()) << id;
        for (const auto* pin : pinsWhere(*module, false, true))
            EXPECT_FALSE(pin->streaming) << id << " " << pin->name;
    }
}

TEST(DspModulesBundle, AStreamingInputWakesEveryModuleAndItsOutputsStream)
{
    for (const auto& id : identifiers) {
        auto module = makeModule(id);
        module->start();
        for (int block = 0; block < 4; ++block)
            module->process(64);
        const auto inputs = pinsWhere(*module, true, true);
        module->queueStreaming(inputs.front()->name, true, 17);
        module->process(64);
        EXPECT_FALSE(module->lastBlockSkipped()) << id;
        module->process(64);
        EXPECT_FALSE(module->asleep()) << id;
        // Memory/Reset follows A only while A is selected, the counter follows Clock,
        // and the rest follow their first input.
        for (const auto* pin : pinsWhere(*module, false, true))
            EXPECT_TRUE(pin->streaming) << id << " " << pin->name;
    }
}

TEST(DspModulesBundle, ProcessingWithEventsAllocatesNothing)
{
    for (const auto& id : identifiers) {
        auto module = makeModule(id, {.duplicates = {{"In", 3}}});
        module->start();
        const auto audioInputs = pinsWhere(*module, true, true);
        const auto controlInputs = pinsWhere(*module, true, false);
        for (int block = 0; block < 8; ++block) {
            for (const auto* pin : audioInputs) {
                const auto buffer = module->input(pin->name);
                for (std::size_t i = 0; i < buffer.size(); ++i)
                    buffer[i] = std::sin(0.37f * static_cast<float>(block * 64 + i) + static_cast<float>(pin->index));
                module->queueStreaming(pin->name, block % 3 != 2, 5 + pin->index);
            }
            for (const auto* pin : controlInputs)
                module->queueValue(pin->name, pin->description->defaultValue, 11 * (pin->index % 5));
            module->process(64);
            EXPECT_EQ(module->allocationsInLastProcess(), 0u) << id << " block " << block;
        }
    }
}

TEST(DspModulesBundle, ExtremeValuesAndRandomStreamingChangesAreHandledSafely)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> floats{nan, inf, -inf, 1e30f, -1e30f, 0.0f, 1.0f, -1.0f, 1e-40f, 0.5f};
    const std::vector<std::int32_t> ints{INT32_MIN, INT32_MAX, -1, 0, 1, 2, 3, 4, 32, 5001};
    std::mt19937 random(20261207);
    const auto pick = [&random](const auto& values) { return values[random() % values.size()]; };
    for (const auto& id : identifiers) {
        auto module = makeModule(id, {.duplicates = {{"In", 2}}});
        module->start();
        for (int block = 0; block < 40; ++block) {
            for (const auto& pin : module->pins()) {
                if (!pin.isInput())
                    continue;
                const int timestamp = static_cast<int>(random() % 64);
                if (pin.isAudio()) {
                    for (float& sample : module->input(pin.name))
                        sample = random() % 4 ? std::sin(static_cast<float>(random() % 1000)) : pick(floats);
                    if (random() % 3 == 0)
                        module->queueStreaming(pin.name, random() % 2 == 0, timestamp);
                } else if (random() % 3 == 0) {
                    if (pin.datatype == gmpi::MP_FLOAT32)
                        module->queueValue(pin.name, pick(floats), timestamp);
                    else if (pin.datatype == gmpi::MP_BOOL)
                        module->queueValue(pin.name, random() % 2 == 0, timestamp);
                    else
                        module->queueValue(pin.name, pick(ints), timestamp);
                }
            }
            module->process(1 + static_cast<int>(random() % 64));
            ASSERT_EQ(module->allocationsInLastProcess(), 0u) << id;
        }
    }
}

// The harness runs modules as audio hosts do, with subnormals flushed to zero, and
// leaves the caller's floating-point mode as it was.
TEST(DspModuleHarness, FlushesSubnormalsInsideProcessOnly)
{
    auto module = testing_support::makeProbe("Probe_Gain");
    module->start();
    module->queueStreaming("In", true);
    module->fillInput("In", 1e-40f);  // subnormal
    const unsigned before = _mm_getcsr();
    module->process(64);
    EXPECT_EQ(_mm_getcsr(), before);
    EXPECT_EQ(module->output("Out")[0], 0.0f);
    volatile float subnormal = 1e-40f;
    EXPECT_EQ(subnormal * 1.0f, 1e-40f);  // outside process() nothing is flushed
}
