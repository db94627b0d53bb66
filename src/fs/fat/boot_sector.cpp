#include "fs/fat/layout.h"

namespace vantor::fat {

std::optional<BootGeometry> decodeBootSector(Bytes s, FatVersion version) {
    if (s.size() < 512) return std::nullopt;
    BootGeometry g;
    g.bytesPerSector = le16(s, 0x0B);
    g.sectorsPerCluster = u8(s, 0x0D);
    g.reservedSectors = le16(s, 0x0E);
    g.fatCount = u8(s, 0x10);
    g.rootEntryCount = le16(s, 0x11);
    const std::uint16_t total16 = le16(s, 0x13);
    const std::uint16_t fatSize16 = le16(s, 0x16);
    const std::uint32_t total32 = le32(s, 0x20);
    const std::uint32_t fatSize32 = le32(s, 0x24);
    g.totalSectors = total16 ? total16 : total32;

    if (g.bytesPerSector < 512 || g.bytesPerSector > 4096 || !isPowerOfTwo(g.bytesPerSector)) return std::nullopt;
    if (!isPowerOfTwo(g.sectorsPerCluster)) return std::nullopt;
    if (g.reservedSectors == 0 || g.fatCount == 0 || g.fatCount > 4) return std::nullopt;
    // The 16-bit FAT size tells the two apart: FAT32 leaves it 0.
    if (version == FatVersion::fat32) {
        if (fatSize16 != 0 || fatSize32 == 0) return std::nullopt;
        g.sectorsPerFat = fatSize32;
        g.rootCluster = le32(s, 0x2C);
        g.rootEntryCount = 0;
    } else {
        if (fatSize16 == 0 || g.rootEntryCount == 0) return std::nullopt;
        g.sectorsPerFat = fatSize16;
    }
    const std::uint64_t bps = g.bytesPerSector;
    g.clusterBytes = bps * g.sectorsPerCluster;
    g.fatStart = std::uint64_t{g.reservedSectors} * bps;
    g.fatBytes = std::uint64_t{g.sectorsPerFat} * bps;
    g.rootStart = g.fatStart + std::uint64_t{g.fatCount} * g.fatBytes;
    const std::uint64_t rootBytes = (std::uint64_t{g.rootEntryCount} * kSlotSize + bps - 1) / bps * bps;
    g.dataStart = g.rootStart + rootBytes;
    const std::uint64_t volumeBytes = std::uint64_t{g.totalSectors} * bps;
    if (volumeBytes <= g.dataStart) return std::nullopt;
    std::uint64_t clusters = (volumeBytes - g.dataStart) / g.clusterBytes;
    // The FAT must have room for the clusters it describes; a shorter FAT
    // limits what can be addressed (damage, not a refusal).
    const std::uint64_t entryBytes = version == FatVersion::fat32 ? 4 : 2;
    const std::uint64_t fatEntries = g.fatBytes / entryBytes;
    if (fatEntries < 3) return std::nullopt;
    if (clusters > fatEntries - 2) clusters = fatEntries - 2;
    // FAT12 below 4085 clusters and FAT16 up to 65524: the dividing lines every
    // implementation uses. FAT12 is not read; a FAT16 past its limit is not FAT16.
    if (version == FatVersion::fat16 && (clusters < 4085 || clusters > 65524)) return std::nullopt;
    if (version == FatVersion::fat32) {
        if (clusters > 0x0FFFFFF5) clusters = 0x0FFFFFF5;
        if (g.rootCluster < 2 || g.rootCluster >= clusters + 2) return std::nullopt;
    }
    if (clusters == 0) return std::nullopt;
    g.clusterCount = static_cast<std::uint32_t>(clusters);
    if (version == FatVersion::fat32) g.rootStart = g.dataStart;
    return g;
}

DirSlot decodeSlot(Bytes s) {
    DirSlot d;
    for (std::size_t i = 0; i < 11; ++i) d.name[i] = u8(s, i);
    d.attributes = u8(s, 0x0B);
    d.caseFlags = u8(s, 0x0C);
    d.creationTenths = u8(s, 0x0D);
    d.creationTime = le16(s, 0x0E);
    d.creationDate = le16(s, 0x10);
    d.accessDate = le16(s, 0x12);
    d.clusterHigh = le16(s, 0x14);
    d.writeTime = le16(s, 0x16);
    d.writeDate = le16(s, 0x18);
    d.clusterLow = le16(s, 0x1A);
    d.size = le32(s, 0x1C);
    return d;
}

}  // namespace vantor::fat
