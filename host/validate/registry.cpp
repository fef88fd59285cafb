#include "validate/checks.h"

namespace mphost::validation {

const std::vector<Check>& registry()
{
    static const std::vector<Check> checks{
        {"dsp.creation", Half::Dsp, "created 20 times without a host: reference counts and queryInterface",
         &dspCreation},
        {"dsp.ordinary-events", Half::Dsp,
         "blocks of 1 to 4096 samples with ordinary events of every pin type: no exception, no allocation, "
         "finite outputs, static outputs constant",
         &dspOrdinaryEvents},
        {"dsp.hostile-events", Half::Dsp,
         "blocks with hostile values (NaN, infinities, extremes, huge texts and blobs): no exception, no "
         "allocation for numeric events, static outputs constant",
         &dspHostileEvents},
        {"dsp.determinism", Half::Dsp,
         "the same inputs give the same output sample for sample: one instance alone, two interleaved block by "
         "block, and a second run",
         &dspDeterminism},
        {"dsp.rate-changes", Half::Dsp,
         "instances opened after rate changes from 8 kHz to 384 kHz, blocks of 1, odd sizes and 4096: finite and "
         "the same as in a fresh host",
         &dspRateChanges},
        {"dsp.subnormals", Half::Dsp,
         "loud input then silence with the host's flush to zero off: no subnormal output",
         &dspSubnormals},
        {"dsp.threads", Half::Dsp,
         "the DSP half on an audio thread and the GUI half on a user-interface thread, messages between them",
         &dspThreads},
        {"gui.creation", Half::Gui, "created 20 times without a host: reference counts and queryInterface",
         &guiCreation},
        {"gui.pins", Half::Gui, "every pin set before and after initialize(), ordinary then hostile values",
         &guiPinsAroundInitialize},
        {"gui.extreme-sizes", Half::Gui, "measure, arrange and render at 0 x 0, 1 x 1 and 4000 x 4000",
         &guiExtremeSizes},
        {"gui.ordinary-operations", Half::Gui,
         "pin values, layout, renders, pointer sequences, hit tests, menus and tooltips: nothing escapes, "
         "no non-finite coordinate or size",
         &guiOrdinaryOperations},
        {"gui.hostile-operations", Half::Gui, "the same with hostile values and payloads of the wrong size",
         &guiHostileOperations},
        {"gui.determinism", Half::Gui,
         "the same pin values, pointer events and timer ticks give the same transmissions, messages and pixels: one "
         "instance alone, two interleaved operation by operation, and a second run",
         &guiDeterminism},
    };
    return checks;
}

const Check* findCheck(std::string_view name)
{
    for (const Check& check : registry())
        if (check.name == name)
            return &check;
    return nullptr;
}

void CheckContext::fail(const std::string& what)
{
    report.passed = false;
    report.failures.push_back(what);
}

void CheckContext::note(const std::string& what)
{
    for (const auto& existing : report.notes)
        if (existing == what)
            return;
    report.notes.push_back(what);
}

}  // namespace mphost::validation

namespace mphost {

std::vector<CheckInfo> listChecks()
{
    std::vector<CheckInfo> list;
    for (const auto& check : validation::registry())
        list.push_back({std::string(check.name), check.half == validation::Half::Dsp ? "dsp" : "gui",
                        std::string(check.summary)});
    return list;
}

bool isCheckName(const std::string& name)
{
    return validation::findCheck(name) != nullptr;
}

}  // namespace mphost
