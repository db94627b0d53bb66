// $MFTMirr: the copy of the MFT's first records ($MFT's own, whose runs
// locate every other record, among them). A first record that cannot be read
// whole, or whose signature or update sequence is wrong, is taken from its
// copy when the copy is sound. Each first record is read once and kept, so a
// bad sector there is met once.
#include <algorithm>

#include "fs/ntfs/ntfs.h"

namespace vantor {
using namespace ntfs_layout;

namespace {

// Every byte arrived, it names itself a record and no stride was torn.
bool sound(const std::vector<std::uint8_t>& record, bool whole, bool torn) {
    return whole && !torn && hasFileSignature(record);
}

}  // namespace

void ntfs::keepFirstRecord(std::uint64_t index, std::optional<std::uint64_t> position) {
    const std::uint64_t failedBefore = window.unreadableSectors();
    KeptRecord kept;
    bool whole = false;
    kept.arrived = position ? readRecordAt(*position, kept.bytes, &kept.torn, &whole)
                            : readRecordThroughRuns(static_cast<std::int64_t>(index), kept.bytes, &kept.torn, &whole);
    if (!sound(kept.bytes, whole, kept.torn)) {
        if (auto copy = mirrorCopy(index)) {
            // The copy arrived whole, so every sector that failed was the MFT's.
            mendedSectors += window.unreadableSectors() - failedBefore;
            kept = {std::move(*copy), true, false};
            noteScan("MFT record " + std::to_string(index) +
                     " could not be read whole or was damaged; its copy in $MFTMirr was used");
        }
    }
    if (firstRecords.size() <= index) firstRecords.resize(static_cast<std::size_t>(index) + 1);
    firstRecords[static_cast<std::size_t>(index)] = std::move(kept);
}

void ntfs::keepMirroredRecords() {
    for (std::uint64_t i = firstRecords.size(); i < kMinMirroredRecords; ++i) keepFirstRecord(i);
    // $MFTMirr's own record says how many it holds.
    const std::uint64_t count = mirroredRecordCount();
    for (std::uint64_t i = firstRecords.size(); i < count; ++i) keepFirstRecord(i);
}

std::uint64_t ntfs::mirroredRecordCount() const {
    // Four, or one cluster's worth: never more, whatever the record claims.
    const std::uint64_t most = std::max(kMinMirroredRecords, clusterSize / recordSize);
    if (firstRecords.size() <= kMirrorRecord || !firstRecords[kMirrorRecord].arrived) return kMinMirroredRecords;
    for (const Attribute& a : attributesOf(firstRecords[kMirrorRecord].bytes)) {
        if (a.type != kData || a.nameLength != 0 || !a.nonResident || a.startVcn != 0) continue;
        return std::clamp(a.realSize / recordSize, kMinMirroredRecords, most);
    }
    return kMinMirroredRecords;
}

std::optional<std::vector<std::uint8_t>> ntfs::mirrorCopy(std::uint64_t index) const {
    if (!boot || index >= std::max(kMinMirroredRecords, clusterSize / recordSize)) return std::nullopt;
    // The copies lie in a row from the cluster the boot sector names.
    const std::uint64_t clusters = volumeSize / clusterSize;
    if (boot->mirrorCluster >= clusters) return std::nullopt;
    const std::uint64_t position = boot->mirrorCluster * clusterSize + index * recordSize;
    if (position + recordSize > volumeSize) return std::nullopt;
    std::vector<std::uint8_t> copy;
    bool torn = false, whole = false;
    if (!readRecordAt(position, copy, &torn, &whole) || !sound(copy, whole, torn)) return std::nullopt;
    return copy;
}

}  // namespace vantor
