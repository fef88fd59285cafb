// The module reference that `mphost docs` writes for the built bundles: a page per module
// with its pins in order, pictures that are real images, links that resolve, Markdown that
// says what the HTML says, and response plots that match the analytic responses.
#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <regex>
#include <set>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "drawing/drawing_surface.h"
#include "loader/descriptions.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// The reference written once per test process into a folder of its own (CTest runs the
// tests of this file in parallel), removed when the process ends.
struct GeneratedSite {
    fs::path folder = fs::path(MP_BUNDLE_DIR) / ".." / "tests" / ("docs-site-" + std::to_string(::getpid()));
    GeneratedSite()
    {
        fs::remove_all(folder);
        const auto result = testing_support::runMphost("docs --out " + folder.string());
        EXPECT_EQ(result.exitCode, 0) << result.output;
    }
    ~GeneratedSite() { fs::remove_all(folder); }
};

const fs::path& site()
{
    static const GeneratedSite generated;
    return generated.folder;
}

std::vector<mphost::BundleDescription> builtDescriptions()
{
    std::vector<mphost::BundleDescription> result;
    for (const auto& entry : fs::directory_iterator(MP_BUNDLE_DIR))
        if (entry.path().extension() == ".so")
            result.push_back(mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(entry.path())));
    return result;
}

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string unescapeHtml(std::string text)
{
    for (const auto& [from, to] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}})
        for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += std::strlen(to))
            text.replace(at, std::strlen(from), to);
    return text;
}

std::string unescapeMarkdown(const std::string& text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\\' && i + 1 < text.size()))
            result += text[i];
        else
            result += text[++i];
    return result;
}

std::vector<std::string> matches(const std::string& text, const std::regex& pattern,
                                 std::string (*unescape)(std::string))
{
    std::vector<std::string> result;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it)
        result.push_back(unescape((*it)[1].str()));
    return result;
}


// What a page says, read from its HTML or its Markdown.
struct PageContent {
    std::string summary;
    std::vector<std::string> pins;  // "index name", DSP half then GUI half
    std::vector<std::string> pictures;
    std::string example;
    bool operator==(const PageContent&) const = default;
};

PageContent readHtml(const std::string& page)
{
    PageContent content;
    std::smatch found;
    if (std::regex_search(page, found, std::regex("<p class=\"summary\">([^<]*)</p>")))
        content.summary = unescapeHtml(found[1]);
    const std::regex row("<tr><td>(\\d+)</td><td>([^<]*)</td>");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it)
        content.pins.push_back((*it)[1].str() + " " + unescapeHtml((*it)[2]));
    content.pictures = matches(page, std::regex("<img src=\"([^\"]+)\""), unescapeHtml);
    if (std::regex_search(page, found, std::regex("<pre>([^<]*)</pre>")))
        content.example = unescapeHtml(found[1]);
    return content;
}

PageContent readMarkdown(const std::string& page)
{
    PageContent content;
    std::istringstream lines(page);
    std::string line;
    int lineNumber = 0;
    bool inExample = false;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (lineNumber == 7)
            content.summary = unescapeMarkdown(line);
        std::smatch found;
        if (std::regex_match(line, found, std::regex("\\| (\\d+) \\| (.*?) \\| .*")))
            content.pins.push_back(found[1].str() + " " + unescapeMarkdown(found[2]));
        if (std::regex_match(line, found, std::regex("!\\[.*\\]\\(([^)]+)\\)")))
            content.pictures.push_back(found[1]);
        if (line == "```")
            inExample = false;
        if (inExample)
            content.example += (content.example.empty() ? "" : "\n") + line;
        if (line == "```json")
            inExample = true;
    }
    return content;
}

TEST(ModuleReference, EveryModuleHasPagesWithItsPinsInOrderAndTheMarkdownSaysTheSame)
{
    std::size_t modules = 0;
    for (const auto& bundle : builtDescriptions()) {
        std::set<std::string> pages;
        for (const auto& module : bundle.modules) {
            SCOPED_TRACE(bundle.bundle + " " + module.id);
            ++modules;
            EXPECT_FALSE(module.summary.empty()) << "no summary";
            std::string name;
            for (unsigned char c : module.id)
                name += std::isalnum(c) || c == '-' || c == '_' || c == '.' ? char(c) : '_';
            ASSERT_TRUE(pages.insert(name).second) << "two identifiers share the page name " << name;
            const fs::path base = site() / "modules" / bundle.bundle / name;
            const PageContent html = readHtml(readFile(base.string() + ".html"));
            const PageContent markdown = readMarkdown(readFile(base.string() + ".md"));
            std::vector<std::string> expected;
            for (const auto* half : {module.dsp ? &*module.dsp : nullptr, module.gui ? &*module.gui : nullptr})
                if (half)
                    for (std::size_t i = 0; i < half->pins.size(); ++i)
                        expected.push_back(std::to_string(i) + " " + half->pins[i].name);
            EXPECT_EQ(html.pins, expected);
            EXPECT_EQ(html.summary, module.summary);
            EXPECT_EQ(markdown, html);
            EXPECT_TRUE(nlohmann::json::accept(html.example)) << html.example;
        }
    }
    const std::string index = readFile(site() / "index.html");
    std::size_t listed = 0;
    for (std::size_t at = 0; (at = index.find("<li class=\"module\"", at)) != std::string::npos; ++at)
        ++listed;
    EXPECT_EQ(listed, modules);
}

// Every picture loads as an image through the host's drawing layer and is not one flat colour.
TEST(ModuleReference, EveryLinkResolvesAndEveryPictureIsARealImage)
{
    auto factory = mphost::drawing::sharedFactory();
    int pictures = 0;
    for (const auto& entry : fs::recursive_directory_iterator(site())) {
        if (entry.path().extension() != ".html")
            continue;
        const std::string page = readFile(entry.path());
        for (const std::string& link : matches(page, std::regex("(?:href|src)=\"([^\"#]+)"), unescapeHtml)) {
            const fs::path target = entry.path().parent_path() / link;
            EXPECT_TRUE(fs::exists(target)) << entry.path() << " links to missing " << link;
            if (target.extension() != ".png" || !fs::exists(target))
                continue;
            ++pictures;
            mphost::ComPtr<GmpiDrawing_API::IMpBitmap> bitmap;
            ASSERT_EQ(factory->LoadImageU(target.c_str(), reinterpret_cast<GmpiDrawing_API::IMpBitmap**>(bitmap.receive())),
                      gmpi::MP_OK)
                << target;
            mphost::ComPtr<GmpiDrawing_API::IMpBitmapPixels> pixels;
            ASSERT_EQ(bitmap->lockPixels(reinterpret_cast<GmpiDrawing_API::IMpBitmapPixels**>(pixels.receive()),
                                         GmpiDrawing_API::MP1_BITMAP_LOCK_READ),
                      gmpi::MP_OK);
            const auto size = bitmap->GetSizeF();
            std::set<std::uint32_t> colours;
            for (int y = 0; y < int(size.height); ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(pixels->getAddress() + y * pixels->getBytesPerRow());
                for (int x = 0; x < int(size.width) && colours.size() < 2; ++x)
                    colours.insert(row[x]);
            }
            EXPECT_GE(colours.size(), 2u) << target << " is one flat colour";
        }
    }
    EXPECT_GT(pictures, 40);
}

// The measured magnitude response the docs draw, (hertz, dB) points.
std::vector<std::pair<double, double>> drawnMagnitude(const std::string& bundle, const std::string& page)
{
    const auto charts = nlohmann::json::parse(readFile(site() / "modules" / bundle / (page + ".charts.json")));
    for (const auto& chart : charts)
        if (chart["title"] == "Magnitude response")
            return chart["series"][0]["points"].get<std::vector<std::pair<double, double>>>();
    return {};
}

void expectWithinTenthDb(const std::vector<std::pair<double, double>>& drawn,
                         const std::function<std::complex<double>(std::complex<double>)>& response)
{
    ASSERT_GT(drawn.size(), 100u);
    EXPECT_NEAR(drawn.front().first, 20.0, 1e-9);
    EXPECT_NEAR(drawn.back().first, 20000.0, 1e-6);
    for (const auto& [hertz, db] : drawn) {
        const std::complex<double> z = std::polar(1.0, 2.0 * std::numbers::pi * hertz / 48000.0);
        EXPECT_NEAR(db, 20.0 * std::log10(std::abs(response(1.0 / z))), 0.1) << hertz << " Hz";
    }
}

TEST(ModuleReference, ResponsePlotsMatchTheAnalyticResponses)
{
    // DC blocker at its default pole 0.995: (1 - z^-1) / (1 - 0.995 z^-1).
    expectWithinTenthDb(drawnMagnitude("dsp_modules", "DC_Blocker"),
                        [](std::complex<double> zInverse) { return (1.0 - zInverse) / (1.0 - 0.995 * zInverse); });
    // Comb filter at its defaults, 440 Hz and feedback 0.5: a period of 48000 / 440 samples,
    // h whole samples and an all-pass (a + z^-1) / (1 + a z^-1) for the fraction.
    const double period = 48.0f / 0.44f;
    const int whole = static_cast<int>(period);
    const double a = whole - period + 1.0;
    const double g = 0.5;
    expectWithinTenthDb(drawnMagnitude("dsp_modules", "CombFlt"), [=](std::complex<double> zInverse) {
        const std::complex<double> allPass = (a + zInverse) / (1.0 + a * zInverse);
        return (1.0 - g) / (1.0 - g * std::pow(zInverse, whole) * allPass);
    });
}

}  // namespace
