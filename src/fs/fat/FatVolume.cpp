#include "fs/fat/FatVolume.h"

#include <cstdio>

#include "core/texts.h"

namespace vantor::fat {

FatVolume::FatVolume(const ReaderContext& context, FatVersion version)
    : ctx(context), window(context.window()), fatVersion(version) {}

// A file inside a deleted folder is drawn red with it; FAT32 also marks its
// deleted top-level entries as soon as the scan shows them.
TreeTraits FatVolume::treeTraits() const {
    TreeTraits t;
    t.redInsideDeletedFolder = true;
    t.redTopLevel = fatVersion == FatVersion::fat32;
    return t;
}

RecycleLayout FatVolume::recycleLayout() const {
    // Windows keeps a recycle bin on FAT32 sticks; FAT16 volumes predate it.
    return fatVersion == FatVersion::fat32 ? RecycleLayout::flat : RecycleLayout::none;
}

ScanOutcome FatVolume::scan(ScanMode mode) {
    char text[96];
    if (mode == ScanMode::standard) {
        attachVolume();
        if (!checkBootSector()) {
            std::snprintf(text, sizeof text, "Selected Drive is not in %s Format", versionText());
            ctx.messages.inform(text);
            return ScanOutcome::wrongKind;
        }
        readFat();
        readRootDirectory();
        std::snprintf(text, sizeof text, "Finding %s File And Directory entries recursively....", versionText());
        ctx.progress.setStatus(text);
        walkRoot();
        if (guessedFolderChains)
            warnScan(std::to_string(guessedFolderChains) +
                     " folders whose FAT sectors are unreadable were read as consecutive clusters");
        if (table.unreadableBytes())
            warnScan(std::to_string(table.unreadableBytes()) + " bytes of the FAT unreadable in every copy");
        if (table.bytesFromCopies())
            noteScan(std::to_string(table.bytesFromCopies()) + " bytes of the first FAT unreadable; a later copy gave them");
        if (unreadableFolderBytes)
            warnScan(std::to_string(unreadableFolderBytes) + " bytes of folders unreadable; entries there are lost");
        ctx.progress.setStatus("maintaining tree Structure in vector...");
        linkEntries();
        ctx.progress.setStatus("Creating Tree Structure....");
        ctx.progress.setStatus("Tree Structure Created.");
        return ScanOutcome::done;
    }
    if (mode == ScanMode::advanced) {
        control.stopRequested.clear();
        const std::uint32_t spc = ctx.picks.sectorsPerCluster.value_or(0);
        attachVolume();
        if (!advancedSetup(ctx.picks.candidate.value_or(0), spc)) {
            ctx.messages.inform("The advanced scan needs a sectors-per-cluster choice of 1 to 128.");
            return ScanOutcome::failed;
        }
        sweepForEntries();
        ctx.progress.setStatus("Maintaining directory Structure in AdvanceScanning");
        buildFromSweep();
        ctx.progress.setStatus(fatVersion == FatVersion::fat32 ? "Maintaining TreeStructure for Tree Control"
                                                               : "Maintaining Tree Structure for Tree Control");
        linkEntries();
        return ScanOutcome::done;
    }
    return ScanOutcome::unsupported;
}

void FatVolume::attachVolume() {
    // The window is bounded by the source itself; an unknown size runs to its end.
    volumeSize = window.length();
    fatEntries.clear();
    guessedFolderChains = 0;
    unreadableFolderBytes = 0;
    clusterIndex.clear();
    walkedClusters.clear();
    advanced = false;
}

bool FatVolume::checkBootSector() {
    std::vector<std::uint8_t> sector(512, 0);
    window.readAt(0, sector);
    geometry = decodeBootSector(sector, fatVersion);
    if (!geometry) return false;
    if (geometry->clustersCapped)
        warnScan("the volume has more clusters than its FAT can address; the last ones are out of reach");
    clusterSize = geometry->clusterBytes;
    dataOffset = geometry->dataStart;
    fatOffset = geometry->fatStart;
    clusterCount = geometry->clusterCount;
    return true;
}

bool FatVolume::readFat() {
    table.attach(&window, fatOffset, clusterCount, fatVersion, geometry ? geometry->fatCount : 1,
                 geometry ? geometry->fatBytes : 0);
    return true;
}

void FatVolume::readRootDirectory() {
    rootDirectory.clear();
    if (fatVersion != FatVersion::fat16 || !geometry) return;
    // At most 65535 slots of 32 bytes: 2 MiB.
    rootDirectory.assign(std::size_t{geometry->rootEntryCount} * kSlotSize, 0);
    window.readAt(geometry->rootStart, rootDirectory);
}

std::optional<std::uint32_t> FatVolume::nextCluster(std::uint32_t cluster) {
    if (ctx.state.isDriveFormatted) return std::nullopt;
    return table.next(cluster);
}

void FatVolume::linkEntries() {
    for (auto& e : fatEntries) e.firstChild = e.nextSibling = e.lastChild = kNoEntry;
    const auto count = static_cast<std::uint32_t>(fatEntries.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t p = fatEntries[i].parent;
        if (p >= count || p == i) continue;
        FatEntry& parent = fatEntries[p];
        if (parent.firstChild == kNoEntry) parent.firstChild = i;
        else fatEntries[parent.lastChild].nextSibling = i;
        parent.lastChild = i;
    }
}

// --- the results contract ---

std::optional<EntryRef> FatVolume::rootEntry() const {
    if (fatEntries.empty()) return std::nullopt;
    return kRootIndex;
}

std::optional<EntryRef> FatVolume::firstChild(EntryRef folder) const {
    if (folder >= fatEntries.size() || fatEntries[folder].firstChild == kNoEntry) return std::nullopt;
    return fatEntries[folder].firstChild;
}

std::optional<EntryRef> FatVolume::nextSibling(EntryRef entry) const {
    if (entry >= fatEntries.size() || fatEntries[entry].nextSibling == kNoEntry) return std::nullopt;
    return fatEntries[entry].nextSibling;
}

RecoveredItem FatVolume::describe(EntryRef ref) const {
    RecoveredItem item;
    if (ref >= fatEntries.size()) return item;
    const FatEntry& e = fatEntries[ref];
    item.id = e.position;
    item.name = ref == kRootIndex ? ctx.state.rootLabel : e.name;
    item.isFolder = e.folder;
    // A file in a deleted folder is gone with it, whatever its own slot says.
    const bool parentDeleted = e.parent != ref && e.parent < fatEntries.size() && fatEntries[e.parent].deleted;
    item.isDeleted = e.deleted || parentDeleted;
    item.hasChildren = e.firstChild != kNoEntry;
    item.isOrphanGroup = advanced && ref == kOrphanIndex;
    item.size = e.folder ? 0 : e.size;
    item.creation = fromDosDateTime(e.creationDate, e.creationTime, e.creationTenths);
    item.access = fromDosDateTime(e.accessDate, 0);
    item.modification = fromDosDateTime(e.writeDate, e.writeTime);
    item.accessIsDateOnly = true;
    item.attributes = e.attributes;
    item.attributeKind = AttributeKind::fat;
    return item;
}

bool FatVolume::isSaveFolder(EntryRef ref) const { return ref < fatEntries.size() && fatEntries[ref].folder; }

bool FatVolume::isSaveFile(EntryRef ref) const {
    return ref < fatEntries.size() && ref != kRootIndex && !fatEntries[ref].folder;
}

ContentOutcome FatVolume::writeContent(EntryRef ref, ContentSink& sink) {
    if (!isSaveFile(ref)) return ContentOutcome::failed("not a file of this volume");
    writeFatContent(fatEntries[ref], sink);
    return ContentOutcome::written();
}


}  // namespace vantor::fat
