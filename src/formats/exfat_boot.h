#pragma once
// The exFAT boot sector: one decoder, used to recognise a volume and by the
// exFAT reader alike.
#include <cstdint>
#include <optional>

#include "core/bytes.h"

namespace vantor::exfat {

struct BootSector {
    // 0x00 jump, 0x03 "EXFAT   ", 0x0B..0x3F must be zero
    // 0x40 PartitionOffset is not trusted: the caller knows where this volume starts.
    std::uint64_t volumeLength = 0;   // 0x48, in sectors
    std::uint32_t fatOffset = 0;      // 0x50, in sectors
    std::uint32_t fatLength = 0;      // 0x54, in sectors
    std::uint32_t heapOffset = 0;     // 0x58, in sectors
    std::uint32_t clusterCount = 0;   // 0x5C
    std::uint32_t rootCluster = 0;    // 0x60
    // 0x64 serial, 0x68 revision, 0x6A flags
    std::uint8_t sectorShift = 0;     // 0x6C
    std::uint8_t clusterShift = 0;    // 0x6D, sectors per cluster as a power of two
    std::uint8_t fatCount = 0;        // 0x6E

    std::uint64_t sectorBytes() const { return std::uint64_t{1} << sectorShift; }
    std::uint64_t clusterBytes() const { return sectorBytes() << clusterShift; }
    std::uint64_t volumeBytes() const { return volumeLength << sectorShift; }
};

// Only geometry a formatter could write passes: a sweep meets stray "EXFAT" bytes.
std::optional<BootSector> decodeBootSector(Bytes sector);

}  // namespace vantor::exfat
