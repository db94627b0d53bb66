// The NTFS boot sector's decoder (ntfs_boot.h).
#include "formats/ntfs_boot.h"

namespace vantor::ntfs_layout {

std::optional<BootSector> decodeBootSector(Bytes s) {
    if (s.size() < 512 || !hasText(s, 3, "NTFS    ") || le16(s, 0x1FE) != 0xAA55) return std::nullopt;
    BootSector b;
    b.bytesPerSector = le16(s, 0x0B);
    const std::uint8_t spc = u8(s, 0x0D);
    // Clusters above 64 KiB store the sector count as a negative power of two.
    b.sectorsPerCluster = spc > 0x80 ? (256u - spc < 20 ? 1u << (256u - spc) : 0u) : spc;
    b.totalSectors = le64(s, 0x28);
    b.mftCluster = le64(s, 0x30);
    b.mirrorCluster = le64(s, 0x38);
    b.clustersPerRecord = static_cast<std::int8_t>(u8(s, 0x40));
    if (!isPowerOfTwo(b.bytesPerSector) || b.bytesPerSector < 256 || b.bytesPerSector > 4096) return std::nullopt;
    if (!isPowerOfTwo(b.sectorsPerCluster)) return std::nullopt;
    b.clusterSize = std::uint64_t{b.bytesPerSector} * b.sectorsPerCluster;
    if (b.clusterSize > (std::uint64_t{2} << 20)) return std::nullopt;
    if (b.totalSectors == 0 || b.totalSectors > (std::uint64_t{1} << 52) / b.bytesPerSector) return std::nullopt;
    if (b.clustersPerRecord > 0) {
        b.recordSize = b.clusterSize * static_cast<std::uint64_t>(b.clustersPerRecord);
    } else if (b.clustersPerRecord < 0 && b.clustersPerRecord > -31) {
        b.recordSize = std::uint64_t{1} << (-b.clustersPerRecord);
    }
    // Records smaller than one fixup stride, or absurdly large, are not what a
    // formatter writes; fall back to the common size instead of refusing.
    if (!isPowerOfTwo(b.recordSize) || b.recordSize < kFixupStride || b.recordSize > kMaxRecordSize) {
        b.recordSize = kDefaultRecordSize;
    }
    return b;
}

}  // namespace vantor::ntfs_layout
