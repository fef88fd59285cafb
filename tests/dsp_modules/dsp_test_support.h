// Helpers of the dsp_modules tests: module creation from the built bundle, rendering
// over many blocks, and the streaming reports of an output.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace dsp_test {

const mphost::BundleDescription& descriptions();
// A module of the dsp_modules bundle, created through the host harness.
std::unique_ptr<mphost::DspModule> makeModule(const std::string& id, mphost::DspModuleOptions options = {});

// Fills the module's inputs for the samples [start, start + count) of a render; the
// buffers hold the block's samples from index 0.
using Fill = std::function<void(mphost::DspModule& module, int start, int count)>;

struct StreamingReport {
    int position;  // samples from the start of the render
    bool streaming;
    bool operator==(const StreamingReport&) const = default;
};
void PrintTo(const StreamingReport& report, std::ostream* out);

struct Rendered {
    std::vector<float> samples;             // the output, sample by sample
    std::vector<StreamingReport> reports;   // what the module told the host about the output
    int firstSkipped = -1;                  // start of the first block the host skipped, or -1
};

// Processes `count` samples in blocks of the module's maximum size (the last one may
// be shorter), calling `fill` before each block. Queued events keep their timestamps
// relative to the start of the render.
Rendered render(mphost::DspModule& module, int count, const Fill& fill = {}, const std::string& output = "Out");

// The streaming reports of `output` in the last processed block, as (timestamp, state).
std::vector<std::pair<int, bool>> lastReports(const mphost::DspModule& module, const std::string& output = "Out");

}  // namespace dsp_test
