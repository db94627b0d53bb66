#pragma once
// Saving found files: a folder with everything below it, its structure
// re-created under the output folder, or one file.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/recovered.h"
#include "results/work_seams.h"

namespace vantor {

struct SaveProblem {
    std::string entryPath;  // "ROOT/docs/a.txt"
    std::string problem;
};

struct SaveReport {
    std::int64_t found = 0;    // files counted before the save
    std::int64_t handled = 0;  // files the walk reached
    std::int64_t written = 0;
    std::int64_t withheld = 0;              // deliberately not written by the reader
    std::vector<SaveProblem> failed;        // not written at all
    std::vector<SaveProblem> damaged;       // written, with unreadable parts
    // Written under another name than the entry's (a name the target cannot
    // hold, or one already there): `problem` is the name used.
    std::vector<SaveProblem> renamed;
    bool targetFull = false;                // the output folder's disk filled up
    bool declined = false;                  // the user answered No
    bool stopped = false;                   // Stop ended the walk early
    bool complete() const { return failed.empty() && damaged.empty() && !stopped && !declined && !targetFull; }
};

// What went wrong or was changed in a save, in a few lines for a message
// box (the first problems of each kind, then how many more); empty when the
// save wrote every file under its own name.
std::string saveSummary(const SaveReport& report);

// Files the save of a folder would write, at any depth.
std::int64_t countFilesBelow(const EntrySource& source, EntryRef folder);

// Saves everything below `folder` into `outDir` (which must exist), asking
// first. `entryPath` names the folder in reports ("ROOT", "ROOT/docs").
SaveReport saveFolder(EntrySource& source, EntryRef folder, const std::string& entryPath,
                      const std::filesystem::path& outDir, const WorkSeams& seams);

// Saves one file into `outDir`.
SaveReport saveSingleFile(EntrySource& source, EntryRef file, const std::string& entryPath,
                          const std::filesystem::path& outDir, const WorkSeams& seams);

}  // namespace vantor
