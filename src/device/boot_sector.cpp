#include "device/boot_sector.h"

namespace vantor {
namespace {

bool hasJump(Bytes b) {
    const std::uint8_t j = u8(b, 1);
    return u8(b, 0) == 0xEB && (j == 0x3C || j == 0x58 || j == 0x76 || j == 0x52);
}

std::optional<BootIdentity> ntfsBoot(Bytes b) {
    if (u8(b, 0) != 0xEB || u8(b, 1) != 0x52 || !hasText(b, 3, "NTFS")) return std::nullopt;
    if (le16(b, 0x0B) != 512) return std::nullopt;  // the readers work in 512-byte sectors
    return BootIdentity{FsKind::ntfs, "NTFS", static_cast<std::int64_t>(le64(b, 0x28) * 512), 0};
}

std::optional<BootIdentity> exfatBoot(Bytes b) {
    if (!hasJump(b) || !hasText(b, 3, "EXFA")) return std::nullopt;
    const std::uint8_t sectorShift = u8(b, 0x6C);
    if (sectorShift < 9 || sectorShift > 12) return std::nullopt;
    const std::uint64_t sectors = le64(b, 0x48);
    if (sectors > (std::uint64_t{1} << 50)) return std::nullopt;
    return BootIdentity{FsKind::fat64, "FAT64", static_cast<std::int64_t>(sectors << sectorShift), 0};
}

// A FAT boot sector is known by its parameter block, not by the OEM name:
// formatters other than Windows write their own name there.
std::optional<BootIdentity> fatBoot(Bytes b) {
    if (!(hasJump(b) || u8(b, 0) == 0xE9)) return std::nullopt;
    if (le16(b, 0x1FE) != 0xAA55) return std::nullopt;
    const std::uint16_t bytesPerSector = le16(b, 0x0B);
    const std::uint8_t sectorsPerCluster = u8(b, 0x0D);
    const std::uint16_t reserved = le16(b, 0x0E);
    const std::uint8_t fats = u8(b, 0x10);
    const std::uint16_t rootEntries = le16(b, 0x11);
    const std::uint8_t media = u8(b, 0x15);
    const std::uint16_t fatSize16 = le16(b, 0x16);
    const std::uint32_t fatSize32 = le32(b, 0x24);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !isPowerOfTwo(bytesPerSector)) return std::nullopt;
    if (!isPowerOfTwo(sectorsPerCluster) || reserved == 0 || fats == 0 || fats > 2) return std::nullopt;
    if (media != 0xF0 && media < 0xF8) return std::nullopt;
    const std::uint32_t total16 = le16(b, 0x13);
    const std::uint32_t total = total16 ? total16 : le32(b, 0x20);
    const std::int64_t sizeBytes = std::int64_t{total} * bytesPerSector;
    if (fatSize16 == 0) {
        if (fatSize32 == 0 || rootEntries != 0) return std::nullopt;
        return BootIdentity{FsKind::fat32, "FAT32", sizeBytes, 0};
    }
    // FAT12 and FAT16 differ by cluster count (4085 is the dividing line every
    // implementation uses).
    const std::uint64_t rootSectors = (std::uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
    const std::uint64_t meta = reserved + std::uint64_t{fats} * fatSize16 + rootSectors;
    if (total <= meta) return std::nullopt;
    const std::uint64_t clusters = (total - meta) / sectorsPerCluster;
    if (clusters < 4085) return BootIdentity{FsKind::unknown, "FAT12", sizeBytes, 0};
    return BootIdentity{FsKind::fat16, "FAT16", sizeBytes, 0};
}

std::optional<BootIdentity> hfsPlusHeader(Bytes b) {
    if (u8(b, 0) != 0x48 || u8(b, 1) != 0x2B || u8(b, 2) != 0x00) return std::nullopt;
    const std::uint64_t size = std::uint64_t{be32(b, 40)} * be32(b, 44);
    const std::uint64_t mb = size / 1048576;
    if (mb < 1 || mb > 20971519) return std::nullopt;
    return BootIdentity{FsKind::hfsPlus, "HFS+", static_cast<std::int64_t>(size), 2};
}

// The primary ext superblock: magic 0xEF53, a sane geometry, and group 0
// (the backups in later groups carry their group number and are not volumes).
std::optional<BootIdentity> extSuperblock(Bytes b) {
    if (le16(b, 0x38) != 0xEF53) return std::nullopt;
    const std::uint32_t logBlockSize = le32(b, 0x18);
    const std::uint32_t blocksPerGroup = le32(b, 0x20);
    const std::uint32_t inodesPerGroup = le32(b, 0x28);
    const std::uint32_t revLevel = le32(b, 0x4C);
    if (logBlockSize > 6 || blocksPerGroup == 0 || inodesPerGroup == 0 || revLevel > 1) return std::nullopt;
    if (le16(b, 0x5A) != 0) return std::nullopt;
    std::uint64_t blocks = le32(b, 0x04);
    if (le32(b, 0x60) & 0x80) blocks |= std::uint64_t{le32(b, 0x150)} << 32;  // 64bit feature
    if (blocks == 0 || blocks > (std::uint64_t{1} << 48)) return std::nullopt;
    return BootIdentity{FsKind::extX, "extX", static_cast<std::int64_t>(blocks << (10 + logBlockSize)), 2};
}

}  // namespace

std::optional<BootIdentity> identifySector(Bytes b) {
    if (b.size() < 512) return std::nullopt;
    if (auto id = ntfsBoot(b)) return id;
    if (auto id = exfatBoot(b)) return id;
    if (auto id = fatBoot(b)) return id;
    if (u8(b, 0) != 0xEB) {
        if (auto id = hfsPlusHeader(b)) return id;
    }
    return extSuperblock(b);
}

std::optional<BootIdentity> identifyVolumeStart(Bytes b) {
    if (auto first = slice(b, 0, 512)) {
        if (auto id = identifySector(*first); id && id->headerSector == 0) return id;
    }
    if (auto header = slice(b, 1024, 512)) {
        if (auto id = identifySector(*header); id && id->headerSector == 2) return id;
    }
    return std::nullopt;
}

}  // namespace vantor
