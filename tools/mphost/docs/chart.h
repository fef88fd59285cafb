// Line charts drawn with the host's own drawing layer and written as PNG: the pictures of
// the module reference (impulse and magnitude responses, transfer curves, waveforms,
// spectra).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mphost::docs {

struct Series {
    std::string label;
    std::vector<std::pair<double, double>> points;  // (x, y), x ascending
};

struct Chart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    bool logX = false;  // x axis in decades (every x > 0)
    std::optional<std::pair<double, double>> yRange;  // default: the data's range, padded
    std::vector<Series> series;
};

// Draws `chart` at width x height pixels into a PNG file. False when the file cannot be
// written; non-finite points are left out of their line.
bool writeChartPng(const Chart& chart, const std::filesystem::path& path, int width = 640, int height = 320);

}  // namespace mphost::docs
