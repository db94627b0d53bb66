#pragma once
// What the whole application shares while a user works through one recovery.
// Owned by the wizard's application object or by one command-line run, and
// handed to readers by reference: the core keeps no mutable globals.
#include <cstdint>
#include <memory>
#include <string>

namespace vantor {

class readWriteInterface;

struct AppState {
    std::shared_ptr<readWriteInterface> sharedReader;  // replaced on each new selection
    bool isDriveFormatted = false;  // read folders and files as contiguous clusters
    bool selectedIsVolume = false;  // a volume rather than a whole drive was picked
    std::string rootLabel = "ROOT";
    std::string searchText;
};

}  // namespace vantor
