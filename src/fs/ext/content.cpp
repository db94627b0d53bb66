// Saving one file's content: the inode is read again, its blocks are copied
// in file order with holes kept as holes, and its times are restored.
#include <algorithm>

#include "fs/ext/ext2Class.h"

namespace vantor {

using namespace ext;

namespace {

// File content is copied in pieces of at most this size.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

}  // namespace

void ext2Class::copyRuns(const BlockList& list, std::uint64_t size, OutputFile& out, SaveResult& result) {
    const auto lost = [&](std::uint64_t fileOffset, std::uint64_t length, std::uint64_t diskBlock, const char* why) {
        if (!result.damaged) {
            result.problem = "bytes " + std::to_string(fileOffset) + " to " + std::to_string(fileOffset + length - 1) +
                             " (volume block " + std::to_string(diskBlock) + ") " + why + "; written as zeros";
        }
        result.damaged = true;
    };
    dataBuffer.resize(kCopyChunk);
    for (const BlockRun& run : list.runs) {
        const std::uint64_t runStart = run.fileBlock * blockSize;
        if (runStart >= size) break;
        // Overlapping runs come only from damage; the part already written stands.
        const std::uint64_t skipBlocks = out.size() > runStart ? blocksFor(out.size() - runStart, blockSize) : 0;
        if (skipBlocks >= run.count) continue;
        const std::uint64_t from = runStart + skipBlocks * blockSize;
        if (from > out.size()) out.skip(from - out.size());
        const std::uint64_t length = std::min<std::uint64_t>((run.count - skipBlocks) * blockSize, size - from);
        if (run.zeroed) {
            out.skip(length);
            continue;
        }
        for (std::uint64_t done = 0; done < length;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, length - done));
            const std::uint64_t diskBlock = run.diskBlock + skipBlocks + done / blockSize;
            const std::span<std::uint8_t> buffer(dataBuffer.data(), piece);
            if (!blocks->contains(diskBlock, blocksFor(piece, blockSize))) {
                // Nothing to read there: leave the zeros as a hole.
                lost(from + done, piece, diskBlock, "lie outside the volume");
                if (!out.skip(piece)) return;
                done += piece;
                continue;
            }
            if (!blocks->read(diskBlock, buffer)) {
                // Read the piece again block by block so that only the blocks
                // that really fail are lost.
                for (std::size_t at = 0; at < piece; at += blockSize) {
                    const std::size_t length = std::min<std::size_t>(blockSize, piece - at);
                    if (!blocks->read(diskBlock + at / blockSize, buffer.subspan(at, length))) {
                        lost(from + done + at, length, diskBlock + at / blockSize, "could not be read");
                    }
                }
            }
            if (!out.write(buffer)) return;
            done += piece;
        }
    }
}

SaveResult ext2Class::saveEntry(EntryRef ref, const std::filesystem::path& file) {
    SaveResult result;
    if (!validRef(ref) || ref == 0) {
        result.problem = "not a file of this volume";
        return result;
    }
    const std::optional<Inode> found = readInode(entries[ref].ino);
    if (!found) {
        result.problem = "its inode could not be read";
        return result;
    }
    // The inode lives in inodeBuffer, which the reads below do not touch, but
    // keep a copy so nothing later can pull it away.
    const std::vector<std::uint8_t> record(inodeBuffer);
    const Inode inode = decodeInode(record, (sb.featureIncompat & kIncompatLargeDir) != 0);
    OutputFile out;
    if (!out.create(file)) {
        result.problem = out.error();
        return result;
    }
    if (inode.hasInlineData()) {
        // Content in the inode: the block area, then the "system.data" attribute.
        const std::uint64_t inArea = std::min<std::uint64_t>(inode.size, inode.blockArea.size());
        out.write(inode.blockArea.first(static_cast<std::size_t>(inArea)));
        const Bytes tail = inlineDataTail(inode);
        const std::uint64_t inTail = std::min<std::uint64_t>(inode.size - inArea, tail.size());
        out.write(tail.first(static_cast<std::size_t>(inTail)));
        if (out.size() < inode.size) {
            result.damaged = true;
            result.problem = "bytes " + std::to_string(out.size()) + " to " + std::to_string(inode.size - 1) +
                             " are missing from the inode; written as zeros";
        }
    } else {
        const BlockList list = buildBlockList(inode, *blocks, blocksFor(inode.size, blockSize));
        copyRuns(list, inode.size, out, result);
        if (list.damaged && !result.damaged) {
            result.damaged = true;
            result.problem = list.problem + "; the parts it maps are written as zeros";
        }
    }
    // Holes at the end, and parts no map covers, read as zeros.
    if (out.size() < inode.size) out.skip(inode.size - out.size());
    const auto extra = [](const std::optional<std::uint32_t>& v) { return v; };
    const bool finished = out.finish(inodeTime(inode.atime, extra(inode.atimeExtra)),
                                     inodeTime(inode.mtime, extra(inode.mtimeExtra)));
    result.written = finished;
    result.bytes = out.size();
    if (!finished && result.problem.empty()) result.problem = out.error();
    if (finished && !out.error().empty() && result.problem.empty()) result.problem = out.error();
    return result;
}

}  // namespace vantor
