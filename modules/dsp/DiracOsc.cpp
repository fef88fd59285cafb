// Dirac: a train of unit impulses, one every P samples. Naive mode writes single-sample
// impulses; anti-alias mode writes the band-limited impulse train
//   D(x) = sin(N x) / sin(x),  x = 2 pi phase,  N = 2 floor(P / 2) + 1 harmonics,
// scaled by 1 / (N - 1), from a sine table that every instance shares through the
// host's shared memory. With the phase advancing half a cycle per period, the kernel's
// peaks (at x = 0 and x = pi) come once every P samples, and its highest harmonic lies
// at or below half the sample rate.
//
// Pitch (x 10 = B): FreqMode 0 asks for B kHz, FreqMode 1 for 0.22 kHz x 2^(B - 4)
// (B = 5 is 440 Hz), FreqMode 2 and up for a period of B samples (at least 2). Frequencies
// are held at half the sample rate; periods are limited to 2^24 samples. A frequency of
// 0 (or below) is an infinite period: the output is silent. GainMode 1 scales the
// impulses by P / 2, so that lower pitches keep their loudness; RemoveDC subtracts the
// train's mean.
//
// When the host cannot provide the shared table, anti-alias mode falls back to the
// naive impulses.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "mp_sdk_audio.h"

class Dirac : public MpBase2 {
    static constexpr const wchar_t* tableName = L"KAVRO DIRAC OSC SINE TABLE";
    static constexpr int tableEntries = 262144;  // one cycle of sin(2 pi k / 262144)
    static constexpr int halfTable = tableEntries / 2;
    static constexpr std::uint32_t tableMask = tableEntries - 1;
    static constexpr float longestPeriod = 16777216.0f;  // samples, 2^24

    BoolInPin pinEnable;
    AudioInPin pinAmplitude;
    EnumInPin pinGainMode;  // 1: amplitude x P / 2
    AudioInPin pinPitch;    // x 10, by FreqMode
    EnumInPin pinFreqMode;  // 0: kHz, 1: 0.22 kHz octaves, 2 and up: samples
    BoolInPin pinAntiAlias;
    BoolInPin pinRemoveDC;
    AudioOutPin pinOut;

    // What the period gives, recomputed when the pitch changes.
    struct Cycle {
        double period = 0.0;          // samples
        double increment = 0.0;       // band-limited: 0.5 / P per sample
        float naiveIncrement = 0.0f;  // naive: 1 / P per sample, float32
        std::uint32_t harmonics = 0;  // N, odd
        float harmonicsAsFloat = 0.0f;
        float normaliser = 0.0f;      // 1 / (N - 1)
        bool silent = false;          // an infinite period: all of the above 0

        // What Amplitude is multiplied by: 1, or P / 2 with GainMode 1 (the same product
        // as Amplitude x 0.5 x P, 0.5 being exact); 0 for silence.
        float gainFactor(bool byPeriod) const
        {
            if (silent)
                return 0.0f;
            return byPeriod ? 0.5f * static_cast<float>(period) : 1.0f;
        }
    };

    double phase = 0.0;       // cycles; naive: >= 1 gives an impulse
    Cycle cycle;
    float lastPitch = -1.0f;  // B of the last recomputation; -1 forces one
    bool antiAlias = false;
    bool running = false;
    const float* sineTable = nullptr;  // shared, read-only after the fill; null when refused

public:
    Dirac()
    {
        initializePin(pinEnable);
        initializePin(pinAmplitude);
        initializePin(pinGainMode);
        initializePin(pinPitch);
        initializePin(pinFreqMode);
        initializePin(pinAntiAlias);
        initializePin(pinRemoveDC);
        initializePin(pinOut);
        setSubProcess(&Dirac::subProcessSleep);  // silent until Enable arrives
    }

    std::int32_t open() override
    {
        void* memory = nullptr;
        std::int32_t needsInitialising = 0;
        const std::int32_t result = getHost()->hostAllocateSharedMemory(
            tableName, &memory, -1.0f, tableEntries * static_cast<std::int32_t>(sizeof(float)), needsInitialising);
        if (result == gmpi::MP_OK && memory) {
            float* table = static_cast<float*>(memory);
            if (needsInitialising)
                fillSineTable(table);
            sineTable = table;
        }
        return MpBase2::open();
    }

    void onSetPins() override
    {
        if (pinEnable.isUpdated()) {
            running = pinEnable.getValue();
            pinOut.setStreaming(running);
            if (running)
                selectOscillator();
            else
                setSubProcess(&Dirac::subProcessSleep);
        }
        if (pinAntiAlias.isUpdated()) {
            antiAlias = pinAntiAlias.getValue();
            if (running)
                selectOscillator();
        }
        if (running && (pinPitch.isStreamingChanged() || pinAmplitude.isStreamingChanged()))
            selectOscillator();
        if (pinAntiAlias.isUpdated() || pinFreqMode.isUpdated() || (pinEnable.isUpdated() && running)) {
            phase = bandLimited() ? 0.0 : 1.0;  // either way an impulse on the next sample
            lastPitch = -1.0f;
        }
    }

    // Naive impulses, float32 arithmetic.
    void subProcess(int sampleFrames)
    {
        const float sampleRate = readSampleRate();
        const int freqMode = pinFreqMode.getValue();
        const float* amplitude = pinAmplitude.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        const bool gainByPeriod = pinGainMode.getValue() == 1;
        const bool removeDC = pinRemoveDC.getValue();
        // Locals throughout: the output stores cannot touch them.
        Cycle current = cycle;
        float last = lastPitch;
        float gainFactor = current.gainFactor(gainByPeriod);
        // The train's mean, or 0 (impulse - 0 is the impulse itself).
        float mean = removeDC ? current.naiveIncrement : 0.0f;
        float position = static_cast<float>(phase);
        for (int i = 0; i < sampleFrames; ++i) {
            const float b = pitchValue(pitch[i]);
            if (b != last) {
                current = cycleFor(b, sampleRate, freqMode);
                gainFactor = current.gainFactor(gainByPeriod);
                mean = removeDC ? current.naiveIncrement : 0.0f;
                last = b;
            }
            float impulse = 0.0f;
            if (position >= 1.0f) {
                impulse = 1.0f;
                position -= 1.0f;
            }
            out[i] = (impulse - mean) * (amplitude[i] * gainFactor);
            position += current.naiveIncrement;
        }
        phase = position;
        cycle = current;
        lastPitch = last;
    }

    // The band-limited impulse train, float64 phase.
    void subProcessAA(int sampleFrames)
    {
        const float sampleRate = readSampleRate();
        const int freqMode = pinFreqMode.getValue();
        const float* amplitude = pinAmplitude.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        const bool gainByPeriod = pinGainMode.getValue() == 1;
        const float dcOffset = pinRemoveDC.getValue() ? 1.0f : 0.0f;
        const float* table = sineTable;
        Cycle current = cycle;
        float last = lastPitch;
        float gainFactor = current.gainFactor(gainByPeriod);
        double position = phase;
        for (int i = 0; i < sampleFrames; ++i) {
            const float b = pitchValue(pitch[i]);
            if (b != last) {
                current = cycleFor(b, sampleRate, freqMode);
                gainFactor = current.gainFactor(gainByPeriod);
                last = b;
            }
            const float gain = amplitude[i] * gainFactor;
            out[i] = gain * ((kernelAt(table, position, current) - dcOffset) * current.normaliser);
            position += current.increment;
            if (position >= 1.0)
                position -= 1.0;
        }
        phase = position;
        cycle = current;
        lastPitch = last;
    }

    // subProcess for static Pitch and Amplitude (each buffer holds one value until its
    // next event), sample for sample the same: the cycle can change at the first sample
    // only, and (impulse - mean) x gain takes one of two values.
    void subProcessStatic(int sampleFrames)
    {
        const float gain = staticGain();
        const float mean = pinRemoveDC.getValue() ? cycle.naiveIncrement : 0.0f;
        const float impulseValue = (1.0f - mean) * gain;
        const float restValue = (0.0f - mean) * gain;
        const float increment = cycle.naiveIncrement;
        float* out = pinOut.getBuffer() + blockPos;
        float position = static_cast<float>(phase);
        for (int i = 0; i < sampleFrames; ++i) {
            float value = restValue;
            if (position >= 1.0f) {
                value = impulseValue;
                position -= 1.0f;
            }
            out[i] = value;
            position += increment;
        }
        phase = position;
    }

    // subProcessAA for static Pitch and Amplitude, sample for sample the same.
    void subProcessAAStatic(int sampleFrames)
    {
        const float gain = staticGain();
        const Cycle current = cycle;
        const float dcOffset = pinRemoveDC.getValue() ? 1.0f : 0.0f;
        const float* table = sineTable;
        float* out = pinOut.getBuffer() + blockPos;
        double position = phase;
        for (int i = 0; i < sampleFrames; ++i) {
            out[i] = gain * ((kernelAt(table, position, current) - dcOffset) * current.normaliser);
            position += current.increment;
            if (position >= 1.0)
                position -= 1.0;
        }
        phase = position;
    }

    void subProcessSleep(int sampleFrames) { std::fill_n(pinOut.getBuffer() + blockPos, sampleFrames, 0.0f); }

private:
    // For the static routines: the cycle of the block's pitch (as the general routines
    // take it at the block's first sample) and Amplitude x its gain factor.
    float staticGain()
    {
        const float b = pitchValue(pinPitch.getBuffer()[blockPos]);
        if (b != lastPitch) {
            cycle = cycleFor(b, readSampleRate(), pinFreqMode.getValue());
            lastPitch = b;
        }
        return pinAmplitude.getBuffer()[blockPos] * cycle.gainFactor(pinGainMode.getValue() == 1);
    }

    // The kernel sin(N x) / sin(x) at `position` (cycles) from the sine table.
    static float kernelAt(const float* table, double position, const Cycle& cycle)
    {
        const std::uint32_t x = static_cast<std::uint32_t>(position * tableEntries) & tableMask;
        // At x = 0 and half a cycle both sines are 0 and the kernel is its limit, N.
        if (x == 0 || x == halfTable)
            return cycle.harmonicsAsFloat;
        return table[(cycle.harmonics * x) & tableMask] / table[x];
    }

    static void fillSineTable(float* table)
    {
        // By repeated addition of pi / 131072, as every instance of every build fills it.
        double angle = 0.0;
        constexpr double step = 3.14159265358979323846 / halfTable;
        for (int k = 0; k < halfTable; ++k) {
            const float value = static_cast<float>(std::sin(angle));
            table[k] = value;
            table[k + halfTable] = -value;
            angle += step;
        }
    }

    bool bandLimited() const { return antiAlias && sineTable; }

    void selectOscillator()
    {
        const bool isStatic = !pinPitch.isStreaming() && !pinAmplitude.isStreaming();
        if (bandLimited())
            setSubProcess(isStatic ? &Dirac::subProcessAAStatic : &Dirac::subProcessAA);
        else
            setSubProcess(isStatic ? &Dirac::subProcessStatic : &Dirac::subProcess);
    }

    float readSampleRate() const
    {
        float sampleRate = 0.0f;
        getHost()->hostGetSampleRate(sampleRate);
        return sampleRate;
    }

    // B = 10 x Pitch, at least 0 (NaN: 0).
    static float pitchValue(float pitch)
    {
        return std::max(0.0f, 10.0f * pitch);  // 0 unless 0 < B
    }

    static Cycle cycleFor(float b, float sampleRate, int freqMode)
    {
        float samples;
        if (freqMode > 1) {
            samples = std::max(2.0f, b);
        } else {
            const float kiloHertz = freqMode == 1 ? 0.22f * std::exp2f(b - 4.0f) : b;
            const float rate = sampleRate * 0.001f;  // kHz
            const float limited = std::min(rate * 0.5f, kiloHertz);
            samples = limited > 0.0f ? rate / limited : std::numeric_limits<float>::infinity();
        }
        Cycle result;
        if (samples == std::numeric_limits<float>::infinity()) {
            result.silent = true;  // no phase advance, no kernel, no gain
            return result;
        }
        samples = std::min(samples, longestPeriod);
        result.period = samples;
        result.naiveIncrement = 1.0f / samples;
        const std::int32_t half = static_cast<std::int32_t>(result.period * 0.5);
        const std::int32_t even = 2 * half;
        result.harmonics = static_cast<std::uint32_t>(even + 1);
        result.harmonicsAsFloat = static_cast<float>(result.harmonics);
        result.normaliser = 1.0f / static_cast<float>(even);
        result.increment = 0.5 / result.period;
        return result;
    }
};

namespace {
const bool registered = gmpi::Register<Dirac>::withId(L"Dirac");
}
