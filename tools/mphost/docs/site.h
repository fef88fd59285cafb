// The module reference: a static site (index.html with a search box, one page per module)
// and the same pages as Markdown, generated from the bundles and their descriptions, with
// pictures made by the host (GUI halves drawn in the default skin, DSP halves measured).
//
//   out/index.html, out/index.md, out/style.css
//   out/modules/<bundle>/<page>.html, .md       <page>: the identifier, made file-safe
//   out/modules/<bundle>/<page>.gui.png         the GUI half at its default size
//   out/modules/<bundle>/<page>.plot<N>.png     the DSP half's charts
//   out/modules/<bundle>/<page>.charts.json     the charts' data points
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mphost::docs {

struct SiteOptions {
    std::vector<std::filesystem::path> bundles;  // .so files, their descriptions beside them
    std::filesystem::path out;
    std::filesystem::path skinFolder;  // skin of the GUI pictures
};

struct SiteReport {
    int bundles = 0;
    int modules = 0;
    int pictures = 0;
    // What could not be made (a module that failed to measure or draw, a module without a
    // summary), one line each naming the module; the rest of the site is written.
    std::vector<std::string> problems;
};

// Writes the whole site. Throws HostError when a bundle or its descriptions cannot be
// read or the output folder cannot be written.
SiteReport writeSite(const SiteOptions& options);

// The file-safe page name of an identifier ("Memory/Reset" -> "Memory_Reset").
std::string pageName(const std::string& id);

}  // namespace mphost::docs
