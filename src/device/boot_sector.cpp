// Identification through the same decoders the readers use (formats/), so a
// volume the lists name is one its reader accepts.
#include "device/boot_sector.h"

#include "formats/exfat_boot.h"
#include "formats/ext_superblock.h"
#include "formats/fat_boot.h"
#include "formats/hfsplus_header.h"
#include "formats/ntfs_boot.h"

namespace vantor {
namespace {

std::int64_t bytesOf(std::uint64_t size) {
    return size > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(size);
}

std::optional<BootIdentity> ntfsBoot(Bytes b) {
    const auto boot = ntfs_layout::decodeBootSector(b);
    if (!boot) return std::nullopt;
    return BootIdentity{FsKind::ntfs, "NTFS", bytesOf(boot->volumeBytes()), 0};
}

std::optional<BootIdentity> exfatBoot(Bytes b) {
    const auto boot = exfat::decodeBootSector(b);
    if (!boot) return std::nullopt;
    return BootIdentity{FsKind::fat64, "FAT64", bytesOf(boot->volumeBytes()), 0};
}

std::optional<BootIdentity> fatBoot(Bytes b) {
    const auto boot = fat::decodeBootSector(b);
    if (!boot) return std::nullopt;
    const FsKind kind = boot->version == fat::FatVersion::fat32   ? FsKind::fat32
                        : boot->version == fat::FatVersion::fat16 ? FsKind::fat16
                                                                  : FsKind::unknown;  // FAT12 has no reader
    return BootIdentity{kind, fat::versionName(boot->version), bytesOf(boot->volumeBytes()), 0};
}

std::optional<BootIdentity> hfsPlusHeader(Bytes b) {
    const auto header = hfsplus::decodeVolumeHeader(b);
    if (!header) return std::nullopt;
    return BootIdentity{FsKind::hfsPlus, "HFS+", bytesOf(header->volumeBytes()), 2};
}

// The primary ext superblock only: the backups in later groups carry their
// group number and are not volume starts.
std::optional<BootIdentity> extSuperblock(Bytes b) {
    const ext::Superblock sb = ext::decodeSuperblock(b);
    if (!sb.accepted() || sb.blockGroupNr != 0) return std::nullopt;
    return BootIdentity{FsKind::extX, "extX", bytesOf(sb.volumeBytes()), 2};
}

}  // namespace

// The sweep tests every sector of a disk: each decoder runs only where its
// signature is, and most sectors have none.
std::optional<BootIdentity> identifySector(Bytes b) {
    if (b.size() < 512) return std::nullopt;
    const std::uint8_t first = b[0];
    if (first == 0xEB || first == 0xE9) {
        if (b[3] == 'N') {
            if (auto id = ntfsBoot(b)) return id;
        } else if (b[3] == 'E') {
            if (auto id = exfatBoot(b)) return id;
        }
        if (auto id = fatBoot(b)) return id;
    }
    if (first == 'H' && (b[1] == '+' || b[1] == 'X')) {
        if (auto id = hfsPlusHeader(b)) return id;
    }
    if (b[0x38] == 0x53 && b[0x39] == 0xEF) return extSuperblock(b);
    return std::nullopt;
}

std::optional<BootIdentity> identifyVolumeStart(Bytes b) {
    if (auto first = slice(b, 0, 512)) {
        if (auto id = identifySector(*first); id && id->headerSector == 0) return id;
    }
    if (auto header = slice(b, 1024, 512)) {
        if (auto id = identifySector(*header); id && id->headerSector == 2) return id;
    }
    return std::nullopt;
}

}  // namespace vantor
