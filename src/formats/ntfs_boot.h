#pragma once
// The NTFS boot sector: one decoder, used to recognise a volume (the
// partition scans, the sweep) and by the NTFS reader alike.
#include <cstdint>
#include <optional>

#include "core/bytes.h"

namespace vantor::ntfs_layout {

inline constexpr std::size_t kDefaultRecordSize = 1024;
inline constexpr std::size_t kMaxRecordSize = 65536;
// The update sequence protects every 512-byte stride of a record, whatever
// the sector size the volume claims.
inline constexpr std::size_t kFixupStride = 512;

// The volume's first sector.
struct BootSector {
    // 0x03 OEM identifier "NTFS    "
    std::uint16_t bytesPerSector = 0;   // 0x0B
    std::uint32_t sectorsPerCluster = 0;  // 0x0D (values above 0x80 are 2^(256-v))
    std::uint64_t totalSectors = 0;     // 0x28
    std::uint64_t mftCluster = 0;       // 0x30
    std::uint64_t mirrorCluster = 0;    // 0x38 ($MFTMirr: copies of the first records)
    std::int8_t clustersPerRecord = 0;  // 0x40 (negative: 2^-n bytes)
    std::uint64_t clusterSize = 0;      // derived
    std::uint64_t recordSize = 0;       // derived
    // The boot sector counts its own sectors, which need not be 512 bytes.
    std::uint64_t volumeBytes() const { return totalSectors * bytesPerSector; }
};
// Decodes a sector that names itself NTFS and whose geometry a formatter could
// write; nullopt otherwise.
std::optional<BootSector> decodeBootSector(Bytes sector);

}  // namespace vantor::ntfs_layout
