#pragma once
// The ext2/ext3/ext4 superblock: one decoder and one acceptance rule, used
// both to recognise a volume (the partition scans, the sweep) and by the ext
// reader, so a volume the lists call extX is one the reader can read.
#include <cstdint>
#include <vector>

#include "core/bytes.h"

namespace vantor::ext {

inline constexpr std::uint16_t kSuperblockMagic = 0xEF53;
inline constexpr std::uint32_t kSuperblockSize = 1024;
// 1 KiB to 64 KiB blocks: what mke2fs makes and the kernel mounts.
inline constexpr std::uint32_t kMaxLogBlockSize = 6;

// Feature bits this reader acts on.
inline constexpr std::uint32_t kIncompatFileType = 0x2;
inline constexpr std::uint32_t kIncompatMetaBg = 0x10;
inline constexpr std::uint32_t kIncompat64Bit = 0x80;
inline constexpr std::uint32_t kIncompatLargeDir = 0x4000;
inline constexpr std::uint32_t kCompatSparseSuper2 = 0x200;
inline constexpr std::uint32_t kRoCompatSparseSuper = 0x1;
inline constexpr std::uint32_t kRoCompatGdtCsum = 0x10;
inline constexpr std::uint32_t kRoCompatBigalloc = 0x200;
inline constexpr std::uint32_t kRoCompatMetadataCsum = 0x400;

struct Superblock {
    std::uint32_t inodesCount = 0;      // 0x00
    std::uint64_t blocksCount = 0;      // 0x04 lo, 0x150 hi (64bit feature)
    // 0x08 reserved blocks, 0x0C free blocks, 0x10 free inodes
    std::uint32_t firstDataBlock = 0;   // 0x14
    std::uint32_t logBlockSize = 0;     // 0x18
    std::uint32_t logClusterSize = 0;   // 0x1C (bigalloc)
    std::uint32_t blocksPerGroup = 0;   // 0x20
    std::uint32_t clustersPerGroup = 0; // 0x24 (bigalloc)
    std::uint32_t inodesPerGroup = 0;   // 0x28
    // 0x2C..0x37 mount and write times, mount counts
    std::uint16_t magic = 0;            // 0x38
    std::uint32_t revLevel = 0;         // 0x4C
    std::uint16_t rawInodeSize = 0;     // 0x58, dynamic revision only
    std::uint16_t blockGroupNr = 0;     // 0x5A, which group holds this copy
    std::uint32_t featureCompat = 0;    // 0x5C
    std::uint32_t featureIncompat = 0;  // 0x60
    std::uint32_t featureRoCompat = 0;  // 0x64
    std::uint16_t rawDescSize = 0;      // 0xFE, 64bit feature only
    std::uint32_t firstMetaBg = 0;      // 0x104, meta_bg feature only
    std::uint32_t backupGroups[2] = {0, 0};  // 0x24C, sparse_super2 feature only

    // Derived geometry, valid once accepted().
    std::uint32_t blockSize() const { return 1024u << (logBlockSize & 0x1F); }
    // Whether the fields describe a volume mke2fs could have made. The
    // superblock search tests every sector once the primary copy is gone, so
    // this is as strict as the kernel is when it mounts.
    bool accepted() const;
    std::uint32_t inodeSize() const;
    std::uint32_t descriptorSize() const;
    std::uint64_t groupCount() const;
    // Whether a group starts with a superblock copy (and descriptors after it).
    bool groupHasSuperblock(std::uint64_t group) const;
    // The volume block holding descriptor block `index` of the table that
    // starts at `tableStart`: in a row, or spread over the groups (meta_bg).
    std::uint64_t descriptorBlock(std::uint64_t index, std::uint64_t tableStart) const;
    // The first block of a group.
    std::uint64_t groupStart(std::uint64_t group) const { return firstDataBlock + group * blocksPerGroup; }
    // Groups below `groupCount` that keep a superblock copy, group 0 first;
    // at most `limit` of them.
    std::vector<std::uint64_t> superblockGroups(std::uint64_t groupCount, std::size_t limit) const;
    // Where copies of descriptor block `index` lie, in the order to try them:
    // behind each superblock copy a copy of the whole table, or, for a block of
    // a meta group (meta_bg), one in the meta group's second and last groups.
    struct DescriptorCopy {
        std::uint64_t group = 0;
        std::uint64_t block = 0;
    };
    std::vector<DescriptorCopy> descriptorCopies(std::uint64_t index, std::uint64_t groupCount,
                                                 std::size_t limit) const;
    bool hasDirEntryType() const { return (featureIncompat & kIncompatFileType) != 0; }
    // Descriptors' unused-inode counts and uninit flags are only kept honest
    // by the checksum features; without them the fields may be stale.
    bool groupHintsTrusted() const {
        return (featureRoCompat & (kRoCompatGdtCsum | kRoCompatMetadataCsum)) != 0;
    }
    std::uint64_t volumeBytes() const { return blocksCount << (10 + logBlockSize); }
};

Superblock decodeSuperblock(Bytes b);

}  // namespace vantor::ext
