// Measurements of a module for its reference page, made through the host's harness: the
// DSP half driven by test signals (impulse and magnitude responses, transfer curves,
// waveforms and spectra) and the GUI half drawn with the default skin.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "docs/chart.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace mphost::docs {

constexpr float measureRate = 48000.0f;

// The kind of DSP measurement a module gets: its hint, or chosen by its pins ("signal"
// with an audio input, "waveform" with only an audio output, "none" without one).
std::string plotKind(const ModuleDescription& module);

// The charts of the module's DSP half (none for "none" or without a DSP half). Throws
// HostError when the module cannot be created or a hint names a missing pin.
std::vector<Chart> measureDsp(const std::shared_ptr<Bundle>& bundle, const ModuleDescription& module);

// Draws the module's GUI half at its default size with the skin in `skinFolder` into
// `png`. False when the module has no drawing GUI half or draws nothing (nothing written).
bool drawGui(const std::shared_ptr<Bundle>& bundle, const ModuleDescription& module,
             const std::filesystem::path& skinFolder, const std::filesystem::path& png);

// |H(f)| in dB of `impulse` (sampled at measureRate) at frequency `hertz`.
double magnitudeDb(const std::vector<float>& impulse, double hertz);

}  // namespace mphost::docs
