// The advanced scan: every sector of the drive (or of a range) is tested for
// a boot sector or volume header, read in 1 MiB blocks. A block that fails is
// read again sector by sector; the sectors that still fail are passed over,
// so a failing disk costs its bad sectors, not every volume after the first.
#include <cerrno>
#include <vector>

#include "device/Partition.h"
#include "device/VolumeWindow.h"
#include "device/boot_sector.h"

namespace vantor {
namespace {

constexpr std::size_t kBlockSectors = 2048;  // 1 MiB

// Whether sector `k` of a block overlaps a range that could not be read.
// The ranges are in order; `next` moves on through them as `k` grows.
bool unreadableSector(const std::vector<ByteRange>& unreadable, std::size_t& next, std::int64_t k) {
    const std::uint64_t at = static_cast<std::uint64_t>(k) * 512;
    while (next < unreadable.size() && unreadable[next].end() <= at) ++next;
    return next < unreadable.size() && unreadable[next].first < at + 512;
}

std::string sweepStatus(FsKind kind, int ntfsCount) {
    switch (kind) {
        case FsKind::ntfs: return "found NTFS " + std::to_string(ntfsCount) + "...";
        case FsKind::fat32: return "found FAT 32...";
        case FsKind::fat16: return "found FAT 16...";
        case FsKind::fat64: return "found FAT 64...";
        case FsKind::hfsPlus: return "found HFS+...";
        case FsKind::extX: return "found extx...";
        default: return "found unknown...";
    }
}

}  // namespace

int Partition::sweepForVolumes() {
    progress.setStatus("Scanning partition.....");
    control.stopRequested.clear();

    const std::int64_t total = reader.deviceTotalSectors();
    std::int64_t current = customStartSector > 0 ? customStartSector : 0;
    const std::int64_t endSector = customEndSector > 0 ? customEndSector : -1;
    progress.setRange(0, 1000);

    VolumeWindow disk(reader, 0, 0);
    std::vector<std::uint8_t> buffer(kBlockSectors * 512);
    std::vector<ByteRange> unreadable;
    std::uint64_t unreadableSectors = 0;
    bool anyRead = false;
    int readError = 0;
    while (current < total) {
        if (endSector >= 0 && endSector < current) break;
        // Only the sectors that exist are tested: the last block of a drive
        // that is not a whole number of MiB is short.
        const std::int64_t sectorsHere = std::min<std::int64_t>(kBlockSectors, total - current);
        const std::span<std::uint8_t> block = std::span(buffer).first(static_cast<std::size_t>(sectorsHere) * 512);
        unreadable.clear();
        errno = 0;
        if (disk.readAt(static_cast<std::uint64_t>(current) * 512, block, &unreadable) > 0) anyRead = true;
        if (!unreadable.empty() && !readError) readError = errno ? errno : EIO;
        std::size_t nextUnreadable = 0;

        bool stopped = false;
        std::int64_t k = 0;
        while (k < sectorsHere) {
            if (control.poll()) {
                stopped = true;
                break;
            }
            if (!unreadable.empty() && unreadableSector(unreadable, nextUnreadable, k)) {
                ++unreadableSectors;  // nothing to test in it
                ++k;
                continue;
            }
            const Bytes sector = std::span<const std::uint8_t>(buffer).subspan(static_cast<std::size_t>(k) * 512, 512);
            const auto id = identifySector(sector);
            const std::int64_t position = current + k;  // sector of the match
            const std::int64_t start = id ? position - id->headerSector : 0;
            const std::int64_t mb = id ? id->sizeBytes / 1048576 : 0;
            if (id && start >= 0) {
                if (id->kind == FsKind::ntfs && mb > 0) ++ntfsCount;
                const std::string status = id->name == "FAT12" ? "found unknown..." : sweepStatus(id->kind, ntfsCount);
                progress.setStatus(status);
                if (mb > 0) {
                    VolumeRecord r;
                    r.fileSystem = id->name;
                    r.volumeId = nextVolumeId();
                    r.sizeText = std::to_string(mb) + (id->kind == FsKind::ntfs ? "   MB" : "  MB");
                    r.sizeBytes = static_cast<std::uint64_t>(id->sizeBytes);
                    r.startSector = start;
                    addRecord(r, "");
                    // Jump over the volume. NTFS counts its sectors without the
                    // backup boot sector that follows them, so that one sector is
                    // passed over too; other volumes end exactly at their size,
                    // and the next volume may start right there.
                    if (skipVolumeSize) {
                        const std::int64_t tail = id->kind == FsKind::ntfs ? 1 : 0;
                        k = start - current + id->sizeBytes / 512 + tail - 1;
                    }
                }
            }
            if (control.poll()) {
                stopped = true;
                break;
            }
            ++k;
        }
        current += k;
        if (total > 0) progress.setPosition(static_cast<std::int64_t>(static_cast<double>(current) / total * 1000.0));
        if (stopped || control.stopRequested.requested()) {
            progress.setStatus("Scanned Partitions");
            return 1;
        }
    }
    if (unreadableSectors) progress.setStatus(std::to_string(unreadableSectors) + " unreadable sectors passed over");
    // A source of which not one sector could be read is an error; anything
    // less is a sweep with gaps.
    return anyRead || !readError ? 1 : readError;
}

}  // namespace vantor
