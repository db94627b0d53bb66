#pragma once
// Recognising a volume by its first sectors: NTFS, FAT and exFAT boot sectors,
// the HFS+ volume header and the ext superblock (both 1024 bytes in).
#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "device/VolumeRecord.h"

namespace vantor {

struct BootIdentity {
    FsKind kind = FsKind::unknown;
    std::string name;             // the name the lists show ("FAT12" has no reader)
    std::int64_t sizeBytes = 0;   // volume size the structure claims
    // Sectors between the volume's first sector and the sector that matched:
    // 0 for boot sectors, 2 for the HFS+ header and the ext superblock.
    std::int64_t headerSector = 0;
};

// Tests one 512-byte sector as the start of a volume or as a header that sits
// 1024 bytes into one. Only geometry a formatter could write passes.
std::optional<BootIdentity> identifySector(Bytes sector);

// Tests the first 1536 bytes of a partition: boot sector at 0, then headers at 1024.
std::optional<BootIdentity> identifyVolumeStart(Bytes firstSectors);

}  // namespace vantor
