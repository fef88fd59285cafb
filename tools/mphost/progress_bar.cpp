#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace mphost::cli {

namespace {
constexpr int barWidth = 30;
constexpr auto hiddenFor = std::chrono::seconds(1);
constexpr auto redrawEvery = std::chrono::milliseconds(100);
}  // namespace

ProgressBar::ProgressBar(bool enabled, std::string label) : enabled(enabled), label(std::move(label)) {}

bool ProgressBar::terminalWanted()
{
    return isatty(STDERR_FILENO) != 0;
}

void ProgressBar::update(double fraction, const std::string& what)
{
    if (!enabled)
        return;
    const auto now = Clock::now();
    if (now - started < hiddenFor)
        return;
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
    if (drawn && percent == shownPercent && now - drawnAt < redrawEvery)
        return;
    shownPercent = percent;
    drawnAt = now;
    drawn = true;
    const int filled = percent * barWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%% %-40.40s", label.c_str(), std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(barWidth - filled), ' ').c_str(), percent, what.c_str());
    std::fflush(stderr);
}

void ProgressBar::finish()
{
    if (!drawn)
        return;
    drawn = false;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label.size()) + barWidth + 50, "");
    std::fflush(stderr);
}

}  // namespace mphost::cli
