// MinMaxIndex: per sample, the smallest and largest of any number of audio inputs and
// which input holds them (index x 0.1; ties keep the lower index). The inputs are the
// ones the host instantiated, found with the pin iterator when the module opens.
#include <algorithm>
#include <memory>
#include <vector>

#include "mp_sdk_audio.h"

class MinMaxIndex : public MpBase2 {
    AudioOutPin pinMin;
    AudioOutPin pinMinIndex;
    AudioOutPin pinMax;
    AudioOutPin pinMaxIndex;

    std::vector<std::unique_ptr<AudioInPin>> inputs;  // created in open(), in pin order
    std::vector<const float*> cursors;                // one per input, reused every call

public:
    std::int32_t open() override
    {
        MpBase2::open();
        initializePin(pinMin);
        initializePin(pinMinIndex);
        initializePin(pinMax);
        initializePin(pinMaxIndex);
        setSubProcess(&MinMaxIndex::subProcess);

        PinIterator it(this);
        int pinIndex = 0;
        for (bool more = it.first(); more; more = it.next(), ++pinIndex) {
            if (it.getDirection() != gmpi::MP_IN || it.getDatatype() != gmpi::MP_AUDIO)
                continue;
            inputs.push_back(std::make_unique<AudioInPin>());
            initializePin(pinIndex, *inputs.back());
        }
        cursors.resize(inputs.size());
        return gmpi::MP_OK;
    }

    void onGraphStart() override
    {
        MpBase2::onGraphStart();
        // With nothing to compare the outputs are constant zeros: report them static and
        // let the module sleep (no input event would ever do it).
        if (inputs.empty()) {
            for (AudioOutPin* pin : {&pinMin, &pinMinIndex, &pinMax, &pinMaxIndex})
                pin->setStreaming(false);
            setSleep(true);
        }
    }

    void onSetPins() override
    {
        bool any = false;
        for (const auto& input : inputs)
            any |= input->isStreaming();
        for (AudioOutPin* pin : {&pinMin, &pinMinIndex, &pinMax, &pinMaxIndex})
            pin->setStreaming(any);
        setSleep(!any);
    }

    void subProcess(int sampleFrames)
    {
        float* outMin = pinMin.getBuffer() + blockPos;
        float* outMinIndex = pinMinIndex.getBuffer() + blockPos;
        float* outMax = pinMax.getBuffer() + blockPos;
        float* outMaxIndex = pinMaxIndex.getBuffer() + blockPos;
        if (inputs.empty()) {
            for (float* out : {outMin, outMinIndex, outMax, outMaxIndex})
                std::fill_n(out, sampleFrames, 0.0f);
            return;
        }
        const std::size_t inputCount = inputs.size();
        for (std::size_t j = 0; j < inputCount; ++j)
            cursors[j] = inputs[j]->getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            float minimum = cursors[0][i];
            float maximum = minimum;
            int minimumIndex = 0;
            int maximumIndex = 0;
            for (std::size_t j = 1; j < inputCount; ++j) {
                const float x = cursors[j][i];
                if (x > maximum) {
                    maximum = x;
                    maximumIndex = static_cast<int>(j);
                }
                if (x < minimum) {
                    minimum = x;
                    minimumIndex = static_cast<int>(j);
                }
            }
            outMin[i] = minimum;
            outMinIndex[i] = static_cast<float>(minimumIndex) * 0.1f;
            outMax[i] = maximum;
            outMaxIndex[i] = static_cast<float>(maximumIndex) * 0.1f;
        }
    }
};

namespace {
const bool registered = gmpi::Register<MinMaxIndex>::withId(L"MinMaxIndex");
}
