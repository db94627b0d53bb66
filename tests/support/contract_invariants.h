#pragma once
// What every reader must keep on any input, however damaged: each entry it
// hands out can be described and says truly whether it has children, a walk
// of its tree ends, and saving what it lists writes into the chosen folder
// and nowhere else.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "core/recovered.h"

namespace vantor::test {

struct ContractTally {
    std::size_t entries = 0;  // distinct entries reached from the root, the root included
    std::size_t folders = 0;  // entries whose children were walked
    std::int64_t filesSaved = 0;
};

struct ContractLimits {
    // A tree with more distinct entries than this is a walk that does not end.
    std::size_t maxEntries = std::size_t{1} << 20;
    // What the save writes: a damaged size must not fill the disk.
    std::size_t maxSavedFiles = 64;
    std::uint64_t maxSavedFileBytes = std::uint64_t{1} << 20;
};

// Walks `source` from rootEntry() through firstChild/nextSibling (folders
// entered once, at a bounded depth), checks every entry reached, then saves
// the root folder into `scratch`/out through the save walk and checks that
// everything written lies below it. `scratch` must be an empty folder.
// Failures are reported through gtest; the tally lets a caller check that
// the walk saw something at all.
ContractTally expectContractInvariants(EntrySource& source, const std::filesystem::path& scratch,
                                       const ContractLimits& limits = {});

}  // namespace vantor::test
