#include "results/recycle_names.h"

#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
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

std::vector<std::uint8_t> readSmallFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::vector<std::uint8_t> bytes;
    char c;
    while (bytes.size() <= kMaxRecycleRecord && in.get(c)) bytes.push_back(static_cast<std::uint8_t>(c));
    return bytes;
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

int renameInFolder(EntrySource& source, EntryRef folder, const std::filesystem::path& scratch) {
    const auto children = childrenOf(source, folder);
    std::map<std::string, std::string> formerNames;
    int counter = 0;
    for (const EntryRef child : children) {
        const std::string name = source.describe(child).name;
        if (name.rfind("$I", 0) != 0 || !source.isSaveFile(child)) continue;
        // A record is a few hundred bytes; a larger "$I" is not one, and
        // saving it whole would fill the scratch folder (which may lie on the
        // very disk being rescued).
        if (source.describe(child).size >= kMaxRecycleRecord) continue;
        // A name of our own: the record's name comes from the disk.
        const auto temp = scratch / ("record-" + std::to_string(counter++));
        const SaveResult saved = source.saveEntry(child, temp);
        if (saved.written) {
            const auto bytes = readSmallFile(temp);
            if (auto former = formerNameFromRecord(bytes)) formerNames[name] = *former;
        }
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
    }
    int renamed = 0;
    for (const auto& [recordName, former] : formerNames) {
        const std::string contentName = replaceAll(recordName, "$I", "$R");
        if (contentName.empty()) continue;
        for (const EntryRef child : children) {
            if (source.describe(child).name != contentName) continue;
            source.rename(child, former);
            ++renamed;
        }
    }
    return renamed;
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

int restoreRecycleNames(EntrySource& source, RecycleLayout layout, const std::filesystem::path& scratch) {
    if (layout == RecycleLayout::none) return 0;
    const auto root = source.rootEntry();
    if (!root) return 0;
    int renamed = 0;
    for (const EntryRef top : childrenOf(source, *root)) {
        const RecoveredItem bin = source.describe(top);
        // Windows writes "$Recycle.Bin" on NTFS and in FAT long names; case is not significant.
        if (!bin.isFolder || !(equalsIgnoreCase(bin.name, "$RECYCLE.BIN") || equalsIgnoreCase(bin.name, "$RECYCLEBIN")))
            continue;
        if (layout == RecycleLayout::flat) {
            renamed += renameInFolder(source, top, scratch);
            continue;
        }
        for (const EntryRef user : childrenOf(source, top))
            if (source.describe(user).isFolder) renamed += renameInFolder(source, user, scratch);
    }
    return renamed;
}

}  // namespace vantor
