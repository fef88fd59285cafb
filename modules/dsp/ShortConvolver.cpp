// ShortConv: direct convolution of In with a kernel of 1 to 1024 float32 taps taken
// from the Kernel blob, out[n] = sum over k of kernel[k] In[n - k]. When In stops
// streaming, Out keeps streaming for the kernel's length (the tail) and then holds its
// last value.
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
    // Samples convolved per pass, and room for that many passes before the input history
    // moves back to the start of its buffer.
    static constexpr int chunk = 64;
    static constexpr int historyCapacity = (maxTaps - 1) + 1024;
    // Outputs computed side by side: their sums stay in registers across the taps.
    static constexpr int group = 16;
    static constexpr int lanes = 4;
    using Lanes = float __attribute__((vector_size(lanes * sizeof(float))));  // one SSE register

    AudioInPin pinIn;
    BlobInPin pinKernel;
    AudioOutPin pinOut;

    // The kernel is copied out of the blob, so that a later blob reallocation cannot
    // leave it dangling; it is kept reversed, oldest input's tap first.
    alignas(64) float reversedKernel[maxTaps] = {1.0f};
    // The last taps - 1 inputs from historyStart on, then room for the next ones.
    alignas(64) float history[historyCapacity + chunk] = {};
    int taps = 1;
    int historyStart = 0;
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
        for (int done = 0; done < sampleFrames;) {
            int count = std::min(sampleFrames - done, chunk);
            // The tail ends on the sample where the countdown reaches 1.
            const bool tailEnds = tailCountdown > 0 && tailCountdown <= count;
            if (tailEnds)
                count = tailCountdown;
            else if (tailCountdown > 0)
                tailCountdown -= count;
            convolve(in + done, out + done, count);
            done += count;
            if (tailEnds) {
                tailCountdown = 0;
                heldValue = out[done - 1];
                pinOut.setStreaming(false, blockPos + done - 1);
                setSubProcess(&ShortConv::subProcessStatic);
                std::fill(out + done, out + sampleFrames, heldValue);
                return;
            }
        }
    }

    void subProcessStatic(int sampleFrames) { std::fill_n(pinOut.getBuffer() + blockPos, sampleFrames, heldValue); }

private:
    static Lanes load(const float* from)
    {
        Lanes value;
        std::memcpy(&value, from, sizeof value);
        return value;
    }

    // out[j] = sum over k of kernel[k] x[j - k], for count <= chunk samples. Each sum runs
    // from the oldest input's term to the newest, the order in which a circular
    // accumulator (each input adding kernel[k] x to the entry k samples ahead) collects
    // them, so the results are the same to the bit.
    void convolve(const float* in, float* out, int count)
    {
        const int kept = taps - 1;
        if (historyStart + kept + count > historyCapacity + chunk) {
            std::memmove(history, history + historyStart, static_cast<std::size_t>(kept) * sizeof(float));
            historyStart = 0;
        }
        float* window = history + historyStart;  // window[m + j]: the m-th oldest input of output j
        std::copy_n(in, count, window + kept);   // first: In and Out may be one buffer
        const float* kernel = reversedKernel;
        int j = 0;
        for (; j + group <= count; j += group) {
            // Sixteen sums in four registers of four lanes; each lane adds its terms in
            // tap order, exactly as the plain loop below.
            Lanes sums[group / lanes] = {};
            for (int m = 0; m < taps; ++m) {
                const float tap = kernel[m];
                const float* inputs = window + j + m;
                for (int g = 0; g < group / lanes; ++g)
                    sums[g] += tap * load(inputs + g * lanes);
            }
            std::memcpy(out + j, sums, sizeof sums);
        }
        for (; j < count; ++j) {
            float sum = 0.0f;
            for (int m = 0; m < taps; ++m)
                sum += kernel[m] * window[j + m];
            out[j] = sum;
        }
        historyStart += count;
    }

    void takeKernel(const MpBlob& blob)
    {
        const int size = blob.getSize();
        const bool wholeTaps = size > 0 && size % static_cast<int>(sizeof(float)) == 0;
        if (wholeTaps) {
            taps = std::min(size / static_cast<int>(sizeof(float)), maxTaps);
            const float* data = reinterpret_cast<const float*>(blob.getData());
            for (int k = 0; k < taps; ++k) {
                float tap;
                std::memcpy(&tap, data + k, sizeof tap);
                reversedKernel[taps - 1 - k] = std::isfinite(tap) ? std::clamp(tap, -largestTap, largestTap) : 0.0f;
            }
        } else {
            taps = 1;
            reversedKernel[0] = 1.0f;
        }
        // The new kernel starts on silence.
        std::fill(std::begin(history), std::end(history), 0.0f);
        historyStart = 0;
    }
};

namespace {
const bool registered = gmpi::Register<ShortConv>::withId(L"ShortConv");
}
