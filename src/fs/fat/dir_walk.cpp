// The directory walk: the root, then every folder reached from it, deleted
// entries included. Each folder cluster is read once: a cluster already
// walked (a loop in a chain, two entries sharing a folder) is not read again.
#include <algorithm>

#include "fs/fat/FatVolume.h"

namespace vantor::fat {
namespace {

// A hostile volume can nest folders as deep as it has clusters; real paths
// stay far below this.
constexpr int kMaxDepth = 256;
// Entries kept per volume; each costs about a hundred bytes. A small volume
// holds fewer: one per 32-byte slot it has room for.
constexpr std::size_t kMaxEntries = 4'000'000;
constexpr std::uint64_t kSlotBytes = 32;
// A FAT folder holds at most 65536 slots: 2 MiB, whatever its chain claims.
constexpr std::uint64_t kMaxFolderBytes = 2 * 1024 * 1024;

}  // namespace


std::uint32_t FatVolume::slotCluster(const DirSlot& slot) const {
    // FAT16 keeps other data (OS/2 extended attributes) in the high word.
    return fatVersion == FatVersion::fat32 ? slot.firstCluster() : slot.clusterLow;
}

std::uint64_t FatVolume::clusterOffset(std::uint32_t cluster) const {
    return dataOffset + std::uint64_t{cluster - 2} * clusterSize;
}

bool FatVolume::readCluster(std::uint32_t cluster, std::vector<std::uint8_t>& buffer) {
    buffer.assign(clusterSize, 0);
    std::vector<ByteRange> unreadable;
    const bool any = window.readAt(clusterOffset(cluster), buffer, &unreadable) > 0;
    for (const ByteRange& r : unreadable) unreadableFolderBytes += r.length;
    return any;
}

void FatVolume::appendRootEntry() {
    FatEntry root;
    root.name = "DUMMY ENTRY";
    root.attributes = attr::directory;
    root.folder = true;
    fatEntries.push_back(std::move(root));
}

void FatVolume::fillFromSlot(FatEntry& e, const DirSlot& slot) const {
    e.attributes = slot.attributes;
    e.creationTenths = slot.creationTenths;
    e.creationTime = slot.creationTime;
    e.creationDate = slot.creationDate;
    e.accessDate = slot.accessDate;
    e.firstCluster = slotCluster(slot);
    e.writeTime = slot.writeTime;
    e.writeDate = slot.writeDate;
    e.size = slot.size;
    e.folder = isFolderAttribute(slot.attributes);
}

bool FatVolume::isAncestorOrSelf(std::uint32_t candidate, std::uint32_t entry) const {
    // Parent links never form a loop (a move that would is refused here);
    // the step bound only guards that promise.
    std::uint32_t i = entry;
    for (std::size_t steps = 0; i < fatEntries.size() && steps <= fatEntries.size(); ++steps) {
        if (i == candidate) return true;
        if (i == fatEntries[i].parent) break;
        i = fatEntries[i].parent;
    }
    return false;
}

std::uint32_t FatVolume::addEntry(const DirSlot& slot, std::string name, bool deleted, std::uint32_t parent,
                                  std::uint64_t position) {
    FatEntry e;
    fillFromSlot(e, slot);
    e.deleted = deleted;
    e.name = std::move(name);
    e.parent = parent;
    e.ownIndex = static_cast<std::uint32_t>(fatEntries.size());
    e.position = position;
    fatEntries.push_back(std::move(e));
    return fatEntries.back().ownIndex;
}

std::uint32_t FatVolume::addFolderOnce(const DirSlot& slot, std::string name, bool deleted, std::uint32_t parent,
                                       std::uint64_t position, bool& isNew) {
    const std::uint32_t cluster = slotCluster(slot);
    if (table.inRange(cluster)) {
        if (auto known = clusterIndex.find(cluster); known != clusterIndex.end()) {
            // Two entries share one folder: one entry stands for both, and the
            // folder's content goes to it once. The later name wins, except
            // that a deleted entry never renames a live folder (its cluster
            // was reused by the live one).
            FatEntry& existing = fatEntries[known->second];
            if (existing.standsIn && !isAncestorOrSelf(known->second, parent)) {
                // The folder was reached before its own entry (the sweep
                // found its cluster first): the entry now gives its name,
                // times and place.
                fillFromSlot(existing, slot);
                existing.name = std::move(name);
                existing.deleted = deleted;
                existing.parent = parent;
                existing.position = position;
                existing.standsIn = false;
                isNew = false;
                return known->second;
            }
            if (known->second != kRootIndex && (!deleted || existing.deleted)) {
                existing.name = std::move(name);
                existing.deleted = deleted;
            }
            isNew = false;
            return known->second;
        }
    }
    const std::uint32_t index = addEntry(slot, std::move(name), deleted, parent, position);
    isNew = table.inRange(cluster);
    if (isNew) clusterIndex.emplace(cluster, index);
    return index;
}

FatVolume::SlotsEnd FatVolume::walkSlots(Bytes slots, std::uint64_t position, SlotWalk& walk) {
    for (std::size_t off = 0; off + kSlotSize <= slots.size(); off += kSlotSize) {
        const Bytes s = slots.subspan(off, kSlotSize);
        const std::uint8_t b0 = s[0];
        const std::uint8_t a = s[0x0B];
        const bool first = walk.firstSlot;
        walk.firstSlot = false;
        if (b0 == 0) {
            // The end mark. The root is read on to its end for entries left
            // behind it; a folder stops here.
            if (walk.isRoot) {
                walk.group.clear();
                continue;
            }
            return SlotsEnd::folderEnded;
        }
        if (first && walk.checkDot && b0 != '.') return SlotsEnd::folderEnded;
        if (isLongNameAttribute(a)) {
            // A live piece flagged "last" (0x40) starts a new name; pieces of
            // an earlier, unfinished name are dropped.
            if (b0 != kDeletedMark && (b0 & 0x40)) walk.group.clear();
            walk.group.add(s);
            continue;
        }
        if (b0 == '.' || isVolumeLabelAttribute(a)) {
            walk.group.clear();
            continue;
        }
        if (fatEntries.size() >= std::min<std::uint64_t>(kMaxEntries, window.reach() / kSlotBytes))
            return SlotsEnd::folderEnded;
        const DirSlot d = decodeSlot(s);
        const bool deleted = b0 == kDeletedMark;
        // A long name belongs to this entry when both were deleted together
        // or, for a live entry, when its checksum names this short name.
        std::string name;
        if (!walk.group.empty() && walk.group.deleted() == deleted &&
            (deleted || walk.group.checksum() == shortNameChecksum(d.name)))
            name = walk.group.name();
        if (name.empty()) name = formatShortName(d.name, d.caseFlags);
        walk.group.clear();
        const std::uint64_t at = position + off;
        if (isFolderAttribute(a)) {
            bool isNew = false;
            const std::uint32_t index = addFolderOnce(d, std::move(name), deleted, walk.parent, at, isNew);
            if (isNew) walk.folders.push_back({index, slotCluster(d), deleted});
        } else {
            addEntry(d, std::move(name), deleted, walk.parent, at);
        }
    }
    return SlotsEnd::more;
}

void FatVolume::walkClusterChain(std::uint32_t parentIndex, std::uint32_t first, bool followChain, bool isRoot,
                                 int depth) {
    if (depth > kMaxDepth || walkStopped) return;
    SlotWalk walk;
    walk.parent = parentIndex;
    walk.isRoot = isRoot;
    walk.checkDot = !isRoot;
    std::vector<std::uint8_t> buffer;
    const std::uint64_t maxClusters = std::max<std::uint64_t>(1, kMaxFolderBytes / std::max<std::uint64_t>(clusterSize, 1));
    std::uint32_t cluster = first;
    bool guessing = false;  // the chain's FAT sector failed: clusters taken in a row
    for (std::uint64_t n = 0; n < maxClusters; ++n) {
        if (control.pollAndTake()) {
            walkStopped = true;
            break;
        }
        if (!table.inRange(cluster) || walkedClusters.count(cluster)) break;
        readCluster(cluster, buffer);
        // A first cluster without its "." slot belongs to something else
        // now; it is not claimed as this folder's, so its slots stay free
        // for the sweep to place.
        if (n == 0 && walk.checkDot && !buffer.empty() && buffer[0] != '.') break;
        // A guessed cluster that starts another folder ends this one.
        if (guessing && !buffer.empty() && buffer[0] == '.') break;
        walkedClusters.insert(cluster);
        if (walkSlots(buffer, clusterOffset(cluster), walk) == SlotsEnd::folderEnded) break;
        if (!followChain) break;
        // On a formatted drive the FAT no longer knows the old folders'
        // chains: their clusters are taken in a row. The root's chain is
        // the format's own and is still followed.
        if (ctx.state.isDriveFormatted && !isRoot) {
            ++cluster;
            continue;
        }
        const auto next = table.next(cluster);
        if (!next && table.unreadable(cluster)) {
            if (!guessing) ++guessedFolderChains;
            guessing = true;
            ++cluster;
            continue;
        }
        if (!next) break;
        cluster = *next;
    }
    for (const auto& f : walk.folders) {
        if (walkStopped) break;
        // A deleted folder's FAT entries are free: only its first cluster is known.
        walkClusterChain(f.index, f.cluster, !f.deleted, false, depth + 1);
    }
}

void FatVolume::walkFolder(std::uint32_t folderIndex, std::uint32_t cluster, bool deletedFolder, int depth) {
    walkClusterChain(folderIndex, cluster, !deletedFolder, false, depth);
}

void FatVolume::walkRoot() {
    fatEntries.clear();
    clusterIndex.clear();
    walkedClusters.clear();
    walkStopped = false;
    appendRootEntry();
    if (!geometry) return;
    if (fatVersion == FatVersion::fat32) {
        // The root is a cluster chain like any folder, starting where the
        // boot sector says (not necessarily cluster 2).
        clusterIndex.emplace(geometry->rootCluster, kRootIndex);
        walkClusterChain(kRootIndex, geometry->rootCluster, true, true, 0);
        return;
    }
    SlotWalk walk;
    walk.parent = kRootIndex;
    walk.isRoot = true;
    walkSlots(rootDirectory, geometry->rootStart, walk);
    for (const auto& f : walk.folders) {
        if (walkStopped) break;
        walkFolder(f.index, f.cluster, f.deleted, 1);
    }
}

}  // namespace vantor::fat
