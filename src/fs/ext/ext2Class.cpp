// The ext reader's life cycle and its answers to the results contract.
#include "fs/ext/ext2Class.h"

#include <algorithm>

#include <cstdio>

#include "core/text.h"

namespace vantor {

using namespace ext;

std::string ext2Class::printed(const char* format, long long a, long long b) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

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
    if (!readGroupDescriptors()) {
        warnScan("the group descriptors could not be read");
        return ScanOutcome::failed;
    }
    // A superblock that passed every check but whose tables hold no root
    // folder describes some other volume, or none: say so rather than show
    // an empty volume as if it were one.
    if (readInodeTables()) {
        if (!std::binary_search(directories.begin(), directories.end(), kRootInode))
            warnScan("the root folder (inode 2) is not in the inode tables");
        if (inodes.empty()) return ScanOutcome::failed;
    }
    walkDirectories();
    buildEntryMap();
    linkParentsAndChildren();
    // The session fills the tree from the contract; the status line still says so.
    progress.setStatus("filling root entries in  tree....");
    return ScanOutcome::done;
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
    const InodeInfo* info = findInfo(e.ino);
    // A name whose inode could not be read still shows: its file is there, only
    // its size, times and content are out of reach.
    if (!info && ref != 0) item.warnings.emplace_back("its inode could not be read");
    if (info) {
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
