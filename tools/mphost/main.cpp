// mphost: the reference host's command-line program.
//   mphost list <bundle>...      modules of each bundle
//   mphost validate <bundle>...  stress-test every module of each bundle
//   mphost describe <bundle> <identifier>   the pins of a module's halves
//   mphost render [patch.json]   a patch (or the demo patch) to WAV and PNG
#include <iostream>

#include <CLI/CLI.hpp>

#include "commands.h"

int main(int argc, char** argv)
{
    CLI::App app{"mphost - load, inspect and run modular audio module bundles"};
    app.require_subcommand(1);

    mphost::cli::ListOptions listOptions;
    CLI::App* list = app.add_subcommand("list", "List the modules of bundles, probing every declared identifier");
    list->add_option("bundles", listOptions.bundles, "Bundle files (.so)")->required();
    list->add_option("--descriptions", listOptions.descriptions,
                     "Module descriptions to use instead of the .json beside each bundle");

    mphost::cli::ValidateOptions validateOptions;
    CLI::App* validate =
        app.add_subcommand("validate", "Stress-test every module of bundles, each in a child process");
    validate->add_option("bundles", validateOptions.bundles, "Bundle files (.so)")->required();
    validate->add_option("--seed", validateOptions.validation.seed, "Seed of the random events (reproducible)");
    validate->add_option("--seconds-per-module", validateOptions.validation.secondsPerModule,
                         "Processing time budget of each module half")
        ->check(CLI::Range(0.0, 3600.0));
    validate->add_option("--only", validateOptions.validation.only, "Validate only this module identifier");
    validate->add_flag("--json", validateOptions.json, "Write the report as JSON");

    mphost::cli::DescribeOptions describeOptions;
    CLI::App* describe = app.add_subcommand("describe", "Print the pins of both halves of a module");
    describe->add_option("bundle", describeOptions.bundle, "Bundle file (.so) or bundle name")->required();
    describe->add_option("identifier", describeOptions.id, "Module identifier")->required();
    describe->add_option("--bundles", describeOptions.bundleFolders,
                         "Folders to look for bundles named without a path");

    mphost::cli::RenderOptions renderOptions;
    CLI::App* render = app.add_subcommand(
        "render", "Render a patch to a 32-bit float WAV (and its GUI panel to PNG); without a patch, the demo patch");
    render->add_option("patch", renderOptions.patch, "Patch file (JSON)")->check(CLI::ExistingFile);
    render->add_option("-o,--output", renderOptions.output, "WAV file to write (default: <patch>.wav)");
    render->add_option("--png", renderOptions.png, "PNG file for the GUI panel at the end of the render");
    render->add_option("--seconds", renderOptions.seconds, "Length instead of the patch's")
        ->check(CLI::Range(1e-6, 86400.0));
    render->add_option("--rate", renderOptions.sampleRate, "Sample rate instead of the patch's")
        ->check(CLI::Range(1000.0, 768000.0));
    render->add_option("--block", renderOptions.blockSize, "Block size instead of the patch's")
        ->check(CLI::Range(1, 4096));
    render->add_option("--bundles", renderOptions.bundleFolders, "Folders to look for bundles named without a path");
    render->add_option("--skin", renderOptions.skin, "Skin folder instead of the patch's (default: the shipped skin)")
        ->check(CLI::ExistingDirectory);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return 2;
    }

    if (list->parsed())
        return mphost::cli::runList(listOptions);
    if (validate->parsed())
        return mphost::cli::runValidate(validateOptions);
    if (describe->parsed())
        return mphost::cli::runDescribe(describeOptions);
    if (render->parsed())
        return mphost::cli::runRender(renderOptions);
    return 2;
}
