// Helpers of the shape module tests: both shape bundles and module instances.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "harness/dsp_module.h"
#include "harness/gui_module.h"

namespace shape_test {

enum class Flavour { current, classic };

// A module of the shape_modules bundle ("KV_" + name) or of shape_modules_classic (name).
std::unique_ptr<mphost::DspModule> make(Flavour flavour, const std::string& name, mphost::DspModuleOptions options = {});

// Processes `total` samples in blocks of the module's maximum size, calling
// fill(module, first sample of the block, block length) before each block, and returns
// the output `pin` of every block back to back.
template <class Fill>
std::vector<float> render(mphost::DspModule& module, const std::string& pin, int total, Fill fill)
{
    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>(total));
    for (int done = 0; done < total;) {
        const int n = std::min(module.maxBlockSize(), total - done);
        fill(module, done, n);
        module.process(n);
        const auto out = module.output(pin);
        samples.insert(samples.end(), out.begin(), out.begin() + n);
        done += n;
    }
    return samples;
}

inline std::vector<float> render(mphost::DspModule& module, const std::string& pin, int total)
{
    return render(module, pin, total, [](mphost::DspModule&, int, int) {});
}

std::wstring textOutput(const mphost::DspModule& module, const std::string& pin);

// The GUI half of a module of either shape bundle, started (defaults set, initialized)
// with its start-up transmissions discarded.
std::unique_ptr<mphost::GuiModule> makeGui(Flavour flavour, const std::string& name,
                                           mphost::GuiModuleOptions options = {});

}  // namespace shape_test
