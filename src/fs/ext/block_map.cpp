// Block lists from block maps and extent trees (block_map.h).
#include "fs/ext/block_map.h"

#include <algorithm>
#include <cstring>

namespace vantor::ext {

bool VolumeBlocks::read(std::uint64_t block, std::span<std::uint8_t> dest, std::vector<ByteRange>* unreadable) const {
    std::fill(dest.begin(), dest.end(), std::uint8_t{0});
    const std::uint64_t span = blocksFor(dest.size(), blockSize);
    if (!contains(block, span)) return false;
    return window.readAt(block * blockSize, dest, unreadable) == dest.size();
}

namespace {

// The extent tree is at most five levels deep below the inode.
constexpr int kMaxExtentDepth = 5;
// A corrupt tree could name the same node over and over. A real file needs
// fewer mapping blocks than data blocks, plus a few for the upper levels.
constexpr std::uint64_t kMaxMappingReads = std::uint64_t{1} << 22;
constexpr std::uint64_t kMappingReadsBeyondData = 64;
// Runs of a hopelessly fragmented or corrupt map beyond this are dropped.
constexpr std::size_t kMaxRuns = std::size_t{1} << 24;

class ListBuilder {
public:
    ListBuilder(const VolumeBlocks& blocks, std::uint64_t fileBlocks)
        : blocks(blocks), fileBlocks(fileBlocks) {
        for (auto& level : levels) level.resize(blocks.blockSize);
    }

    void fromBlockMap(const Inode& inode);
    void fromExtents(const Inode& inode);
    BlockList finish();

private:
    void append(std::uint64_t fileBlock, std::uint64_t diskBlock, std::uint64_t count, bool zeroed);
    void mapPointer(std::uint32_t pointer, int level, std::uint64_t firstFileBlock);
    void extentNode(Bytes node, int expectedDepth, bool checkDepth);
    bool readMappingBlock(std::uint64_t block, int level);
    bool budgetSpent() const {
        return mappingReads > std::min(kMaxMappingReads, fileBlocks + kMappingReadsBeyondData);
    }
    void damage(const std::string& what);

    const VolumeBlocks& blocks;
    const std::uint64_t fileBlocks;
    std::vector<std::uint8_t> levels[kMaxExtentDepth + 1];
    std::uint64_t mappingReads = 0;
    std::uint64_t mappedBlocks = 0;
    BlockList list;
};

void ListBuilder::damage(const std::string& what) {
    if (!list.damaged) list.problem = what;
    list.damaged = true;
}

void ListBuilder::append(std::uint64_t fileBlock, std::uint64_t diskBlock, std::uint64_t count,
                         bool zeroed) {
    if (count == 0 || fileBlock >= fileBlocks) return;
    count = std::min(count, fileBlocks - fileBlock);
    // No file holds more blocks than its volume; a map that says otherwise
    // is damaged, and following it further would only read the same blocks.
    if (count > blocks.blockCount - std::min(mappedBlocks, blocks.blockCount)) {
        damage("the block map names more blocks than the volume has");
        return;
    }
    mappedBlocks += count;
    if (!list.runs.empty()) {
        BlockRun& last = list.runs.back();
        if (last.zeroed == zeroed && last.fileBlock + last.count == fileBlock &&
            last.diskBlock + last.count == diskBlock) {
            last.count += count;
            return;
        }
    }
    if (list.runs.size() >= kMaxRuns) {
        damage("the block list is too long to follow");
        return;
    }
    list.runs.push_back({fileBlock, diskBlock, count, zeroed});
}

bool ListBuilder::readMappingBlock(std::uint64_t block, int level) {
    ++mappingReads;
    if (budgetSpent()) {
        damage("the block map is too large to follow");
        return false;
    }
    if (!blocks.read(block, levels[level])) {
        damage("mapping block " + std::to_string(block) + " could not be read");
        return false;
    }
    return true;
}

// `level` 0 is a data block; 1, 2, 3 are single, double and triple indirect
// blocks. A zero pointer is a hole: the positions it covers stay unwritten.
void ListBuilder::mapPointer(std::uint32_t pointer, int level, std::uint64_t firstFileBlock) {
    if (pointer == 0 || firstFileBlock >= fileBlocks) return;
    if (level == 0) {
        append(firstFileBlock, pointer, 1, false);
        return;
    }
    if (!readMappingBlock(pointer, level)) return;
    const std::uint64_t perBlock = blocks.blockSize / 4;
    std::uint64_t span = 1;
    for (int i = 1; i < level; ++i) span *= perBlock;
    // Each level has its own buffer, so the walk below leaves this table intact.
    const Bytes table(levels[level]);
    for (std::uint64_t j = 0; j < perBlock; ++j) {
        const std::uint64_t first = firstFileBlock + j * span;
        if (first >= fileBlocks) break;
        mapPointer(le32(table, j * 4), level - 1, first);
        if (budgetSpent()) return;
    }
}

void ListBuilder::fromBlockMap(const Inode& inode) {
    for (std::size_t i = 0; i < 12; ++i) mapPointer(inode.blockPointer(i), 0, i);
    const std::uint64_t perBlock = blocks.blockSize / 4;
    std::uint64_t first = 12;
    std::uint64_t span = perBlock;
    for (int level = 1; level <= 3; ++level) {
        mapPointer(inode.blockPointer(11 + level), level, first);
        first += span;
        span *= perBlock;
    }
}

void ListBuilder::extentNode(Bytes node, int expectedDepth, bool checkDepth) {
    const ExtentHeader h = decodeExtentHeader(node);
    if (h.magic != kExtentMagic) {
        damage("an extent node has no valid header");
        return;
    }
    if ((checkDepth && h.depth != expectedDepth) || h.depth > kMaxExtentDepth) {
        damage("an extent node has the wrong depth");
        return;
    }
    const std::size_t capacity = (node.size() - 12) / 12;
    const std::size_t entries = std::min<std::size_t>(h.entries, capacity);
    if (h.depth == 0) {
        // Leaf: 0x00 first file block, 0x04 length (above 32768: allocated but
        // unwritten), 0x06 start high 16 bits, 0x08 start low 32 bits.
        for (std::size_t i = 0; i < entries; ++i) {
            const std::size_t at = 12 + i * 12;
            const std::uint64_t fileBlock = le32(node, at);
            std::uint32_t length = le16(node, at + 4);
            const bool zeroed = length > 32768;
            if (zeroed) length -= 32768;
            const std::uint64_t start = le32(node, at + 8) | (std::uint64_t{le16(node, at + 6)} << 32);
            append(fileBlock, start, length, zeroed);
        }
        return;
    }
    // Index: 0x00 first file block, 0x04 child low 32 bits, 0x08 child high 16 bits.
    // A node of depth d sits in levels[d]; its children go one buffer lower.
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t at = 12 + i * 12;
        if (le32(node, at) >= fileBlocks) break;
        const std::uint64_t child = le32(node, at + 4) | (std::uint64_t{le16(node, at + 8)} << 32);
        const int childDepth = h.depth - 1;
        if (!readMappingBlock(child, childDepth)) {
            if (budgetSpent()) return;
            continue;
        }
        extentNode(levels[childDepth], childDepth, true);
    }
}

void ListBuilder::fromExtents(const Inode& inode) {
    // The root node in the inode has no depth to check against.
    extentNode(inode.blockArea, 0, false);
}

BlockList ListBuilder::finish() {
    // Extent leaves are stored in file order; a damaged tree may not be.
    std::stable_sort(list.runs.begin(), list.runs.end(),
                     [](const BlockRun& a, const BlockRun& b) { return a.fileBlock < b.fileBlock; });
    return std::move(list);
}

}  // namespace

BlockList buildBlockList(const Inode& inode, const VolumeBlocks& blocks, std::uint64_t fileBlocks) {
    // A file cannot hold more blocks than its volume has.
    ListBuilder builder(blocks, std::min(fileBlocks, std::uint64_t{1} << 40));
    if (inode.hasInlineData()) return {};
    if (inode.hasExtents()) {
        builder.fromExtents(inode);
    } else {
        builder.fromBlockMap(inode);
    }
    return builder.finish();
}

}  // namespace vantor::ext
