// DWG: a plucked-string digital waveguide. The excitation is written into a circular
// delay line whose length sets the pitch; the delayed signal is read back through a
// first-order all-pass fractional interpolator, low-passed, scaled by the feedback and
// a gate envelope and added to the next excitation sample.
//
// Two tables shared by every instance through the host's shared memory keep the loop
// in tune and its decay independent of the pitch: PCORR shortens the delay by the loop
// low-pass's phase delay, FBSCAL turns a feedback per 261.65 Hz period into one per loop.
// Both are 1024 x 1024 float32, row i for x = i / 1023, column j for a delay length
// a_j = 1 + j * 4999 / 1023 samples. Without a table the matching option is off.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "mp_sdk_audio.h"

namespace {

constexpr int lineLength = 5000;
constexpr int tableSide = 1024;
constexpr int tableBytes = tableSide * tableSide * static_cast<int>(sizeof(float));
constexpr float columnScale = 1023.0f / 4999.0f;  // delay length (minus 1) to column
// Samples larger than this (or not finite) never enter the lines or the filter states:
// far below overflow, so the loop stays finite whatever reaches its inputs.
constexpr float sampleLimit = 1e15f;
constexpr int quietSamples = 5000;

// The column lengths and row positions as the tables accumulate them (float64 steps).
constexpr double columnStep = 4.886608015640274;
constexpr double rowStep = 0.0009775171065493646;

// x clamped to [low, high]; NaN gives `low`.
inline float limit(float x, float low, float high)
{
    return x > low ? (x < high ? x : high) : low;
}

inline float finiteOrZero(float x)
{
    return std::fabs(x) <= sampleLimit ? x : 0.0f;
}

void fillPitchCorrection(float* table)
{
    double x = 0.0;
    for (int i = 0; i < tableSide; ++i, x += rowStep) {
        double a = 1.0;
        for (int j = 0; j < tableSide; ++j, a += columnStep) {
            const double omega = 6.28318530717958 / a;
            const double phase = std::atan2(std::sin(x * omega), 1.0 - x * std::cos(omega));
            table[i * tableSide + j] = static_cast<float>(std::max(1.0, a - a * 0.15915494309189 * phase));
        }
    }
}

void fillFeedbackScaling(float* table, float sampleRate)
{
    const double periodsPerSample = 261.6529068725 / sampleRate;
    double x = 0.0;
    for (int i = 0; i < tableSide; ++i, x += rowStep) {
        double a = 1.0;
        for (int j = 0; j < tableSide; ++j, a += columnStep)
            table[i * tableSide + j] = static_cast<float>(std::pow(x, periodsPerSample * a));
    }
}

// The row half of a bilinear lookup: row coordinate x * 1023, its fraction, and whether
// the row below is beyond the table.
struct TableRow {
    const float* row;
    float fraction;
    bool last;
};

inline TableRow tableRow(const float* table, float x)
{
    const float r = x * 1023.0f;
    const int row = static_cast<int>(r);
    return {table + row * tableSide, r - static_cast<float>(row), row > tableSide - 2};
}

// Bilinear lookup in `row` at column coordinate `column`; neighbours beyond the last row
// or column are left out (their weight is dropped).
inline float lookup(const TableRow& row, float column)
{
    const int col = static_cast<int>(column);
    const float fc = column - static_cast<float>(col);
    const float* p = row.row + col;
    const bool lastColumn = col > tableSide - 2;
    float upper = (1.0f - fc) * p[0];
    if (!lastColumn)
        upper += fc * p[1];
    float result = (1.0f - row.fraction) * upper;
    if (!row.last) {
        float lower = (1.0f - fc) * p[tableSide];
        if (!lastColumn)
            lower += fc * p[tableSide + 1];
        result += row.fraction * lower;
    }
    return result;
}

// A read position on both lines with its all-pass interpolator.
struct Tap {
    float delay = 1.0f;   // samples
    int whole = 1;        // delay's whole samples
    float alpha = 1.0f;   // all-pass coefficient from delay's fraction; 0.9 or more reads x_L alone
    int readIndex = 0;    // position of x_L in the lines
    float loopState = 0.0f;
    float excitationState = 0.0f;

    void setDelay(float newDelay, int writeIndex)
    {
        if (newDelay != delay) {
            delay = newDelay;
            whole = static_cast<int>(newDelay);
            const float fraction = newDelay - static_cast<float>(whole);
            alpha = (1.0f - fraction) / (1.0f + fraction);
        }
        readIndex = writeIndex - whole;
        if (readIndex < 0)
            readIndex += lineLength;
    }
    void advance()
    {
        if (++readIndex == lineLength)
            readIndex = 0;
    }
    static float read(const float* line, int index, float alpha, float& state)
    {
        const float x0 = line[index];
        if (alpha >= 0.9f) {
            state = x0;
            return x0;
        }
        const float x1 = line[index == 0 ? lineLength - 1 : index - 1];
        state = (x0 - state) * alpha + x1;
        return state;
    }
};

}  // namespace

class DWG : public MpBase2 {
    BoolInPin pinEnable;
    AudioInPin pinExcitation;
    AudioInPin pinPitch;       // 10 x Pitch: a period in samples, or a frequency in kHz
    EnumInPin pinPitchMode;    // 1: Pitch is a frequency
    BoolInPin pinSmoothPitch;  // crossfade pitch jumps over 50 samples
    AudioInPin pinGate;
    AudioInPin pinFeedback;    // [-1, 1]
    FloatInPin pinRelease;     // gate envelope fall rate, 0 .. 10
    BoolInPin pinFeedbackScaling;
    AudioInPin pinDamping;     // loop low-pass amount [0, 1]
    BoolInPin pinPitchCorrection;
    BoolInPin pinCancelExcitation;
    FloatInPin pinDCBlock;     // 0 or less: off
    FloatInPin pinClear;       // exactly 1.0 clears the lines
    AudioOutPin pinOut;

    float loopLine[lineLength] = {};
    float excitationLine[lineLength] = {};  // the excitation as written, without feedback
    int writeIndex = 0;

    Tap mainTap;
    Tap fadeTap;
    int fadeCounter = 0;  // samples of crossfade left; 0 when none runs

    float lowpassState = 0.0f;
    float dcPreviousInput = 0.0f;
    float dcPreviousOutput = 0.0f;
    float envelope = 0.0f;               // gate envelope 0 .. 1
    float releaseStep = 0.0005875f;      // per sample, the value for Release 2
    int silentSamples = 0;
    float dcCoefficients[tableSide] = {};  // by table column

    const float* pitchCorrection = nullptr;  // shared; null when the host has none
    const float* feedbackScaling = nullptr;

public:
    DWG()
    {
        initializePin(pinEnable);
        initializePin(pinExcitation);
        initializePin(pinPitch);
        initializePin(pinPitchMode);
        initializePin(pinSmoothPitch);
        initializePin(pinGate);
        initializePin(pinFeedback);
        initializePin(pinRelease);
        initializePin(pinFeedbackScaling);
        initializePin(pinDamping);
        initializePin(pinPitchCorrection);
        initializePin(pinCancelExcitation);
        initializePin(pinDCBlock);
        initializePin(pinClear);
        initializePin(pinOut);
        setSubProcess(&DWG::subProcess);
    }

    std::int32_t open() override
    {
        float rate = sampleRate();
        pitchCorrection = sharedTable(L"KAVRO DWG PCORR TABLE", -1.0f, [](float* table) { fillPitchCorrection(table); });
        feedbackScaling = sharedTable(L"KAVRO DWG FBSCAL TABLE", rate,
                                      [rate](float* table) { fillFeedbackScaling(table, rate); });
        return MpBase2::open();
    }

    void onSetPins() override
    {
        if (pinEnable.isUpdated()) {
            if (pinEnable) {
                setSubProcess(&DWG::subProcess);
                pinOut.setStreaming(true);
            } else {
                clearLines();
                writeIndex = 0;
                dcPreviousInput = dcPreviousOutput = 0.0f;
                pinOut.setStreaming(false, -1);
                setSubProcess(&DWG::subProcessIdle);
            }
        }
        if (pinExcitation.isStreamingChanged() && pinEnable) {
            setSubProcess(&DWG::subProcess);
            pinOut.setStreaming(true);
        }
        if (pinRelease.isUpdated()) {
            const float v = limit(pinRelease * 0.1f, 0.0f, 1.0f);
            releaseStep = exp2f(-24.0f * std::sqrt(v));
        }
        if (pinDCBlock.isUpdated()) {
            const double strength = std::isfinite(pinDCBlock.getValue()) ? std::max(0.0f, pinDCBlock.getValue()) : 0.0;
            double a = 1.0;
            for (int j = 0; j < tableSide; ++j, a += columnStep)
                dcCoefficients[j] = static_cast<float>(std::exp(-strength / (a * a)));
        }
        if (pinClear.isUpdated() && pinClear == 1.0f && pinOut.isStreaming())
            clearLines();
    }

    void subProcessIdle(int sampleFrames) { std::fill_n(pinOut.getBuffer() + blockPos, sampleFrames, 0.0f); }

    void subProcess(int sampleFrames)
    {
        const float* excitation = pinExcitation.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        const float* gate = pinGate.getBuffer() + blockPos;
        const float* feedback = pinFeedback.getBuffer() + blockPos;
        const float* damping = pinDamping.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;

        const float t = sampleRate() * 0.001f;  // samples per millisecond
        const bool frequencyMode = pinPitchMode == 1;
        const bool smooth = pinSmoothPitch;
        const float* pcorr = pinPitchCorrection ? pitchCorrection : nullptr;
        const float* fbscal = pinFeedbackScaling ? feedbackScaling : nullptr;
        const bool cancel = pinCancelExcitation;
        const bool dcBlock = pinDCBlock > 0.0f;
        const float release = releaseStep;

        // The state in locals, written back after the loop: the output stores could
        // otherwise alias it.
        int write = writeIndex;
        Tap main = mainTap;
        Tap fade = fadeTap;
        int fadeLeft = fadeCounter;
        float lowpass = lowpassState;
        float dcInput = dcPreviousInput;
        float dcOutput = dcPreviousOutput;
        float level = envelope;
        int silent = silentSamples;
        // What the damping and the feedback level give, kept while they repeat (a limited
        // value is never NaN, so -1 forces the first computation).
        float dampingUsed = -1.0f;
        float k = 0.0f;
        TableRow correctionRow{};
        float feedbackUsed = -1.0f;
        TableRow scalingRow{};

        for (int s = 0; s < sampleFrames; ++s) {
            float p = 10.0f * pitch[s];
            if (frequencyMode)
                p = t / p;
            float delay = limit(p, 1.0f, static_cast<float>(lineLength));  // NaN: 1

            const float b = limit(damping[s], 0.0f, 1.0f);
            if (b != dampingUsed) {
                dampingUsed = b;
                k = b * t / ((t - 48.0f) * b + 48.0f);
                if (pcorr)
                    correctionRow = tableRow(pcorr, k);
            }
            if (pcorr)
                delay = lookup(correctionRow, (delay - 1.0f) * columnScale);
            const float column = (delay - 1.0f) * columnScale;

            const float clampedFeedback = limit(feedback[s], -1.0f, 1.0f);
            float fb = clampedFeedback;
            if (fbscal) {
                const float magnitude = std::fabs(clampedFeedback);
                if (magnitude != feedbackUsed) {
                    feedbackUsed = magnitude;
                    scalingRow = tableRow(fbscal, magnitude);
                }
                fb = lookup(scalingRow, column);
                if (clampedFeedback < 0.0f)
                    fb = -fb;
            }

            float e = finiteOrZero(excitation[s]);
            if (dcBlock && fb > 0.0f) {
                const int c = static_cast<int>(column);
                const float fraction = column - static_cast<float>(c);
                float r = (1.0f - fraction) * dcCoefficients[c];
                if (c < tableSide - 1)
                    r += fraction * dcCoefficients[c + 1];
                const float filtered = finiteOrZero(e - dcInput + r * dcOutput);
                dcInput = e;
                dcOutput = filtered;
                e = filtered;
            }

            if (gate[s] != 0.0f)
                level = std::min(1.0f, level + 0.005f);
            else
                level = std::max(0.0f, level - release);

            float y;
            float z = 0.0f;
            if (fadeLeft == 0) {
                if (smooth && std::fabs(delay - main.delay) > 0.1f) {
                    fade.setDelay(delay, write);
                    fade.loopState = fade.excitationState = 0.0f;
                    fadeLeft = 49;
                    main.setDelay(main.delay, write);
                } else {
                    main.setDelay(delay, write);
                }
                y = Tap::read(loopLine, main.readIndex, main.alpha, main.loopState);
                if (cancel)
                    z = Tap::read(excitationLine, main.readIndex, main.alpha, main.excitationState);
            } else {
                main.advance();
                fade.advance();
                const float u = static_cast<float>(fadeLeft) * 0.02f;
                const float w = u * u * (3.0f - 2.0f * u);
                y = w * Tap::read(loopLine, main.readIndex, main.alpha, main.loopState) +
                    (1.0f - w) * Tap::read(loopLine, fade.readIndex, fade.alpha, fade.loopState);
                if (cancel)
                    z = w * Tap::read(excitationLine, main.readIndex, main.alpha, main.excitationState) +
                        (1.0f - w) * Tap::read(excitationLine, fade.readIndex, fade.alpha, fade.excitationState);
                if (fadeLeft == 1) {
                    main = fade;
                    fadeLeft = 0;
                } else {
                    --fadeLeft;
                }
            }

            const float output = cancel ? y - 0.5f * z : y;
            out[s] = output;
            excitationLine[write] = e;

            const float gain = fb * level;
            if (gain != 0.0f) {
                if (k != 0.0f) {
                    y = k * lowpass + (1.0f - k) * y;
                    lowpass = y;
                }
                e = finiteOrZero(e + gain * y);
            }
            loopLine[write] = e;
            if (++write == lineLength)
                write = 0;

            silent = std::fabs(output) < 1e-5f ? silent + 1 : 0;
        }
        writeIndex = write;
        mainTap = main;
        fadeTap = fade;
        fadeCounter = fadeLeft;
        lowpassState = lowpass;
        dcPreviousInput = dcInput;
        dcPreviousOutput = dcOutput;
        envelope = level;
        silentSamples = silent;

        if (silentSamples >= quietSamples && !pinExcitation.isStreaming() && sampleFrames > 0) {
            // The host holds the last sample as the static level; the idle routine writes
            // zeros, so the quiet (below 1e-5) last sample becomes 0 to match them.
            out[sampleFrames - 1] = 0.0f;
            pinOut.setStreaming(false, blockPos + sampleFrames);
            setSubProcess(&DWG::subProcessIdle);
            silentSamples = 0;
        }
    }

private:
    float sampleRate()
    {
        float rate = 48000.0f;
        if (getHost())
            getHost()->hostGetSampleRate(rate);
        return rate > 0.0f && std::isfinite(rate) ? rate : 48000.0f;
    }

    // The shared table (name, rate), filled by `fill` when this instance created it;
    // null when the host cannot supply it.
    template <class Fill>
    const float* sharedTable(const wchar_t* name, float rate, Fill fill)
    {
        if (!getHost())
            return nullptr;
        void* memory = nullptr;
        std::int32_t needsFilling = 0;
        if (getHost()->hostAllocateSharedMemory(name, &memory, rate, tableBytes, needsFilling) != gmpi::MP_OK ||
            !memory)
            return nullptr;
        if (needsFilling)
            fill(static_cast<float*>(memory));
        return static_cast<const float*>(memory);
    }

    void clearLines()
    {
        std::fill(std::begin(loopLine), std::end(loopLine), 0.0f);
        std::fill(std::begin(excitationLine), std::end(excitationLine), 0.0f);
        mainTap.loopState = mainTap.excitationState = 0.0f;
        fadeTap.loopState = fadeTap.excitationState = 0.0f;
        lowpassState = 0.0f;
    }
};

namespace {
const bool registered = gmpi::Register<DWG>::withId(L"DWG");
}
