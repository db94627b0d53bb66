// The inode tables: the used part of every group's table read in large
// pieces, and single inodes read again when a file is saved.
#include "fs/ext/ext2Class.h"

#include <algorithm>

namespace vantor {

using namespace ext;

namespace {

// Inode tables are read in pieces of at most this size.
constexpr std::size_t kChunk = std::size_t{1} << 20;

}  // namespace

ext2Class::InodeInfo ext2Class::infoOf(std::uint32_t ino, const Inode& inode) {
    InodeInfo info;
    info.ino = ino;
    info.mode = inode.mode;
    info.size = inode.size;
    info.atime = inode.atime;
    info.ctime = inode.ctime;
    info.mtime = inode.mtime;
    if (inode.atimeExtra) info.extras |= 1, info.atimeExtra = *inode.atimeExtra;
    if (inode.ctimeExtra) info.extras |= 2, info.ctimeExtra = *inode.ctimeExtra;
    if (inode.mtimeExtra) info.extras |= 4, info.mtimeExtra = *inode.mtimeExtra;
    return info;
}

bool ext2Class::readInodeTables() {
    const std::int64_t groupTotal = static_cast<std::int64_t>(groups.size());
    progress.setRange(0, groupTotal);
    const bool largeDirs = (sb.featureIncompat & kIncompatLargeDir) != 0;
    const std::size_t perChunk = std::max<std::size_t>(1, kChunk / inodeSize);
    std::vector<std::uint8_t> chunk(perChunk * inodeSize);
    std::vector<ByteRange> unreadable;
    std::uint64_t lostInodes = 0;
    std::uint64_t tableBytes = 0;
    bool stopped = false;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (control.pollAndTake()) {
            stopped = true;
            break;
        }
        progress.setStatus(printed("parsing group %lld  of %lld ", static_cast<long long>(g + 1), groupTotal));
        progress.setPosition(static_cast<std::int64_t>(g + 1));
        const GroupInfo& group = groups[g];
        if (group.inodeTable == 0 || !blocks->contains(group.inodeTable)) continue;
        for (std::uint32_t first = 0; first < group.usedSlots; first += static_cast<std::uint32_t>(perChunk)) {
            if (control.stopRequested.requested()) break;  // taken at the next group
            const std::uint32_t slots = static_cast<std::uint32_t>(std::min<std::uint64_t>(perChunk, group.usedSlots - first));
            const std::uint64_t offset = group.inodeTable * blockSize + std::uint64_t{first} * inodeSize;
            const std::uint64_t endBlock = blocksFor(offset + std::uint64_t{slots} * inodeSize, blockSize);
            if (!blocks->contains(group.inodeTable, endBlock - group.inodeTable)) break;
            const std::span<std::uint8_t> piece(chunk.data(), std::size_t{slots} * inodeSize);
            // Tables that overlap or repeat (only damage makes them) must not
            // make us read more than the volume holds.
            tableBytes += piece.size();
            if (tableBytes > window.reach()) {
                warnScan("the inode tables claim more than the volume holds; the rest were not read");
                g = groups.size();
                break;
            }
            unreadable.clear();
            if (window.readAt(offset, piece, &unreadable) != piece.size()) {
                std::uint64_t lost = 0;
                for (const ByteRange& r : unreadable) lost += r.length;
                if (lost) lostInodes += blocksFor(lost, inodeSize);
            }
            for (std::uint32_t i = 0; i < slots; ++i) {
                const std::uint64_t ino = g * std::uint64_t{sb.inodesPerGroup} + first + i + 1;
                if (ino > sb.inodesCount) break;
                const Inode inode = decodeInode(Bytes(piece).subspan(std::size_t{i} * inodeSize, inodeSize), largeDirs);
                if (inode.mode == 0) continue;  // never used, or cleared: nothing to show of it
                inodes.push_back(infoOf(static_cast<std::uint32_t>(ino), inode));
                // Deleted directories keep stale entries that would name live inodes.
                if (inode.isDirectory() && inode.linksCount > 0 && inode.dtime == 0) {
                    directories.push_back(static_cast<std::uint32_t>(ino));
                }
            }
        }
    }
    if (lostInodes)
        warnScan("unreadable sectors in the inode tables: up to " + std::to_string(lostInodes) + " inodes lost");
    return !stopped;
}

std::optional<Inode> ext2Class::readInode(std::uint32_t ino) {
    if (ino == 0 || ino > sb.inodesCount || !blocks) return std::nullopt;
    const std::uint64_t group = (ino - 1) / sb.inodesPerGroup;
    const std::uint64_t slot = (ino - 1) % sb.inodesPerGroup;
    if (group >= groups.size() || groups[group].inodeTable == 0 || !blocks->contains(groups[group].inodeTable)) {
        return std::nullopt;
    }
    const std::uint64_t offset = groups[group].inodeTable * blockSize + slot * inodeSize;
    if (!blocks->contains(offset / blockSize)) return std::nullopt;
    inodeBuffer.assign(inodeSize, 0);
    ++inodeReads;
    if (!window.readAll(offset, inodeBuffer)) return std::nullopt;
    return decodeInode(inodeBuffer, (sb.featureIncompat & kIncompatLargeDir) != 0);
}

}  // namespace vantor
