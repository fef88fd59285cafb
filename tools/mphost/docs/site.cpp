#include "docs/site.h"

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "common/host_error.h"
#include "docs/chart.h"
#include "docs/measure.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"
#include "mp_api.h"

namespace mphost::docs {

namespace fs = std::filesystem;

namespace {

std::string html(const std::string& text)
{
    std::string result;
    for (char c : text) {
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        default: result += c;
        }
    }
    return result;
}

// Text inside a Markdown table cell or line: no line breaks, pipes and markup escaped.
std::string markdown(const std::string& text)
{
    std::string result;
    for (char c : text) {
        if (c == '|' || c == '*' || c == '_' || c == '`' || c == '<' || c == '[' || c == ']' || c == '\\')
            result += '\\';
        result += c == '\n' ? ' ' : c;
    }
    return result;
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file)
        throw HostError("cannot write '" + path.string() + "'; check that its folder is writable and the disk not full");
}

// One row of a pin table, the cells as plain text.
struct PinRow {
    std::string index, name, kind, direction, defaultValue, rangeOrList;
};

std::vector<PinRow> pinRows(const HalfDescription& half)
{
    std::vector<PinRow> rows;
    for (std::size_t i = 0; i < half.pins.size(); ++i) {
        const PinDescription& pin = half.pins[i];
        PinRow row{std::to_string(i), pin.name, std::string(datatypeName(pin.datatype)), pin.isInput() ? "in" : "out",
                   "", pin.list};
        if (pin.isInput() && pin.datatype != gmpi::MP_MIDI) {
            row.defaultValue = formatPinValue(pin.defaultValue);
            if (pin.datatype == gmpi::MP_STRING)
                row.defaultValue = "\"" + row.defaultValue + "\"";
        }
        if (pin.autoDuplicate)
            row.kind += ", repeated";
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string halfTitle(const HalfDescription& half, bool dsp)
{
    if (dsp)
        return "DSP half (sub-type 0)";
    return half.subType == 1 ? "GUI half, first generation (sub-type 1)" : "GUI half (sub-type 2)";
}

// A pin value as a JSON value of a patch.
nlohmann::json patchValue(const PinDescription& pin)
{
    const std::string text = formatPinValue(pin.defaultValue);
    switch (pin.datatype) {
    case gmpi::MP_FLOAT32:
    case gmpi::MP_AUDIO: return std::get<float>(pin.defaultValue);
    case gmpi::MP_INT32:
    case gmpi::MP_ENUM: return std::get<std::int32_t>(pin.defaultValue);
    case gmpi::MP_BOOL: return std::get<bool>(pin.defaultValue);
    default: return text;
    }
}

// A patch that uses the module: its control inputs at their defaults (the first few),
// its first audio output written, a GUI half placed on the panel.
std::string examplePatch(const std::string& bundle, const ModuleDescription& module)
{
    nlohmann::ordered_json entry;
    entry["name"] = "m";
    entry["bundle"] = bundle;
    entry["id"] = module.id;
    if (module.gui && !module.dsp)
        entry["rect"] = {0, 0, 160, 100};
    const HalfDescription& half = module.dsp ? *module.dsp : *module.gui;
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    std::string output;
    for (const PinDescription& pin : half.pins) {
        if (pin.isInput() && pin.datatype != gmpi::MP_AUDIO && pin.datatype != gmpi::MP_MIDI &&
            pin.datatype != gmpi::MP_BLOB && !pin.autoDuplicate && values.size() < 3)
            values[pin.name] = patchValue(pin);
        if (!pin.isInput() && pin.datatype == gmpi::MP_AUDIO && output.empty() && !pin.autoDuplicate)
            output = "m." + pin.name;
    }
    if (!values.empty())
        entry["values"] = values;
    nlohmann::ordered_json patch;
    patch["seconds"] = 1;
    patch["modules"] = nlohmann::ordered_json::array({entry});
    if (!output.empty())
        patch["outputs"] = nlohmann::ordered_json::array({output});
    return patch.dump(2);
}

nlohmann::json chartData(const std::vector<Chart>& charts)
{
    nlohmann::json result = nlohmann::json::array();
    for (const Chart& chart : charts) {
        nlohmann::json series = nlohmann::json::array();
        for (const Series& s : chart.series)
            series.push_back({{"label", s.label}, {"points", s.points}});
        result.push_back({{"title", chart.title}, {"xLabel", chart.xLabel}, {"yLabel", chart.yLabel},
                          {"logX", chart.logX}, {"series", series}});
    }
    return result;
}

// Everything a module page shows.
struct Page {
    std::string bundle;
    const ModuleDescription* module = nullptr;
    std::string name;  // file-safe
    std::string guiPicture;               // file name beside the page, empty when none
    std::vector<std::pair<std::string, std::string>> plots;  // (file name, title)
    std::string example;
};

const char* const styleSheet = R"(body { font-family: "DejaVu Sans", sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; color: #111; }
table { border-collapse: collapse; margin: 0.5em 0 1.5em; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.6em; text-align: left; vertical-align: top; }
th { background: #eee; }
pre { background: #f4f4f4; padding: 0.8em; overflow-x: auto; }
img { max-width: 100%; border: 1px solid #ddd; margin: 0.3em 0; }
#search { font-size: 1.1em; width: 100%; padding: 0.3em; box-sizing: border-box; }
li.hidden { display: none; }
.summary { color: #333; }
)";

std::string pageHtml(const Page& page)
{
    const ModuleDescription& module = *page.module;
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" << html(module.id)
        << "</title><link rel=\"stylesheet\" href=\"../../style.css\"></head><body>\n";
    out << "<p><a href=\"../../index.html\">All modules</a></p>\n";
    out << "<h1>" << html(module.id) << "</h1>\n<p>Bundle: <code>" << html(page.bundle) << "</code></p>\n";
    out << "<p class=\"summary\">" << html(module.summary) << "</p>\n";
    const auto halfTable = [&](const HalfDescription& half, bool dsp) {
        out << "<h2>" << html(halfTitle(half, dsp)) << "</h2>\n";
        if (half.pins.empty()) {
            out << "<p>No pins.</p>\n";
            return;
        }
        out << "<table class=\"pins\"><tr><th>index</th><th>name</th><th>kind</th><th>direction</th><th>default</th>"
               "<th>range or list</th></tr>\n";
        for (const PinRow& row : pinRows(half))
            out << "<tr><td>" << row.index << "</td><td>" << html(row.name) << "</td><td>" << html(row.kind)
                << "</td><td>" << row.direction << "</td><td>" << html(row.defaultValue) << "</td><td>"
                << html(row.rangeOrList) << "</td></tr>\n";
        out << "</table>\n";
    };
    if (module.dsp)
        halfTable(*module.dsp, true);
    if (module.gui)
        halfTable(*module.gui, false);
    if (!module.badInput.empty())
        out << "<h2>Bad input</h2>\n<p>" << html(module.badInput) << "</p>\n";
    if (!page.guiPicture.empty() || !page.plots.empty()) {
        out << "<h2>Pictures</h2>\n";
        if (!page.guiPicture.empty())
            out << "<p><img src=\"" << html(page.guiPicture) << "\" alt=\"" << html(module.id)
                << " in the default skin\"></p>\n";
        for (const auto& [file, title] : page.plots)
            out << "<p><img src=\"" << html(file) << "\" alt=\"" << html(title) << "\"></p>\n";
    }
    out << "<h2>Example patch</h2>\n<pre>" << html(page.example) << "</pre>\n</body></html>\n";
    return out.str();
}

std::string pageMarkdown(const Page& page)
{
    const ModuleDescription& module = *page.module;
    std::ostringstream out;
    out << "# " << markdown(module.id) << "\n\n[All modules](../../index.md)\n\nBundle: `" << page.bundle << "`\n\n"
        << markdown(module.summary) << "\n\n";
    const auto halfTable = [&](const HalfDescription& half, bool dsp) {
        out << "## " << halfTitle(half, dsp) << "\n\n";
        if (half.pins.empty()) {
            out << "No pins.\n\n";
            return;
        }
        out << "| index | name | kind | direction | default | range or list |\n|---|---|---|---|---|---|\n";
        for (const PinRow& row : pinRows(half))
            out << "| " << row.index << " | " << markdown(row.name) << " | " << markdown(row.kind) << " | "
                << row.direction << " | " << markdown(row.defaultValue) << " | " << markdown(row.rangeOrList)
                << " |\n";
        out << "\n";
    };
    if (module.dsp)
        halfTable(*module.dsp, true);
    if (module.gui)
        halfTable(*module.gui, false);
    if (!module.badInput.empty())
        out << "## Bad input\n\n" << markdown(module.badInput) << "\n\n";
    if (!page.guiPicture.empty() || !page.plots.empty()) {
        out << "## Pictures\n\n";
        if (!page.guiPicture.empty())
            out << "![" << markdown(module.id) << " in the default skin](" << page.guiPicture << ")\n\n";
        for (const auto& [file, title] : page.plots)
            out << "![" << markdown(title) << "](" << file << ")\n\n";
    }
    out << "## Example patch\n\n```json\n" << page.example << "\n```\n";
    return out.str();
}

// The pins of both halves as one search text.
std::string searchPins(const ModuleDescription& module)
{
    std::set<std::string> names;
    for (const auto* half : {module.dsp ? &*module.dsp : nullptr, module.gui ? &*module.gui : nullptr})
        if (half)
            for (const PinDescription& pin : half->pins)
                names.insert(pin.name);
    std::string result;
    for (const std::string& name : names)
        result += (result.empty() ? "" : " ") + name;
    return result;
}

const char* const searchScript = R"(<script>
// Shows the modules whose identifier or pin names contain every word typed.
const box = document.getElementById('search');
const items = Array.from(document.querySelectorAll('li.module'));
const count = document.getElementById('count');
function filter() {
  const words = box.value.toLowerCase().split(/\s+/).filter(w => w.length > 0);
  let shown = 0;
  for (const item of items) {
    const text = (item.dataset.name + ' ' + item.dataset.pins).toLowerCase();
    const match = words.every(w => text.includes(w));
    item.classList.toggle('hidden', !match);
    if (match) shown++;
  }
  count.textContent = shown + ' of ' + items.length + ' modules';
}
box.addEventListener('input', filter);
filter();
// index.html?q=words opens the page as if the words had been typed into the box.
const query = new URLSearchParams(window.location.search).get('q');
if (query) {
  box.value = query;
  box.dispatchEvent(new Event('input'));
}
</script>
)";

void writeIndex(const fs::path& out, const std::vector<std::pair<std::string, std::vector<Page>>>& bundles)
{
    std::ostringstream page;
    std::ostringstream md;
    std::size_t total = 0;
    for (const auto& [bundle, pages] : bundles)
        total += pages.size();
    page << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Module reference</title>"
            "<link rel=\"stylesheet\" href=\"style.css\"></head><body>\n<h1>Module reference</h1>\n"
            "<p><input id=\"search\" type=\"search\" placeholder=\"Filter by module or pin name\" autofocus></p>\n"
            "<p id=\"count\">"
         << total << " modules</p>\n";
    md << "# Module reference\n\n";
    for (const auto& [bundle, pages] : bundles) {
        page << "<h2>" << html(bundle) << "</h2>\n<ul>\n";
        md << "## " << bundle << "\n\n";
        for (const Page& p : pages) {
            const std::string link = "modules/" + bundle + "/" + p.name;
            page << "<li class=\"module\" data-name=\"" << html(p.module->id) << "\" data-pins=\""
                 << html(searchPins(*p.module)) << "\"><a href=\"" << html(link) << ".html\">" << html(p.module->id)
                 << "</a> <span class=\"summary\">" << html(p.module->summary) << "</span></li>\n";
            md << "- [" << markdown(p.module->id) << "](" << link << ".md) " << markdown(p.module->summary) << "\n";
        }
        page << "</ul>\n";
        md << "\n";
    }
    page << searchScript << "</body></html>\n";
    writeText(out / "index.html", page.str());
    writeText(out / "index.md", md.str());
    writeText(out / "style.css", styleSheet);
}

}  // namespace

std::string pageName(const std::string& id)
{
    std::string name;
    for (unsigned char c : id)
        name += std::isalnum(c) || c == '-' || c == '_' || c == '.' ? static_cast<char>(c) : '_';
    return name.empty() || name[0] == '.' ? "_" + name : name;
}

SiteReport writeSite(const SiteOptions& options)
{
    SiteReport report;
    std::vector<std::pair<std::string, std::vector<Page>>> bundles;
    std::vector<BundleDescription> descriptions;
    descriptions.reserve(options.bundles.size());
    std::error_code error;
    fs::create_directories(options.out / "modules", error);
    if (error)
        throw HostError("cannot create '" + (options.out / "modules").string() + "': " + error.message());
    for (const fs::path& path : options.bundles) {
        const auto bundle = Bundle::load(path);
        descriptions.push_back(BundleDescription::loadFile(BundleDescription::pathBeside(path)));
        const BundleDescription& described = descriptions.back();
        const fs::path folder = options.out / "modules" / described.bundle;
        fs::create_directories(folder, error);
        if (error)
            throw HostError("cannot create '" + folder.string() + "': " + error.message());
        std::vector<Page> pages;
        std::set<std::string> taken;
        for (const ModuleDescription& module : described.modules) {
            Page page{described.bundle, &module, pageName(module.id), {}, {}, examplePatch(described.bundle, module)};
            for (int k = 2; !taken.insert(page.name).second; ++k)
                page.name = pageName(module.id) + "-" + std::to_string(k);
            const std::string where = described.bundle + " \"" + module.id + "\": ";
            if (module.summary.empty())
                report.problems.push_back(where + "no summary; add a \"summary\" to its description");
            try {
                if (drawGui(bundle, module, options.skinFolder, folder / (page.name + ".gui.png"))) {
                    page.guiPicture = page.name + ".gui.png";
                    ++report.pictures;
                }
                const std::vector<Chart> charts = measureDsp(bundle, module);
                for (std::size_t i = 0; i < charts.size(); ++i) {
                    const std::string file = page.name + ".plot" + std::to_string(i + 1) + ".png";
                    if (!writeChartPng(charts[i], folder / file))
                        throw HostError("cannot write '" + (folder / file).string() + "'");
                    page.plots.emplace_back(file, charts[i].title);
                    ++report.pictures;
                }
                if (!charts.empty())
                    writeText(folder / (page.name + ".charts.json"), chartData(charts).dump() + "\n");
            } catch (const HostError& failure) {
                report.problems.push_back(where + failure.what());
            }
            writeText(folder / (page.name + ".html"), pageHtml(page));
            writeText(folder / (page.name + ".md"), pageMarkdown(page));
            pages.push_back(std::move(page));
            ++report.modules;
        }
        bundles.emplace_back(described.bundle, std::move(pages));
        ++report.bundles;
    }
    writeIndex(options.out, bundles);
    return report;
}

}  // namespace mphost::docs
