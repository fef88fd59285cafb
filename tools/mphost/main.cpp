// mphost: the reference host's command-line program.
//   mphost list <bundle>...      modules of each bundle
//   mphost validate <bundle>...  stress-test every module of each bundle
//   mphost describe <bundle> <identifier>   the pins of a module's halves
//   mphost render [patch.json]   a patch (or the demo patch) to WAV and PNG
//   mphost play <patch.json>     a patch live: its panel in a window, its outputs heard
//   mphost tooltips <patch>      the tooltip of every module on a patch's panel
//   mphost docs [bundle...]      the module reference, as HTML and Markdown with pictures
#include <cmath>
#include <cstring>
#include <iostream>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "common/file_access.h"

namespace {

// An existing regular file (a bundle given by path).
const CLI::Validator regularFile(
    [](std::string& value) {
        const std::string wrong = mphost::notRegularFile(value);
        return wrong.empty() ? std::string() : "'" + value + "' " + wrong;
    },
    "FILE");

// A folder that exists.
const CLI::Validator existingFolder(
    [](std::string& value) {
        std::error_code error;
        if (std::filesystem::is_directory(value, error))
            return std::string();
        return "'" + value + "' " +
               (std::filesystem::exists(value, error) ? "is not a folder" : std::string("does not exist"));
    },
    "DIR");

// A length in seconds: finite (ranges let NaN through), more than 0, at most a day. The
// render checks that it is at least one sample at the rate used.
const CLI::Validator renderSeconds(
    [](std::string& value) {
        double number = 0;
        if (!CLI::detail::lexical_cast(value, number) || !std::isfinite(number))
            return "'" + value + "' is not a finite number";
        if (!(number > 0 && number <= 86400))
            return "'" + value + "' is not more than 0 and at most 86400";
        return std::string();
    },
    "SECONDS in (0 - 86400], at least one sample");

// A whole number of hertz from 1000 to 768000.
const CLI::Validator wholeHertz(
    [](std::string& value) {
        double number = 0;
        if (!CLI::detail::lexical_cast(value, number) || std::floor(number) != number || number < 1000 ||
            number > 768000)
            return "'" + value + "' is not a whole number from 1000 to 768000";
        return std::string();
    },
    "HZ in [1000 - 768000], whole");

const char* const commands[] = {"list", "validate", "describe", "render", "play", "tooltips", "docs"};

}  // namespace

#if defined(MP_TSAN)
// In the ThreadSanitizer build a data race ends the process at once with status 66, which
// the validator reports as a failure of the check that was running.
extern "C" const char* __tsan_default_options()
{
    return "halt_on_error=1:exitcode=66";
}
#endif

int main(int argc, char** argv)
{
    // A first word that is no command: say so, rather than that a command is missing.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const char* command : commands)
            known |= std::strcmp(argv[1], command) == 0;
        if (!known) {
            std::cerr << "mphost: unknown command '" << argv[1]
                      << "'; the commands are list, validate, describe, render, play, tooltips and docs (mphost --help)\n";
            return 2;
        }
    }

    CLI::App app{"mphost - load, inspect and run modular audio module bundles"};
    app.require_subcommand(1);

    mphost::cli::ListOptions listOptions;
    CLI::App* list = app.add_subcommand("list", "List the modules of bundles, probing every declared identifier");
    list->add_option("bundles", listOptions.bundles, "Bundle files (.so) or bundle names")->required();
    list->add_option("--descriptions", listOptions.descriptions,
                     "Module descriptions to use instead of the .json beside each bundle")
        ->check(regularFile);
    list->add_option("--bundles", listOptions.bundleFolders, "Folders to look for bundles named without a path")
        ->check(existingFolder)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    list->footer("Each bundle prints its name and file, its SDK version and compiler, then one line per module\n"
                 "half its descriptions declare: the kind (dsp, gui for the second GUI generation, gui1 for\n"
                 "the first), the sub-type the factory is asked for (0, 2, 1) and the identifier, marked\n"
                 "[not provided: reason] when the factory does not create it; then the counts.");

    mphost::cli::ValidateOptions validateOptions;
    CLI::App* validate =
        app.add_subcommand("validate", "Stress-test every module of bundles, each in a child process");
    validate->add_option("bundles", validateOptions.bundles, "Bundle files (.so)")->check(regularFile);
    validate->add_option("--seed", validateOptions.seedText,
                         "Seed of the random events, 0 to 18446744073709551615 (default 1)");
    validate->add_option("--seconds-per-module", validateOptions.secondsText,
                         "Work of each check in seconds of a typical module, above 0 up to 3600 (sets --blocks)");
    validate->add_option("--blocks", validateOptions.blocksText,
                         "Blocks (DSP) or operations (GUI) of each check, 1 to 100000000");
    validate->add_option("--only", validateOptions.validation.only, "Validate only this module identifier");
    validate->add_option("--check", validateOptions.validation.check, "Run only this check (see --list)");
    validate->add_flag("--list", validateOptions.list, "List the checks and exit");
    validate->add_flag("--json", validateOptions.json, "Write the report as JSON");
    validate->add_flag("-q,--quiet", validateOptions.quiet, "Print only failures and the totals; no progress bar");

    mphost::cli::DescribeOptions describeOptions;
    CLI::App* describe = app.add_subcommand("describe", "Print the pins of both halves of a module");
    describe->add_option("bundle", describeOptions.bundle, "Bundle file (.so) or bundle name")->required();
    describe->add_option("identifier", describeOptions.id, "Module identifier")->required();
    describe->add_option("--bundles", describeOptions.bundleFolders,
                         "Folders to look for bundles named without a path")
        ->check(existingFolder)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    mphost::cli::RenderOptions renderOptions;
    CLI::App* render = app.add_subcommand(
        "render", "Render a patch to a 32-bit float WAV (and its GUI panel to PNG); without a patch, the demo patch");
    render->add_option("patch", renderOptions.patch, "Patch file (JSON)")->check(CLI::ExistingFile);
    render->add_option("-o,--output", renderOptions.output, "WAV file to write (default: <patch>.wav)");
    render->add_option("--png", renderOptions.png, "PNG file for the GUI panel at the end of the render");
    render->add_option("--seconds", renderOptions.seconds,
                       "Length instead of the patch's: more than 0 and at least one sample at the rate, at most 86400")
        ->check(renderSeconds);
    render->add_option("--rate", renderOptions.sampleRate,
                       "Sample rate instead of the patch's: a whole number of hertz from 1000 to 768000")
        ->check(wholeHertz);
    render->add_option("--block", renderOptions.blockSize, "Block size instead of the patch's: 1 to 4096")
        ->check(CLI::Range(1, 4096));
    render->add_option("--bundles", renderOptions.bundleFolders, "Folders to look for bundles named without a path")
        ->check(existingFolder)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    render->add_flag("-q,--quiet", renderOptions.quiet, "Print nothing but errors; no progress bar");
    render->add_option("--skin", renderOptions.skin, "Skin folder instead of the patch's (default: the shipped skin)")
        ->check(CLI::ExistingDirectory);

    mphost::cli::PlayOptions playOptions;
    CLI::App* play = app.add_subcommand(
        "play", "Play a patch live: its GUI panel in a window, its outputs through the system's audio");
    play->add_option("patch", playOptions.patch, "Patch file (JSON)")->check(CLI::ExistingFile)->required();
    play->add_option("--device", playOptions.device, "Audio output device by name (default: the system's)");
    play->add_option("--rate", playOptions.sampleRate,
                     "Sample rate instead of the patch's: a whole number of hertz from 1000 to 768000")
        ->check(wholeHertz);
    play->add_option("--block", playOptions.blockSize, "Block size instead of the patch's: 1 to 4096")
        ->check(CLI::Range(1, 4096));
    play->add_option("--skin", playOptions.skin, "Skin folder instead of the patch's (default: the shipped skin)")
        ->check(CLI::ExistingDirectory);
    play->add_option("--bundles", playOptions.bundleFolders, "Folders to look for bundles named without a path")
        ->check(existingFolder)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    play->add_flag("--stats", playOptions.stats,
                   "Print the status line (callback load, xruns, rate, block) once a second");
    play->add_option("--record", playOptions.record, "Write what is heard to this WAV file (32-bit float)");
    play->add_flag("--headless", playOptions.headless, "No window; play to a null device on the wall clock");
    play->add_flag("--run-script", playOptions.runScript, "Play the patch's script as live input")->group("");
    play->add_option("--quit-after", playOptions.quitAfter, "Stop after this many seconds of audio")
        ->check(renderSeconds)
        ->group("");
    play->add_option("--screenshot", playOptions.screenshot, "PNG of the window when stopping")->group("");
    play->footer("Keys: space pauses and resumes, R restarts the patch from its initial state, Q quits.\n"
                 "The pointer and the wheel go to the module under the pointer.");

    mphost::cli::DocsOptions docsOptions;
    CLI::App* docs = app.add_subcommand(
        "docs", "Write the module reference (HTML with a search box, and Markdown) with pictures of every module");
    docs->add_option("bundles", docsOptions.bundles, "Bundle files (.so) or names (default: every built bundle)");
    docs->add_option("--out", docsOptions.out, "Folder to write (default: build/docs)");
    docs->add_option("--skin", docsOptions.skin, "Skin folder of the GUI pictures (default: the shipped skin)")
        ->check(CLI::ExistingDirectory);
    docs->add_option("--bundles", docsOptions.bundleFolders, "Folders to look for bundles named without a path")
        ->check(existingFolder)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    mphost::cli::TooltipsOptions tooltipsOptions;
    CLI::App* tooltips =
        app.add_subcommand("tooltips", "Print the tooltip of every module on a patch's panel, asked at its centre");
    tooltips->add_option("patch", tooltipsOptions.patch, "Patch file (JSON)")->check(CLI::ExistingFile)->required();
    tooltips->add_option("--bundles", tooltipsOptions.bundleFolders, "Folders to look for bundles named without a path")
        ->check(existingFolder)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    tooltips->add_option("--skin", tooltipsOptions.skin, "Skin folder instead of the patch's (default: the shipped skin)")
        ->check(CLI::ExistingDirectory);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        // Named after the command being parsed, with where to read how to use it.
        std::string command = "mphost";
        for (const CLI::App* subcommand : app.get_subcommands())
            command += " " + subcommand->get_name();
        std::cerr << command << ": " << error.what() << " (" << command << " --help)\n";
        return 2;
    }

    // The commands report the host's errors themselves; anything else that escapes one
    // (a file system or memory failure) is still a message and status 1, never an abort.
    const std::string command = app.get_subcommands().front()->get_name();
    try {
        if (list->parsed())
            return mphost::cli::runList(listOptions);
        if (validate->parsed())
            return mphost::cli::runValidate(validateOptions);
        if (describe->parsed())
            return mphost::cli::runDescribe(describeOptions);
        if (render->parsed())
            return mphost::cli::runRender(renderOptions);
        if (play->parsed())
            return mphost::cli::runPlay(playOptions);
        if (docs->parsed())
            return mphost::cli::runDocs(docsOptions);
        if (tooltips->parsed())
            return mphost::cli::runTooltips(tooltipsOptions);
    } catch (const std::exception& error) {
        std::cerr << "mphost " << command << ": " << error.what() << "\n";
        return 1;
    }
    return 2;
}
