// mphost: the reference host's command-line program.
//   mphost list <bundle>...      modules of each bundle
//   mphost validate <bundle>...  stress-test every module of each bundle
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
    return 2;
}
