// mphost: the reference host's command-line program.
//   mphost list <bundle>...      modules of each bundle
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
    return 2;
}
