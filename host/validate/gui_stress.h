// The driver of the GUI checks: pin values, layout, renders, pointer input, context menus
// and tooltips, checking after each operation that nothing escaped and that no non-finite
// value reached the drawing layer.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include "drawing/drawing_surface.h"
#include "harness/context_menu.h"
#include "harness/gui_module.h"
#include "harness/return_string.h"
#include "platform/clock.h"
#include "services/run_loop.h"
#include "validate/checks.h"

namespace mphost::validation {

using Clock = std::chrono::steady_clock;

inline std::string sizeText(float width, float height)
{
    std::ostringstream text;
    text << width << " x " << height;
    return text.str();
}

// Holds the platform clock on virtual time for its lifetime, from where the clock reads
// now, and gives back the real clock afterwards when that was in use before.
struct VirtualTimeScope {
    const bool wasVirtual = platform::isVirtualTime();
    VirtualTimeScope() { platform::setVirtualTime(platform::monotonicNanoseconds()); }
    ~VirtualTimeScope()
    {
        if (!wasVirtual)
            platform::useRealTime();
    }
    VirtualTimeScope(const VirtualTimeScope&) = delete;
    VirtualTimeScope& operator=(const VirtualTimeScope&) = delete;
};

// Drives one GUI half through pin values, layout, renders, pointer input, context menus
// and tooltips, checking after each operation that nothing escaped and that no
// non-finite value reached the drawing layer.
class GuiStress {
public:
    GuiStress(GuiModule& module, CheckContext& context)
        : module(module), random(context.random), report(context.report), context(context)
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

    // Layout and drawing at the extreme sizes.
    bool sweepExtremeSizes()
    {
        if (module.isGraphical())
            for (const float side : {0.0f, 1.0f, 4000.0f})
                if (!layOut(side, side) || !render())
                    return false;
        return report.passed;
    }

    // `operations` random operations.
    // Each operation takes one millisecond of virtual time, so the module's timers tick
    // between operations at the same points on every run with the same seed.
    bool run(std::int64_t operations, bool hostile)
    {
        const VirtualTimeScope virtualTime;
        for (std::int64_t done = 0; done < operations && report.passed; ++done) {
            advanceVirtualTime(platform::monotonicNanoseconds() + kOperationNanoseconds);
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
    static constexpr std::int64_t kOperationNanoseconds = 1'000'000;

    // The failure, then the pin values the module held (the last one set on each pin).
    void fail(const std::string& what)
    {
        context.fail("operation " + std::to_string(report.blocks) + ": " + what);
        std::string values;
        for (const auto& [name, value] : lastValues)
            values += (values.empty() ? "pin values: " : ", ") + name + " = " + value;
        if (!values.empty())
            report.failures.push_back(values);  // detail of the failure above
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
            // Sometimes a host with no menu of its own: a module must ask for the items
            // interface and cope without it.
            ContextMenuSink sink(pick(random, std::vector<int>{0, 1}) == 1);
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
    CheckReport& report;
    CheckContext& context;
    gmpi::IMpUserInterface2* gen2 = nullptr;  // one reference each
    gmpi::IMpUserInterface* gen1 = nullptr;
    DrawingSurface surface{256, 192};
    // Every operation, not only run()'s, reads the virtual clock: a module timing pointer
    // gestures (double clicks) sees the same times on every run.
    VirtualTimeScope virtualClock;
    std::map<std::string, std::string> lastValues;  // by pin name, as shown in the trace
    Clock::time_point created = Clock::now();
    bool tracing = std::getenv("MPHOST_VALIDATE_TRACE") != nullptr;
};


}  // namespace mphost::validation
