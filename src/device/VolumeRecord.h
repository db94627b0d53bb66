#pragma once
// One found or chosen volume, and the file-system kinds the lists carry by name.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

struct VolumeRecord {
    std::string fileSystem;   // "NTFS", "FAT32", "FAT16", "FAT64", "extX", "HFS+", "RAW", ...
    std::string rootPath;     // mount point or device path of a mounted volume; empty for a found partition
    std::string volumeId;     // list number ("%d") of a found partition, device path of a volume
    std::string sizeText;     // as the list shows it; only for display
    std::int64_t startSector = 0;
    std::uint64_t sizeBytes = 0;  // the volume's extent; 0: unknown, up to the end of the source
    friend bool operator==(const VolumeRecord&, const VolumeRecord&) = default;
};

enum class FsKind { ntfs, fat32, fat16, fat64, extX, hfsPlus, raw, unknown };

// The kind a name stands for, compared without regard to case. "unknown"
// and any unmatched text give FsKind::unknown.
FsKind fsKindFromName(std::string_view name);
// The name the scans write for a kind ("NTFS", "FAT32", "FAT16", "FAT64", "extX", "HFS+", "RAW").
std::string_view fsKindName(FsKind kind);

// The leading decimal number of a text (a size text's megabytes, a typed
// sector number): optional sign, digits up to the first non-digit; 0 if none.
std::int64_t leadingNumber(std::string_view text);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace vantor
