// The exFAT reader (Fat64Class.h): its life cycle and the results contract.
#include "fs/exfat/Fat64Class.h"

#include <algorithm>
#include <unordered_set>

namespace vantor {

using namespace exfat;

namespace {

// Where a damaged main boot sector's copy lies: sector 12 of the backup
// boot region, for the sector sizes exFAT allows in practice.
constexpr std::uint64_t kBackupBootSector = 12;
constexpr std::uint64_t kSectorSizesTried[] = {512, 4096};
// Content is copied in pieces of at most this size.
constexpr std::uint64_t kCopyChunk = std::uint64_t{1} << 20;

std::uint64_t clustersFor(std::uint64_t bytes, std::uint64_t clusterBytes) {
    return bytes / clusterBytes + (bytes % clusterBytes != 0 ? 1 : 0);
}

}  // namespace

Fat64Class::Fat64Class(const ReaderContext& context) : ctx(context), window(context.window()) {}

TreeTraits Fat64Class::treeTraits() const {
    TreeTraits t;
    t.redTopLevel = true;
    t.redInsideDeletedFolder = true;
    return t;
}

ScanOutcome Fat64Class::scan(ScanMode mode) {
    if (mode != ScanMode::standard) return ScanOutcome::unsupported;
    if (!readBootSector()) {
        ctx.messages.inform("Selected Drive is not in exFat Format");
        return ScanOutcome::wrongKind;
    }
    attachFat();
    ctx.progress.setStatus("processing file and directory entries...");
    readAllocationBitmap();
    ctx.progress.setStatus("Finding Fat64 File And Directory entries recursively....");
    walkTree();
    ctx.progress.setStatus("creating tree Structure...");
    return ScanOutcome::done;
}

bool Fat64Class::readBootSector() {
    if (window.length() == 0) return false;
    std::vector<std::uint8_t> sector(512);
    if (window.readAll(0, sector)) boot = decodeBootSector(sector);
    if (boot) return true;
    // The main boot sector is gone or damaged: its copy in the backup boot
    // region describes the same volume.
    for (const std::uint64_t sectorBytes : kSectorSizesTried) {
        if (!window.readAll(kBackupBootSector * sectorBytes, sector)) continue;
        boot = decodeBootSector(sector);
        if (boot && boot->sectorBytes() == sectorBytes) {
            noteScan("the boot sector could not be used; its backup copy was");
            return true;
        }
        boot.reset();
    }
    return false;
}

void Fat64Class::attachFat() {
    const std::uint64_t sectorBytes = boot->sectorBytes();
    // No more clusters than the source can hold from the heap on.
    const std::uint64_t heapStart = std::uint64_t{boot->heapOffset} * sectorBytes;
    const std::uint64_t reach = window.reach();
    const std::uint64_t heldClusters = reach > heapStart ? clustersFor(reach - heapStart, boot->clusterBytes()) : 0;
    const auto clusters = static_cast<std::uint32_t>(std::min<std::uint64_t>(boot->clusterCount, heldClusters));
    table.attach(&window, std::uint64_t{boot->fatOffset} * sectorBytes, clusters, fat::FatVersion::exfat,
                 std::max<std::uint32_t>(1, boot->fatCount), std::uint64_t{boot->fatLength} * sectorBytes);
}

bool Fat64Class::inHeap(std::uint32_t cluster) const { return table.inRange(cluster); }

std::uint64_t Fat64Class::clusterOffset(std::uint32_t cluster) const {
    return std::uint64_t{boot->heapOffset} * boot->sectorBytes() + std::uint64_t{cluster - 2} * boot->clusterBytes();
}

bool Fat64Class::clusterInUse(std::uint32_t cluster) const {
    const std::uint64_t bit = cluster - 2;
    if (!inHeap(cluster) || bit / 8 >= bitmap.size()) return false;
    return (bitmap[bit / 8] >> (bit % 8)) & 1;
}

std::vector<std::uint32_t> Fat64Class::clustersOf(std::uint32_t first, std::uint64_t length, bool inRow) {
    // On a formatted drive the table knows nothing of the old files.
    inRow = inRow || ctx.state.isDriveFormatted;
    std::vector<std::uint32_t> clusters;
    const std::uint64_t needed = std::min<std::uint64_t>(clustersFor(length, boot->clusterBytes()), table.clusterCount());
    if (!inHeap(first) || needed == 0) return clusters;
    clusters.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(needed, 1u << 16)));
    if (inRow) {
        for (std::uint64_t k = 0; k < needed && inHeap(static_cast<std::uint32_t>(first + k)); ++k)
            clusters.push_back(static_cast<std::uint32_t>(first + k));
        return clusters;
    }
    // A chain ends at its end mark, a free, bad or outside value, and at the
    // first cluster it meets again (a loop).
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t c = first; clusters.size() < needed;) {
        if (!seen.insert(c).second) break;
        clusters.push_back(c);
        const auto next = table.next(c);
        if (!next) break;
        c = *next;
    }
    return clusters;
}

std::vector<std::uint32_t> Fat64Class::freeClustersFrom(std::uint32_t first, std::uint64_t length) {
    std::vector<std::uint32_t> clusters;
    const std::uint64_t needed = std::min<std::uint64_t>(clustersFor(length, boot->clusterBytes()), table.clusterCount());
    if (!inHeap(first) || needed == 0) return clusters;
    // The first cluster is the file's own, whoever holds it now; after it,
    // the clusters live files own were written around.
    clusters.push_back(first);
    for (std::uint32_t c = first + 1; clusters.size() < needed && inHeap(c); ++c)
        if (!clusterInUse(c)) clusters.push_back(c);
    return clusters;
}

std::vector<std::uint8_t> Fat64Class::readClusters(const std::vector<std::uint32_t>& clusters, std::uint64_t limit) {
    const std::uint64_t cs = boot->clusterBytes();
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(clusters.size(), limit / cs));
    std::vector<std::uint8_t> bytes(count * cs, 0);
    for (std::size_t i = 0; i < count; ++i)
        window.readAt(clusterOffset(clusters[i]), std::span<std::uint8_t>(bytes).subspan(i * cs, cs));
    return bytes;
}

void Fat64Class::readAllocationBitmap() {
    const auto root = clustersOf(boot->rootCluster, kMaxDirectoryBytes, false);
    const std::vector<std::uint8_t> bytes = readClusters(root, kMaxDirectoryBytes);
    const auto entry = findBitmapEntry(bytes);
    if (!entry) {
        warnScan("the allocation bitmap was not found: deleted files are read in a row of clusters");
        return;
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(entry->dataLength, (table.clusterCount() + 7) / 8);
    bitmap = readClusters(clustersOf(entry->firstCluster, wanted, false), wanted + boot->clusterBytes());
    bitmap.resize(static_cast<std::size_t>(std::min<std::uint64_t>(bitmap.size(), wanted)));
}

std::uint32_t Fat64Class::addEntry(const EntrySet& set, std::uint32_t parent, std::uint64_t volumeOffset) {
    const auto index = static_cast<std::uint32_t>(exfatEntries.size());
    ExFatEntry e;
    e.set = set;
    e.parent = parent;
    e.volumeOffset = volumeOffset;
    exfatEntries.push_back(std::move(e));
    // Children keep the order they were found in; linking is one step each.
    ExFatEntry& p = exfatEntries[parent];
    if (p.lastChild == kNone) p.firstChild = index;
    else exfatEntries[p.lastChild].nextSibling = index;
    p.lastChild = index;
    return index;
}

void Fat64Class::walkFolder(std::uint32_t index, const std::vector<std::uint32_t>& clusters,
                            std::vector<std::uint32_t>& pending) {
    // All folders together are no larger than the volume, whatever they claim.
    const std::uint64_t room = window.reach() > directoryBytesRead ? window.reach() - directoryBytesRead : 0;
    const std::vector<std::uint8_t> bytes = readClusters(clusters, std::min(kMaxDirectoryBytes, room));
    directoryBytesRead += bytes.size();
    const std::uint64_t cs = boot->clusterBytes();
    // No volume holds more entry sets than it has room for.
    const std::uint64_t most = window.reach() / (3 * kEntryBytes);
    for (const EntrySet& set : decodeEntrySets(bytes)) {
        if (exfatEntries.size() >= most) return;
        const std::uint64_t at = clusterOffset(clusters[set.offset / cs]) + set.offset % cs;
        const std::uint32_t child = addEntry(set, index, at);
        if (set.isFolder()) pending.push_back(child);
    }
}

void Fat64Class::walkTree() {
    exfatEntries.clear();
    directoryBytesRead = 0;
    ExFatEntry root;
    root.set.inUse = true;
    root.set.attributes = kAttrDirectory;
    root.set.firstCluster = boot->rootCluster;
    exfatEntries.push_back(root);
    std::unordered_set<std::uint32_t> walkedFirst{boot->rootCluster};
    std::vector<std::uint32_t> pending, deletedFolders;
    // The root has no length of its own: its chain says, and where the table
    // is not to be trusted (a formatted drive) only its first cluster does.
    const std::uint64_t rootLength = ctx.state.isDriveFormatted ? boot->clusterBytes() : kMaxDirectoryBytes;
    walkFolder(0, clustersOf(boot->rootCluster, rootLength, false), pending);
    // The live tree first, whole; then the deleted folders whose clusters no
    // live folder holds: a folder deleted and made again stays two folders.
    const auto walkPending = [&](bool live) {
        while (!pending.empty()) {
            if (control.pollAndTake()) return;
            const std::uint32_t index = pending.back();
            pending.pop_back();
            const EntrySet& set = exfatEntries[index].set;
            if (live && !set.inUse) {
                deletedFolders.push_back(index);
                continue;
            }
            if (!walkedFirst.insert(set.firstCluster).second) continue;  // a loop, or shared with a live folder
            const std::uint64_t length = std::min(set.dataLength, kMaxDirectoryBytes);
            // A deleted folder's chain may be gone: its clusters in a row.
            const bool inRow = set.noFatChain() || !set.inUse;
            walkFolder(index, clustersOf(set.firstCluster, length, inRow), pending);
        }
    };
    walkPending(true);
    pending = std::move(deletedFolders);
    std::reverse(pending.begin(), pending.end());
    walkPending(false);
    const std::uint64_t lost = table.unreadableBytes();
    if (lost) warnScan("unreadable sectors in the FAT: " + std::to_string(lost) + " bytes no copy could give");
}

std::optional<EntryRef> Fat64Class::rootEntry() const {
    if (exfatEntries.empty()) return std::nullopt;
    return EntryRef{0};
}

std::optional<EntryRef> Fat64Class::firstChild(EntryRef folder) const {
    if (!validRef(folder) || exfatEntries[folder].firstChild == kNone) return std::nullopt;
    return EntryRef{exfatEntries[folder].firstChild};
}

std::optional<EntryRef> Fat64Class::nextSibling(EntryRef entry) const {
    if (!validRef(entry) || exfatEntries[entry].nextSibling == kNone) return std::nullopt;
    return EntryRef{exfatEntries[entry].nextSibling};
}

RecoveredItem Fat64Class::describe(EntryRef ref) const {
    RecoveredItem item;
    if (!validRef(ref)) return item;
    const ExFatEntry& e = exfatEntries[ref];
    item.id = e.volumeOffset;
    item.name = ref == 0 ? ctx.state.rootLabel : e.set.name;
    item.isFolder = e.set.isFolder();
    const bool parentDeleted = ref != 0 && !exfatEntries[e.parent].set.inUse;
    item.isDeleted = !e.set.inUse || parentDeleted;
    item.hasChildren = e.firstChild != kNone;
    item.size = item.isFolder ? 0 : e.set.dataLength;
    item.creation = stampTime(e.set.created);
    item.access = stampTime(e.set.accessed);
    item.modification = stampTime(e.set.modified);
    item.attributes = e.set.attributes;
    item.attributeKind = AttributeKind::fat;
    if (!e.set.checksumMatches) item.warnings.emplace_back("its entry set's checksum does not match: it may be damaged");
    if (!e.set.inUse && !item.isFolder && clusterInUse(e.set.firstCluster))
        item.warnings.emplace_back("overwritten: its first cluster now belongs to a live file or folder");
    return item;
}

bool Fat64Class::isSaveFolder(EntryRef ref) const { return validRef(ref) && exfatEntries[ref].set.isFolder(); }

bool Fat64Class::isSaveFile(EntryRef ref) const {
    return validRef(ref) && ref != 0 && !exfatEntries[ref].set.isFolder();
}

ContentOutcome Fat64Class::writeContent(EntryRef ref, ContentSink& out) {
    if (!isSaveFile(ref)) return ContentOutcome::failed("not a file of this volume");
    const EntrySet set = exfatEntries[ref].set;
    const std::uint64_t length = set.dataLength;
    if (length == 0) return ContentOutcome::written();
    // Bytes past the valid data length were never written: zeros.
    const std::uint64_t valid = std::min(set.validDataLength, length);
    std::vector<std::uint32_t> clusters;
    if (set.noFatChain() || set.inUse) clusters = clustersOf(set.firstCluster, length, set.noFatChain());
    else clusters = freeClustersFrom(set.firstCluster, length);
    if (!set.inUse && clusterInUse(set.firstCluster))
        out.damaged(0, 0, "overwritten: its first cluster now belongs to a live file or folder");
    const std::uint64_t cs = boot->clusterBytes();
    std::vector<std::uint8_t> buffer;
    std::vector<ByteRange> unreadable;
    for (std::size_t i = 0; i < clusters.size() && out.size() < valid;) {
        // Clusters in a row are read together, up to a bounded piece.
        std::size_t run = 1;
        while (i + run < clusters.size() && clusters[i + run] == clusters[i] + run && (run + 1) * cs <= kCopyChunk) ++run;
        const std::uint64_t piece = std::min<std::uint64_t>(run * cs, valid - out.size());
        buffer.assign(static_cast<std::size_t>(piece), 0);
        unreadable.clear();
        if (window.readAt(clusterOffset(clusters[i]), buffer, &unreadable) != piece)
            out.unreadable(out.size(), unreadable);
        if (!out.write(buffer)) return ContentOutcome::written();
        i += run;
    }
    const std::uint64_t held = std::min<std::uint64_t>(clusters.size() * cs, length);
    if (out.size() < valid) {
        out.endsEarly(length, set.inUse ? "the cluster chain ends early" : "clusters outside the volume");
        return ContentOutcome::written();
    }
    if (held > out.size() && !out.skip(held - out.size())) return ContentOutcome::written();
    if (held < length) out.endsEarly(length, "the cluster chain ends early");
    return ContentOutcome::written();
}

}  // namespace vantor
