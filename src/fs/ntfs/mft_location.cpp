// The boot sector, the MFT's own runs (from the boot sector or found by a
// sweep when it is damaged) and the list of MFT records they cover.
#include <algorithm>
#include <cstdio>

#include "fs/ntfs/ntfs.h"

namespace vantor {
using namespace ntfs_layout;

namespace {
constexpr std::uint64_t kSweepChunkSize = 10485760;
constexpr std::uint64_t kSlot = 512;
// A hostile run list must not make us list billions of records.
// Entries kept for one volume: about 1 GiB of entry records at most, far
// beyond any real MFT of a disk this tool is used on.
constexpr std::uint64_t kMaxRecords = (std::uint64_t{1} << 30) / sizeof(MftEntry);
}  // namespace

bool ntfs::readBootSector() {
    bootSector.assign(512, 0);
    window.readAt(0, bootSector);
    boot = decodeBootSector(bootSector);
    // The boot sector's own count, else the volume list's; never beyond the
    // source we actually read.
    volumeSize = boot ? boot->volumeBytes() : window.length();
    if (volumeSize == 0 || volumeSize > window.reach()) volumeSize = window.reach();
    return volumeSize != 0;
}

bool ntfs::locateMft() {
    if (boot) {
        clusterSize = boot->clusterSize;
        recordSize = boot->recordSize;
        mftLocated = true;
        progress.setStatus("boot sector is fine.Getting run of mft entry...");
        // $MFT's own record, from $MFTMirr when the MFT's copy is unreadable or damaged.
        if (boot->mftCluster < volumeSize / clusterSize) {
            keepFirstRecord(kMftRecord, boot->mftCluster * clusterSize);
            if (firstRecords[kMftRecord].arrived) mftRuns = runsOf(firstRecords[kMftRecord].bytes, kData);
        }
        // Neither copy was sound: the mirror's runs, as it is, may still serve.
        if (mftRuns.empty() && boot->mirrorCluster < volumeSize / clusterSize) {
            mftRuns = getAttributeRuns(boot->mirrorCluster * clusterSize, kData);
        }
        completeMftRuns();
        progress.setStatus("Got run...");
        if (!mftRuns.empty()) {
            keepMirroredRecords();
            return true;
        }
        // Neither copy gave runs: look for the record as if the boot sector were gone.
        firstRecords.clear();
        mftLocated = false;
        return sweepForMft();
    }
    clusterSize = 4096;
    recordSize = kDefaultRecordSize;
    progress.setStatus("boot sector corrupt.Scanning for first mft entry...");
    return sweepForMft();
}

bool ntfs::sweepForMft() {
    mftLocated = false;
    std::vector<std::uint8_t> record;
    sweepForRecords([&](std::uint64_t position) {
        if (!readRecordAt(position, record)) return true;
        const auto attributes = attributesOf(record);
        bool isMft = false;
        for (const Attribute& a : attributes) {
            if (a.type != kFileName || a.nonResident) continue;
            if (auto fn = decodeFileName(a.value); fn && fn->name == "$MFT") isMft = true;
        }
        if (!isMft) return true;
        progress.setStatus("found mft entry.getting its run ...");
        // The record says how large it is; a sane value replaces the default.
        const std::uint32_t own = decodeRecordHeader(record).allocatedSize;
        if (!boot && isPowerOfTwo(own) && own >= kFixupStride && own <= kMaxRecordSize) recordSize = own;
        mftRuns = getAttributeRuns(position, kData);
        progress.setStatus("got run ...");
        if (mftRuns.empty()) return true;
        // Without a boot sector the cluster size is unknown, but $MFT's first
        // run starts at the very record just found: the two give it away.
        if (!boot && !mftRuns[0].sparse && mftRuns[0].startCluster > 0 && position % mftRuns[0].startCluster == 0) {
            const std::uint64_t implied = position / mftRuns[0].startCluster;
            if (isPowerOfTwo(implied) && implied >= 512 && implied <= (std::uint64_t{2} << 20)) clusterSize = implied;
        }
        mftLocated = true;
        completeMftRuns();
        return false;
    });
    return mftLocated;
}

void ntfs::setMftRuns(std::vector<MftRun> runs) {
    mftRuns = std::move(runs);
    mftRunStart.clear();
    std::uint64_t vcnByte = 0;
    for (const MftRun& run : mftRuns) {
        mftRunStart.push_back(vcnByte);
        const std::uint64_t runBytes = bytesOfClusters(run.clusterCount);
        vcnByte = runBytes > ~vcnByte ? ~std::uint64_t{0} : vcnByte + runBytes;
    }
}

// A large, fragmented MFT keeps the rest of its own runs in extension records
// named by its attribute list; those records lie in the part already known.
void ntfs::completeMftRuns() {
    if (mftRuns.empty()) return;
    setMftRuns(mftRuns);
    const bool wasLocated = mftLocated;
    mftLocated = true;
    if (auto whole = findDataStream(0); whole && !whole->resident && !whole->runs.empty()) {
        std::uint64_t known = 0;
        for (const MftRun& r : mftRuns) known += r.clusterCount;
        if (whole->runClusters > known) setMftRuns(std::move(whole->runs));
    }
    mftLocated = wasLocated;
}

bool ntfs::applyCandidate(std::uint64_t position) {
    mftLocated = false;
    if (clusterSize == 0) clusterSize = boot ? boot->clusterSize : 4096;
    mftRuns = getAttributeRuns(position, kData);
    mftLocated = !mftRuns.empty();
    completeMftRuns();
    return mftLocated;
}

void ntfs::sweepForRecords(const std::function<bool(std::uint64_t)>& visit) {
    // A volume smaller than one chunk needs no more buffer than itself.
    const std::uint64_t chunkSize = std::min(kSweepChunkSize, (volumeSize + kSlot - 1) / kSlot * kSlot);
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(chunkSize));
    progress.setRange(0, static_cast<std::int64_t>(volumeSize / kSweepChunkSize));
    std::uint64_t chunkPosition = 0;
    for (std::int64_t chunkNumber = 0; chunkPosition < volumeSize; ++chunkNumber) {
        if (control.pollAndTake()) return;
        if (chunkNumber % 100 == 0) progress.setPosition(chunkNumber);
        std::fill(chunk.begin(), chunk.end(), 0);
        const std::size_t got = window.readAt(chunkPosition, chunk);
        std::uint64_t step = 0;
        while (step + kSlot <= chunkSize) {
            if (step >= got) {
                step = chunkSize;  // nothing more arrived in this chunk
                break;
            }
            if (hasFileSignature(Bytes(chunk).subspan(step))) {
                if (!visit(chunkPosition + step)) return;
                step += std::max<std::uint64_t>(recordSize, kSlot);
            } else {
                step += kSlot;
            }
        }
        chunkPosition += step;
    }
}

void ntfs::enumerateMftRecords() {
    if (!mftLocated || control.pollAndTake()) return;
    if (clusterSize == 0) clusterSize = 4096;
    entryList.clear();
    const std::uint64_t volumeClusters = volumeSize / clusterSize;
    std::uint64_t mftBytes = 0;
    for (const MftRun& run : mftRuns) {
        if (run.sparse || run.startCluster >= volumeClusters) continue;
        mftBytes += std::min(run.clusterCount, volumeClusters - run.startCluster) * clusterSize;
    }
    // Records are listed whatever their signature so that index and record
    // number stay equal; their position is where their first byte lies.
    const std::uint64_t count = std::min({mftBytes / recordSize, kMaxRecords, volumeSize / recordSize});
    entryList.reserve(count);
    setMftRuns(mftRuns);
    for (std::size_t r = 0; r < mftRuns.size() && entryList.size() < count; ++r) {
        const MftRun& run = mftRuns[r];
        char status[80];
        std::snprintf(status, sizeof status, "parsing %llu cluster of MFT run.",
                      static_cast<unsigned long long>(run.startCluster));
        progress.setStatus(status);
        if (control.pollAndTake()) return;
        const std::uint64_t runBytes = bytesOfClusters(run.clusterCount);
        while (entryList.size() < count) {
            const std::uint64_t recordStart = entryList.size() * recordSize;
            if (recordStart - mftRunStart[r] >= runBytes) break;
            MftEntry e;
            e.position = run.sparse ? 0 : bytesOfClusters(run.startCluster) + (recordStart - mftRunStart[r]);
            e.ownIndex = static_cast<std::int64_t>(entryList.size());
            entryList.push_back(std::move(e));
        }
    }
}

bool ntfs::readRecordAt(std::uint64_t position, std::vector<std::uint8_t>& out, bool* torn, bool* whole) const {
    out.assign(recordSize, 0);
    const std::size_t arrived = window.readAt(position, out);
    if (whole) *whole = arrived == out.size();
    if (arrived == 0) return false;
    const bool intact = applyFixup(out);
    if (torn) *torn = !intact;
    return true;
}

bool ntfs::readEntryRecord(std::int64_t index, std::vector<std::uint8_t>& out, bool* torn) const {
    if (index < 0) return false;
    if (static_cast<std::uint64_t>(index) < firstRecords.size()) {
        const KeptRecord& kept = firstRecords[static_cast<std::size_t>(index)];
        out = kept.bytes;
        if (torn) *torn = kept.torn;
        return kept.arrived;
    }
    if (!mftLocated || mftRuns.empty()) {
        if (static_cast<std::uint64_t>(index) >= entryList.size()) return false;
        return readRecordAt(entryList[index].position, out, torn);
    }
    return readRecordThroughRuns(index, out, torn, nullptr);
}

bool ntfs::readRecordThroughRuns(std::int64_t index, std::vector<std::uint8_t>& out, bool* torn, bool* whole) const {
    if (whole) *whole = false;
    if (index < 0 || static_cast<std::uint64_t>(index) > kMaxRecords * 4) return false;
    // Map the record's bytes through the MFT's runs piece by piece.
    out.assign(recordSize, 0);
    std::uint64_t want = static_cast<std::uint64_t>(index) * recordSize;
    std::size_t filled = 0, arrived = 0;
    auto r = static_cast<std::size_t>(std::upper_bound(mftRunStart.begin(), mftRunStart.end(), want) - mftRunStart.begin());
    if (r == 0 || mftRunStart.size() != mftRuns.size()) return false;
    for (--r; r < mftRuns.size() && filled < recordSize; ++r) {
        const MftRun& run = mftRuns[r];
        const std::uint64_t inRun = want - mftRunStart[r];
        const std::uint64_t runBytes = bytesOfClusters(run.clusterCount);
        if (inRun >= runBytes) break;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(runBytes - inRun, recordSize - filled));
        if (!run.sparse) {
            arrived += window.readAt(bytesOfClusters(run.startCluster) + inRun,
                                     std::span<std::uint8_t>(out).subspan(filled, piece));
        }
        filled += piece;
        want += piece;
    }
    if (whole) *whole = arrived == recordSize;
    if (arrived == 0) return false;
    const bool intact = applyFixup(out);
    if (torn) *torn = !intact;
    return true;
}

std::vector<MftRun> ntfs::getAttributeRuns(std::uint64_t position, std::uint32_t type) const {
    std::vector<std::uint8_t> record;
    if (!readRecordAt(position, record)) return {};
    return runsOf(record, type);
}

std::vector<MftRun> ntfs::runsOf(Bytes record, std::uint32_t type) {
    for (const Attribute& a : attributesOf(record)) {
        if (a.type != type || !a.nonResident) continue;
        // Named attributes of the same type are other streams, never the one asked for.
        if (a.nameLength != 0) continue;
        const std::uint64_t budget = a.lastVcn >= a.startVcn ? a.lastVcn - a.startVcn + 1 : 0;
        return decodeRunList(a.runList, budget).runs;
    }
    return {};
}

}  // namespace vantor
