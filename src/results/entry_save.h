#pragma once
// Writing one entry's content to a file: the one place that creates output
// files, restores their times and turns a reader's damaged ranges into the
// report line, for every reader alike.
#include <cstdint>
#include <filesystem>
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
    // The path was taken by the time the file was created (another save
    // into the same folder): nothing was written; ask for another name.
    bool nameTaken = false;
    std::uint64_t bytes = 0;
    std::string problem;
    std::vector<DamagedRange> damage;
};

// Writes the entry to `file`, a new path chosen by the caller (it is created
// and must not exist: nothing is ever written over), then restores the
// entry's access and modification times. Reads the device; call from the
// one worker.
SaveResult saveEntryToFile(EntrySource& source, EntryRef entry, const std::filesystem::path& file);

}  // namespace vantor
