#pragma once
// The one place that knows every file system this tool reads: one row per
// format with its names, its reader, the recovery modes it offers, its
// candidate searches and how its scan ends. The session, the recovery-mode
// page, `vantor candidates` and the volume options all read this table;
// adding a reader is one row here plus its own folder under fs/.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/recovered.h"
#include "device/reader_context.h"

namespace vantor {

// Where the structures of a lost file system might start, for the advanced mode.
struct CandidateList {
    std::string labelPrefix;                        // "FAT_ENTRY", "FAT32_ENTRY", "MFT_ENTRY"
    std::vector<std::int64_t> sectors;              // volume-relative; what --candidate takes
    std::vector<std::uint32_t> sectorsPerCluster;   // choices to offer, the likeliest first
};

struct FormatRow {
    FsKind kind = FsKind::unknown;
    std::string_view name;         // as the lists show it: "extX", "NTFS", "FAT32", ...
    // The modes the recovery-mode page offers (a mode may still answer
    // "not available" until its reader supports it).
    bool standard = true, advanced = false, deep = false;
    bool offersFormatted = false;  // the "Is Drive Formated..?" choice
    std::string_view startStatus;  // the status line when its scan starts, if any
    bool closingMessage = true;    // false: the life cycle closes with its own status
    std::unique_ptr<VolumeReader> (*makeReader)(const ReaderContext&) = nullptr;
    CandidateList (*findCandidates)(const ReaderContext&, int max) = nullptr;
};

std::span<const FormatRow> formatTable();
// The row for a file-system name (compared without regard to case, aliases
// such as "exFAT" included), or null for names no row has.
const FormatRow* formatFor(std::string_view fileSystem);

}  // namespace vantor
