#pragma once
// The vantor subcommands, grouped by the file that defines them. Each sets
// `status` to the command's exit status when it runs.
#include <CLI/CLI.hpp>

#include "cli/cli_support.h"

namespace vantor::cli {

// device_commands.cpp: drives, partitions
void addDeviceCommands(CLI::App& app, int& status);
// entry_commands.cpp: ls, save, search
void addEntryCommands(CLI::App& app, int& status);
// candidate_commands.cpp: candidates
void addCandidateCommands(CLI::App& app, int& status);

}  // namespace vantor::cli
