// vantor: the command line over the recovery core.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"Vantor Recovery: finds volumes, lists, saves and searches what they hold, read-only."};
    app.require_subcommand(1);
    int status = 0;
    vantor::cli::addDeviceCommands(app, status);
    vantor::cli::addEntryCommands(app, status);
    vantor::cli::addCandidateCommands(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : vantor::cli::kUsage;
    }
    return status;
}
