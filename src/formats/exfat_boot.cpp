// The exFAT boot sector's decoder (exfat_boot.h).
#include "formats/exfat_boot.h"

namespace vantor::exfat {

std::optional<BootSector> decodeBootSector(Bytes s) {
    if (s.size() < 512 || le16(s, 0x1FE) != 0xAA55) return std::nullopt;
    if (u8(s, 0) != 0xEB || !hasText(s, 3, "EXFAT   ")) return std::nullopt;
    BootSector b;
    b.volumeLength = le64(s, 0x48);
    b.fatOffset = le32(s, 0x50);
    b.fatLength = le32(s, 0x54);
    b.heapOffset = le32(s, 0x58);
    b.clusterCount = le32(s, 0x5C);
    b.rootCluster = le32(s, 0x60);
    b.sectorShift = u8(s, 0x6C);
    b.clusterShift = u8(s, 0x6D);
    b.fatCount = u8(s, 0x6E);
    if (b.sectorShift < 9 || b.sectorShift > 12) return std::nullopt;
    if (b.sectorShift + b.clusterShift > 25) return std::nullopt;  // clusters up to 32 MiB
    if (b.fatCount != 1 && b.fatCount != 2) return std::nullopt;
    if (b.volumeLength == 0 || b.volumeLength > (std::uint64_t{1} << 50)) return std::nullopt;
    if (b.clusterCount == 0 || b.rootCluster < 2 || b.rootCluster - 2 >= b.clusterCount) return std::nullopt;
    return b;
}

}  // namespace vantor::exfat
