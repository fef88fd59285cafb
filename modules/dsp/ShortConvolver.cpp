// ShortConv: direct convolution of In with a kernel of 1 to 1024 float32 taps taken
// from the Kernel blob. Each input sample x adds kernel[k] x to the accumulator entry k
// samples ahead; the entry now due is output and cleared. When In stops streaming, Out
// keeps streaming for the kernel's length (the tail) and then holds its last value.
//
// The Kernel blob: consecutive float32 taps, tap 0 first. Taps past 1024 are ignored.
// An empty blob, or one whose size is not a whole number of taps, gives the one-tap
// identity kernel {1.0}. Non-finite taps count as 0, and taps are limited to
// +-2^32. A new kernel starts from a cleared
// accumulator, as if the input had been silent before.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "mp_sdk_audio.h"

class ShortConv : public MpBase2 {
    static constexpr int maxTaps = 1024;
    // Taps are limited to +-2^32, so that 1024 of them on inputs within [-1, 1] cannot
    // overflow the float range.
    static constexpr float largestTap = 4294967296.0f;

    AudioInPin pinIn;
    BlobInPin pinKernel;
    AudioOutPin pinOut;

    // The kernel is copied out of the blob, so that a later blob reallocation cannot
    // leave it dangling and the taps sit aligned for the vector loop.
    alignas(64) float kernel[maxTaps] = {1.0f};
    alignas(64) float accumulator[maxTaps] = {};
    int taps = 1;
    int index = 0;          // the accumulator entry due next
    int tailCountdown = 0;  // samples of tail left, counting down to 1; 0: none
    float heldValue = 0.0f;

public:
    ShortConv()
    {
        initializePin(pinIn);
        initializePin(pinKernel);
        initializePin(pinOut);
        setSubProcess(&ShortConv::subProcess);
    }

    void onSetPins() override
    {
        if (pinKernel.isUpdated())
            takeKernel(pinKernel.getValue());
        // A new kernel over a static input changes the output's resting value: the tail
        // runs again, as when In has just stopped.
        const bool newKernelOverStaticInput = pinKernel.isUpdated() && !pinIn.isStreaming();
        if (pinIn.isStreamingChanged() || newKernelOverStaticInput) {
            setSubProcess(&ShortConv::subProcess);
            pinOut.setStreaming(true);
            tailCountdown = pinIn.isStreaming() ? 0 : taps;
        }
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            const float x = in[i];
            // acc[(index + k) mod taps] += kernel[k] x, as two runs without wrapping.
            const int firstRun = taps - index;
            addScaled(accumulator + index, kernel, x, firstRun);
            addScaled(accumulator, kernel + firstRun, x, index);
            const float y = accumulator[index];
            accumulator[index] = 0.0f;
            if (++index == taps)
                index = 0;
            out[i] = y;

            if (tailCountdown > 1) {
                --tailCountdown;
            } else if (tailCountdown == 1) {
                tailCountdown = 0;
                heldValue = y;
                pinOut.setStreaming(false, blockPos + i);
                setSubProcess(&ShortConv::subProcessStatic);
                std::fill(out + i + 1, out + sampleFrames, heldValue);
                return;
            }
        }
    }

    void subProcessStatic(int sampleFrames) { std::fill_n(pinOut.getBuffer() + blockPos, sampleFrames, heldValue); }

private:
    // accumulator[k] += taps[k] x for k < count: the loop the compiler vectorises.
    static void addScaled(float* __restrict accumulatorRun, const float* __restrict tapRun, float x, int count)
    {
        for (int k = 0; k < count; ++k)
            accumulatorRun[k] += tapRun[k] * x;
    }

    void takeKernel(const MpBlob& blob)
    {
        const int size = blob.getSize();
        const bool wholeTaps = size > 0 && size % static_cast<int>(sizeof(float)) == 0;
        if (wholeTaps) {
            taps = std::min(size / static_cast<int>(sizeof(float)), maxTaps);
            std::memcpy(kernel, blob.getData(), static_cast<std::size_t>(taps) * sizeof(float));
            for (int k = 0; k < taps; ++k)
                kernel[k] = std::isfinite(kernel[k]) ? std::clamp(kernel[k], -largestTap, largestTap) : 0.0f;
        } else {
            taps = 1;
            kernel[0] = 1.0f;
        }
        std::fill_n(accumulator, taps, 0.0f);
        index = 0;
    }
};

namespace {
const bool registered = gmpi::Register<ShortConv>::withId(L"ShortConv");
}
