#pragma once
// Where an inode's data lies: the classic block map (direct, single, double
// and triple indirect pointers) or an extent tree of any depth, turned into
// runs of blocks placed at their file positions, so holes stay holes.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/VolumeWindow.h"
#include "fs/ext/layout.h"

namespace vantor::ext {

// Whole blocks of one volume through its window.
class VolumeBlocks {
public:
    VolumeBlocks(VolumeWindow& window, std::uint32_t blockSize, std::uint64_t blockCount)
        : window(window), blockSize(blockSize), blockCount(blockCount) {}

    bool contains(std::uint64_t block, std::uint64_t count = 1) const {
        return block < blockCount && count <= blockCount - block;
    }
    // Reads `dest.size()` bytes from the start of `block`. The buffer is
    // zeroed first; false when the range lies outside the volume or not every
    // byte arrived. `unreadable` gets the ranges (relative to dest) that failed.
    bool read(std::uint64_t block, std::span<std::uint8_t> dest, std::vector<ByteRange>* unreadable = nullptr) const;

    VolumeWindow& window;
    const std::uint32_t blockSize;
    const std::uint64_t blockCount;
};

struct BlockRun {
    std::uint64_t fileBlock = 0;  // position in the file, in blocks
    std::uint64_t diskBlock = 0;  // first block on the volume
    std::uint64_t count = 0;
    bool zeroed = false;          // allocated but never written: reads as zeros
};

struct BlockList {
    std::vector<BlockRun> runs;  // sorted by fileBlock
    bool damaged = false;        // some mapping block could not be read or was not valid
    std::string problem;
};

// The runs covering the first `fileBlocks` blocks of the inode's content.
// Mapping blocks are read through `blocks`; every count is bounded by the
// file's length and the volume's size, and the extent walk by its depth.
BlockList buildBlockList(const Inode& inode, const VolumeBlocks& blocks, std::uint64_t fileBlocks);

// Blocks needed for `size` bytes.
inline std::uint64_t blocksFor(std::uint64_t size, std::uint32_t blockSize) {
    return size / blockSize + (size % blockSize != 0 ? 1 : 0);
}

// The largest size a file of this inode's kind can have: the block map's
// direct and indirect pointers reach so many blocks, an extent tree 2^32.
inline std::uint64_t largestFileBytes(const Inode& inode, std::uint32_t blockSize) {
    const std::uint64_t perBlock = blockSize / 4;
    const std::uint64_t mapped = 12 + perBlock + perBlock * perBlock + perBlock * perBlock * perBlock;
    const std::uint64_t blocks = inode.hasExtents() ? std::uint64_t{1} << 32 : std::min(mapped, std::uint64_t{1} << 32);
    return blocks * blockSize;
}

}  // namespace vantor::ext
