#pragma once
// Which volume of a source a recovery works on, by the rules both front ends
// follow: a custom volume (start, size, kind), a row of the standard scan or
// the sweep, a source that starts with a file system of its own (a partition
// image), or the one volume a scan finds. The front ends only say the result
// in their own words.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "device/FileReadSeek.h"
#include "device/VolumeRecord.h"

namespace vantor {

struct VolumeQuery {
    // How the volume list is made: the partition tables (MBR, or GPT when
    // `gpt`), or the sector sweep over an optional range.
    bool gpt = false;
    bool sweep = false;
    bool noSkip = false;
    std::int64_t sweepStart = 0;
    std::int64_t sweepEnd = 0;
    std::optional<int> row;                      // a row of that list, from 0
    // A custom volume instead: its first sector, its size (none or 0: to the
    // end of the source) and the file system to read it as.
    std::optional<std::int64_t> customStart;
    std::optional<std::int64_t> customSizeMb;
    std::optional<std::string> customKind;
};

struct VolumeChoice {
    enum class Outcome {
        chosen,
        needsChoice,       // several volumes and no row: `volumes` lists them
        noSuchRow,         // the row is not in `volumes`
        noneFound,         // the source holds no volume
        listUnreadable,    // the tables or the sweep could not read the source
        badCustom          // a custom volume with a negative start or size, or an unknown kind
    };
    Outcome outcome = Outcome::noneFound;
    std::optional<VolumeRecord> volume;
    std::vector<VolumeRecord> volumes;
};

// The volume list by the standard scan or the sweep; nullopt when nothing
// could be read (a table that reads partly still gives what it found).
std::optional<std::vector<VolumeRecord>> listVolumes(readWriteInterface& source, const VolumeQuery& query,
                                                     ProgressSink& progress);

// A custom volume: `sizeBytes` 0 runs to the end of the source.
VolumeRecord customVolume(const readWriteInterface& source, std::int64_t startSector, std::uint64_t sizeBytes,
                          FsKind kind);

VolumeChoice chooseVolume(readWriteInterface& source, const VolumeQuery& query, ProgressSink& progress);

}  // namespace vantor
