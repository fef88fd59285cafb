#include "validate/validator.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

#include "common/host_error.h"
#include "drawing/drawing_surface.h"
#include "harness/dsp_module.h"
#include "harness/gui_module.h"
#include "harness/return_string.h"
#include "loader/bundle.h"

namespace mphost {

namespace {

using Clock = std::chrono::steady_clock;
using Random = std::mt19937_64;

// The seed of one module: the run's seed mixed with the identifier, so that
// "--only <id>" reproduces what the full run did.
std::uint64_t moduleSeed(std::uint64_t seed, const std::string& id, int subType)
{
    std::uint64_t hash = 1469598103934665603ull ^ seed;
    for (const char c : id + "/" + std::to_string(subType))
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

int uniformInt(Random& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

float uniformFloat(Random& random, float low, float high)
{
    return std::uniform_real_distribution<float>(low, high)(random);
}

template <class T>
const T& pick(Random& random, const std::vector<T>& choices)
{
    return choices[static_cast<std::size_t>(uniformInt(random, 0, static_cast<int>(choices.size()) - 1))];
}

// Equal values as the audio side sees them: 0, -0 and subnormals alike (it runs with
// denormals-are-zero), NaN equal to NaN.
bool sameValue(float a, float b)
{
    const auto flushed = [](float x) { return std::fpclassify(x) == FP_SUBNORMAL ? 0.0f : x; };
    a = flushed(a);
    b = flushed(b);
    return a == b || (std::isnan(a) && std::isnan(b));
}

// A value for a control input. Ordinary values are finite and modest; hostile ones are
// what a careless host or patch may send.
PinValue makeValue(Random& random, int datatype, bool hostile)
{
    switch (datatype) {
    case gmpi::MP_ENUM:
    case gmpi::MP_INT32:
        if (!hostile)
            return uniformInt(random, -2, 12);
        return pick(random, std::vector<std::int32_t>{0, -1, std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max(), 1000000000,
                                                      -1000000000, 65536});
    case gmpi::MP_FLOAT32:
        if (!hostile)
            return pick(random, std::vector<float>{0.0f, 1.0f, 0.5f, -1.0f, 10.0f, uniformFloat(random, -2, 2),
                                                   uniformFloat(random, 0, 1), 440.0f});
        return pick(random, std::vector<float>{std::numeric_limits<float>::quiet_NaN(),
                                               std::numeric_limits<float>::infinity(),
                                               -std::numeric_limits<float>::infinity(), 1e-40f, -1e-40f,
                                               std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                                               0.0f, -0.0f, 1e30f});
    case gmpi::MP_BOOL: return uniformInt(random, 0, 1) == 1;
    case gmpi::MP_STRING: {
        if (!hostile)
            return pick(random, std::vector<std::wstring>{L"", L"0", L"hello", L"1.5", L"(0,0)(1,1)", L"a.wav",
                                                          L"(-5,5)(0,0)(5,-5)"});
        switch (uniformInt(random, 0, 5)) {
        case 0: return std::wstring(100000, L'x');
        case 1: return std::wstring(L"((((((((");
        case 2: return std::wstring(L"(1e999,-1e999)(nan,inf)(,)");
        case 3: return std::wstring{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'\0', L'a'};
        case 4: return std::wstring(L"/nonexistent/folder/with/a/long/name/../file.wav");
        default: {
            std::wstring text(static_cast<std::size_t>(uniformInt(random, 1, 64)), L' ');
            for (auto& c : text)
                c = static_cast<wchar_t>(uniformInt(random, 1, 0x7F));
            return text;
        }
        }
    }
    case gmpi::MP_BLOB: {
        static const int sizes[] = {0, 1, 3, 4, 7, 64, 1024, 4 << 20};
        const int size = hostile ? sizes[uniformInt(random, 0, 7)] : 4 * uniformInt(random, 0, 256);
        Bytes bytes(static_cast<std::size_t>(size));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(uniformInt(random, 0, 255));
        return bytes;
    }
    default: return Bytes{};
    }
}

Bytes makeMidi(Random& random, bool hostile)
{
    if (hostile) {
        Bytes bytes(static_cast<std::size_t>(pick(random, std::vector<int>{0, 1, 2, 1000})));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(uniformInt(random, 0, 255));
        return bytes;
    }
    return Bytes{static_cast<std::uint8_t>(pick(random, std::vector<int>{0x80, 0x90, 0xB0, 0xE0})),
                 static_cast<std::uint8_t>(uniformInt(random, 0, 127)),
                 static_cast<std::uint8_t>(uniformInt(random, 0, 127))};
}

// Drives one DSP half through blocks of random events and checks each block.
class DspStress {
public:
    DspStress(DspModule& module, Random& random, ModuleReport& report, bool allocatesByDesign)
        : module(module), random(random), report(report), allocatesByDesign(allocatesByDesign)
    {
        for (const DspPin& pin : module.pins()) {
            if (pin.isAudio() && pin.isInput())
                inputs.push_back({pin.name, false, std::get<float>(pin.description->defaultValue)});
            if (pin.isAudio() && !pin.isInput())
                outputs.push_back({pin.name, 0.0f});
        }
    }

    // Runs blocks until `deadline`; false once a failure was recorded.
    bool run(Clock::time_point deadline, bool hostile)
    {
        while (Clock::now() < deadline && report.passed) {
            const int count = pick(random, std::vector<int>{1, 2, 7, 32, 64, 64, 128, 256, 1000, 4096,
                                                            uniformInt(random, 1, 4096)});
            // The first block of each instance carries every initial value, texts and
            // blobs included.
            bool numericEventsOnly = !firstBlock;
            firstBlock = false;
            const int eventCount = uniformInt(random, 0, 3) == 0 ? uniformInt(random, 1, 8) : 0;
            for (int e = 0; e < eventCount; ++e)
                numericEventsOnly &= queueRandomEvent(count, hostile);
            fillInputs(count, hostile);
            finiteInputs = !hostile;
            trace("block " + std::to_string(report.blocks) + ": " + std::to_string(count) + " samples");

            try {
                module.process(count);
            } catch (const std::exception& error) {
                fail(std::string("an exception left process(): ") + error.what());
                return false;
            } catch (...) {
                fail("an exception left process()");
                return false;
            }
            ++report.blocks;
            if (tracing) {
                for (const auto& record : module.lastBlockLog().records())
                    if (record.kind == OutputLog::Kind::Streaming)
                        trace("  output " + module.pins()[static_cast<std::size_t>(record.pinOrId)].name +
                              (record.streaming ? " streaming" : " static") + " at " + std::to_string(record.timestamp));
                trace(std::string("  ") + (module.lastBlockSkipped() ? "skipped" : module.asleep() ? "asleep" : "awake"));
            }
            if (!module.lastBlockSkipped()) {
                checkAllocations(numericEventsOnly);
                checkOutputs(count);
            }
            rememberLastSamples(count);
        }
        return report.passed;
    }

private:
    // An audio input: its state at the block start and at most one change in the block.
    struct Input {
        std::string name;
        bool streaming;
        float constant;
        int changeAt = -1;  // sample of this block's streaming change, or -1
        float nextConstant = 0;
    };
    struct Output {
        std::string name;
        float lastSample;
    };

    void trace(const std::string& line) const
    {
        if (tracing)
            std::fprintf(stderr, "%s\n", line.c_str());
    }

    void fail(const std::string& what)
    {
        report.passed = false;
        report.failures.push_back("block " + std::to_string(report.blocks) + ": " + what);
    }

    // Returns true when the event carries no text or blob payload.
    bool queueRandomEvent(int count, bool hostile)
    {
        const auto& pins = module.pins();
        if (pins.empty())
            return true;
        const DspPin& pin = pins[static_cast<std::size_t>(uniformInt(random, 0, static_cast<int>(pins.size()) - 1))];
        const int timestamp = uniformInt(random, 0, count - 1);
        if (!pin.isInput())
            return true;
        if (pin.isAudio()) {
            for (Input& input : inputs)
                if (input.name == pin.name && input.changeAt < 0) {
                    input.changeAt = timestamp;
                    input.nextConstant = hostile ? std::get<float>(makeValue(random, gmpi::MP_FLOAT32, true))
                                                 : uniformFloat(random, -1, 1);
                    module.queueStreaming(pin.name, !input.streaming, timestamp);
                    trace("  queue " + pin.name + (input.streaming ? " static" : " streaming") + " at " +
                          std::to_string(timestamp));
                }
            return true;
        }
        if (pin.datatype == gmpi::MP_MIDI) {
            module.queueMidi(pin.name, makeMidi(random, hostile), timestamp);
            return !hostile;
        }
        const PinValue value = makeValue(random, pin.datatype, hostile);
        trace("  queue " + pin.name + " = " + formatPinValue(value).substr(0, 40) + " at " + std::to_string(timestamp));
        module.queueValue(pin.name, value, timestamp);
        return pin.datatype != gmpi::MP_STRING && pin.datatype != gmpi::MP_BLOB;
    }

    // Streaming inputs vary; static inputs hold their constant from the sample where they
    // became static, as the host promises.
    void fillInputs(int count, bool hostile)
    {
        for (Input& input : inputs) {
            const std::span<float> buffer = module.input(input.name);
            for (int i = 0; i < count; ++i) {
                if (i == input.changeAt) {
                    input.streaming = !input.streaming;
                    input.constant = input.nextConstant;
                }
                float value = input.constant;
                if (input.streaming)
                    value = hostile && uniformInt(random, 0, 63) == 0
                                ? std::get<float>(makeValue(random, gmpi::MP_FLOAT32, true))
                                : std::sin(static_cast<float>(sampleClock + i) * 0.01f) * 0.9f;
                buffer[static_cast<std::size_t>(i)] = value;
            }
            input.changeAt = -1;
        }
        sampleClock += count;
    }

    void checkAllocations(bool numericEventsOnly)
    {
        const std::uint64_t allocations = module.allocationsInLastProcess();
        if (allocations == 0 || !numericEventsOnly)
            return;
        if (allocatesByDesign) {
            // One note per module, though each run drives a fresh instance.
            const std::string note = "allocates while processing (by design)";
            if (std::find(report.notes.begin(), report.notes.end(), note) == report.notes.end())
                report.notes.push_back(note);
            return;
        }
        fail(std::to_string(allocations) + " heap allocation(s) inside process()");
    }

    void checkOutputs(int count)
    {
        for (Output& output : outputs) {
            const std::span<const float> samples = module.output(output.name);
            const DspPin& pin = module.pin(output.name);
            if (finiteInputs) {
                for (int i = 0; i < count; ++i)
                    if (!std::isfinite(samples[static_cast<std::size_t>(i)])) {
                        fail("output \"" + output.name + "\" is not finite at sample " + std::to_string(i) +
                             " for finite inputs");
                        return;
                    }
            }
            if (pin.streaming || !started)
                continue;
            // Static: constant from where it went static (or from the block start).
            const int from = pin.staticSince >= 0 ? pin.staticSince : 0;
            const float held = pin.staticSince >= 0 ? samples[static_cast<std::size_t>(from)] : output.lastSample;
            for (int i = from; i < count; ++i)
                if (!sameValue(samples[static_cast<std::size_t>(i)], held)) {
                    std::ostringstream what;
                    what << "output \"" << output.name << "\" is declared static"
                         << (pin.staticSince >= 0 ? " from sample " + std::to_string(pin.staticSince) : "")
                         << " with value " << held << " but is " << samples[static_cast<std::size_t>(i)]
                         << " at sample " << i << " of " << count;
                    fail(what.str());
                    return;
                }
        }
    }

    void rememberLastSamples(int count)
    {
        for (Output& output : outputs)
            output.lastSample = module.output(output.name)[static_cast<std::size_t>(count - 1)];
        started = true;
    }

    DspModule& module;
    Random& random;
    ModuleReport& report;
    bool allocatesByDesign;
    std::vector<Input> inputs;
    std::vector<Output> outputs;
    std::int64_t sampleClock = 0;
    bool finiteInputs = true;
    bool firstBlock = true;
    bool started = false;
    bool tracing = std::getenv("MPHOST_VALIDATE_TRACE") != nullptr;
};

// Creation by the factory, reference counts and queryInterface of one half, created
// repeatedly without a host.
void checkCreation(Bundle& bundle, const ModuleDescription& module, ModuleReport& report, int subType,
                   const gmpi::MpGuid& primaryIid, const char* primaryName)
{
    for (int round = 0; round < 20; ++round) {
        ComPtr<gmpi::IMpUnknown> object;
        const std::int32_t result = bundle.tryCreate(subType, module.wideId(), object);
        if (result != gmpi::MP_OK || !object) {
            report.passed = false;
            report.failures.push_back("creation returned " + describeResult(result) +
                                      (object ? "" : " without an object"));
            return;
        }
        if (object->addRef() < 2 || object->release() < 1) {
            report.passed = false;
            report.failures.push_back("reference counts do not start at 1");
            return;
        }
        void* answer = reinterpret_cast<void*>(1);
        const gmpi::MpGuid unknownIid{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
        if (object->queryInterface(unknownIid, &answer) != gmpi::MP_NOSUPPORT || answer != nullptr) {
            report.passed = false;
            report.failures.push_back("queryInterface with an unknown identifier does not answer -2 with null");
            return;
        }
        if (!object.as<gmpi::IMpUnknown>(primaryIid) || !object.as<gmpi::IMpUnknown>(gmpi::MP_IID_UNKNOWN)) {
            report.passed = false;
            report.failures.push_back(std::string("queryInterface does not answer ") + primaryName + " and MP_IID_UNKNOWN");
            return;
        }
    }
}

}  // namespace

ModuleReport validateDspHalf(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options)
{
    ModuleReport report;
    report.bundle = bundlePath.stem().string();
    report.id = module.id;
    report.subType = 0;
    report.seed = options.seed;
    try {
        auto bundle = Bundle::load(bundlePath);
        checkCreation(*bundle, module, report, gmpi::MP_SUB_TYPE_AUDIO, gmpi::MP_IID_PLUGIN2, "MP_IID_PLUGIN2");
        if (!report.passed)
            return report;

        Random random(moduleSeed(options.seed, module.id, 0));
        const float rates[] = {8000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
        const int runs = 3;
        const auto perRun = std::chrono::duration<double>(options.secondsPerModule / runs);
        for (int run = 0; run < runs && report.passed; ++run) {
            DspModuleOptions moduleOptions;
            moduleOptions.sampleRate = rates[uniformInt(random, 0, 4)];
            moduleOptions.maxBlockSize = 4096;
            moduleOptions.sleepDelay = pick(random, std::vector<int>{1, 64, 1000, 4096});
            for (const PinDescription& pin : module.dsp->pins)
                if (pin.autoDuplicate)
                    moduleOptions.duplicates[pin.name] = uniformInt(random, 0, 4);
            DspModule instance(bundle, module, moduleOptions);
            instance.start();
            DspStress stress(instance, random, report, module.dsp->allocatesInProcess);
            const auto start = Clock::now();
            // Ordinary values first (outputs must stay finite), then hostile ones.
            if (stress.run(start + std::chrono::duration_cast<Clock::duration>(perRun * 0.6), false))
                stress.run(start + std::chrono::duration_cast<Clock::duration>(perRun), true);
            (void)instance.takeMessages();
        }
    } catch (const std::exception& error) {
        report.passed = false;
        report.failures.push_back(error.what());
    }
    return report;
}

namespace {

// The object handed to populateContextMenu. It offers no item operations: a module
// must ask for them and cope with a host that has none.
class MenuSink final : public gmpi::IMpUnknown {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (!returnInterface)
            return gmpi::MP_FAIL;
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
};

std::string sizeText(float width, float height)
{
    std::ostringstream text;
    text << width << " x " << height;
    return text.str();
}

// Drives one GUI half through pin values, layout, renders, pointer input, context menus
// and tooltips, checking after each operation that nothing escaped and that no
// non-finite value reached the drawing layer.
class GuiStress {
public:
    // `sweepSizes`: lay out and render at 0 x 0, 1 x 1 and 4000 x 4000 before the first
    // random operations.
    GuiStress(GuiModule& module, Random& random, ModuleReport& report, bool sweepSizes)
        : module(module), random(random), report(report), sweepSizes(sweepSizes)
    {
        if (auto* unknown = module.object()) {
            void* answer = nullptr;
            if (module.subType() == gmpi::MP_SUB_TYPE_GUI) {
                if (unknown->queryInterface(gmpi::MP_IID_GUI_PLUGIN, &answer) == gmpi::MP_OK && answer)
                    gen1 = static_cast<gmpi::IMpUserInterface*>(answer);
            } else if (unknown->queryInterface(gmpi::MP_IID_GUI_PLUGIN2, &answer) == gmpi::MP_OK && answer) {
                gen2 = static_cast<gmpi::IMpUserInterface2*>(answer);
            }
        }
    }
    ~GuiStress()
    {
        if (gen1)
            gen1->release();
        if (gen2)
            gen2->release();
    }
    GuiStress(const GuiStress&) = delete;
    GuiStress& operator=(const GuiStress&) = delete;

    // Every pin once, in random order, as a host does before and after initialize().
    bool setEveryPin(bool hostile)
    {
        std::vector<std::size_t> order(module.pins().size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), random);
        for (const std::size_t i : order)
            if (!setPinValue(module.pins()[i], hostile))
                return false;
        return report.passed;
    }

    bool initialize()
    {
        return perform("initialize()", [&] { module.initialize(); });
    }

    // Layout and drawing at the extreme sizes, then random operations until `deadline`.
    bool run(Clock::time_point deadline, bool hostile)
    {
        if (module.isGraphical() && sweepSizes) {
            sweepSizes = false;
            for (const float side : {0.0f, 1.0f, 4000.0f})
                if (!layOut(side, side) || !render())
                    return false;
        }
        // A minimum of operations, so that modules slow to draw still get pointer input.
        for (int done = 0; (done < minimumOperations || Clock::now() < deadline) && report.passed; ++done) {
            const int choice = uniformInt(random, 0, module.isGraphical() ? 9 : 3);
            switch (choice) {
            case 0:
                if (!module.pins().empty())
                    setPinValue(pick(random, module.pins()), hostile);
                break;
            case 1:
                if (hostile)
                    setOddPayload();
                break;
            case 2: contextMenu(); break;
            case 3: legacyToolTip(); break;
            case 4: layOut(randomSide(), randomSide()); break;
            case 5:
            case 6: render(); break;
            case 7:
            case 8: pointerSequence(); break;
            default: hitTestAndToolTip(); break;
            }
        }
        return report.passed;
    }

private:
    // The failure, then the pin values the module held (the last one set on each pin).
    void fail(const std::string& what)
    {
        report.passed = false;
        report.failures.push_back("operation " + std::to_string(report.blocks) + ": " + what);
        std::string values;
        for (const auto& [name, value] : lastValues)
            values += (values.empty() ? "pin values: " : ", ") + name + " = " + value;
        if (!values.empty())
            report.failures.push_back(values);
    }

    // Runs one operation: an exception leaving it, or a non-finite value handed to the
    // drawing layer while it ran, is a failure naming it.
    template <class Operation>
    bool perform(const std::string& what, Operation&& operation)
    {
        if (!report.passed)
            return false;
        if (tracing)
            std::fprintf(stderr, "operation %lld (%.3f s): %s\n", static_cast<long long>(report.blocks),
                         std::chrono::duration<double>(Clock::now() - created).count(), what.c_str());
        const std::uint64_t nonFiniteBefore = drawing::nonFiniteCoordinateCount();
        try {
            operation();
        } catch (const std::exception& error) {
            fail(what + ": an exception left the module: " + error.what());
            return false;
        } catch (...) {
            fail(what + ": an exception left the module");
            return false;
        }
        ++report.blocks;
        const std::uint64_t nonFinite = drawing::nonFiniteCoordinateCount() - nonFiniteBefore;
        if (nonFinite > 0) {
            fail(what + ": " + std::to_string(nonFinite) + " non-finite coordinate(s) handed to the drawing layer");
            return false;
        }
        return report.passed;
    }

    bool setPinValue(const GuiPin& pin, bool hostile)
    {
        const PinValue value = pin.datatype == gmpi::MP_MIDI ? PinValue{Bytes{}} : makeValue(random, pin.datatype, hostile);
        std::string shown = formatPinValue(value);
        if (shown.size() > 40)
            shown = shown.substr(0, 24) + "... (" + std::to_string(shown.size()) + " characters)";
        lastValues[pin.name] = shown;
        return perform("pin \"" + pin.name + "\" = " + shown, [&] { module.setPinRaw(pin.index, encodePinValue(value)); });
    }

    // A payload of a size the pin's datatype does not have, as a careless host may send.
    bool setOddPayload()
    {
        if (module.pins().empty())
            return true;
        const GuiPin& pin = pick(random, module.pins());
        Bytes payload(static_cast<std::size_t>(pick(random, std::vector<int>{0, 1, 2, 3, 5, 8, 4097})));
        for (auto& b : payload)
            b = static_cast<std::uint8_t>(uniformInt(random, 0, 255));
        lastValues[pin.name] = std::to_string(payload.size()) + " raw bytes";
        return perform("pin \"" + pin.name + "\" given " + std::to_string(payload.size()) + " raw bytes",
                       [&] { module.setPinRaw(pin.index, payload); });
    }

    // Mostly the sizes of panels; the largest ones rarely, as drawing them is slow.
    float randomSide()
    {
        if (uniformInt(random, 0, 15) == 0)
            return pick(random, std::vector<float>{4000.0f, static_cast<float>(uniformInt(random, 600, 4000))});
        return pick(random, std::vector<float>{0.0f, 1.0f, 0.5f, 2.5f, static_cast<float>(uniformInt(random, 2, 64)),
                                               static_cast<float>(uniformInt(random, 0, 600))});
    }

    bool layOut(float width, float height)
    {
        MP1_SIZE desired{};
        if (!perform("measure in " + sizeText(width, height), [&] { desired = module.measure({width, height}); }))
            return false;
        if (!std::isfinite(desired.width) || !std::isfinite(desired.height)) {
            fail("measure in " + sizeText(width, height) + " asked for a non-finite size " +
                 sizeText(desired.width, desired.height));
            return false;
        }
        const float left = uniformInt(random, 0, 3) == 0 ? static_cast<float>(uniformInt(random, 1, 200)) : 0.0f;
        const float top = uniformInt(random, 0, 3) == 0 ? static_cast<float>(uniformInt(random, 1, 200)) : 0.0f;
        return perform("arrange at " + sizeText(width, height),
                       [&] { module.arrange({left, top, left + width, top + height}); });
    }

    // The surface is smaller than the largest rectangles: the module still draws all of
    // it, the backend clips.
    bool render()
    {
        const MP1_RECT& rect = module.arrangedRect();
        return perform("render at " + sizeText(rect.right - rect.left, rect.bottom - rect.top),
                       [&] { module.render(surface); });
    }

    MP1_POINT randomPoint()
    {
        const MP1_RECT& rect = module.arrangedRect();
        const float width = rect.right - rect.left;
        const float height = rect.bottom - rect.top;
        switch (uniformInt(random, 0, 5)) {
        case 0: return {0.0f, 0.0f};
        case 1: return {width, height};
        case 2: return {uniformFloat(random, -100.0f, width + 100.0f), uniformFloat(random, -100.0f, height + 100.0f)};
        default: return {uniformFloat(random, 0.0f, width), uniformFloat(random, 0.0f, height)};
        }
    }

    static std::string pointText(MP1_POINT point)
    {
        std::ostringstream text;
        text << "(" << point.x << ", " << point.y << ")";
        return text.str();
    }

    // Down, moves, up, with or without the primary button and the fine-adjust key; at
    // times a move or an up without a down, or a down without an up.
    bool pointerSequence()
    {
        static const std::int32_t flagChoices[] = {0, 0x10, 0x20000, 0x10 | 0x20000};
        const std::int32_t flags = flagChoices[uniformInt(random, 0, 3)];
        const std::string flagText = " with flags " + std::to_string(flags);
        const int shape = uniformInt(random, 0, 7);
        if (shape != 0) {
            const MP1_POINT point = randomPoint();
            if (!perform("pointer down at " + pointText(point) + flagText, [&] { module.pointerDown(flags, point); }))
                return false;
        }
        const int moves = uniformInt(random, 0, 8);
        for (int i = 0; i < moves; ++i) {
            const MP1_POINT point = randomPoint();
            if (!perform("pointer move to " + pointText(point) + flagText, [&] { module.pointerMove(flags, point); }))
                return false;
        }
        if (shape == 1)
            return true;
        const MP1_POINT point = randomPoint();
        return perform("pointer up at " + pointText(point) + flagText, [&] { module.pointerUp(flags, point); });
    }

    bool hitTestAndToolTip()
    {
        const MP1_POINT point = randomPoint();
        return perform("hit test and tooltip at " + pointText(point), [&] {
            module.hitTest(point);
            module.toolTip(point);
        });
    }

    bool contextMenu()
    {
        const MP1_POINT point = randomPoint();
        const std::int32_t selection = pick(random, std::vector<std::int32_t>{0, 1, 2, 3, -1, 1000,
                                                                              std::numeric_limits<std::int32_t>::max()});
        return perform("context menu at " + pointText(point) + ", item " + std::to_string(selection), [&] {
            MenuSink sink;
            if (gen2 && gen2->populateContextMenu(point.x, point.y, &sink) == gmpi::MP_OK)
                gen2->onContextMenu(selection);
            if (gen1 && gen1->populateContextMenu(point.x, point.y, &sink) == gmpi::MP_OK)
                gen1->onContextMenu(selection);
        });
    }

    // The tooltip operation of the module's primary interface (not the graphics one).
    bool legacyToolTip()
    {
        const MP1_POINT point = randomPoint();
        return perform("module tooltip at " + pointText(point), [&] {
            ReturnString text;
            if (gen2)
                gen2->getToolTip(point.x, point.y, &text);
            if (gen1)
                gen1->getToolTip(point.x, point.y, &text);
        });
    }

    GuiModule& module;
    Random& random;
    ModuleReport& report;
    gmpi::IMpUserInterface2* gen2 = nullptr;  // one reference each
    gmpi::IMpUserInterface* gen1 = nullptr;
    DrawingSurface surface{256, 192};
    bool sweepSizes;
    std::map<std::string, std::string> lastValues;  // by pin name, as shown in the trace
    static constexpr int minimumOperations = 40;
    Clock::time_point created = Clock::now();
    bool tracing = std::getenv("MPHOST_VALIDATE_TRACE") != nullptr;
};

}  // namespace

ModuleReport validateGuiHalf(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options)
{
    ModuleReport report;
    report.bundle = bundlePath.stem().string();
    report.id = module.id;
    report.subType = module.gui ? module.gui->subType : gmpi::MP_SUB_TYPE_GUI2;
    report.seed = options.seed;
    if (!module.gui) {
        report.passed = false;
        report.failures.push_back("the module has no GUI half");
        return report;
    }
    try {
        auto bundle = Bundle::load(bundlePath);
        // Second-generation halves are created without a host; the first generation
        // needs one to be created at all (the harness below covers it).
        if (report.subType == gmpi::MP_SUB_TYPE_GUI2)
            checkCreation(*bundle, module, report, gmpi::MP_SUB_TYPE_GUI2, gmpi::MP_IID_GUI_PLUGIN2B, "MP_IID_GUI_PLUGIN2B");
        if (!report.passed)
            return report;
        Random random(moduleSeed(options.seed, module.id, report.subType));
        const int runs = 3;
        const auto perRun = std::chrono::duration<double>(options.secondsPerModule / runs);
        for (int run = 0; run < runs && report.passed; ++run) {
            GuiModuleOptions moduleOptions;
            for (const PinDescription& pin : module.gui->pins)
                if (pin.autoDuplicate)
                    moduleOptions.duplicates[pin.name] = uniformInt(random, 0, 4);
            const auto start = Clock::now();
            GuiModule instance(bundle, module, moduleOptions);
            GuiStress stress(instance, random, report, run == 0);
            // Values before initialize() (hostile ones in every run but the first), then
            // ordinary operations, then hostile ones.
            if (!stress.setEveryPin(run > 0) || !stress.initialize())
                break;
            if (stress.run(start + std::chrono::duration_cast<Clock::duration>(perRun * 0.5), false) &&
                stress.setEveryPin(true))
                stress.run(start + std::chrono::duration_cast<Clock::duration>(perRun), true);
            (void)instance.takeTransmissions();
            (void)instance.takeMessagesToDsp();
        }
    } catch (const std::exception& error) {
        report.passed = false;
        report.failures.push_back(error.what());
    }
    return report;
}

namespace {

nlohmann::json toJson(const ModuleReport& report)
{
    return {{"bundle", report.bundle}, {"id", report.id},         {"subType", report.subType},
            {"passed", report.passed}, {"skipped", report.skipped}, {"failures", report.failures},
            {"notes", report.notes},   {"seed", report.seed},       {"blocks", report.blocks}};
}

ModuleReport fromJson(const nlohmann::json& json)
{
    ModuleReport report;
    report.bundle = json.at("bundle").get<std::string>();
    report.id = json.at("id").get<std::string>();
    report.subType = json.at("subType").get<int>();
    report.passed = json.at("passed").get<bool>();
    report.skipped = json.at("skipped").get<bool>();
    report.failures = json.at("failures").get<std::vector<std::string>>();
    report.notes = json.at("notes").get<std::vector<std::string>>();
    report.seed = json.at("seed").get<std::uint64_t>();
    report.blocks = json.at("blocks").get<std::int64_t>();
    return report;
}

std::string signalName(int signal)
{
    const char* name = strsignal(signal);
    return std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
}

using HalfValidator = ModuleReport (*)(const std::filesystem::path&, const ModuleDescription&, const ValidationOptions&);

// Runs one half's validator in a child process; a crash or a hang becomes a failure.
ModuleReport validateInChild(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options, int subType, HalfValidator validateHalf)
{
    ModuleReport report;
    report.bundle = bundlePath.stem().string();
    report.id = module.id;
    report.subType = subType;
    report.seed = options.seed;

    int channel[2];
    if (pipe(channel) != 0) {
        report.passed = false;
        report.failures.push_back("cannot create a pipe for the child process");
        return report;
    }
    // The child works in a fresh folder of its own, removed afterwards: modules that write
    // files (savers given random names) must not litter the caller's working folder.
    static int children = 0;
    std::error_code folderError;
    const std::filesystem::path bundle = std::filesystem::absolute(bundlePath, folderError);
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path(folderError) /
        ("mphost-validate-" + std::to_string(getpid()) + "-" + std::to_string(++children));
    std::filesystem::create_directories(scratch, folderError);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (chdir(scratch.c_str()) != 0)
            _exit(1);  // no report: the parent records the failure
        // What modules print (the codec's diagnostics for random file names) is not part
        // of the report.
        if (!std::getenv("MPHOST_VALIDATE_TRACE"))
            (void)std::freopen("/dev/null", "w", stdout);
        const std::string text = toJson(validateHalf(bundle, module, options)).dump(
            -1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = write(channel[1], text.data() + written, text.size() - written);
            if (n <= 0)
                break;
            written += static_cast<std::size_t>(n);
        }
        close(channel[1]);
        _exit(0);
    }
    close(channel[1]);
    if (child < 0) {
        close(channel[0]);
        std::filesystem::remove_all(scratch, folderError);
        report.passed = false;
        report.failures.push_back("cannot start a child process");
        return report;
    }

    const double allowed = options.hangSeconds > 0 ? options.hangSeconds : 20.0 + 10.0 * options.secondsPerModule;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(allowed));
    std::string text;
    bool hung = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            hung = true;
            break;
        }
        pollfd descriptor{channel[0], POLLIN, 0};
        if (poll(&descriptor, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(channel[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    if (hung)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::remove_all(scratch, folderError);

    if (hung) {
        report.passed = false;
        report.failures.push_back("hang: no result within " + std::to_string(static_cast<int>(allowed)) + " s");
    } else if (WIFSIGNALED(status)) {
        report.passed = false;
        report.failures.push_back("crashed with signal " + signalName(WTERMSIG(status)));
    } else {
        try {
            return fromJson(nlohmann::json::parse(text));
        } catch (const std::exception&) {
            report.passed = false;
            report.failures.push_back("the child process ended without a report (exit status " +
                                      std::to_string(WEXITSTATUS(status)) + ")");
        }
    }
    return report;
}

// Whether the shared library exports the bundle entry point. Loaded only for libraries
// without descriptions, so no bundle's initialisers run in this process.
bool exportsBundleEntry(const std::filesystem::path& path)
{
    void* library = dlopen(std::filesystem::absolute(path).c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return false;
    const bool found = dlsym(library, gmpi::MP_GET_FACTORY_SYMBOL) != nullptr;
    dlclose(library);
    return found;
}

}  // namespace

std::vector<ModuleReport> validateBundles(const std::vector<std::filesystem::path>& bundles,
                                          const ValidationOptions& options)
{
    std::vector<ModuleReport> reports;
    for (const auto& bundlePath : bundles) {
        // A support library that a shell pattern over the bundle folder picks up is
        // listed and passed over; a bundle without descriptions stays an error.
        if (!std::filesystem::exists(BundleDescription::pathBeside(bundlePath)) && std::filesystem::exists(bundlePath) &&
            !std::filesystem::is_directory(bundlePath) && !exportsBundleEntry(bundlePath)) {
            ModuleReport library;
            library.bundle = bundlePath.filename().string();
            library.skipped = true;
            library.seed = options.seed;
            library.notes.push_back("not a plug-in bundle (no MP_GetFactory, no descriptions): passed over");
            reports.push_back(library);
            continue;
        }
        const BundleDescription descriptions = BundleDescription::loadFile(BundleDescription::pathBeside(bundlePath));
        for (const ModuleDescription& module : descriptions.modules) {
            if (!options.only.empty() && module.id != options.only)
                continue;
            if (module.dsp)
                reports.push_back(validateInChild(bundlePath, module, options, 0, &validateDspHalf));
            if (module.gui)
                reports.push_back(validateInChild(bundlePath, module, options, module.gui->subType, &validateGuiHalf));
        }
    }
    return reports;
}

std::string formatReports(const std::vector<ModuleReport>& reports)
{
    std::ostringstream text;
    int passed = 0, failed = 0, skipped = 0;
    for (const ModuleReport& report : reports) {
        if (report.id.empty()) {  // a library that is not a bundle
            ++skipped;
            text << "SKIP  " << report.bundle;
            for (const auto& note : report.notes)
                text << "  [" << note << "]";
            text << "\n";
            continue;
        }
        const char* verdict = report.skipped ? "SKIP" : report.passed ? "PASS" : "FAIL";
        (report.skipped ? skipped : report.passed ? passed : failed)++;
        text << verdict << "  " << report.bundle << "  " << (report.subType == 0 ? "dsp" : "gui") << "  "
             << report.id;
        if (!report.skipped)
            text << "  (" << report.blocks << (report.subType == 0 ? " blocks)" : " operations)");
        for (const auto& note : report.notes)
            text << "  [" << note << "]";
        text << "\n";
        for (const auto& failure : report.failures)
            text << "      " << failure << "\n";
        if (!report.passed)
            text << "      reproduce: mphost validate <bundle> --seed " << report.seed << " --only \"" << report.id
                 << "\"\n";
    }
    text << "validated " << passed + failed << " module halves: " << passed << " pass, " << failed << " fail";
    if (skipped)
        text << ", " << skipped << " skipped";
    text << "\n";
    return text.str();
}

std::string reportsToJson(const std::vector<ModuleReport>& reports)
{
    nlohmann::json list = nlohmann::json::array();
    for (const ModuleReport& report : reports)
        list.push_back(toJson(report));
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace mphost
