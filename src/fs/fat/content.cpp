// A file's content: its cluster chain, or its clusters in a row where the FAT
// no longer knows them (a deleted file, a formatted drive, a table that lost
// the chain).
#include <algorithm>

#include "fs/fat/FatVolume.h"

namespace vantor::fat {

std::uint32_t FatVolume::nextInRow(std::uint32_t cluster, bool skipLive) {
    ++cluster;
    if (!skipLive) return cluster;
    while (table.inRange(cluster)) {
        const auto stored = table.entry(cluster);
        if (!stored || *stored == 0) break;
        ++cluster;
    }
    return cluster;
}

bool FatVolume::writeFatContent(const FatEntry& entry, ContentSink& out) {
    std::uint64_t remaining = entry.size;
    std::uint32_t cluster = entry.firstCluster;
    // Deleting a file frees its FAT entries (they read 0), so its chain is
    // gone; every undelete reads its clusters in a row from the first one.
    // The same holds on a formatted drive and when the table lost the chain
    // of a live file.
    bool inRow = entry.deleted || ctx.state.isDriveFormatted;
    // Read in a row because the chain's FAT sector failed: whether the file
    // lies in a row is a guess, and the report says so.
    bool guessed = false;
    if (!inRow && remaining > clusterSize) {
        const auto stored = table.entry(cluster);
        guessed = !stored && table.unreadable(cluster);
        inRow = (stored && *stored == 0) || guessed;
    }
    // A deleted file was written around the files that lived then: the
    // clusters a live file holds are stepped over (the table still says
    // which). A formatted drive's table knows nothing, and a guess made for
    // an unreadable FAT sector reads what follows.
    const bool skipLive = entry.deleted && !ctx.state.isDriveFormatted;
    std::vector<std::uint8_t> buffer(clusterSize, 0);
    std::vector<ByteRange> unreadable;
    // A truncated image (or a size field gone wrong) ends before the clusters do.
    const std::uint64_t sourceEnd = window.reach();
    while (remaining > 0) {
        if (clusterSize == 0 || !table.inRange(cluster) || clusterOffset(cluster) >= sourceEnd) {
            // No cluster of the volume holds the rest: a size no chain or
            // row of clusters can back is not written out as zeros.
            out.endsEarly(entry.size, "clusters outside the volume");
            return true;
        }
        const std::uint64_t n = std::min<std::uint64_t>(remaining, clusterSize);
        const std::span<std::uint8_t> part(buffer.data(), static_cast<std::size_t>(n));
        unreadable.clear();
        if (window.readAt(clusterOffset(cluster), part, &unreadable) != n) out.unreadable(out.size(), unreadable);
        // The first cluster is the entry's own; the rest follow a guess.
        if (guessed && out.size() > 0) out.damaged(out.size(), n, "its FAT sector is unreadable; clusters read in a row", false);
        if (!out.write(part)) return false;
        remaining -= n;
        if (remaining == 0) break;
        if (inRow) {
            cluster = nextInRow(cluster, skipLive);
            continue;
        }
        const auto next = nextCluster(cluster);
        if (!next && table.unreadable(cluster)) {
            inRow = guessed = true;
            ++cluster;
            continue;
        }
        if (!next) {
            out.endsEarly(entry.size, "the cluster chain ends early");
            return true;
        }
        cluster = *next;
    }
    return true;
}

}  // namespace vantor::fat
