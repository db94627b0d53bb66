// vantor ls, vantor save, vantor search
#include "cli/commands.h"

namespace vantor::cli {

void addEntryCommands(CLI::App& app, int& status) {}

}  // namespace vantor::cli
