// One file's content: the inode is read again and its blocks are written in
// file order, holes as holes; blocks that cannot be read are written as zeros
// and marked damaged.
#include <algorithm>

#include "fs/ext/ext2Class.h"

namespace vantor {

using namespace ext;

namespace {

// File content is copied in pieces of at most this size.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

}  // namespace

bool ext2Class::copyRuns(const BlockList& list, std::uint64_t size, ContentSink& out) {
    dataBuffer.resize(kCopyChunk);
    std::vector<ByteRange> unreadable;
    for (const BlockRun& run : list.runs) {
        const std::uint64_t runStart = run.fileBlock * blockSize;
        if (runStart >= size) break;
        // Overlapping runs come only from damage; the part already written stands.
        const std::uint64_t skipBlocks = out.size() > runStart ? blocksFor(out.size() - runStart, blockSize) : 0;
        if (skipBlocks >= run.count) continue;
        const std::uint64_t from = runStart + skipBlocks * blockSize;
        if (from > out.size() && !out.skip(from - out.size())) return false;
        const std::uint64_t length = std::min<std::uint64_t>((run.count - skipBlocks) * blockSize, size - from);
        if (run.zeroed) {
            if (!out.skip(length)) return false;
            continue;
        }
        for (std::uint64_t done = 0; done < length;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, length - done));
            const std::uint64_t diskBlock = run.diskBlock + skipBlocks + done / blockSize;
            const std::span<std::uint8_t> buffer(dataBuffer.data(), piece);
            if (!blocks->contains(diskBlock, blocksFor(piece, blockSize))) {
                // Nothing to read there: leave the zeros as a hole.
                out.damaged(from + done, piece, "blocks outside the volume");
                if (!out.skip(piece)) return false;
                done += piece;
                continue;
            }
            unreadable.clear();
            if (!blocks->read(diskBlock, buffer, &unreadable)) out.unreadable(from + done, unreadable);
            if (!out.write(buffer)) return false;
            done += piece;
        }
    }
    return true;
}

ContentOutcome ext2Class::writeContent(EntryRef ref, ContentSink& out) {
    if (!validRef(ref) || ref == 0) return ContentOutcome::failed("not a file of this volume");
    const std::optional<Inode> found = readInode(entries[ref].ino);
    if (!found) return ContentOutcome::failed("its inode could not be read");
    // The inode lives in inodeBuffer, which the reads below do not touch, but
    // keep a copy so nothing later can pull it away.
    const std::vector<std::uint8_t> record(inodeBuffer);
    const Inode inode = decodeInode(record, (sb.featureIncompat & kIncompatLargeDir) != 0);
    if (inode.hasInlineData()) {
        // Content in the inode: the block area, then the "system.data" attribute.
        const std::uint64_t inArea = std::min<std::uint64_t>(inode.size, inode.blockArea.size());
        out.write(inode.blockArea.first(static_cast<std::size_t>(inArea)));
        const Bytes tail = inlineDataTail(inode);
        const std::uint64_t inTail = std::min<std::uint64_t>(inode.size - inArea, tail.size());
        out.write(tail.first(static_cast<std::size_t>(inTail)));
        if (out.size() < inode.size) out.endsEarly(inode.size, "larger than the data held in its inode");
    } else {
        // A size no file of this kind can have is not written out as a hole
        // of exabytes: the file ends with its last mapped block.
        const std::uint64_t largest = largestFileBytes(inode, blockSize);
        const std::uint64_t size = std::min(inode.size, largest);
        const BlockList list = buildBlockList(inode, *blocks, blocksFor(size, blockSize));
        if (!copyRuns(list, size, out)) return ContentOutcome::written();
        if (inode.size > largest) out.endsEarly(inode.size, "larger than an ext file can be");
        // What the damaged map no longer covers reads as zeros.
        else if (list.damaged && out.size() < inode.size) out.damaged(out.size(), inode.size - out.size(), list.problem);
    }
    if (out.endedEarly()) return ContentOutcome::written();
    // Holes at the end read as zeros.
    if (out.size() < inode.size) out.skip(inode.size - out.size());
    return ContentOutcome::written();
}

}  // namespace vantor
