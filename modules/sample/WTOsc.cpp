// WTOsc: plays the frames Start .. End of a sample blob as one cycle of a periodic
// waveform. Pitch is a linear frequency (10 x Pitch Hz, up to half the host's rate) or
// volts per octave (10 x Pitch = 5 is 440 Hz, limited to 0 .. 10). A rising edge on Sync
// restarts the cycle; PhaseMod shifts the read position by up to one cycle either way.
//
// While the read position moves by at most one table entry per output sample the output
// is the four-point interpolation of the table (cyclic neighbours); above that it is the
// mean of the table over the swept interval, from running sums, which keeps high pitches
// from folding their harmonics back below the host's half rate. Output = 0.5 x value.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "SampleView.h"
#include "SignalMath.h"
#include "mp_sdk_audio.h"

namespace {

constexpr int minimumEntries = 5;

class WTOsc : public MpBase2 {
    BlobInPin pinWavetable;
    AudioInPin pinSync;      // rising through 0 restarts the cycle
    AudioInPin pinPitch;     // x 10: Hz or volts
    EnumInPin pinFreqMode;   // 0 linear Hz, otherwise volts per octave
    AudioInPin pinPhaseMod;  // cycles, -1 .. 1
    IntInPin pinStart;       // first frame of the cycle
    IntInPin pinEnd;         // last frame; outside the blob: its last frame
    EnumInPin pinEnable;     // 0 off
    AudioOutPin pinOut;

    std::vector<signal_math::SummedEntry> table;  // the cycle with its running sums
    int entries = 0;                              // 0: no table, silence
    bool enabled = false;
    bool linearFrequency = true;
    double phase = 0.0;              // table entries, 0 <= phase < entries
    double increment = 0.0;          // table entries per output sample
    double previousRead = 0.0;       // read position of the previous sample
    double wrapCorrection = 0.0;     // 0, or minus the whole cycles taken off the phase since then
    float lastPitch = 0.0f;          // limited 10 x Pitch last used
    // The end of the last swept interval and the table's integral there (forward or
    // backward reading); NaN until a sweep, and after the table changes.
    double sweepEnd = std::numeric_limits<double>::quiet_NaN();
    double sweepEndIntegral = 0.0;
    bool sweepForward = true;
    float lastSync = 0.0f;

public:
    WTOsc()
    {
        initializePin(pinWavetable);
        initializePin(pinSync);
        initializePin(pinPitch);
        initializePin(pinFreqMode);
        initializePin(pinPhaseMod);
        initializePin(pinStart);
        initializePin(pinEnd);
        initializePin(pinEnable);
        initializePin(pinOut);
        setSubProcess(&WTOsc::subProcess);
    }

    void onSetPins() override
    {
        if (pinFreqMode.isUpdated())
            linearFrequency = pinFreqMode == 0;
        if (pinEnable.isUpdated())
            enabled = pinEnable != 0;
        if (pinWavetable.isUpdated() || pinStart.isUpdated() || pinEnd.isUpdated())
            buildTable();
        if (pinEnable.isUpdated() || pinWavetable.isUpdated() || pinStart.isUpdated() || pinEnd.isUpdated())
            pinOut.setStreaming(enabled && entries > 0);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (!enabled || entries == 0 || !pinOut.isStreaming()) {
            std::fill(out, out + sampleFrames, 0.0f);
            return;
        }
        float sampleRate = 48000.0f;
        getHost()->hostGetSampleRate(sampleRate);
        const float* sync = pinSync.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        const float* phaseMod = pinPhaseMod.getBuffer() + blockPos;
        const signal_math::SummedEntry* t = table.data();
        const signal_math::StepIntegral<signal_math::SummedEntry> integral(t, entries);
        const double size = entries;
        const double inverseSize = 1.0 / size;
        const float pitchLimit = linearFrequency ? sampleRate * 0.5f : 10.0f;
        // The state in locals, written back after the loop: the output stores could
        // otherwise alias it.
        float pitchUsed = lastPitch;
        float syncBefore = lastSync;
        double ph = phase;
        double step = increment;
        double previous = previousRead;
        double wrap = wrapCorrection;
        double lastEnd = sweepEnd;
        double lastEndIntegral = sweepEndIntegral;
        bool lastForward = sweepForward;

        const int count = entries;
        const bool linear = linearFrequency;
        for (int s = 0; s < sampleFrames; ++s) {
            const float pmIn = phaseMod[s];
            const float pm = pmIn > 1.0f ? 1.0f : (pmIn >= -1.0f ? pmIn : (pmIn < -1.0f ? -1.0f : 0.0f));
            if (syncBefore <= 0.0f && sync[s] > 0.0f)
                ph = 0.0;
            syncBefore = sync[s];

            float v = 10.0f * pitch[s];
            v = v > 0.0f ? (v < pitchLimit ? v : pitchLimit) : 0.0f;  // NaN: 0
            if (v != pitchUsed) {
                const double frequency = linear ? v : 440.0 * signal_math::fastExp2(v - 5.0f);
                step = frequency / sampleRate * size;
                pitchUsed = v;
            }

            const double read = pm * size + ph;
            // The read position in the previous one's frame, then both moved into the first cycle.
            const double shift = signal_math::floorPosition(previous * inverseSize) * size;
            const double x0 = previous - shift;
            const double x1 = read - wrap - shift;
            const double d = x1 - x0;
            double value;
            if (d <= 1.0 && d >= -1.0) {
                const double c = x1 - signal_math::floorPosition(x1 * inverseSize) * size;
                int i = static_cast<int>(c);
                i = i < count ? i : count - 1;
                const float f = static_cast<float>(c - i);
                const int before = i > 0 ? i - 1 : count - 1;
                const int after = i + 1 < count ? i + 1 : i + 1 - count;
                const int after2 = i + 2 < count ? i + 2 : i + 2 - count;
                value = signal_math::interpolate4(t[before].value, t[i].value, t[after].value, t[after2].value, f);
            } else {
                // The mean over the sweep, as StepIntegral::mean gives it. A sweep usually
                // starts where the previous one ended: that integral is reused.
                const bool forward = x1 > x0;
                const double from = x0 == lastEnd && forward == lastForward
                                        ? lastEndIntegral
                                        : (forward ? integral.forwardIntegral(x0) : integral.backwardIntegral(x0));
                const double to = forward ? integral.forwardIntegral(x1) : integral.backwardIntegral(x1);
                value = forward ? (to - from) / (x1 - x0) : (from - to) / (x0 - x1);
                lastEnd = x1;
                lastEndIntegral = to;
                lastForward = forward;
            }

            wrap = 0.0;
            ph += step;
            while (ph >= size) {
                ph -= size;
                wrap -= size;
            }
            out[s] = static_cast<float>(0.5 * value);
            previous = read;
        }
        phase = ph;
        increment = step;
        previousRead = previous;
        wrapCorrection = wrap;
        sweepEnd = lastEnd;
        sweepEndIntegral = lastEndIntegral;
        sweepForward = lastForward;
        lastPitch = pitchUsed;
        lastSync = syncBefore;
    }

private:
    // The cycle from the blob's frames Start .. End; fewer than 5 frames give no table.
    void buildTable()
    {
        entries = 0;
        sweepEnd = std::numeric_limits<double>::quiet_NaN();
        const sample_view::SampleView view = sample_view::takeSample(pinWavetable);
        if (!view)
            return;
        try {
            // Room for every frame of a new blob when it arrives, so that later Start and
            // End changes never allocate.
            const auto frames = static_cast<std::size_t>(view.frames);
            if (frames > table.capacity())
                table.reserve(frames);
        } catch (const std::bad_alloc&) {
        }
        const std::int64_t first = std::max(0, pinStart.getValue());
        const std::int64_t end = pinEnd.getValue();
        const std::int64_t last = end >= 0 && end < view.frames ? end : view.frames - 1;
        if (last - first < minimumEntries - 1)
            return;
        const auto count = static_cast<std::size_t>(last - first + 1);
        if (count > table.capacity())
            return;  // the storage could not be had when the blob arrived
        table.resize(count);
        for (std::size_t k = 0; k < count; ++k)
            table[k].value = view.samples[static_cast<std::size_t>(first) + k];
        signal_math::accumulateRunningSums(table.data(), static_cast<int>(count));
        entries = static_cast<int>(count);
        phase = increment = previousRead = wrapCorrection = 0.0;
        lastPitch = lastSync = 0.0f;
    }
};

const bool registered = gmpi::Register<WTOsc>::withId(L"WTOsc");

}  // namespace
