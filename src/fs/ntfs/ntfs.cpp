// The reader's life cycle and the results contract.
#include "fs/ntfs/ntfs.h"

#include <cstdio>

namespace vantor {
using namespace ntfs_layout;

ntfs::ntfs(const ReaderContext& context)
    : window(context.window()),
      volume(context.volume),
      progress(context.progress),
      messages(context.messages),
      picks(context.picks) {}

ScanOutcome ntfs::scan(ScanMode mode) {
    if (mode == ScanMode::deep) return ScanOutcome::unsupported;
    if (mode == ScanMode::advanced && !picks.candidate) return ScanOutcome::unsupported;
    scanMode = mode;
    if (!readBootSector()) return ScanOutcome::failed;  // nothing of the volume can be read
    if (mode == ScanMode::standard) {
        progress.setStatus(" ParsingBasedOnMFT is going on....");
        if (!locateMft()) {
            // Neither a boot sector nor an $MFT record anywhere: not NTFS, or
            // nothing of it left for the standard mode.
            if (!boot) {
                messages.inform("Selected Drive is not in NTFS Format");
                return ScanOutcome::wrongKind;
            }
            return ScanOutcome::failed;
        }
    } else {
        control.stopRequested.clear();
        entryList.clear();
        firstRecords.clear();  // the boot sector's MFT is not the candidate's
        clusterSize = boot ? boot->clusterSize : 4096;
        recordSize = boot ? boot->recordSize : kDefaultRecordSize;
        if (picks.sectorsPerCluster && *picks.sectorsPerCluster > 0) {
            clusterSize = std::uint64_t{*picks.sectorsPerCluster} * kSectorSize;
        }
        applyCandidate(static_cast<std::uint64_t>(std::max<std::int64_t>(0, *picks.candidate)) * kSectorSize);
    }
    enumerateMftRecords();
    buildEntryTree();
    return ScanOutcome::done;
}

std::optional<EntryRef> ntfs::rootEntry() const {
    if (rootIndex < 0) return std::nullopt;
    return static_cast<EntryRef>(rootIndex);
}

std::optional<EntryRef> ntfs::firstChild(EntryRef folder) const {
    if (!validIndex(folder)) return std::nullopt;
    const std::int64_t c = entryList[folder].firstChild;
    if (c <= 0 || static_cast<std::uint64_t>(c) >= entryList.size()) return std::nullopt;
    return static_cast<EntryRef>(c);
}

std::optional<EntryRef> ntfs::nextSibling(EntryRef entry) const {
    if (!validIndex(entry)) return std::nullopt;
    const std::int64_t s = entryList[entry].nextSibling;
    if (s <= 0 || static_cast<std::uint64_t>(s) >= entryList.size()) return std::nullopt;
    return static_cast<EntryRef>(s);
}

RecoveredItem ntfs::describe(EntryRef ref) const {
    RecoveredItem item;
    if (!validIndex(ref)) return item;
    const MftEntry& e = entryList[ref];
    item.id = ref;
    item.name = e.name;
    item.isFolder = e.kind == 'D';
    item.isDeleted = (e.recordFlags & kRecordInUse) == 0;
    item.hasChildren = e.firstChild > 0;
    item.isOrphanGroup = static_cast<std::int64_t>(ref) == orphanIndex;
    item.size = item.isFolder ? 0 : e.dataSize;
    if (e.hasTimes) {
        item.creation = fromFileTime(e.creation);
        item.access = fromFileTime(e.access);
        item.modification = fromFileTime(e.modification);
    }
    item.attributes = e.nameFlags;
    item.attributeKind = AttributeKind::ntfsFileName;
    if (e.torn) item.warnings.emplace_back("torn update sequence: the record is damaged or was being written");
    return item;
}

bool ntfs::isSaveFolder(EntryRef ref) const {
    if (!validIndex(ref)) return false;
    const MftEntry& e = entryList[ref];
    // A "." below the root would walk the root again.
    if (e.name == "." && static_cast<std::int64_t>(ref) != rootIndex) return false;
    return e.kind == 'D';
}

bool ntfs::isSaveFile(EntryRef ref) const {
    if (!validIndex(ref)) return false;
    const MftEntry& e = entryList[ref];
    // $BadClus's stream is as large as the volume and holds only bad clusters.
    return e.kind != 'D' && !e.name.empty() && e.name != "$BadClus";
}


}  // namespace vantor
