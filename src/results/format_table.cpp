// The format table (format_table.h).
#include "results/format_table.h"

#include "fs/exfat/Fat64Class.h"
#include "fs/ext/ext2Class.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "fs/ntfs/ntfs.h"

namespace vantor {

namespace {

template <class Reader>
std::unique_ptr<VolumeReader> make(const ReaderContext& context) {
    return std::make_unique<Reader>(context);
}

// FAT16 and FAT32: copies of the FAT, found by their first two entries.
template <class Reader>
CandidateList fatCandidates(const ReaderContext& context, int max) {
    Reader reader(context);
    reader.attachVolume();
    reader.checkBootSector();  // only for its cluster size, offered first
    CandidateList list;
    list.labelPrefix = reader.version() == fat::FatVersion::fat32 ? "FAT32_ENTRY" : "FAT_ENTRY";
    list.sectors = reader.findFatCandidates(max);
    list.sectorsPerCluster = reader.sectorsPerClusterChoices();
    return list;
}

const FormatRow kFormats[] = {
    {FsKind::extX, "extX", true, false, false, false, "", true, make<ext2Class>, nullptr},
    {FsKind::ntfs, "NTFS", true, true, true, false, "ntfs partition selected....", true, make<ntfs>, nullptr},
    {FsKind::fat16, "FAT16", true, true, false, true, "", true, make<Fat16Class>, fatCandidates<Fat16Class>},
    {FsKind::fat32, "FAT32", true, true, false, true, "", true, make<Fat32Class>, fatCandidates<Fat32Class>},
    {FsKind::fat64, "FAT64", true, true, false, true, "", true, make<Fat64Class>, nullptr},
    {FsKind::hfsPlus, "HFS+", true, false, true, false, "HFS+ partition selected....", false, nullptr, nullptr},
    // Signature recovery works on any volume, whatever its file system.
    {FsKind::raw, "RAW", false, false, false, false, "", true, nullptr, nullptr},
};

}  // namespace

std::span<const FormatRow> formatTable() { return kFormats; }

const FormatRow* formatFor(std::string_view fileSystem) {
    const FsKind kind = fsKindFromName(fileSystem);
    for (const FormatRow& row : kFormats)
        if (row.kind == kind) return &row;
    return nullptr;
}

}  // namespace vantor
