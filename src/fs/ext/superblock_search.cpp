// Finding the superblock (the primary copy, or any backup when it is gone)
// and reading the group descriptors.
#include "fs/ext/ext2Class.h"

#include <algorithm>

namespace vantor {

using namespace ext;

namespace {

// The superblock search reads this much at a time and tests every sector in it.
constexpr std::size_t kSearchWindow = 64 * 1024;
// Copies of a descriptor block tried when it cannot be read: a failing disk
// spends seconds on each sector it cannot read.
constexpr std::size_t kDescriptorCopiesTried = 4;

std::string groupRange(std::uint64_t first, std::uint64_t last) {
    return first == last ? "group " + std::to_string(first)
                         : "groups " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

bool ext2Class::attachVolume() {
    // A custom volume of size 0 (or a list without sizes) runs to the end of the source.
    return volume.startSector >= 0 && window.length() > 0;
}

bool ext2Class::findSuperblock() {
    const std::uint64_t volumeSize = window.length();
    if (volumeSize <= 1536) return false;
    // Byte 1024 first, then every following sector: a volume whose start
    // sector is off by whole sectors, or whose primary superblock is gone
    // (a backup copy in a later group then serves), is still found.
    std::vector<std::uint8_t> search(kSearchWindow + kSuperblockSize);
    for (std::uint64_t start = kSuperblockSize; start + 512 < volumeSize; start += kSearchWindow) {
        // A stop ends the search, but not before the usual places were tried.
        if (start != kSuperblockSize && control.pollAndTake()) return false;
        window.readAt(start, search);
        for (std::size_t k = 0; k < kSearchWindow; k += 512) {
            const std::uint64_t at = start + k;
            if (at + 512 >= volumeSize) break;
            const Superblock candidate = decodeSuperblock(Bytes(search).subspan(k, kSuperblockSize));
            if (!candidate.accepted()) continue;
            sb = candidate;
            foundSuperblockAt = at;
            blockSize = sb.blockSize();
            inodeSize = sb.inodeSize();
            // Where this copy belongs in its volume: the primary 1024 bytes in,
            // a backup at the start of its group. A copy found later than that
            // means the volume starts later than we were told; move the base.
            std::uint64_t expected = kSuperblockSize;
            if (sb.revLevel != 0 && sb.blockGroupNr != 0) {
                expected = (std::uint64_t{sb.blockGroupNr} * sb.blocksPerGroup + sb.firstDataBlock) * blockSize;
            }
            std::uint64_t volumeRelative = at;
            if (at >= expected) {
                window.moveStart(window.start() + at - expected);
                volumeRelative = expected;
            }
            if (volumeRelative != kSuperblockSize)
                noteScan("the primary superblock could not be read or was damaged; its copy in group " +
                         std::to_string(sb.blockGroupNr) + " was used");
            descriptorTableAt = (volumeRelative / blockSize + 1) * blockSize;
            // Block numbers are 48 bits wide at most; a larger count is damage,
            // and capping it keeps every block-to-byte product in range.
            // Nor can the volume hold more blocks than the source has bytes:
            // a forged count would otherwise drive every walk below.
            std::uint64_t blockLimit = std::min(sb.blocksCount, std::uint64_t{1} << 48);
            blockLimit = std::min(blockLimit, window.reach() / blockSize + 1);
            blocks.emplace(window, blockSize, blockLimit);
            return true;
        }
    }
    return false;
}

bool ext2Class::readGroupDescriptors() {
    if (!blocks) return false;
    std::uint64_t count = sb.groupCount();
    // Every group has its share of inodes; more groups than the inode count
    // allows can only come from a damaged block count.
    const std::uint64_t byInodes = (std::uint64_t{sb.inodesCount} + sb.inodesPerGroup - 1) / sb.inodesPerGroup;
    count = std::min(count, byInodes);
    // Nor more groups than start within the source: a forged count on a
    // small image would otherwise cost millions of descriptors for nothing
    // (the tables of groups past the end cannot be read anyway).
    count = std::min(count, (blocks->blockCount + sb.blocksPerGroup - 1) / sb.blocksPerGroup);
    if (count == 0) return false;
    const std::uint32_t descSize = sb.descriptorSize();
    const std::uint64_t perBlock = blockSize / descSize;
    std::vector<std::uint8_t> table(blockSize);
    groups.clear();
    groups.reserve(count);
    bool fromCopy = false;
    for (std::uint64_t g = 0; g < count; ++g) {
        if (g % perBlock == 0) {
            const bool ok = readDescriptorBlock(g / perBlock, count, table, fromCopy);
            if (!ok && g == 0) return false;
        }
        const GroupDescriptor d = decodeGroupDescriptor(Bytes(table).subspan((g % perBlock) * descSize, descSize), descSize);
        GroupInfo info{d.inodeTable, sb.inodesPerGroup};
        // A copy's unused-inode counts and flags are as they were when it was
        // written, not as the groups are now: every slot of its groups is read.
        if (sb.groupHintsTrusted() && !fromCopy) {
            if (d.flags & kGroupInodeUninit) {
                info.usedSlots = 0;
            } else {
                info.usedSlots -= std::min(d.itableUnused, sb.inodesPerGroup);
            }
        }
        // No group holds more than what is left of the inode count: a forged
        // inodes-per-group must not make us read slots that number no inode.
        const std::uint64_t inodesLeft = sb.inodesCount - std::min<std::uint64_t>(sb.inodesCount, g * sb.inodesPerGroup);
        info.usedSlots = static_cast<std::uint32_t>(std::min<std::uint64_t>(info.usedSlots, inodesLeft));
        groups.push_back(info);
    }
    return true;
}

// Reads descriptor block `index` into `table`. A block that cannot be read
// whole is read from the first copy that can, with a note saying which; when
// none can, what the block gave stands and a warning says its groups may
// have lost inodes. `fromCopy` tells whether a copy gave the block.
bool ext2Class::readDescriptorBlock(std::uint64_t index, std::uint64_t groupCount, std::span<std::uint8_t> table,
                                    bool& fromCopy) {
    const std::uint64_t primary = sb.descriptorBlock(index, descriptorTableAt / blockSize);
    // Behind a backup superblock lies a copy of the table, not the table itself.
    fromCopy = primary != sb.descriptorBlock(index, sb.firstDataBlock + std::uint64_t{1});
    if (blocks->read(primary, table)) return true;
    const std::uint64_t perBlock = blockSize / sb.descriptorSize();
    const std::string described =
        "the group descriptors of " + groupRange(index * perBlock, std::min(groupCount, (index + 1) * perBlock) - 1);
    std::vector<std::uint8_t> copy(table.size());
    for (const Superblock::DescriptorCopy& c : sb.descriptorCopies(index, groupCount, kDescriptorCopiesTried + 1)) {
        if (c.block == primary || !blocks->read(c.block, copy)) continue;
        std::copy(copy.begin(), copy.end(), table.begin());
        fromCopy = true;
        noteScan(described + " could not be read; their copy in group " + std::to_string(c.group) + " was used");
        return true;
    }
    warnScan(described + " could not be read whole in any copy; inodes of those groups may be lost");
    return false;
}

}  // namespace vantor
