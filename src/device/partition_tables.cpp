// The standard scan: MBR with its chain of extended boot records, or GPT.
#include <cerrno>
#include <set>
#include <vector>

#include "core/bytes.h"
#include "core/text.h"
#include "device/Partition.h"
#include "device/VolumeWindow.h"
#include "device/boot_sector.h"

namespace vantor {
namespace {

constexpr int kMaxExtendedLinks = 50;
constexpr std::uint32_t kMaxGptEntries = 1024;

struct MbrEntry {
    std::uint8_t type = 0;
    std::uint32_t start = 0;    // 0x08, relative to the table's base
    std::uint32_t sectors = 0;  // 0x0C
};

std::vector<MbrEntry> decodeMbrEntries(Bytes sector) {
    std::vector<MbrEntry> entries;
    for (int i = 0; i < 4; ++i) {
        const std::size_t at = 446 + 16 * i;
        entries.push_back({u8(sector, at + 4), le32(sector, at + 8), le32(sector, at + 12)});
    }
    return entries;
}

bool isExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

int lastError() { return errno ? errno : EIO; }

std::string megabytesText(std::int64_t mb, int blanks) {
    return std::to_string(mb) + std::string(blanks, ' ') + "MB";
}

// The kind an MBR type byte stands for when the partition's first sectors
// tell nothing.
FsKind kindOfMbrType(std::uint8_t type, bool inExtended) {
    switch (type) {
        case 0x04: case 0x06: case 0x0E: return FsKind::fat16;
        case 0x07: return FsKind::ntfs;
        case 0x0B: case 0x0C: return FsKind::fat32;
        case 0x42: return inExtended ? FsKind::unknown : FsKind::ntfs;
        case 0x83: return FsKind::extX;
        default: return FsKind::unknown;
    }
}

}  // namespace

// A sector number whose byte offset cannot be formed names no sector.
static bool sectorAddressable(std::int64_t sector) { return sector >= 0 && sector <= INT64_MAX / 512 - 2; }

bool isExfatAt(readWriteInterface& reader, std::int64_t sector) {
    std::uint8_t b[512];
    if (!sectorAddressable(sector) || reader.readAt(static_cast<std::uint64_t>(sector) * 512, b) != sizeof b)
        return false;
    return b[0] == 0xEB && (b[1] == 0x3C || b[1] == 0x58 || b[1] == 0x76) && hasText(b, 3, "EXFA");
}

bool isHfsPlusAt(readWriteInterface& reader, std::int64_t sector) {
    std::uint8_t b[512];
    if (!sectorAddressable(sector) || reader.readAt(static_cast<std::uint64_t>(sector + 2) * 512, b) != sizeof b)
        return false;
    return b[0] == 0x48 && b[1] == 0x2B && b[2] == 0x00;
}

// Table sectors and the first sectors of volumes are read through a window
// over the whole source: a read that fails is read again sector by sector, so
// a bad sector near a table costs that sector, not the page around it.
std::size_t Partition::readTable(std::uint64_t offset, std::span<std::uint8_t> dest) {
    return VolumeWindow(reader, 0, 0).readAt(offset, dest);
}

void Partition::addRecord(VolumeRecord record, std::string_view status) {
    if (!status.empty()) progress.setStatus(status);
    volumes.push_back(record);
    if (onFound) onFound(volumes.back());
}

int Partition::scanPartitionTables() {
    std::vector<std::uint8_t> head(1024, 0);
    const bool haveHead = readTable(0, head) == head.size();
    if (haveHead && gptFormat) return scanGpt();
    return scanMbr(haveHead);
}

void Partition::addMbrEntry(std::uint8_t type, std::int64_t start, std::uint64_t sectors, bool inExtended) {
    // The type byte names the kind unless the partition's own first sectors
    // say otherwise: a type-0x0C partition reformatted as exFAT is exFAT.
    FsKind kind = kindOfMbrType(type, inExtended);
    std::string name = type == 0x01 ? "FAT12" : std::string(fsKindName(kind));
    std::vector<std::uint8_t> first(1536, 0);
    if (readTable(static_cast<std::uint64_t>(start) * 512, first) > 0) {
        if (auto id = identifyVolumeStart(first)) {
            kind = id->kind;
            name = id->name;
        }
    }
    std::string status;
    switch (kind) {
        case FsKind::fat16: status = "found FAT 16..."; break;
        case FsKind::fat32: status = "found FAT 32..."; break;
        case FsKind::fat64: status = "found FAT64..."; break;
        case FsKind::ntfs:
            ++ntfsCount;
            status = inExtended ? "found NTFS..." : "found NTFS " + std::to_string(ntfsCount) + "...";
            break;
        case FsKind::extX: status = inExtended ? "found extx..." : "found ext2..."; break;
        case FsKind::hfsPlus: status = "found HFS+..."; break;
        default: status = name == "FAT12" ? "" : "found UNKNOWN..."; break;
    }
    VolumeRecord r;
    r.fileSystem = name;
    r.volumeId = nextVolumeId();
    r.sizeText = megabytesText(static_cast<std::int64_t>(sectors >> 11), 3);
    r.sizeBytes = sectors * 512;
    r.startSector = start;
    addRecord(r, status);
}

int Partition::scanMbr(bool protectiveFallback) {
    std::vector<std::uint8_t> sector(1536, 0);
    if (readTable(0, std::span(sector).first(512)) != 512) return lastError();
    readTable(512, std::span(sector).subspan(512));

    // A source that starts with a file system of its own (a partition image)
    // is one volume at sector 0.
    if (auto id = identifyVolumeStart(sector)) {
        VolumeRecord r;
        r.fileSystem = id->name;
        r.volumeId = nextVolumeId();
        r.sizeText = megabytesText(id->sizeBytes / 1048576, 2);
        r.sizeBytes = static_cast<std::uint64_t>(id->sizeBytes);
        r.startSector = 0;
        addRecord(r, "");
        return 0;
    }
    if (le16(sector, 0x1FE) != 0xAA55) return 0;  // no partition table at all

    const auto entries = decodeMbrEntries(sector);
    // A protective entry means the disk is partitioned by GPT.
    for (const MbrEntry& e : entries) {
        if (e.type == 0xEE && protectiveFallback && hasText(std::span(sector).subspan(512), 0, "EFI PART"))
            return scanGpt();
    }

    // Every primary entry is listed, also those after an empty slot or after
    // the extended entry; the first extended entry's chain is followed too.
    std::optional<std::uint32_t> extendedBase;
    for (const MbrEntry& e : entries) {
        if (e.type == 0 || e.sectors == 0) continue;
        if (isExtendedType(e.type)) {
            if (!extendedBase) extendedBase = e.start;
            continue;
        }
        addMbrEntry(e.type, e.start, e.sectors, false);
    }
    if (!extendedBase) return 0;

    std::uint64_t relative = 0;  // of the current link, from the extended base
    std::set<std::uint64_t> visited;
    std::vector<std::uint8_t> ebr(512);
    for (int link = 0; link < kMaxExtendedLinks; ++link) {
        const std::uint64_t at = *extendedBase + relative;
        if (!visited.insert(at).second) break;  // the chain loops
        if (readTable(at * 512, ebr) != ebr.size()) return lastError();
        if (le16(ebr, 0x1FE) != 0xAA55) break;
        std::optional<std::uint64_t> next;
        for (const MbrEntry& e : decodeMbrEntries(ebr)) {
            if (e.type == 0 || e.sectors == 0) continue;
            if (isExtendedType(e.type)) {
                if (!next) next = e.start;
                continue;
            }
            addMbrEntry(e.type, static_cast<std::int64_t>(at + e.start), e.sectors, true);
        }
        if (!next) break;
        relative = *next;
    }
    return 0;
}

int Partition::scanGpt() {
    std::vector<std::uint8_t> header(512, 0);
    if (readTable(512, header) != header.size()) return lastError();
    if (!hasText(header, 0, "EFI PART")) return 0;  // no GPT: nothing to list
    const std::uint64_t arrayLba = le64(header, 72);
    const std::uint32_t count = std::min(le32(header, 80), kMaxGptEntries);
    const std::uint32_t entrySize = le32(header, 84);
    if (entrySize < 128 || entrySize > 4096 || entrySize % 8 != 0 || arrayLba < 2) return 0;

    std::vector<std::uint8_t> array(std::size_t{count} * entrySize, 0);
    if (readTable(arrayLba * 512, array) == 0 && !array.empty()) return lastError();

    std::vector<std::uint8_t> first(1536);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (control.poll()) break;
        const Bytes entry = std::span<const std::uint8_t>(array).subspan(std::size_t{i} * entrySize, entrySize);
        bool used = false;
        for (int k = 0; k < 16; ++k) used |= entry[k] != 0;
        const auto startLba = static_cast<std::int64_t>(le64(entry, 32));
        const auto endLba = static_cast<std::int64_t>(le64(entry, 40));
        if (!used || startLba <= 2 || endLba < startLba) continue;  // unused or impossible entry
        const std::string name = utf16leToUtf8(entry.subspan(56, 72), true);
        if (name == "Microsoft reserved partition") continue;

        std::fill(first.begin(), first.end(), 0);
        readTable(static_cast<std::uint64_t>(startLba) * 512, first);
        const auto id = identifyVolumeStart(first);
        VolumeRecord r;
        r.volumeId = nextVolumeId();
        r.startSector = startLba;
        r.sizeBytes = static_cast<std::uint64_t>(endLba - startLba + 1) * 512;  // the entry's last LBA is inclusive
        std::string status;
        const bool sizedBoot = id && id->headerSector == 0 && id->sizeBytes / 1048576 > 0;
        if (sizedBoot && id->kind == FsKind::ntfs) {
            ++ntfsCount;
            r.fileSystem = "NTFS";
            r.sizeText = megabytesText(id->sizeBytes / 1048576, 3);
            status = "found NTFS " + std::to_string(ntfsCount) + "...";
        } else if (sizedBoot && id->kind != FsKind::unknown) {
            r.fileSystem = id->name;
            r.sizeText = megabytesText(id->sizeBytes / 1048576, 2);
            status = id->kind == FsKind::fat32 ? "found FAT 32..." :
                     id->kind == FsKind::fat16 ? "found FAT 16..." : "found FAT 64...";
        } else {
            // Headers 1024 bytes in (HFS+, ext), or nothing known: the entry's
            // own name and its size in megabytes.
            r.fileSystem = id && id->headerSector == 2 ? id->name : (name.empty() ? "Unknown" : name);
            r.sizeText = std::to_string((endLba - startLba) / 2048);
        }
        addRecord(r, status);
    }
    return 0;
}

}  // namespace vantor
