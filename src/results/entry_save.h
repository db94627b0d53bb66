#pragma once
// Writing one entry's content to a file: the one place that creates output
// files, restores their times and turns a reader's damaged ranges into the
// report line, for every reader alike.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/recovered.h"

namespace vantor {

// What saving one file did. A file can be written and still be damaged (an
// unreadable sector written as zeros): `damaged` says so and `problem` why.
struct SaveResult {
    bool written = false;
    bool damaged = false;
    // Deliberately not written (the NTFS bad-cluster file): counted and
    // announced by the save, but not reported as a failure.
    bool withheld = false;
    // Stopped while it was being written: nothing of it was kept.
    bool stopped = false;
    // The target's disk is full: nothing of it was kept.
    bool targetFull = false;
    std::uint64_t bytes = 0;
    // Where it was written; empty when it was not.
    std::filesystem::path savedAs;
    std::string problem;
    std::vector<DamagedRange> damage;
};

// What a save offers the writing of one file.
struct SaveControls {
    // The next name to try when the last one was taken meanwhile (another
    // save into the same folder, a case-insensitive target) or refused by
    // the target's file system (`refused`); nullopt gives up.
    std::function<std::optional<std::filesystem::path>(bool refused)> nextName;
    // Asked between pieces of the content: true abandons the file.
    std::function<bool()> stopRequested;
};

// Writes the entry into the folder of `file` under a temporary name, then
// gives it the name `file` (or the next one `controls` offers when that is
// taken or refused; nothing is ever written over) and the entry's access and
// modification times. A file that fails, or whose save is stopped, leaves
// nothing behind. Reads the device; call from the one worker.
SaveResult saveEntryToFile(EntrySource& source, EntryRef entry, const std::filesystem::path& file,
                           const SaveControls& controls = {});

}  // namespace vantor
