// The ext superblock's decoder and geometry (ext_superblock.h).
#include "formats/ext_superblock.h"

#include <algorithm>

namespace vantor::ext {

Superblock decodeSuperblock(Bytes b) {
    Superblock s;
    s.inodesCount = le32(b, 0x00);
    s.blocksCount = le32(b, 0x04);
    // 0x08 reserved blocks, 0x0C free blocks, 0x10 free inodes
    s.firstDataBlock = le32(b, 0x14);
    s.logBlockSize = le32(b, 0x18);
    s.logClusterSize = le32(b, 0x1C);
    s.blocksPerGroup = le32(b, 0x20);
    s.clustersPerGroup = le32(b, 0x24);
    s.inodesPerGroup = le32(b, 0x28);
    // 0x2C..0x37 mount and write times, mount counts
    s.magic = le16(b, 0x38);
    s.revLevel = le32(b, 0x4C);
    s.rawInodeSize = le16(b, 0x58);
    s.blockGroupNr = le16(b, 0x5A);
    s.featureCompat = le32(b, 0x5C);
    s.featureIncompat = le32(b, 0x60);
    s.featureRoCompat = le32(b, 0x64);
    s.rawDescSize = le16(b, 0xFE);
    s.firstMetaBg = le32(b, 0x104);
    s.backupGroups[0] = le32(b, 0x24C);
    s.backupGroups[1] = le32(b, 0x250);
    if (s.featureIncompat & kIncompat64Bit) s.blocksCount |= std::uint64_t{le32(b, 0x150)} << 32;
    return s;
}

bool Superblock::accepted() const {
    if (magic != kSuperblockMagic || logBlockSize > kMaxLogBlockSize || revLevel > 1) return false;
    const std::uint64_t size = blockSize();
    // Block 0 holds the boot area and the superblock when blocks are 1 KiB;
    // with larger blocks (and with bigalloc) the superblock sits inside block 0.
    const bool bigalloc = (featureRoCompat & kRoCompatBigalloc) != 0;
    const std::uint32_t expectedFirst = size == 1024 && !bigalloc ? 1 : 0;
    if (firstDataBlock != expectedFirst) return false;
    // Each group's bitmaps are one block: no group holds more than 8 bits a byte.
    const std::uint64_t bitsPerBlock = size * 8;
    if (blocksPerGroup == 0 || inodesPerGroup == 0 || inodesPerGroup > bitsPerBlock) return false;
    if (bigalloc ? (clustersPerGroup == 0 || clustersPerGroup > bitsPerBlock) : blocksPerGroup > bitsPerBlock)
        return false;
    if (revLevel != 0) {
        if (rawInodeSize < 128 || rawInodeSize > size || !isPowerOfTwo(rawInodeSize)) return false;
    }
    if ((featureIncompat & kIncompat64Bit) && (rawDescSize < 64 || rawDescSize > 1024 || !isPowerOfTwo(rawDescSize)))
        return false;
    // Block numbers are 48 bits wide at most.
    if (blocksCount <= firstDataBlock || blocksCount > (std::uint64_t{1} << 48)) return false;
    // The group count by blocks and by inodes must agree, as mke2fs makes them.
    return std::uint64_t{inodesCount} == groupCount() * inodesPerGroup;
}

std::uint32_t Superblock::inodeSize() const {
    // Revision 0 has 128-byte inodes and no size field; a size that is not a
    // power of two between 128 and the block size cannot be right either, and
    // 128 bytes is the one layout every revision shares.
    if (revLevel == 0) return 128;
    const std::uint32_t size = rawInodeSize;
    if (size < 128 || size > blockSize() || !isPowerOfTwo(size)) return 128;
    return size;
}

std::uint32_t Superblock::descriptorSize() const {
    if (!(featureIncompat & kIncompat64Bit)) return 32;
    const std::uint32_t size = rawDescSize;
    if (size < 64 || size > 1024 || !isPowerOfTwo(size)) return 64;
    return size;
}

std::uint64_t Superblock::groupCount() const {
    if (blocksPerGroup == 0 || blocksCount <= firstDataBlock) return 0;
    return (blocksCount - firstDataBlock + blocksPerGroup - 1) / blocksPerGroup;
}

bool Superblock::groupHasSuperblock(std::uint64_t group) const {
    if (group == 0) return true;
    if (featureCompat & kCompatSparseSuper2) return group == backupGroups[0] || group == backupGroups[1];
    if (!(featureRoCompat & kRoCompatSparseSuper) || group == 1) return true;
    if (group % 2 == 0) return false;
    // Sparse copies: groups that are powers of 3, 5 or 7.
    for (const std::uint64_t base : {3, 5, 7}) {
        std::uint64_t p = base;
        while (p < group) p *= base;
        if (p == group) return true;
    }
    return false;
}

std::vector<std::uint64_t> Superblock::superblockGroups(std::uint64_t groupCount, std::size_t limit) const {
    std::vector<std::uint64_t> groups;
    if (featureCompat & kCompatSparseSuper2) {
        groups.push_back(0);
        for (const std::uint64_t g : backupGroups)
            if (g != 0 && g < groupCount) groups.push_back(g);
        std::sort(groups.begin(), groups.end());
        groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    } else if (featureRoCompat & kRoCompatSparseSuper) {
        // Groups 0 and 1, and the powers of 3, 5 and 7.
        groups = {0, 1};
        for (const std::uint64_t base : {3, 5, 7})
            for (std::uint64_t p = base; p < groupCount; p *= base) groups.push_back(p);
        std::sort(groups.begin(), groups.end());
        std::erase_if(groups, [&](std::uint64_t g) { return g >= groupCount; });
    } else {
        for (std::uint64_t g = 0; g < groupCount && g < limit; ++g) groups.push_back(g);
    }
    if (groups.size() > limit) groups.resize(limit);
    return groups;
}

std::vector<Superblock::DescriptorCopy> Superblock::descriptorCopies(std::uint64_t index, std::uint64_t groupCount,
                                                                     std::size_t limit) const {
    std::vector<DescriptorCopy> copies;
    if ((featureIncompat & kIncompatMetaBg) && index >= firstMetaBg) {
        const std::uint64_t perBlock = blockSize() / descriptorSize();
        const std::uint64_t first = index * perBlock;
        for (const std::uint64_t group : {first + 1, first + perBlock - 1}) {
            if (group == first || group >= groupCount || copies.size() >= limit) continue;
            if (!copies.empty() && copies.back().group == group) continue;
            copies.push_back({group, groupStart(group) + (groupHasSuperblock(group) ? 1 : 0)});
        }
        return copies;
    }
    for (const std::uint64_t group : superblockGroups(groupCount, limit)) copies.push_back({group, groupStart(group) + 1 + index});
    return copies;
}

std::uint64_t Superblock::descriptorBlock(std::uint64_t index, std::uint64_t tableStart) const {
    if (!(featureIncompat & kIncompatMetaBg) || index < firstMetaBg) return tableStart + index;
    // Each meta group keeps its own descriptor block in its first group,
    // after the superblock copy when that group has one.
    const std::uint64_t perBlock = blockSize() / descriptorSize();
    const std::uint64_t group = index * perBlock;
    return firstDataBlock + group * blocksPerGroup + (groupHasSuperblock(group) ? 1 : 0);
}

}  // namespace vantor::ext
