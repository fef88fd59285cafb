// The oscilloscopes and the plotter: frames and messages from the DSP halves, what the
// GUI halves draw from them, and both halves together in the engine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "dsp_test_support.h"
#include "engine/engine.h"
#include "harness/gui_module.h"
#include "engine/patch.h"

using namespace dsp_test;

namespace {

struct Frame {
    int position;  // samples from the start of the render
    std::vector<float> values;  // x0, y0, x1, y1, ...
};

// Renders `count` samples and collects every Points value the module published.
std::vector<Frame> frames(mphost::DspModule& module, int count, const Fill& fill = {})
{
    std::vector<Frame> result;
    const int points = module.pin("Points").index;
    for (int start = 0; start < count; start += module.maxBlockSize()) {
        const int block = std::min(module.maxBlockSize(), count - start);
        if (fill)
            fill(module, start, block);
        module.process(block);
        for (const auto& record : module.lastBlockLog().records()) {
            if (record.kind != mphost::OutputLog::Kind::Value || record.pinOrId != points)
                continue;
            Frame frame{start + record.timestamp, std::vector<float>(record.size / sizeof(float))};
            if (!frame.values.empty())
                std::memcpy(frame.values.data(), module.lastBlockLog().payload(record),
                            frame.values.size() * sizeof(float));
            result.push_back(std::move(frame));
        }
    }
    return result;
}

std::unique_ptr<mphost::DspModule> scope(const std::string& id, float rate = 48000.0f, int block = 64)
{
    mphost::DspModuleOptions options;
    options.sampleRate = rate;
    options.maxBlockSize = block;
    return makeModule(id, options);
}

std::shared_ptr<mphost::Bundle> bundle()
{
    static const auto loaded = mphost::Bundle::load(testing_support::bundlePath("dsp_modules"));
    return loaded;
}

std::unique_ptr<mphost::GuiModule> gui(const std::string& id, const std::map<std::string, mphost::PinValue>& values)
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find(id));
    module->start(values);
    return module;
}

mphost::Bytes frameBytes(const std::vector<float>& values)
{
    mphost::Bytes bytes(values.size() * sizeof(float));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// Transparent background, grid and axes: only the trace shows.
std::map<std::string, mphost::PinValue> traceOnly(const std::wstring& trace = L"FFFF0000")
{
    return {{"BackgroundTop", std::wstring(L"00000000")}, {"BackgroundBottom", std::wstring(L"00000000")},
            {"GridColor", std::wstring(L"00000000")},     {"AxisColor", std::wstring(L"00000000")},
            {"TraceColor", trace}};
}

constexpr mphost::Rgba red{255, 0, 0, 255};
constexpr mphost::Rgba clear{0, 0, 0, 0};

}  // namespace

TEST(DisplayModules, EachIsADspAndGuiPairLinkedByItsPointsOrItsMessages)
{
    for (const std::string id : {"Oscilloscope", "Oscilloscope2", "Plotter"}) {
        const auto* description = descriptions().find(id);
        ASSERT_TRUE(description && description->dsp && description->gui) << id;
        EXPECT_EQ(description->gui->subType, 2);
        EXPECT_NO_THROW(makeModule(id));
        EXPECT_NO_THROW(gui(id, {}));
    }
    for (const std::string id : {"DWG", "Morph1D", "Morph2D"}) {
        const auto* description = descriptions().find(id);
        ASSERT_TRUE(description && description->dsp) << id;
        EXPECT_FALSE(description->gui) << id;
    }
}

// ---------------------------------------------------------------------------------
// DSP halves

TEST(ScopeFrames, AFrameOfRateOver30PointsGoesOutEveryFrameLengthAtAnyBlockSize)
{
    struct Case {
        float rate;
        int block;
        int points;
    };
    for (const std::string id : {"Oscilloscope", "Oscilloscope2"}) {
        for (const Case c : {Case{48000, 64, 1600}, Case{48000, 1, 1600}, Case{48000, 333, 1600},
                             Case{48000, 4096, 1600}, Case{44100, 100, 1470}, Case{96000, 512, 3200},
                             Case{22050, 7, 735}}) {
            auto module = scope(id, c.rate, c.block);
            module->start({{"XMode", std::int32_t{1}}});
            const auto sent = frames(*module, 5 * c.points + 10);
            std::vector<Frame> full;
            for (const Frame& frame : sent)
                if (!frame.values.empty())
                    full.push_back(frame);
            ASSERT_EQ(full.size(), 5u) << id << " " << c.rate << " " << c.block;
            for (int k = 0; k < 5; ++k) {
                EXPECT_EQ(full[k].position, (k + 1) * c.points - 1);
                EXPECT_EQ(full[k].values.size(), 2u * c.points);
            }
            EXPECT_NEAR(c.rate / c.points, 30.0, 0.1);
            EXPECT_EQ(module->allocationsInLastProcess(), 0u);
        }
    }
}

TEST(ScopeFrames, TheInternalSweepRunsFromMinusOneToOneAtTheSweepRate)
{
    auto module = scope("Oscilloscope2");
    module->start({{"XMode", std::int32_t{0}}, {"SweepRate", 100.0f}, {"Y", 0.25f}});
    const auto sent = frames(*module, 1600);
    ASSERT_EQ(sent.size(), 2u);  // the empty value at graph start, then the frame
    const auto& v = sent[1].values;
    const float increment = 100.0f / 48000.0f;
    EXPECT_NEAR(v[0], 2.0f * increment - 1.0f, 1e-4f);
    EXPECT_NEAR(v[2 * 239], 0.0f, 1e-3f);  // halfway after 240 samples
    EXPECT_NEAR(v[2 * 479], -1.0f, 1e-3f);  // 480 samples per sweep
    EXPECT_NEAR(v[2 * 959], -1.0f, 1e-3f);
    for (std::size_t i = 0; i < v.size(); i += 2) {
        ASSERT_GE(v[i], -1.0f);
        ASSERT_LT(v[i], 1.0f);
        ASSERT_EQ(v[i + 1], 0.25f);
    }
}

TEST(ScopeFrames, SweepRatesAreLimitedToOneSweepPerSampleAndNeverGoNegative)
{
    for (const float rate : {1e9f, std::numeric_limits<float>::quiet_NaN(), -500.0f}) {
        auto module = scope("Oscilloscope");
        module->start({{"XMode", std::int32_t{0}}, {"SweepRate", rate}});
        for (const Frame& frame : frames(*module, 1600))
            for (std::size_t i = 0; i < frame.values.size(); i += 2)
                ASSERT_EQ(frame.values[i], -1.0f) << rate;
    }
}

TEST(ScopeFrames, ExternalXComesFromTheXInput)
{
    auto module = scope("Oscilloscope");
    module->start({{"XMode", std::int32_t{1}}});
    module->queueStreaming("X", true);
    module->queueStreaming("Y", true);
    const auto sent = frames(*module, 1600, [](mphost::DspModule& m, int start, int block) {
        for (int i = 0; i < block; ++i) {
            m.input("X")[i] = static_cast<float>(start + i);
            m.input("Y")[i] = -static_cast<float>(start + i);
        }
    });
    ASSERT_EQ(sent.back().values.size(), 3200u);
    for (int n = 0; n < 1600; ++n) {
        ASSERT_EQ(sent.back().values[2 * n], static_cast<float>(n));
        ASSERT_EQ(sent.back().values[2 * n + 1], -static_cast<float>(n));
    }
}

TEST(ScopeFrames, OscilloscopeSendsAnEmptyFrameFirstAndOnClearTrace)
{
    auto module = scope("Oscilloscope");
    module->start();
    auto sent = frames(*module, 64);
    ASSERT_FALSE(sent.empty());
    for (const Frame& frame : sent) {
        EXPECT_EQ(frame.position, 0);
        EXPECT_TRUE(frame.values.empty());
    }
    module->queueValue("ClearTrace", true, 10);
    sent = frames(*module, 64);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].position, 10);
    EXPECT_TRUE(sent[0].values.empty());
    module->queueValue("ClearTrace", false, 10);
    EXPECT_TRUE(frames(*module, 64).empty());
}

TEST(PlotterMessages, OneMessageOfTheIntervalsExtremesPerInterval)
{
    mphost::DspModuleOptions options;
    options.sampleRate = 44100.0f;
    auto module = makeModule("Plotter", options);
    module->start({{"Interval", 10.0f}, {"Range", 10.0f}});
    module->queueStreaming("In", true);
    std::vector<mphost::GuiMessage> messages;
    for (int start = 0; start < 441 * 3; start += 63) {
        for (int i = 0; i < 63; ++i)
            module->input("In")[i] = std::sin(static_cast<float>(start + i) * 0.05f) * 0.5f + 0.1f * ((start + i) / 441);
        module->process(63);
        ASSERT_EQ(module->allocationsInLastProcess(), 0u);
        for (auto& message : module->takeMessages())
            messages.push_back(std::move(message));
    }
    ASSERT_EQ(messages.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(messages[k].id, 0);
        ASSERT_EQ(messages[k].data.size(), 8u);
        float extremes[2];
        std::memcpy(extremes, messages[k].data.data(), 8);
        EXPECT_NEAR(extremes[0], -0.5f + 0.1f * k, 1e-3f);
        EXPECT_NEAR(extremes[1], 0.5f + 0.1f * k, 1e-3f);
    }
}

TEST(PlotterMessages, ShortIntervalsCountAsTenMillisecondsAndRangeZeroGivesTheLargestGain)
{
    mphost::DspModuleOptions options;
    options.sampleRate = 44100.0f;
    auto module = makeModule("Plotter", options);
    module->start({{"Interval", 2.0f}, {"Range", 0.0f}, {"In", 1e-3f}});
    for (int block = 0; block < 882 / 63; ++block)
        module->process(63);
    const auto messages = module->takeMessages();
    ASSERT_EQ(messages.size(), 2u);
    float extremes[2];
    std::memcpy(extremes, messages[1].data.data(), 8);
    EXPECT_FLOAT_EQ(extremes[0], 100.0f);
    EXPECT_FLOAT_EQ(extremes[1], 100.0f);
}

// ---------------------------------------------------------------------------------
// GUI halves

TEST(OscilloscopeDisplay, PointsArePlottedAsPixelsInTheTraceColour)
{
    // XRng and YRng 6: a value of 0.6 reaches the edge.
    auto values = traceOnly();
    values["Persistence"] = 1e6f;  // every point at nearly full alpha
    auto module = gui("Oscilloscope", values);
    module->setPin("Points", frameBytes({0.0f, 0.0f, 0.6f, 0.6f, -0.6f, -0.6f, 5.0f, 0.0f,
                                         std::numeric_limits<float>::quiet_NaN(), 0.0f}));
    const auto surface = module->renderAlone(101, 51);
    EXPECT_EQ(surface.pixel(50, 25), red);
    EXPECT_EQ(surface.pixel(100, 0), red);
    EXPECT_EQ(surface.pixel(0, 50), red);
    EXPECT_EQ(surface.pixel(51, 25), clear);
    EXPECT_TRUE(module->graphicsHost().requests().wholeModuleInvalid);
}

TEST(OscilloscopeDisplay, OlderPointsFadeAndEveryFrameDimsTheTrace)
{
    // Persistence 9.9: k = 1 / 100 per point. A frame of 20 points dims the bitmap by
    // (int)(20 x 0.01 x 255) = 51 per byte.
    auto values = traceOnly();
    values["Persistence"] = 9.9f;
    auto module = gui("Oscilloscope", values);
    module->setPin("Points", frameBytes({0.0f, 0.0f, 0.31f, 0.0f}));  // oldest, newest
    auto surface = module->renderAlone(101, 51);
    EXPECT_EQ(surface.pixel(75, 25), red);           // the newest at full alpha
    EXPECT_NEAR(surface.pixel(50, 25).a, 252, 1);    // one step of k older

    std::vector<float> twenty;
    for (int k = 0; k < 20; ++k)
        twenty.insert(twenty.end(), {-0.3f, -0.3f});
    module->setPin("Points", frameBytes(twenty));
    surface = module->renderAlone(101, 51);
    const float k = 1.0f / (10.0f * 9.9f + 1.0f);
    EXPECT_EQ(surface.pixel(75, 25).a, 255 - static_cast<int>(20.0f * k * 255.0f));
    EXPECT_EQ(surface.pixel(75, 25).r, 255);
    EXPECT_EQ(surface.pixel(25, 37).a, 255);  // the newest of the new frame
}

TEST(OscilloscopeDisplay, AnEmptyFrameClearsTheTraceAndOddSizesReadOnlyWholePoints)
{
    auto module = gui("Oscilloscope", traceOnly());
    module->setPin("Points", frameBytes({0.0f, 0.0f}));
    EXPECT_EQ(module->renderAlone(101, 51).pixel(50, 25), red);
    module->setPin("Points", mphost::Bytes{});
    EXPECT_EQ(module->renderAlone(101, 51).pixel(50, 25), clear);

    // 12 bytes: one point and half of another, which is not read.
    mphost::Bytes odd = frameBytes({0.31f, 0.0f, 0.0f});
    module->setPin("Points", odd);
    const auto surface = module->renderAlone(101, 51);
    EXPECT_EQ(surface.pixel(75, 25), red);
    EXPECT_EQ(surface.pixel(50, 25), clear);
    module->setPin("Points", mphost::Bytes{1, 2, 3});  // less than one point: an empty frame
    EXPECT_EQ(module->renderAlone(101, 51).pixel(75, 25), clear);
}

TEST(OscilloscopeDisplay, GridLinesFallOnEveryUnitOfTheRange)
{
    auto values = traceOnly();
    values["AxisColor"] = std::wstring(L"FF00FF00");
    values["GridColor"] = std::wstring(L"FF0000FF");
    values["XRng"] = 2.0f;
    values["YRng"] = 25.0f;  // outside (0, 20]: ignored, 6 stays
    auto module = gui("Oscilloscope", values);
    const auto surface = module->renderAlone(200, 120);
    EXPECT_EQ(surface.pixel(100, 5), (mphost::Rgba{0, 255, 0, 255}));   // vertical axis
    EXPECT_EQ(surface.pixel(5, 60), (mphost::Rgba{0, 255, 0, 255}));    // horizontal axis
    EXPECT_EQ(surface.pixel(150, 5), (mphost::Rgba{0, 0, 255, 255}));   // x = 0.05: half of XRng 2
    EXPECT_EQ(surface.pixel(0, 5).b, 255);                              // the left edge line
    EXPECT_EQ(surface.pixel(5, 80), (mphost::Rgba{0, 0, 255, 255}));    // YRng 6: a line every 10 rows
    EXPECT_EQ(surface.pixel(125, 5), clear);
}

TEST(OscilloscopeDisplay, DefaultColoursDrawAGradientBackground)
{
    auto module = gui("Oscilloscope", {});
    const auto surface = module->renderAlone(100, 100);
    EXPECT_EQ(surface.pixel(3, 0).a, 255);
    EXPECT_LE(surface.pixel(3, 0).g, 2);
    const auto bottom = surface.pixel(3, 99);
    EXPECT_EQ(bottom.a, 255);
    EXPECT_NEAR(bottom.r, 0x70, 2);
    EXPECT_NEAR(bottom.g, 0x80, 2);
}

TEST(Oscilloscope2Display, SegmentsRunFromTheNewestPointAndTheFlyBackNeedsDrawRetrace)
{
    auto values = traceOnly();
    values["LineWidth"] = std::int32_t{3};
    values["Persistence"] = 1.0f;
    auto module = gui("Oscilloscope2", values);
    // Left to right: drawn.
    module->setPin("Points", frameBytes({-0.3f, 0.0f, 0.3f, 0.0f}));
    auto surface = module->renderAlone(100, 50);
    EXPECT_EQ(surface.pixel(50, 25), red);
    EXPECT_EQ(surface.pixel(50, 10), clear);
    // Right to left (a fly-back): only with DrawRetrace.
    module->setPin("Points", frameBytes({0.3f, 0.0f, -0.3f, 0.0f}));
    EXPECT_EQ(module->renderAlone(100, 50).pixel(50, 25), clear);
    module->setPin("DrawRetrace", true);
    module->setPin("Points", frameBytes({0.3f, 0.0f, -0.3f, 0.0f, -0.3f, 0.0f}));
    EXPECT_NEAR(module->renderAlone(100, 50).pixel(50, 25).a, 128, 2);  // one segment older: half alpha
}

TEST(Oscilloscope2Display, AlphaFallsPerSegmentFromTheNewest)
{
    // Three segments, Persistence 1: d = 1/3 per segment; the oldest is drawn at 1/3.
    auto values = traceOnly();
    values["LineWidth"] = std::int32_t{4};
    values["Persistence"] = 1.0f;
    auto module = gui("Oscilloscope2", values);
    module->setPin("Points", frameBytes({-0.6f, 0.3f, -0.3f, 0.3f, 0.0f, 0.3f, 0.3f, 0.3f}));
    const auto surface = module->renderAlone(120, 60);
    const int row = 15;  // y = 0.3 of YRng 6: a quarter down
    EXPECT_EQ(surface.pixel(75, row).a, 255);
    EXPECT_NEAR(surface.pixel(45, row).a, 170, 3);
    EXPECT_NEAR(surface.pixel(15, row).a, 85, 3);
    EXPECT_EQ(surface.pixel(75, row + 10).a, 0);
}

TEST(PlotterDisplay, EachMessageScrollsTheChartAndDrawsAMinToMaxBar)
{
    auto module = gui("Plotter", {{"BackgroundTop", std::wstring(L"00000000")},
                                  {"BackgroundBottom", std::wstring(L"00000000")},
                                  {"GridColor", std::wstring(L"00000000")},
                                  {"TraceColor", std::wstring(L"FFFF0000")}});
    const auto message = [&](float minimum, float maximum) {
        float extremes[2] = {minimum, maximum};
        mphost::Bytes bytes(8);
        std::memcpy(bytes.data(), extremes, 8);
        return module->sendMessageFromDsp(0, bytes);
    };
    // Rows (1 - value) x H / 2 with H = 40: 0.5 .. -0.5 spans rows 10 to 30.
    EXPECT_EQ(message(-0.5f, 0.5f), 0);
    auto surface = module->renderAlone(30, 40);
    EXPECT_EQ(surface.pixel(29, 10), red);
    EXPECT_EQ(surface.pixel(29, 29), red);
    EXPECT_EQ(surface.pixel(29, 9), clear);
    EXPECT_EQ(surface.pixel(29, 30), clear);
    EXPECT_EQ(surface.pixel(28, 20), clear);

    // A bar ending inside a pixel covers it in part: 0.525 is row 9.5.
    message(0.0f, 0.525f);
    surface = module->renderAlone(30, 40);
    EXPECT_EQ(surface.pixel(28, 20), red);  // the first bar moved one pixel left
    EXPECT_NEAR(surface.pixel(29, 9).a, 128, 2);
    EXPECT_EQ(surface.pixel(29, 19), red);
    EXPECT_EQ(surface.pixel(29, 25), clear);

    // Messages arriving between two redraws each get their column, oldest first.
    message(0.45f, 0.5f);   // rows 10 .. 11
    message(-0.5f, -0.45f); // rows 29 .. 30
    surface = module->renderAlone(30, 40);
    EXPECT_EQ(surface.pixel(28, 10), red);
    EXPECT_EQ(surface.pixel(28, 29), clear);
    EXPECT_EQ(surface.pixel(29, 29), red);
    EXPECT_EQ(surface.pixel(29, 10), clear);
    EXPECT_EQ(surface.pixel(26, 20), red);  // the first bar, three messages ago

    // Out-of-range extremes are limited to the chart.
    message(-1e30f, 1e30f);
    surface = module->renderAlone(30, 40);
    EXPECT_EQ(surface.pixel(29, 0), red);
    EXPECT_EQ(surface.pixel(29, 39), red);
}

TEST(PlotterDisplay, ShortOrForeignMessagesAreIgnoredAndHoldFreezesTheChart)
{
    auto module = gui("Plotter", {{"TraceColor", std::wstring(L"FFFF0000")}, {"GridColor", std::wstring(L"00000000")},
                                  {"BackgroundTop", std::wstring(L"00000000")},
                                  {"BackgroundBottom", std::wstring(L"00000000")}});
    EXPECT_NE(module->sendMessageFromDsp(0, mphost::Bytes{0, 0, 0x80, 0x3f}), 0);  // 4 bytes
    EXPECT_NE(module->sendMessageFromDsp(0, mphost::Bytes{}), 0);
    EXPECT_NE(module->sendMessageFromDsp(7, mphost::Bytes(8, 0)), 0);
    auto surface = module->renderAlone(30, 40);
    for (int row = 0; row < 40; ++row)
        ASSERT_EQ(surface.pixel(29, row), clear);

    module->setPin("Hold", true);
    EXPECT_EQ(module->sendMessageFromDsp(0, mphost::Bytes(8, 0)), 0);  // 0 .. 0, row 20
    surface = module->renderAlone(30, 40);
    EXPECT_EQ(surface.pixel(29, 20), clear);
}

TEST(PlotterDisplay, DefaultColoursAndTheGrid)
{
    auto module = gui("Plotter", {});
    const auto surface = module->renderAlone(40, 100);
    EXPECT_EQ(surface.pixel(5, 2).a, 255);  // the gradient
    EXPECT_NEAR(surface.pixel(5, 1).b, 0xFF, 3);
    // A grid line every 5 rows in 40000000 over the gradient: darker than its neighbours.
    EXPECT_LT(surface.pixel(5, 50).g, surface.pixel(5, 52).g);
}

// ---------------------------------------------------------------------------------
// Both halves in the engine

TEST(ScopesInTheEngine, FramesAndMessagesReachTheGuiHalvesAndAreDrawn)
{
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    const auto patch = mphost::parsePatch(R"json({ "seconds": 0.2, "blockSize": 96, "modules": [
        { "name": "scope", "bundle": "dsp_modules", "id": "Oscilloscope", "rect": [0, 0, 101, 61],
          "values": { "Y": 0.3, "SweepRate": 30, "TraceColor": "FFFF0000", "BackgroundTop": "00000000",
                      "BackgroundBottom": "00000000", "GridColor": "00000000", "AxisColor": "00000000",
                      "Persistence": 200 } },
        { "name": "plot", "bundle": "dsp_modules", "id": "Plotter", "rect": [0, 70, 30, 110],
          "values": { "In": 0.05, "Range": 0.2, "Interval": 10, "TraceColor": "FFFF0000", "GridColor": "00000000",
                      "BackgroundTop": "00000000", "BackgroundBottom": "00000000" } } ] })json",
                                          "scopes.json", environment);
    mphost::Engine engine(patch);
    engine.render();
    const auto& points = std::get<mphost::Bytes>(engine.gui("scope")->value("Points"));
    EXPECT_EQ(points.size(), 1600u * 8u);

    // y = 0.3 with YRng 6 is row (1 - 0.5) x 0.5 x 60 = 15; the sweep crosses the middle.
    const auto scopeSurface = engine.gui("scope")->renderAlone(101, 61);
    EXPECT_EQ(scopeSurface.pixel(50, 15).r, 255);  // the middle of the frame: about 800 points old
    EXPECT_GT(scopeSurface.pixel(50, 15).a, 100);
    EXPECT_EQ(scopeSurface.pixel(50, 45), clear);

    // In x gain (1 / 0.02 = 50) = 2.5, above the top: the bar fills the right column.
    const auto plotSurface = engine.gui("plot")->renderAlone(30, 40);
    EXPECT_EQ(plotSurface.pixel(29, 0), red);
}
