// The FAT boot sector's decoder (fat_boot.h).
#include "formats/fat_boot.h"

#include <algorithm>

namespace vantor::fat {

namespace {

constexpr std::size_t kSlotBytes = 32;

bool hasJump(Bytes s) { return (u8(s, 0) == 0xEB && u8(s, 2) == 0x90) || u8(s, 0) == 0xE9; }

}  // namespace

std::optional<BootGeometry> decodeBootSector(Bytes s) {
    if (s.size() < 512 || !hasJump(s) || le16(s, 0x1FE) != 0xAA55) return std::nullopt;
    BootGeometry g;
    g.bytesPerSector = le16(s, 0x0B);
    g.sectorsPerCluster = u8(s, 0x0D);
    g.reservedSectors = le16(s, 0x0E);
    g.fatCount = u8(s, 0x10);
    g.rootEntryCount = le16(s, 0x11);
    const std::uint16_t total16 = le16(s, 0x13);
    g.media = u8(s, 0x15);
    const std::uint16_t fatSize16 = le16(s, 0x16);
    const std::uint32_t total32 = le32(s, 0x20);
    const std::uint32_t fatSize32 = le32(s, 0x24);
    g.totalSectors = total16 ? total16 : total32;

    if (g.bytesPerSector < 512 || g.bytesPerSector > 4096 || !isPowerOfTwo(g.bytesPerSector)) return std::nullopt;
    if (!isPowerOfTwo(g.sectorsPerCluster)) return std::nullopt;
    if (g.reservedSectors == 0 || g.fatCount == 0 || g.fatCount > 4) return std::nullopt;
    if (g.media != 0xF0 && g.media < 0xF8) return std::nullopt;
    if (fatSize16 == 0) {
        if (fatSize32 == 0 || g.rootEntryCount != 0) return std::nullopt;
        g.version = FatVersion::fat32;
        g.sectorsPerFat = fatSize32;
        g.rootCluster = le32(s, 0x2C);
    } else {
        if (g.rootEntryCount == 0) return std::nullopt;
        g.sectorsPerFat = fatSize16;
    }
    const std::uint64_t bps = g.bytesPerSector;
    g.clusterBytes = bps * g.sectorsPerCluster;
    g.fatStart = std::uint64_t{g.reservedSectors} * bps;
    g.fatBytes = std::uint64_t{g.sectorsPerFat} * bps;
    g.rootStart = g.fatStart + std::uint64_t{g.fatCount} * g.fatBytes;
    const std::uint64_t rootBytes = (std::uint64_t{g.rootEntryCount} * kSlotBytes + bps - 1) / bps * bps;
    g.dataStart = g.rootStart + rootBytes;
    if (g.volumeBytes() <= g.dataStart) return std::nullopt;
    const std::uint64_t clusters = (g.volumeBytes() - g.dataStart) / g.clusterBytes;
    if (clusters == 0) return std::nullopt;
    if (g.version != FatVersion::fat32) g.version = clusters <= kMaxFat12Clusters ? FatVersion::fat12 : FatVersion::fat16;

    // What the FAT can address: its entries (less the two reserved ones), and
    // the version's own limit.
    const std::uint64_t entryBits = g.version == FatVersion::fat32 ? 32 : g.version == FatVersion::fat16 ? 16 : 12;
    const std::uint64_t fatEntries = g.fatBytes * 8 / entryBits;
    if (fatEntries < 3) return std::nullopt;
    std::uint64_t addressable = fatEntries - 2;
    if (g.version == FatVersion::fat16) addressable = std::min(addressable, kMaxFat16Clusters);
    if (g.version == FatVersion::fat32) addressable = std::min(addressable, kMaxFat32Clusters);
    g.clustersCapped = clusters > addressable;
    g.clusterCount = static_cast<std::uint32_t>(std::min(clusters, addressable));
    if (g.version == FatVersion::fat32) {
        if (g.rootCluster < 2 || g.rootCluster >= std::uint64_t{g.clusterCount} + 2) return std::nullopt;
        g.rootStart = g.dataStart;
    }
    return g;
}

std::optional<BootGeometry> decodeBootSector(Bytes sector, FatVersion version) {
    auto g = decodeBootSector(sector);
    if (!g || g->version != version) return std::nullopt;
    return g;
}

const char* versionName(FatVersion version) {
    switch (version) {
        case FatVersion::fat12: return "FAT12";
        case FatVersion::fat16: return "FAT16";
        case FatVersion::fat32: return "FAT32";
        case FatVersion::exfat: return "exFAT";
    }
    return "FAT";
}

}  // namespace vantor::fat
