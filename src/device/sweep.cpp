// The advanced scan: every sector of the drive (or of a range) is tested for
// a boot sector or volume header, read in 1 MiB blocks. A block that fails is
// read again sector by sector; the sectors that still fail are passed over,
// so a failing disk costs its bad sectors, not every volume after the first.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "device/Partition.h"
#include "device/boot_sector.h"

namespace vantor {
namespace {

constexpr std::size_t kBlockSectors = 2048;  // 1 MiB

// Reads one block of the sweep at byte `at`. Where the read fails, the rest
// is read again one unit of the source at a time (its logical sector, so each
// read is aligned), as a volume window does, with Stop looked at between the
// units: a dying disk may take seconds over each. The 512-byte sectors of
// units that still fail, or that a stop left unread, are marked in `bad`
// (looked at only when less than the whole block arrived). Returns the bytes
// that arrived.
std::size_t readBlock(readWriteInterface& reader, WorkerControl& control, std::uint64_t at,
                      std::span<std::uint8_t> block, std::vector<bool>& bad) {
    const std::size_t got = reader.readAt(at, block);
    if (got >= block.size()) return block.size();
    std::fill(bad.begin(), bad.end(), false);
    const auto markBad = [&](std::size_t from, std::size_t to) {
        std::memset(block.data() + from, 0, to - from);
        for (std::size_t k = from / 512; k * 512 < to; ++k) bad[k] = true;
    };
    const std::uint64_t unit = std::max<std::uint64_t>(kSectorSize, reader.retryUnit());
    // Back to the unit the failure lies in: its first bytes may be stale.
    std::size_t pos = got - static_cast<std::size_t>(std::min<std::uint64_t>(got, (at + got) % unit));
    std::size_t arrived = pos;
    while (pos < block.size()) {
        if (control.poll()) {
            markBad(pos, block.size());
            break;
        }
        const auto len = static_cast<std::size_t>(std::min<std::uint64_t>(block.size() - pos, unit - (at + pos) % unit));
        if (reader.readSector(at + pos, block.subspan(pos, len)) < len) {
            markBad(pos, pos + len);
        } else {
            arrived += len;
        }
        pos += len;
    }
    return arrived;
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

    std::vector<std::uint8_t> buffer(kBlockSectors * 512);
    std::vector<bool> bad(kBlockSectors);
    std::uint64_t unreadableSectors = 0;
    bool anyRead = false;
    int readError = 0;
    while (current < total) {
        if (endSector >= 0 && endSector < current) break;
        // Only the sectors that exist are tested: the last block of a drive
        // that is not a whole number of MiB is short.
        const std::int64_t sectorsHere = std::min<std::int64_t>(kBlockSectors, total - current);
        const std::span<std::uint8_t> block = std::span(buffer).first(static_cast<std::size_t>(sectorsHere) * 512);
        errno = 0;
        const std::size_t arrived = readBlock(reader, control, static_cast<std::uint64_t>(current) * 512, block, bad);
        const bool someBad = arrived < block.size();
        if (someBad && !readError) readError = errno ? errno : EIO;
        if (arrived > 0) anyRead = true;

        bool stopped = false;
        std::int64_t k = 0;
        while (k < sectorsHere) {
            if (control.poll()) {
                stopped = true;
                break;
            }
            if (someBad && bad[static_cast<std::size_t>(k)]) {
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
