// The validator's named checks and what each one is handed. Every check is one function
// in the file of its family (creation_checks.cpp, event_checks.cpp, ...); registry.cpp
// lists them in the order they run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "loader/bundle.h"
#include "loader/descriptions.h"
#include "validate/validator.h"
#include "validate/values.h"

namespace mphost::validation {

// One check's run on one module half.
struct CheckContext {
    std::shared_ptr<Bundle> bundle;
    const ModuleDescription& module;
    const ValidationOptions& options;
    Random random;          // seeded from the run's seed, the module and the check
    std::int64_t blocks;    // blocks (DSP) or operations (GUI) this check performs in all
    CheckReport& report;

    // Records a failure (the check stops at the first one).
    void fail(const std::string& what);
    // Records a note once.
    void note(const std::string& what);
    bool failed() const { return !report.passed; }
};

enum class Half { Dsp, Gui };

struct Check {
    std::string_view name;
    Half half;
    std::string_view summary;
    void (*run)(CheckContext&);
};

// Every check, in the order they run.
const std::vector<Check>& registry();
const Check* findCheck(std::string_view name);

// The checks of each family.
void dspCreation(CheckContext& context);
void guiCreation(CheckContext& context);
void dspDeterminism(CheckContext& context);
void dspRateChanges(CheckContext& context);
void dspSubnormals(CheckContext& context);
void dspThreads(CheckContext& context);
void dspOrdinaryEvents(CheckContext& context);
void dspHostileEvents(CheckContext& context);
void guiPinsAroundInitialize(CheckContext& context);
void guiExtremeSizes(CheckContext& context);
void guiOrdinaryOperations(CheckContext& context);
void guiHostileOperations(CheckContext& context);
void guiDeterminism(CheckContext& context);

}  // namespace mphost::validation
