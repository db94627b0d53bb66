#include "results/recycle_names.h"

#include <map>
#include <vector>

#include "core/text.h"
#include "device/VolumeRecord.h"
#include "results/entry_walk.h"

namespace vantor {

namespace {

// "$I" record header (both versions):
//   0x00 u64 version (1: Vista to 8.1, 2: Windows 10 and later)
//   0x08 u64 size of the deleted file
//   0x10 u64 deletion time (file time)
// version 1: 0x18 UTF-16 path, NUL-terminated (a fixed 520-byte field)
// version 2: 0x18 u32 path length in characters, NUL included; 0x1C UTF-16 path
std::optional<std::string> pathFromRecord(Bytes record) {
    if (record.size() < 0x18 || record.size() >= kMaxRecycleRecord) return std::nullopt;
    const std::uint64_t version = le64(record, 0x00);
    if (version == 2) {
        const std::uint32_t characters = le32(record, 0x18);
        const std::size_t available = (record.size() - std::min<std::size_t>(record.size(), 0x1C)) / 2;
        const std::size_t take = std::min<std::size_t>(characters, available);
        const auto text = slice(record, 0x1C, take * 2);
        if (!text) return std::nullopt;
        return utf16leToUtf8(*text, true);
    }
    const auto text = slice(record, 0x18, (record.size() - 0x18) & ~std::size_t{1});
    if (!text) return std::nullopt;
    return utf16leToUtf8(*text, true);
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

void nameInFolder(EntrySource& source, EntryRef folder, std::map<EntryRef, std::string>& names) {
    const auto children = childrenOf(source, folder);
    std::map<std::string, std::string> formerNames;
    for (const EntryRef child : children) {
        const RecoveredItem item = source.describe(child);
        if (item.name.rfind("$I", 0) != 0 || !source.isSaveFile(child)) continue;
        // A record is a few hundred bytes; a larger "$I" is not one.
        if (item.size >= kMaxRecycleRecord) continue;
        MemorySink record(kMaxRecycleRecord);
        if (source.writeContent(child, record).status != ContentOutcome::Status::written) continue;
        if (auto former = formerNameFromRecord(record.bytes())) formerNames[item.name] = *former;
    }
    for (const auto& [recordName, former] : formerNames) {
        const std::string contentName = replaceAll(recordName, "$I", "$R");
        if (contentName.empty()) continue;
        for (const EntryRef child : children)
            if (source.describe(child).name == contentName) names[child] = former;
    }
}

}  // namespace

std::optional<std::string> formerNameFromRecord(Bytes record) {
    auto path = pathFromRecord(record);
    if (!path) return std::nullopt;
    const auto slash = path->rfind('\\');
    std::string name = slash == std::string::npos ? *path : path->substr(slash + 1);
    if (name.empty()) return std::nullopt;
    return name;
}

std::map<EntryRef, std::string> recycledNames(EntrySource& source, RecycleLayout layout) {
    std::map<EntryRef, std::string> names;
    if (layout == RecycleLayout::none) return names;
    const auto root = source.rootEntry();
    if (!root) return names;
    for (const EntryRef top : childrenOf(source, *root)) {
        const RecoveredItem bin = source.describe(top);
        // Windows writes "$Recycle.Bin" on NTFS and in FAT long names; case is not significant.
        if (!bin.isFolder || !(equalsIgnoreCase(bin.name, "$RECYCLE.BIN") || equalsIgnoreCase(bin.name, "$RECYCLEBIN")))
            continue;
        if (layout == RecycleLayout::flat) {
            nameInFolder(source, top, names);
            continue;
        }
        for (const EntryRef user : childrenOf(source, top))
            if (source.describe(user).isFolder) nameInFolder(source, user, names);
    }
    return names;
}

}  // namespace vantor
