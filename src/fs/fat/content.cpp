// A file's content: its cluster chain, or its clusters in a row where the FAT
// no longer knows them (a deleted file, a formatted drive, a table that lost
// the chain).
#include <algorithm>
#include <cstdio>

#include "core/output_file.h"
#include "fs/fat/FatVolume.h"

namespace vantor::fat {

SaveResult FatVolume::saveFatEntry(const FatEntry& entry, const std::filesystem::path& file) {
    SaveResult result;
    OutputFile out;
    if (!out.create(file)) {
        result.problem = out.error();
        return result;
    }
    std::uint64_t remaining = entry.size;
    std::uint32_t cluster = entry.firstCluster;
    // Deleting a file frees its FAT entries (they read 0), so its chain is
    // gone; every undelete reads its clusters in a row from the first one.
    // The same holds on a formatted drive and when the table lost the chain
    // of a live file.
    bool inRow = entry.deleted || ctx.state.isDriveFormatted;
    if (!inRow && remaining > clusterSize) {
        const auto stored = table.entry(cluster);
        inRow = stored && *stored == 0;
    }
    std::vector<std::uint8_t> buffer(clusterSize, 0);
    std::uint64_t unread = 0;
    std::string lost;
    char text[160];
    // A truncated image (or a size field gone wrong) ends before the clusters do.
    const std::uint64_t sourceEnd = deviceBound();
    while (remaining > 0) {
        if (clusterSize == 0 || !table.inRange(cluster) || (sourceEnd && clusterOffset(cluster) >= sourceEnd)) {
            std::snprintf(text, sizeof text, "the last %llu bytes: their clusters are not on the volume",
                          static_cast<unsigned long long>(remaining));
            lost = text;
            out.skip(remaining);
            break;
        }
        const std::uint64_t n = std::min<std::uint64_t>(remaining, clusterSize);
        const std::span<std::uint8_t> part(buffer.data(), static_cast<std::size_t>(n));
        if (ctx.reader.readAt(clusterOffset(cluster), part) == 0) {
            unread += n;
            out.skip(n);
        } else {
            out.write(part);
        }
        remaining -= n;
        if (remaining == 0) break;
        if (inRow) {
            ++cluster;
            continue;
        }
        const auto next = nextCluster(cluster);
        if (!next) {
            std::snprintf(text, sizeof text, "the last %llu bytes: the cluster chain ends early",
                          static_cast<unsigned long long>(remaining));
            lost = text;
            out.skip(remaining);
            break;
        }
        cluster = *next;
    }
    if (unread) {
        std::snprintf(text, sizeof text, "%s%llu bytes could not be read", lost.empty() ? "" : "; ",
                      static_cast<unsigned long long>(unread));
        lost += text;
    }
    const auto access = fromDosDateTime(entry.accessDate, 0);
    const auto modification = fromDosDateTime(entry.writeDate, entry.writeTime);
    result.written = out.finish(access, modification);
    result.bytes = out.size();
    if (!result.written) result.problem = out.error();
    if (!lost.empty()) {
        result.damaged = true;
        if (!result.problem.empty()) result.problem += "; ";
        result.problem += "written as zeros: " + lost;
    }
    return result;
}

}  // namespace vantor::fat
