// A progress bar on standard error for long commands: "rendering [#####      ]  35% what",
// redrawn in place. It stays hidden for the first second (a short command prints nothing)
// and when disabled (standard error not a terminal, --quiet, machine-readable output).
#pragma once

#include <chrono>
#include <string>

namespace mphost::cli {

class ProgressBar {
public:
    // `enabled` false: every call does nothing. Pass terminalWanted() for the usual case.
    ProgressBar(bool enabled, std::string label);
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // `fraction` of the work done (0 to 1), with an optional note of what runs now.
    void update(double fraction, const std::string& what = {});
    // Clears the bar's line, if it was drawn, so that what follows starts on a clean line.
    void finish();

    // True when standard error is a terminal.
    static bool terminalWanted();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled;
    std::string label;
    Clock::time_point started = Clock::now();
    Clock::time_point drawnAt{};
    int shownPercent = -1;
    bool drawn = false;
};

}  // namespace mphost::cli
