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
    // The cycle's values with their cyclic neighbours around them: the last entry, the
    // cycle, then its first two entries, so that a four-point read never wraps.
    std::vector<float> wrapped;
    int entries = 0;                              // 0: no table, silence
    bool enabled = false;
    bool linearFrequency = true;

    // The reading state, copied into registers for a block.
    struct Cursor {
        double phase = 0.0;           // table entries, 0 <= phase < entries
        double increment = 0.0;       // table entries per output sample
        double previousRead = 0.0;    // read position of the previous sample
        double wrapCorrection = 0.0;  // 0, or minus the whole cycles taken off the phase since then
        // The end of the last swept interval and the table's integral there (forward or
        // backward reading); NaN until a sweep, and after the table changes.
        double sweepEnd = std::numeric_limits<double>::quiet_NaN();
        double sweepEndIntegral = 0.0;
        bool sweepForward = true;
    };
    Cursor cursor;
    float lastPitch = 0.0f;  // limited 10 x Pitch last used
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
        // With pitch, sync and phase modulation static (each buffer holds one value until
        // its next event), the common case, the inputs are read once a block.
        if (!pinPitch.isStreaming() && !pinSync.isStreaming() && !pinPhaseMod.isStreaming())
            setSubProcess(&WTOsc::subProcessStatic);
        else
            setSubProcess(&WTOsc::subProcess);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (!enabled || entries == 0 || !pinOut.isStreaming()) {
            std::fill(out, out + sampleFrames, 0.0f);
            return;
        }
        const float* sync = pinSync.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        const float* phaseMod = pinPhaseMod.getBuffer() + blockPos;
        const Cycle cycle = currentCycle();
        // The state in locals, written back after the loop: the output stores could
        // otherwise alias it.
        Cursor c = cursor;
        float pitchUsed = lastPitch;
        float syncBefore = lastSync;
        for (int s = 0; s < sampleFrames; ++s) {
            const float pm = limitPhaseMod(phaseMod[s]);
            if (syncBefore <= 0.0f && sync[s] > 0.0f)
                c.phase = 0.0;
            syncBefore = sync[s];
            updateIncrement(pitch[s], cycle, c, pitchUsed);
            out[s] = readAndStep(pm * cycle.size + c.phase, cycle, c);
        }
        cursor = c;
        lastPitch = pitchUsed;
        lastSync = syncBefore;
    }

    // subProcess for static pitch, sync and phase modulation: only the first sample can
    // see a rising sync edge or another pitch.
    void subProcessStatic(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (!enabled || entries == 0 || !pinOut.isStreaming()) {
            std::fill(out, out + sampleFrames, 0.0f);
            return;
        }
        if (sampleFrames <= 0)
            return;
        const float sync = pinSync.getBuffer()[blockPos];
        const Cycle cycle = currentCycle();
        Cursor c = cursor;
        if (lastSync <= 0.0f && sync > 0.0f)
            c.phase = 0.0;
        lastSync = sync;
        updateIncrement(pinPitch.getBuffer()[blockPos], cycle, c, lastPitch);
        const double offset = limitPhaseMod(pinPhaseMod.getBuffer()[blockPos]) * cycle.size;
        for (int s = 0; s < sampleFrames; ++s)
            out[s] = readAndStep(offset + c.phase, cycle, c);
        cursor = c;
    }

private:
    // What a block reads: the table, its size, and the rate.
    struct Cycle {
        const float* wrapped;
        signal_math::StepIntegral<signal_math::SummedEntry> integral;
        int count;
        double size;
        double inverseSize;
        float sampleRate;
        float pitchLimit;
    };

    Cycle currentCycle()
    {
        float sampleRate = 48000.0f;
        getHost()->hostGetSampleRate(sampleRate);
        return {wrapped.data(),
                signal_math::StepIntegral<signal_math::SummedEntry>(table.data(), entries),
                entries,
                static_cast<double>(entries),
                1.0 / entries,
                sampleRate,
                linearFrequency ? sampleRate * 0.5f : 10.0f};
    }

    // PhaseMod limited to -1 .. 1; NaN gives 0.
    static float limitPhaseMod(float pm) { return pm > 1.0f ? 1.0f : (pm >= -1.0f ? pm : (pm < -1.0f ? -1.0f : 0.0f)); }

    // The increment for Pitch `pitch`, recomputed only when the limited 10 x Pitch changes.
    void updateIncrement(float pitch, const Cycle& cycle, Cursor& c, float& used) const
    {
        float v = 10.0f * pitch;
        v = v > 0.0f ? (v < cycle.pitchLimit ? v : cycle.pitchLimit) : 0.0f;  // NaN: 0
        if (v != used) {
            const double frequency = linearFrequency ? v : 440.0 * signal_math::fastExp2(v - 5.0f);
            c.increment = frequency / cycle.sampleRate * cycle.size;
            used = v;
        }
    }

    // The output at read position `read` (table entries), then the phase one step on.
    [[gnu::always_inline]] static float readAndStep(double read, const Cycle& cycle, Cursor& c)
    {
        const double size = cycle.size;
        // The read position in the previous one's frame, then both moved into the first cycle.
        const double shift = cyclesBefore(c.previousRead, cycle) * size;
        const double x0 = c.previousRead - shift;
        const double x1 = read - c.wrapCorrection - shift;
        const double d = x1 - x0;
        c.wrapCorrection = 0.0;
        c.phase += c.increment;
        while (c.phase >= size) {
            c.phase -= size;
            c.wrapCorrection -= size;
        }
        c.previousRead = read;

        if (d <= 1.0 && d >= -1.0) {
            const double position = x1 - cyclesBefore(x1, cycle) * size;
            int i = static_cast<int>(position);
            i = i < cycle.count ? i : cycle.count - 1;
            const float* p = cycle.wrapped + i;  // entries i - 1 .. i + 2
            // Half the value, as exact in single precision as through double.
            return 0.5f * signal_math::interpolate4(p[0], p[1], p[2], p[3], static_cast<float>(position - i));
        }
        // The mean over the sweep, as StepIntegral::mean gives it. A sweep usually starts
        // where the previous one ended: that integral is reused.
        const bool forward = x1 > x0;
        const double from = x0 == c.sweepEnd && forward == c.sweepForward
                                ? c.sweepEndIntegral
                                : (forward ? cycle.integral.forwardIntegral(x0) : cycle.integral.backwardIntegral(x0));
        const double to = forward ? cycle.integral.forwardIntegral(x1) : cycle.integral.backwardIntegral(x1);
        const double value = forward ? (to - from) / (x1 - x0) : (from - to) / (x0 - x1);
        c.sweepEnd = x1;
        c.sweepEndIntegral = to;
        c.sweepForward = forward;
        return static_cast<float>(0.5 * value);
    }

    // The whole cycles before position x, floorPosition(x / size) as the multiple of the
    // inverse size gives it; within the first cycle, the usual case, without the rounding.
    [[gnu::always_inline]] static double cyclesBefore(double x, const Cycle& cycle)
    {
        const double cycles = x * cycle.inverseSize;
        return cycles >= 0.0 && cycles < 1.0 ? 0.0 : signal_math::floorPosition(cycles);
    }

    // The cycle from the blob's frames Start .. End; fewer than 5 frames give no table.
    void buildTable()
    {
        entries = 0;
        cursor.sweepEnd = std::numeric_limits<double>::quiet_NaN();
        const sample_view::SampleView view = sample_view::takeSample(pinWavetable);
        if (!view)
            return;
        try {
            // Room for every frame of a new blob when it arrives, so that later Start and
            // End changes never allocate.
            const auto frames = static_cast<std::size_t>(view.frames);
            if (frames > table.capacity())
                table.reserve(frames);
            if (frames + 3 > wrapped.capacity())
                wrapped.reserve(frames + 3);
        } catch (const std::bad_alloc&) {
        }
        const std::int64_t first = std::max(0, pinStart.getValue());
        const std::int64_t end = pinEnd.getValue();
        const std::int64_t last = end >= 0 && end < view.frames ? end : view.frames - 1;
        if (last - first < minimumEntries - 1)
            return;
        const auto count = static_cast<std::size_t>(last - first + 1);
        if (count > table.capacity() || count + 3 > wrapped.capacity())
            return;  // the storage could not be had when the blob arrived
        table.resize(count);
        for (std::size_t k = 0; k < count; ++k)
            table[k].value = view.samples[static_cast<std::size_t>(first) + k];
        signal_math::accumulateRunningSums(table.data(), static_cast<int>(count));
        wrapped.resize(count + 3);
        wrapped[0] = table[count - 1].value;
        for (std::size_t k = 0; k < count; ++k)
            wrapped[k + 1] = table[k].value;
        wrapped[count + 1] = table[0].value;
        wrapped[count + 2] = table[1].value;
        entries = static_cast<int>(count);
        cursor = Cursor{};
        lastPitch = lastSync = 0.0f;
    }
};

const bool registered = gmpi::Register<WTOsc>::withId(L"WTOsc");

}  // namespace
