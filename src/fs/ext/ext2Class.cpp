// The ext reader's life cycle and its answers to the results contract.
#include "fs/ext/ext2Class.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"
#include "fs/ext/directory.h"

namespace vantor {

using namespace ext;

namespace {

// Inode tables are read in pieces of at most this size.
constexpr std::size_t kChunk = std::size_t{1} << 20;
// The superblock search reads this much at a time and tests every sector in it.
constexpr std::size_t kSearchWindow = 64 * 1024;
// No volume this reader can list has more groups than this.
constexpr std::uint64_t kMaxGroups = std::uint64_t{1} << 24;
// Names beyond this many are not recorded (a damaged volume could repeat a
// directory block endlessly).
constexpr std::size_t kMaxNames = std::size_t{1} << 26;

std::string printed(const char* format, long long a, long long b) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

ext2Class::ext2Class(const ReaderContext& context)
    : window(context.window()),
      volume(context.volume),
      state(context.state),
      progress(context.progress),
      messages(context.messages) {}

ScanOutcome ext2Class::scan(ScanMode mode) {
    if (mode != ScanMode::standard) return ScanOutcome::unsupported;
    if (!attachVolume()) return ScanOutcome::failed;
    if (!findSuperblock()) {
        messages.inform("Selected Drive is not in ext Format");
        return ScanOutcome::wrongKind;
    }
    if (!readGroupDescriptors()) return ScanOutcome::failed;
    readInodeTables();
    walkDirectories();
    buildEntryMap();
    linkParentsAndChildren();
    fillRootLevel();
    return ScanOutcome::done;
}

bool ext2Class::attachVolume() {
    // A custom volume of size 0 (or a list without sizes) runs to the end of the source.
    return volume.startSector >= 0 && window.length() > 0;
}

bool ext2Class::findSuperblock() {
    const std::uint64_t volumeSize = window.length();
    if (volumeSize <= 1536) return false;
    // Byte 1024 first, then every following sector: a volume whose start
    // sector is off by whole sectors, or whose primary superblock is gone
    // (a backup copy in a later group then serves), is still found.
    std::vector<std::uint8_t> search(kSearchWindow + kSuperblockSize);
    for (std::uint64_t start = kSuperblockSize; start + 512 < volumeSize; start += kSearchWindow) {
        // A stop ends the search, but not before the usual places were tried.
        if (start != kSuperblockSize && control.pollAndTake()) return false;
        window.readAt(start, search);
        for (std::size_t k = 0; k < kSearchWindow; k += 512) {
            const std::uint64_t at = start + k;
            if (at + 512 >= volumeSize) break;
            const Superblock candidate = decodeSuperblock(Bytes(search).subspan(k, kSuperblockSize));
            if (!candidate.accepted()) continue;
            sb = candidate;
            foundSuperblockAt = at;
            blockSize = sb.blockSize();
            inodeSize = sb.inodeSize();
            // Where this copy belongs in its volume: the primary 1024 bytes in,
            // a backup at the start of its group. A copy found later than that
            // means the volume starts later than we were told; move the base.
            std::uint64_t expected = kSuperblockSize;
            if (sb.revLevel != 0 && sb.blockGroupNr != 0) {
                expected = (std::uint64_t{sb.blockGroupNr} * sb.blocksPerGroup + sb.firstDataBlock) * blockSize;
            }
            std::uint64_t volumeRelative = at;
            if (at >= expected) {
                window.moveStart(window.start() + at - expected);
                volumeRelative = expected;
            }
            descriptorTableAt = (volumeRelative / blockSize + 1) * blockSize;
            // Block numbers are 48 bits wide at most; a larger count is damage,
            // and capping it keeps every block-to-byte product in range.
            // Nor can the volume hold more blocks than the source has bytes:
            // a forged count would otherwise drive every walk below.
            std::uint64_t blockLimit = std::min(sb.blocksCount, std::uint64_t{1} << 48);
            blockLimit = std::min(blockLimit, window.reach() / blockSize + 1);
            blocks.emplace(window, blockSize, blockLimit);
            return true;
        }
    }
    return false;
}

bool ext2Class::readGroupDescriptors() {
    if (!blocks) return false;
    std::uint64_t count = std::min(sb.groupCount(), kMaxGroups);
    // Every group has its share of inodes; more groups than the inode count
    // allows can only come from a damaged block count.
    const std::uint64_t byInodes = (std::uint64_t{sb.inodesCount} + sb.inodesPerGroup - 1) / sb.inodesPerGroup;
    count = std::min(count, byInodes);
    if (count == 0) return false;
    const std::uint32_t descSize = sb.descriptorSize();
    const std::uint64_t perBlock = blockSize / descSize;
    const std::uint64_t firstBlock = descriptorTableAt / blockSize;
    std::vector<std::uint8_t> table(blockSize);
    groups.clear();
    groups.reserve(count);
    for (std::uint64_t g = 0; g < count; ++g) {
        if (g % perBlock == 0) {
            const bool ok = blocks->read(sb.descriptorBlock(g / perBlock, firstBlock), table);
            if (!ok && g == 0) return false;
        }
        const GroupDescriptor d = decodeGroupDescriptor(Bytes(table).subspan((g % perBlock) * descSize, descSize), descSize);
        GroupInfo info{d.inodeTable, sb.inodesPerGroup};
        if (sb.groupHintsTrusted()) {
            if (d.flags & kGroupInodeUninit) {
                info.usedSlots = 0;
            } else {
                info.usedSlots -= std::min(d.itableUnused, sb.inodesPerGroup);
            }
        }
        // No group holds more than what is left of the inode count: a forged
        // inodes-per-group must not make us read slots that number no inode.
        const std::uint64_t inodesLeft = sb.inodesCount - std::min<std::uint64_t>(sb.inodesCount, g * sb.inodesPerGroup);
        info.usedSlots = static_cast<std::uint32_t>(std::min<std::uint64_t>(info.usedSlots, inodesLeft));
        groups.push_back(info);
    }
    return true;
}

ext2Class::InodeInfo ext2Class::infoOf(std::uint32_t ino, const Inode& inode) {
    InodeInfo info;
    info.ino = ino;
    info.mode = inode.mode;
    info.size = inode.size;
    info.atime = inode.atime;
    info.ctime = inode.ctime;
    info.mtime = inode.mtime;
    if (inode.atimeExtra) info.extras |= 1, info.atimeExtra = *inode.atimeExtra;
    if (inode.ctimeExtra) info.extras |= 2, info.ctimeExtra = *inode.ctimeExtra;
    if (inode.mtimeExtra) info.extras |= 4, info.mtimeExtra = *inode.mtimeExtra;
    return info;
}

void ext2Class::readInodeTables() {
    const std::int64_t groupTotal = static_cast<std::int64_t>(groups.size());
    progress.setRange(0, groupTotal);
    const bool largeDirs = (sb.featureIncompat & kIncompatLargeDir) != 0;
    const std::size_t perChunk = std::max<std::size_t>(1, kChunk / inodeSize);
    std::vector<std::uint8_t> chunk(perChunk * inodeSize);
    std::vector<ByteRange> unreadable;
    std::uint64_t lostInodes = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (control.pollAndTake()) break;
        progress.setStatus(printed("parsing group %lld  of %lld ", static_cast<long long>(g + 1), groupTotal));
        progress.setPosition(static_cast<std::int64_t>(g + 1));
        const GroupInfo& group = groups[g];
        if (group.inodeTable == 0 || !blocks->contains(group.inodeTable)) continue;
        for (std::uint32_t first = 0; first < group.usedSlots; first += static_cast<std::uint32_t>(perChunk)) {
            if (control.stopRequested.requested()) break;  // taken at the next group
            const std::uint32_t slots = static_cast<std::uint32_t>(std::min<std::uint64_t>(perChunk, group.usedSlots - first));
            const std::uint64_t offset = group.inodeTable * blockSize + std::uint64_t{first} * inodeSize;
            const std::uint64_t endBlock = blocksFor(offset + std::uint64_t{slots} * inodeSize, blockSize);
            if (!blocks->contains(group.inodeTable, endBlock - group.inodeTable)) break;
            const std::span<std::uint8_t> piece(chunk.data(), std::size_t{slots} * inodeSize);
            unreadable.clear();
            if (window.readAt(offset, piece, &unreadable) != piece.size()) {
                std::uint64_t lost = 0;
                for (const ByteRange& r : unreadable) lost += r.length;
                if (lost) lostInodes += blocksFor(lost, inodeSize);
            }
            for (std::uint32_t i = 0; i < slots; ++i) {
                const std::uint64_t ino = g * std::uint64_t{sb.inodesPerGroup} + first + i + 1;
                if (ino > sb.inodesCount) break;
                const Inode inode = decodeInode(Bytes(piece).subspan(std::size_t{i} * inodeSize, inodeSize), largeDirs);
                if (inode.mode == 0) continue;  // never used, or cleared: nothing to show of it
                inodes.push_back(infoOf(static_cast<std::uint32_t>(ino), inode));
                // Deleted directories keep stale entries that would name live inodes.
                if (inode.isDirectory() && inode.linksCount > 0 && inode.dtime == 0) {
                    directories.push_back(static_cast<std::uint32_t>(ino));
                }
            }
        }
    }
    if (lostInodes)
        warnScan("unreadable sectors in the inode tables: up to " + std::to_string(lostInodes) + " inodes lost");
}

std::optional<Inode> ext2Class::readInode(std::uint32_t ino) {
    if (ino == 0 || ino > sb.inodesCount || !blocks) return std::nullopt;
    const std::uint64_t group = (ino - 1) / sb.inodesPerGroup;
    const std::uint64_t slot = (ino - 1) % sb.inodesPerGroup;
    if (group >= groups.size() || groups[group].inodeTable == 0 || !blocks->contains(groups[group].inodeTable)) {
        return std::nullopt;
    }
    const std::uint64_t offset = groups[group].inodeTable * blockSize + slot * inodeSize;
    if (!blocks->contains(offset / blockSize)) return std::nullopt;
    inodeBuffer.assign(inodeSize, 0);
    ++inodeReads;
    if (!window.readAll(offset, inodeBuffer)) return std::nullopt;
    return decodeInode(inodeBuffer, (sb.featureIncompat & kIncompatLargeDir) != 0);
}

void ext2Class::recordName(std::uint32_t dir, std::uint32_t ino, std::string_view name, std::uint8_t fileType) {
    if (name == "." || name == "..") return;
    if (entries.size() >= kMaxNames || namePool.size() + name.size() > UINT32_MAX) return;
    NameEntry e;
    e.ino = ino;
    e.parentDir = dir;
    e.nameOffset = static_cast<std::uint32_t>(namePool.size());
    e.nameLength = static_cast<std::uint32_t>(name.size());
    e.fileType = fileType;
    namePool.append(name);
    entries.push_back(e);
}

void ext2Class::walkOneDirectory(std::uint32_t dir) {
    const std::optional<Inode> inode = readInode(dir);
    if (!inode || !inode->isDirectory()) return;
    const bool typed = sb.hasDirEntryType();
    const auto found = [&](const DirEntry& e) { recordName(dir, e.inode, e.name, e.fileType); };
    if (inode->hasInlineData()) {
        // The first four bytes name the parent; entries follow, and continue
        // in the "system.data" attribute when they outgrow the inode.
        const Bytes tail = inlineDataTail(*inode);
        const std::vector<std::uint8_t> extra(tail.begin(), tail.end());
        if (inode->blockArea.size() > 4) parseDirectoryBlock(inode->blockArea.subspan(4), typed, sb.inodesCount, found);
        if (!extra.empty()) parseDirectoryBlock(extra, typed, sb.inodesCount, found);
        return;
    }
    // A directory is never larger than its volume, nor are all of them
    // together: a damaged size or map cannot make the walk read more.
    const std::uint64_t limit = std::min(blocksFor(inode->size, blockSize), blocks->blockCount);
    const BlockList list = buildBlockList(*inode, *blocks, limit);
    dataBuffer.resize(blockSize);
    for (const BlockRun& run : list.runs) {
        if (run.zeroed) continue;
        for (std::uint64_t i = 0; i < run.count; ++i) {
            if (directoryBlocksRead >= blocks->blockCount) return;
            ++directoryBlocksRead;
            if (!blocks->read(run.diskBlock + i, dataBuffer)) continue;
            parseDirectoryBlock(dataBuffer, typed, sb.inodesCount, found);
        }
    }
}

bool ext2Class::walkDirectories() {
    const long long total = sb.inodesCount;
    progress.setRange(0, static_cast<std::int64_t>(directories.size()));
    entries.clear();
    namePool.clear();
    NameEntry root;
    root.ino = kRootInode;
    entries.push_back(root);
    for (std::size_t k = 0; k < directories.size(); ++k) {
        if (control.pollAndTake()) break;
        if (k % 64 == 0) {
            progress.setStatus(printed("parsing inode entry %lld  of %lld ", directories[k], total));
            progress.setPosition(static_cast<std::int64_t>(k + 1));
        }
        walkOneDirectory(directories[k]);
    }
    progress.setStatus(printed("parsed inode entry %lld  of %lld ", total, total));
    progress.setPosition(static_cast<std::int64_t>(directories.size()));
    return !inodes.empty();
}

bool ext2Class::buildEntryMap() {
    progress.setStatus("clearing vector....");
    // Keep only the inodes some entry names, and fetch those the table pass
    // skipped (a name may point at a cleared inode).
    std::vector<std::uint32_t> named;
    named.reserve(entries.size());
    for (const NameEntry& e : entries) named.push_back(e.ino);
    std::sort(named.begin(), named.end());
    named.erase(std::unique(named.begin(), named.end()), named.end());
    // The inodes kept are an ascending subset of those read: compact them in
    // place, and merge in the few fetched one by one.
    std::vector<InodeInfo> fetched;
    std::size_t at = 0, kept = 0;
    for (std::uint32_t ino : named) {
        while (at < inodes.size() && inodes[at].ino < ino) ++at;
        if (at < inodes.size() && inodes[at].ino == ino) {
            inodes[kept++] = inodes[at];
        } else if (const std::optional<Inode> inode = readInode(ino)) {
            fetched.push_back(infoOf(ino, *inode));
        }
    }
    inodes.resize(kept);
    if (!fetched.empty()) {
        inodes.insert(inodes.end(), fetched.begin(), fetched.end());
        const auto byIno = [](const InodeInfo& a, const InodeInfo& b) { return a.ino < b.ino; };
        std::sort(inodes.begin() + static_cast<std::ptrdiff_t>(kept), inodes.end(), byIno);
        std::inplace_merge(inodes.begin(), inodes.begin() + static_cast<std::ptrdiff_t>(kept), inodes.end(), byIno);
    }
    inodes.shrink_to_fit();
    std::vector<std::uint32_t>().swap(directories);
    return true;
}

const ext2Class::InodeInfo* ext2Class::findInfo(std::uint32_t ino) const {
    const auto it = std::lower_bound(inodes.begin(), inodes.end(), ino,
                                     [](const InodeInfo& a, std::uint32_t v) { return a.ino < v; });
    return it != inodes.end() && it->ino == ino ? &*it : nullptr;
}

std::uint16_t ext2Class::typeOf(const NameEntry& e) const {
    // The entry's own type, where the volume keeps one, says what it is;
    // otherwise the inode's mode does.
    if (e.fileType == kDirTypeDirectory) return kTypeDirectory;
    if (e.fileType == kDirTypeRegular) return kTypeRegular;
    const InodeInfo* info = findInfo(e.ino);
    return info ? info->mode & kTypeMask : 0;
}

bool ext2Class::linkParentsAndChildren() {
    progress.setStatus("Maintaining Parent Child....");
    const std::int64_t total = static_cast<std::int64_t>(entries.size());
    progress.setRange(0, total);
    // Each directory hangs under one name: the first found. Later names of a
    // directory (only damage makes them) and names of the root would let the
    // tree loop, so they are left out.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> folderOf;  // directory inode, entry
    folderOf.emplace_back(kRootInode, 0);
    for (std::uint32_t pos = 1; pos < entries.size(); ++pos) {
        if (entries[pos].ino != kRootInode && typeOf(entries[pos]) == kTypeDirectory) {
            folderOf.emplace_back(entries[pos].ino, pos);
        }
    }
    std::stable_sort(folderOf.begin(), folderOf.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    folderOf.erase(std::unique(folderOf.begin(), folderOf.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   folderOf.end());
    const auto folderEntry = [&](std::uint32_t ino) -> std::optional<std::uint32_t> {
        const auto it = std::lower_bound(folderOf.begin(), folderOf.end(), ino,
                                         [](const auto& a, std::uint32_t v) { return a.first < v; });
        if (it == folderOf.end() || it->first != ino) return std::nullopt;
        return it->second;
    };

    // Children are chained in descending inode order: link in ascending order,
    // each new child in front.
    std::vector<std::uint32_t> order(entries.size() - 1);
    for (std::uint32_t pos = 1; pos < entries.size(); ++pos) order[pos - 1] = pos;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return entries[a].ino < entries[b].ino; });
    for (std::size_t n = 0; n < order.size(); ++n) {
        if (control.pollAndTake()) break;
        if (n % 4096 == 0) {
            progress.setStatus(printed("Maintaining Parent Child for record %lld of %lld....",
                                       static_cast<long long>(n), total));
            progress.setPosition(static_cast<std::int64_t>(n + 1));
        }
        const std::uint32_t pos = order[n];
        NameEntry& e = entries[pos];
        const std::uint16_t type = typeOf(e);
        // Devices, links, pipes and sockets have no content to save and are not shown.
        if (type != kTypeDirectory && type != kTypeRegular) continue;
        if (type == kTypeDirectory && folderEntry(e.ino) != pos) continue;
        const std::optional<std::uint32_t> parent = folderEntry(e.parentDir);
        if (!parent) continue;
        e.nextSibling = entries[*parent].firstChild;
        entries[*parent].firstChild = static_cast<std::int32_t>(pos);
    }
    return true;
}

void ext2Class::fillRootLevel() {
    // The results tree is filled from rootEntry() by the session; only the
    // status is ours to tell.
    progress.setStatus("filling root entries in  tree....");
}

std::optional<EntryRef> ext2Class::rootEntry() const {
    if (entries.empty()) return std::nullopt;
    return EntryRef{0};
}

std::optional<EntryRef> ext2Class::firstChild(EntryRef folder) const {
    if (!validRef(folder) || entries[folder].firstChild < 0) return std::nullopt;
    return static_cast<EntryRef>(entries[folder].firstChild);
}

std::optional<EntryRef> ext2Class::nextSibling(EntryRef entry) const {
    if (!validRef(entry) || entries[entry].nextSibling < 0) return std::nullopt;
    return static_cast<EntryRef>(entries[entry].nextSibling);
}

std::string_view ext2Class::nameOf(const NameEntry& e) const {
    return std::string_view(namePool).substr(e.nameOffset, e.nameLength);
}

RecoveredItem ext2Class::describe(EntryRef ref) const {
    RecoveredItem item;
    if (!validRef(ref)) return item;
    const NameEntry& e = entries[ref];
    item.id = e.ino;
    item.name = ref == 0 ? state.rootLabel : bytesToUtf8(nameOf(e));
    item.isFolder = ref == 0 || typeOf(e) == kTypeDirectory;
    item.hasChildren = e.firstChild >= 0;
    if (const InodeInfo* info = findInfo(e.ino)) {
        if (ref != 0) item.size = info->size;
        const auto extra = [&](int bit, std::uint32_t value) {
            return (info->extras & bit) ? std::optional<std::uint32_t>(value) : std::nullopt;
        };
        item.creation = inodeTime(info->ctime, extra(2, info->ctimeExtra));
        item.access = inodeTime(info->atime, extra(1, info->atimeExtra));
        item.modification = inodeTime(info->mtime, extra(4, info->mtimeExtra));
        item.attributes = info->mode & 0777;
        item.attributeKind = AttributeKind::unixMode;
    }
    return item;
}

bool ext2Class::isSaveFolder(EntryRef ref) const {
    return validRef(ref) && (ref == 0 || typeOf(entries[ref]) == kTypeDirectory);
}

bool ext2Class::isSaveFile(EntryRef ref) const {
    return validRef(ref) && ref != 0 && typeOf(entries[ref]) == kTypeRegular;
}

TreeTraits ext2Class::treeTraits() const {
    TreeTraits traits;
    traits.redOnLabelClick = false;
    return traits;
}

}  // namespace vantor
