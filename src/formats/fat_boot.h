#pragma once
// The FAT12/16/32 boot sector: one decoder that tells the version from the
// layout and the cluster count, used to recognise a volume (the partition
// scans, the sweep) and by the FAT reader alike.
#include <cstdint>
#include <optional>

#include "core/bytes.h"

namespace vantor::fat {

// exFAT's table is a FAT of plain 32-bit entries; its boot sector is
// decoded in exfat_boot.h.
enum class FatVersion { fat12, fat16, fat32, exfat };

// Cluster counts that divide the versions, as every implementation uses
// them: FAT12 below 4085 clusters; FAT16 addresses at most 65524, since its
// entries from 0xFFF7 up are reserved.
inline constexpr std::uint64_t kMaxFat12Clusters = 4084;
inline constexpr std::uint64_t kMaxFat16Clusters = 65524;
inline constexpr std::uint64_t kMaxFat32Clusters = 0x0FFFFFF5;

// The boot sector's parameter block and what follows from it.
struct BootGeometry {
    // 0x00 jump, 0x03 OEM name (not consulted: every formatter writes its own)
    std::uint16_t bytesPerSector = 0;     // 0x0B
    std::uint8_t sectorsPerCluster = 0;   // 0x0D
    std::uint16_t reservedSectors = 0;    // 0x0E
    std::uint8_t fatCount = 0;            // 0x10
    std::uint16_t rootEntryCount = 0;     // 0x11 (FAT12/16)
    // 0x13 total sectors (16-bit)
    std::uint8_t media = 0;               // 0x15
    std::uint32_t sectorsPerFat = 0;      // 0x16 (FAT12/16) or 0x24 (FAT32)
    std::uint32_t totalSectors = 0;       // 0x13, or 0x20 when that is 0
    std::uint32_t rootCluster = 0;        // 0x2C (FAT32)

    FatVersion version = FatVersion::fat16;
    std::uint64_t clusterBytes = 0;
    std::uint64_t fatStart = 0;    // byte offset of the first FAT
    std::uint64_t fatBytes = 0;
    std::uint64_t rootStart = 0;   // FAT12/16: the fixed root area; FAT32: dataStart
    std::uint64_t dataStart = 0;   // byte offset of cluster 2
    std::uint32_t clusterCount = 0;  // data clusters, numbered 2 .. clusterCount + 1
    // More clusters than the version or the FAT can address: the rest of the
    // volume is out of reach (damage worth a warning, not a refusal).
    bool clustersCapped = false;

    std::uint64_t volumeBytes() const { return std::uint64_t{totalSectors} * bytesPerSector; }
};

// Accepts a boot sector whose parameter block holds geometry a formatter
// could write, and tells its version: a 16-bit FAT size of 0 is FAT32's
// layout; otherwise the cluster count parts FAT12 from FAT16.
std::optional<BootGeometry> decodeBootSector(Bytes sector);
// The same, only when the sector is of the given version.
std::optional<BootGeometry> decodeBootSector(Bytes sector, FatVersion version);

const char* versionName(FatVersion version);  // "FAT12", "FAT16", "FAT32"

}  // namespace vantor::fat
