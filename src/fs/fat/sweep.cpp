// The advanced mode: the boot sector is gone or was rewritten by a format, so
// the geometry comes from the user's picks, the volume is swept for slots
// that look like directory entries (swept_slots.cpp says which), and a tree
// is rebuilt from them.
#include "fs/fat/sweep.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <set>

#include "fs/fat/FatVolume.h"

namespace vantor::fat {

// Slots kept by one sweep (8 bytes each): a volume full of slot-like bytes
// must not grow the lists without end. Far more than any real volume holds.
constexpr std::size_t kMaxSweptSlots = 16'000'000;
bool FatVolume::advancedSetup(std::int64_t fatSector, std::uint32_t sectorsPerCluster) {
    if (sectorsPerCluster == 0 || sectorsPerCluster > 128 || fatSector < 0) return false;
    advanced = true;
    geometry.reset();
    clusterSize = std::uint64_t{sectorsPerCluster} * kSectorSize;
    fatOffset = static_cast<std::uint64_t>(fatSector) * kSectorSize;
    const std::uint64_t total = volumeSize / clusterSize;
    const std::uint64_t limit = fatVersion == FatVersion::fat32 ? 0x0FFFFFF5 : 65524;
    clusterCount = static_cast<std::uint32_t>(std::min(total, limit));
    table.attach(&window, fatOffset, clusterCount, fatVersion);
    dataOffset = 0;
    fatEntries.clear();
    return true;
}

void FatVolume::sweepForEntries() {
    swept.clear();
    dotSlots.clear();
    rootMarker.reset();
    const bool fat32 = fatVersion == FatVersion::fat32;
    const std::int64_t range = fat32 ? 1000 : 100000;
    ctx.progress.setRange(0, range);
    if (clusterSize == 0 || volumeSize == 0) return;
    // Whole clusters per read, about 256 KiB at a time: small enough that
    // the bytes are still in the processor's cache when the slots are tested.
    const std::uint64_t chunk = std::max<std::uint64_t>(1, (256u << 10) / clusterSize) * clusterSize;
    // The attribute bytes any test below can accept; most of a volume is
    // file data, and this one lookup settles nearly all of its slots.
    std::array<bool, 256> worthTesting{};
    for (int a = 0; a < 256; ++a) {
        const auto b = static_cast<std::uint8_t>(a);
        worthTesting[b] = b == attr::longName || isSweptFolderAttribute(b) || b == 0x20 ||
                          (!fat32 && b == 0x26) || b == attr::volumeLabel;
    }
    std::vector<std::uint8_t> buffer(chunk, 0);
    const std::uint32_t totalClusters = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(volumeSize / clusterSize, 0xFFFFFFFFu));
    char text[96];
    for (std::uint64_t pos = 0; pos < volumeSize; pos += chunk) {
        if (control.pollAndTake()) break;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, volumeSize - pos));
        const std::span<std::uint8_t> part(buffer.data(), n);
        if (!fat32) {
            std::snprintf(text, sizeof text, "currently at sector %lld of %lld", static_cast<long long>(pos / 512),
                          static_cast<long long>(volumeSize / 512));
            ctx.progress.setStatus(text);
        }
        ctx.progress.setPosition(static_cast<std::int64_t>(static_cast<long double>(range) * pos / volumeSize));
        if (window.readAt(pos, part) == 0) continue;  // unreadable: nothing to find there
        const Bytes bytes(part);
        const std::uint8_t* raw = part.data();
        const std::size_t before = swept.size();
        for (std::size_t off = 0; off + kSlotSize <= n; off += kSlotSize) {
            if (!worthTesting[raw[off + 0x0B]] && raw[off] != '.') continue;
            const Bytes s = bytes.subspan(off, kSlotSize);
            if (isDotSlot(s)) {
                const std::uint32_t own = fat32 ? decodeSlot(s).firstCluster() : le16(s, 0x1A);
                if (own >= 2 && dotSlots.size() < kMaxSweptSlots) dotSlots.emplace_back(pos + off, own);
                continue;
            }
            if (!worthTesting[raw[off + 0x0B]]) continue;
            const SweptSlot k = classifySweptSlot(s, fatVersion, totalClusters, rootMarker.has_value());
            if (k.rootMarker) rootMarker = pos + off;
            if (k.kind != SweptKind::none && swept.size() < kMaxSweptSlots) swept.push_back(pos + off);
        }
        if (swept.size() != before) {
            std::snprintf(text, sizeof text, "found file or directory =  %d ", static_cast<int>(swept.size()));
            ctx.progress.setStatus(text);
        }
    }
    ctx.progress.setPosition(range);
}

// The start of the data area (cluster 2). Each folder's "." slot sits at the
// start of the folder's own cluster, so its position less (cluster − 2)
// clusters is the data start; the value most "." slots agree on wins. Without
// folders the root's label or recycle-bin slot marks it, and as a last guess
// the first entry found.
std::uint64_t FatVolume::resolveDataStart() {
    dataStartGuessed = false;
    std::map<std::uint64_t, std::size_t> votes;
    for (const auto& [position, cluster] : dotSlots) {
        const std::uint64_t back = std::uint64_t{cluster - 2} * clusterSize;
        if (position >= back) ++votes[position - back];
    }
    std::uint64_t best = 0;
    std::size_t bestVotes = 0;
    for (const auto& [start, count] : votes)
        if (count > bestVotes) best = start, bestVotes = count;
    const std::uint64_t fixedRoot = fatVersion == FatVersion::fat16 ? kFat16RootBytes : 0;
    if (bestVotes > 0) return best;
    if (rootMarker) return *rootMarker + fixedRoot;
    dataStartGuessed = true;
    if (!swept.empty()) return (swept.front() >= 32 ? swept.front() - 32 : 0) + fixedRoot;
    return fatOffset + fixedRoot;
}

void FatVolume::placeSweptSlot(std::uint64_t position, std::uint32_t parentIndex,
                               std::unordered_set<std::uint64_t>& consumed) {
    // A long name has at most 20 pieces before its short slot.
    std::vector<std::uint8_t> run((kMaxLongNamePieces + 1) * kSlotSize, 0);
    if (window.readAt(position, run) == 0) return;
    SlotWalk walk;
    walk.parent = parentIndex;
    walk.isRoot = true;  // no "." test: a swept slot can sit anywhere in its folder
    std::size_t used = 0;
    const Bytes bytes(run);
    while (used < kMaxLongNamePieces && isLongNameAttribute(bytes[used * kSlotSize + 0x0B])) ++used;
    // The pieces and the short slot they name, taken together.
    const std::size_t slots = used + 1;
    for (std::size_t i = 0; i < slots; ++i) consumed.insert(position + i * kSlotSize);
    const Bytes group = bytes.subspan(0, slots * kSlotSize);
    walkSlots(group, position, walk);
    for (const auto& f : walk.folders) {
        if (walkStopped) break;
        walkFolder(f.index, f.cluster, f.deleted, 1);
    }
}

void FatVolume::buildFromSweep() {
    fatEntries.clear();
    clusterIndex.clear();
    walkedClusters.clear();
    walkStopped = false;
    dataOffset = resolveDataStart();
    appendRootEntry();
    {
        FatEntry orphans;
        orphans.name = "ORPHAN ENTRY";
        orphans.attributes = attr::directory;
        orphans.folder = true;
        orphans.ownIndex = kOrphanIndex;
        fatEntries.push_back(std::move(orphans));
    }
    if (clusterSize == 0) return;
    const bool fat32 = fatVersion == FatVersion::fat32;
    // The root: FAT32's first root cluster, FAT16's fixed area before the data.
    const std::uint64_t rootBegin = fat32 ? dataOffset : (dataOffset >= kFat16RootBytes ? dataOffset - kFat16RootBytes : 0);
    const std::uint64_t rootEnd = fat32 ? dataOffset + clusterSize : dataOffset;
    if (fat32) walkedClusters.insert(2);  // the root's first cluster is never an orphan folder

    auto clusterOf = [&](std::uint64_t position) -> std::optional<std::uint32_t> {
        if (position < dataOffset) return std::nullopt;
        const std::uint64_t c = (position - dataOffset) / clusterSize + 2;
        if (c > 0xFFFFFFFFu) return std::nullopt;
        return static_cast<std::uint32_t>(c);
    };
    // Folders whose first cluster still starts with "." where this geometry
    // puts it.
    std::set<std::uint32_t> folderClusters;
    for (const auto& [position, cluster] : dotSlots)
        if (table.inRange(cluster) && clusterOffset(cluster) == position) folderClusters.insert(cluster);

    std::unordered_set<std::uint64_t> consumed;
    // 1. The root, and through its folders everything below it. Where the
    // data area's start is known the root is read whole, as in a standard
    // walk (entries the sweep's tests pass over, such as read-only files,
    // come back too); otherwise only its swept slots are taken.
    if (!dataStartGuessed && fat32) {
        clusterIndex.emplace(2, kRootIndex);
        walkedClusters.erase(2);
        walkClusterChain(kRootIndex, 2, true, true, 0);
        walkedClusters.insert(2);
    } else if (!dataStartGuessed) {
        std::vector<std::uint8_t> root(static_cast<std::size_t>(rootEnd - rootBegin), 0);
        window.readAt(rootBegin, root);
        SlotWalk walk;
        walk.parent = kRootIndex;
        walk.isRoot = true;
        walkSlots(root, rootBegin, walk);
        for (const auto& f : walk.folders) {
            if (walkStopped) break;
            walkFolder(f.index, f.cluster, f.deleted, 1);
        }
    } else {
        for (std::uint64_t p : swept) {
            if (walkStopped) break;
            if (p < rootBegin || p >= rootEnd || consumed.count(p)) continue;
            placeSweptSlot(p, kRootIndex, consumed);
        }
    }
    // 2. Folders still intact whose own entry was lost (a format rewrote the
    // root): each gets a node under the orphans, named by its cluster and
    // marked deleted, so that an entry for it found later gives its name.
    for (std::uint32_t c : folderClusters) {
        if (walkStopped) break;
        if (walkedClusters.count(c)) continue;
        if (clusterIndex.count(c)) continue;
        DirSlot folder;
        folder.attributes = attr::directory;
        folder.clusterLow = static_cast<std::uint16_t>(c & 0xFFFF);
        folder.clusterHigh = static_cast<std::uint16_t>(c >> 16);
        char name[32];
        std::snprintf(name, sizeof name, "FOLDER_%u", c);
        const std::uint32_t index = addEntry(folder, name, true, kOrphanIndex, clusterOffset(c));
        fatEntries[index].standsIn = true;
        clusterIndex.emplace(c, index);
        walkFolder(index, c, false, 1);
    }
    // 3. Whatever else was found: entries whose folder is unknown.
    for (std::uint64_t p : swept) {
        if (walkStopped) break;
        if (consumed.count(p)) continue;
        if (p >= rootBegin && p < rootEnd) continue;
        if (auto c = clusterOf(p); c && walkedClusters.count(*c)) continue;
        placeSweptSlot(p, kOrphanIndex, consumed);
    }
}

}  // namespace vantor::fat
