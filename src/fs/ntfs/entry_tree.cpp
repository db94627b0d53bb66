// MFT records to named entries, and the entries to a folder tree with an
// orphan node for those whose folder is gone.
#include <cstdio>

#include "fs/ntfs/ntfs.h"

namespace vantor {
using namespace ntfs_layout;

void ntfs::parseEntry(std::int64_t index, std::span<const std::uint8_t> record) {
    if (index < 0 || static_cast<std::uint64_t>(index) >= entryList.size()) return;
    MftEntry& e = entryList[index];
    e.validSignature = hasFileSignature(record);
    if (!e.validSignature) return;
    const RecordHeader header = decodeRecordHeader(record);
    std::optional<FileName> chosen, dosName;
    bool dataSeen = false;
    for (const Attribute& a : attributesOf(record)) {
        switch (a.type) {
        case kStandardInformation:
            if (auto si = decodeStandardInformation(a.value); si && !a.nonResident) {
                e.creation = si->creation;
                e.modification = si->modification;
                e.access = si->access;
                e.hasTimes = true;
            }
            break;
        case kAttributeList:
            e.hasAttributeList = true;
            break;
        case kFileName: {
            if (a.nonResident) break;
            auto fn = decodeFileName(a.value);
            if (!fn) break;
            if (fn->flags & kFileNameIsDirectory) e.kind = 'D';
            if (fn->nameLength == 0xFF || fn->name.empty()) break;
            // A short DOS alias names the entry only when it has no other name.
            if (fn->nameSpace == kDosNameSpace) {
                dosName = std::move(fn);
            } else {
                chosen = std::move(fn);
            }
            break;
        }
        case kData:
            if (a.nameLength != 0 || dataSeen) break;  // named streams are not the file's content
            if (!a.nonResident) {
                e.dataSize = a.value.size();
                e.dataSizeKnown = dataSeen = true;
            } else if (a.startVcn == 0) {
                e.dataSize = a.realSize;
                e.dataSizeKnown = dataSeen = true;
                if (header.baseRecord != 0) extensionSizes.emplace_back(header.baseRecord, a.realSize);
            }
            break;
        default:
            break;
        }
    }
    if (!chosen) chosen = std::move(dosName);
    e.recordFlags = header.flags;
    e.sequence = header.sequence;
    if (!chosen) return;
    if (header.baseRecord != 0) {
        // A base record whose attributes overflowed keeps its names here.
        extensionNames.emplace_back(header.baseRecord, std::move(*chosen));
        return;
    }
    nameFrom(e, std::move(*chosen));
}

// Name and parent come from the same file name, so a hard link never lands
// under the folder of another of its names.
void ntfs::nameFrom(MftEntry& e, FileName&& fn) {
    if (fn.flags & kFileNameIsDirectory) e.kind = 'D';
    e.name = std::move(fn.name);
    e.parent = static_cast<std::int64_t>(fn.parentRecord);
    e.parentSequence = fn.parentSequence;
    e.size = fn.allocatedSize;
    e.nameFlags = fn.flags;
}

void ntfs::applyExtensionRecords() {
    for (const auto& [base, size] : extensionSizes) {
        if (base >= entryList.size()) continue;
        MftEntry& e = entryList[base];
        if (e.hasAttributeList && !e.dataSizeKnown) {
            e.dataSize = size;
            e.dataSizeKnown = true;
        }
    }
    for (auto& [base, fn] : extensionNames) {
        if (base >= entryList.size()) continue;
        MftEntry& e = entryList[base];
        if (!e.validSignature || !e.hasAttributeList || !e.name.empty()) continue;
        nameFrom(e, std::move(fn));
    }
    extensionSizes.clear();
    extensionNames.clear();
}

void ntfs::linkToParent(std::int64_t index) {
    if (index <= 0 || static_cast<std::uint64_t>(index) >= entryList.size()) return;
    MftEntry& e = entryList[index];
    if (e.linked || e.parent < 0 || static_cast<std::uint64_t>(e.parent) >= entryList.size() || e.parent == index) return;
    MftEntry& p = entryList[e.parent];
    if (p.firstChild <= 0) {
        p.firstChild = index;
    } else {
        entryList[p.lastChild].nextSibling = index;
    }
    p.lastChild = index;
    e.nextSibling = 0;
    e.linked = true;
}

// Decides each entry's parent: its folder when that is a named directory
// record, else the orphan node. Parent chains that loop without reaching the
// root (records reused after deletion can do that) are cut at the loop, so
// everything stays reachable.
void ntfs::resolveParents() {
    const std::int64_t n = orphanIndex;
    // The parent's record must still be the folder the name was made in: a
    // record freed and reused for another folder carries a newer sequence
    // number. Freeing a record raises it by one, so a deleted folder may be
    // one ahead of its deleted children; 0 means "not recorded".
    auto sameFolder = [](const MftEntry& child, const MftEntry& parent) {
        if (child.parentSequence == 0 || parent.sequence == 0) return true;
        if (child.parentSequence == parent.sequence) return true;
        const bool parentFreed = (parent.recordFlags & kRecordInUse) == 0;
        const std::uint16_t next = child.parentSequence == 0xFFFF ? 1 : static_cast<std::uint16_t>(child.parentSequence + 1);
        return parentFreed && parent.sequence == next;
    };
    auto parentIsFolder = [&](std::int64_t i) {
        const std::int64_t p = entryList[i].parent;
        return p >= 0 && p < n && p != i && !entryList[p].name.empty() && entryList[p].kind == 'D' &&
               sameFolder(entryList[i], entryList[p]);
    };
    for (std::int64_t i = 0; i < n; ++i) {
        MftEntry& e = entryList[i];
        if (e.name.empty() || i == rootIndex) continue;
        if (!parentIsFolder(i)) {
            e.orphan = true;
            e.parent = orphanIndex;
        }
    }
    // 0 unknown, 1 on the current path, 2 settled.
    std::vector<std::uint8_t> state(static_cast<std::size_t>(n), 0);
    std::vector<std::int64_t> path;
    for (std::int64_t i = 0; i < n; ++i) {
        if (entryList[i].name.empty() || state[i] == 2) continue;
        path.clear();
        std::int64_t cur = i;
        while (true) {
            if (cur == rootIndex || cur == orphanIndex || state[cur] == 2) break;
            if (state[cur] == 1) {
                entryList[cur].orphan = true;
                entryList[cur].parent = orphanIndex;
                break;
            }
            state[cur] = 1;
            path.push_back(cur);
            cur = entryList[cur].parent;
        }
        for (std::int64_t p : path) state[p] = 2;
    }
}

void ntfs::attachOrphans() {
    MftEntry& node = entryList[orphanIndex];
    bool first = true;
    for (std::int64_t i = 0; i < orphanIndex; ++i) {
        MftEntry& e = entryList[i];
        if (!e.orphan || e.name.empty()) continue;
        // Each one goes in front, so the node lists them in reverse record order.
        e.nextSibling = first ? -1 : node.firstChild;
        node.firstChild = i;
        if (first) node.lastChild = i;
        e.linked = true;
        first = false;
    }
}

// The root folder is record 5 on every volume. When no record names itself
// "." because that record could not be read in any copy, record 5 still
// stands for the root, so the entries that name it as their folder keep
// their place instead of falling under the orphan node.
void ntfs::standInForTheRoot() {
    const auto root = static_cast<std::int64_t>(kRootRecord);
    if (!mftLocated || orphanIndex <= root) return;
    MftEntry& e = entryList[root];
    if (!e.name.empty()) return;  // a record of its own: not the root
    e.name.assign(1, '.');
    e.kind = 'D';
    e.recordFlags = kRecordInUse | kRecordIsDirectory;
    e.parent = root;
    rootIndex = root;
    warnScan("the root folder's MFT record (5) could not be read; its entries are listed under the root");
}

bool ntfs::buildEntryTree() {
    std::uint64_t tornRecords = 0;
    if (mftLocated && !control.poll()) {
        const auto count = static_cast<std::int64_t>(entryList.size());
        progress.setRange(0, count);
        std::vector<std::uint8_t> record;
        for (std::int64_t i = 0; i < count; ++i) {
            if ((i & 1023) == 0) {
                char status[64];
                std::snprintf(status, sizeof status, "parsing MFT entry %lld...", static_cast<long long>(i));
                progress.setStatus(status);
                progress.setPosition(i);
                if (control.pollAndTake()) break;
            }
            bool torn = false;
            if (readEntryRecord(i, record, &torn)) {
                parseEntry(i, record);
                if (torn && entryList[i].validSignature) {
                    entryList[i].torn = true;
                    ++tornRecords;
                }
            }
        }
        progress.setPosition(count);
    }
    if (tornRecords) warnScan(std::to_string(tornRecords) + " MFT records torn or damaged (their update sequence did not match)");
    // Sectors whose records came from $MFTMirr were not read as zeros.
    if (const std::uint64_t lost = window.unreadableSectors() - mendedSectors)
        warnScan(std::to_string(lost) + " unreadable sectors while reading the MFT, read as zeros");
    applyExtensionRecords();
    MftEntry orphanEntry;
    orphanEntry.validSignature = true;
    orphanEntry.name = "ORPHAN_ENTRY";
    orphanEntry.kind = 'D';
    orphanEntry.recordFlags = kRecordInUse;
    orphanIndex = static_cast<std::int64_t>(entryList.size());
    orphanEntry.ownIndex = orphanIndex;
    entryList.push_back(orphanEntry);

    rootIndex = -1;
    for (std::int64_t i = 0; i < orphanIndex; ++i) {
        if (entryList[i].name == ".") {
            rootIndex = i;
            break;
        }
    }
    if (rootIndex < 0) standInForTheRoot();
    resolveParents();
    for (std::int64_t i = 1; i < orphanIndex; ++i) {
        if (!entryList[i].name.empty() && !entryList[i].orphan) linkToParent(i);
    }
    attachOrphans();
    if (rootIndex < 0) return false;
    MftEntry& root = entryList[rootIndex];
    MftEntry& node = entryList[orphanIndex];
    node.parent = rootIndex;
    node.nextSibling = 0;
    node.linked = true;
    if (root.firstChild <= 0) {
        root.firstChild = orphanIndex;
    } else {
        entryList[root.lastChild].nextSibling = orphanIndex;
    }
    root.lastChild = orphanIndex;
    return true;
}

}  // namespace vantor
