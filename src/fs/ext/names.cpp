// Names and links: every live directory walked, each name recorded once per
// directory entry, and the entries chained under the folders they were found in.
#include "fs/ext/ext2Class.h"

#include <algorithm>

#include "fs/ext/directory.h"

namespace vantor {

using namespace ext;

namespace {

// The smallest directory entry: an 8-byte header and a name of 1 to 4
// bytes. A volume holds at most its size in these, whatever its folders
// claim (a damaged volume could repeat a directory block endlessly).
constexpr std::uint64_t kSmallestEntry = 12;

}  // namespace

void ext2Class::recordName(std::uint32_t dir, std::uint32_t ino, std::string_view name, std::uint8_t fileType) {
    // A folder's own "." and its ".." (a folder) are links, not entries. A
    // name spelled so that points anywhere else is an entry of its own,
    // which the save gives a name a folder can hold.
    if (name == "." && ino == dir) return;
    if (name == ".." && (fileType == kDirTypeDirectory || !sb.hasDirEntryType())) return;
    if (entries.size() >= window.reach() / kSmallestEntry || namePool.size() + name.size() > UINT32_MAX) return;
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
    std::uint64_t namesWithoutInode = 0;
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
        // A name whose inode is not in use: the tables or the folder are damaged.
        if (type == 0) ++namesWithoutInode;
        // Devices, links, pipes and sockets have no content to save and are not shown.
        if (type != kTypeDirectory && type != kTypeRegular) continue;
        if (type == kTypeDirectory && folderEntry(e.ino) != pos) continue;
        const std::optional<std::uint32_t> parent = folderEntry(e.parentDir);
        if (!parent) continue;
        e.nextSibling = entries[*parent].firstChild;
        entries[*parent].firstChild = static_cast<std::int32_t>(pos);
    }
    if (namesWithoutInode)
        warnScan(std::to_string(namesWithoutInode) + " names in folders point to inodes not in use; "
                 "the inode tables may be damaged and their files missing");
    return true;
}

}  // namespace vantor
