#pragma once
// FAT16/FAT32 on disk: the boot sector's geometry, the 32-byte directory slot,
// attribute values and the FAT's reserved values. Decoding only; no reads.
#include <cstdint>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "formats/fat_boot.h"

namespace vantor::fat {

inline constexpr std::size_t kSlotSize = 32;
inline constexpr std::uint8_t kDeletedMark = 0xE5;
// The advanced mode assumes the fixed FAT16 root every formatter writes: 512 slots.
inline constexpr std::uint64_t kFat16RootBytes = 512 * 32;

namespace attr {
inline constexpr std::uint8_t readOnly = 0x01;
inline constexpr std::uint8_t hidden = 0x02;
inline constexpr std::uint8_t system = 0x04;
inline constexpr std::uint8_t volumeLabel = 0x08;
inline constexpr std::uint8_t directory = 0x10;
inline constexpr std::uint8_t archive = 0x20;
inline constexpr std::uint8_t longName = 0x0F;  // read-only + hidden + system + label
}  // namespace attr

// A folder is any short entry with the directory bit that is not a label or a
// long-name piece: read-only, hidden, system and archive bits ride along
// (0x11, 0x16, 0x30 and the like are all folders).
inline bool isFolderAttribute(std::uint8_t a) {
    return a != attr::longName && (a & attr::directory) && !(a & attr::volumeLabel);
}
inline bool isLongNameAttribute(std::uint8_t a) { return (a & 0x3F) == attr::longName; }
inline bool isVolumeLabelAttribute(std::uint8_t a) {
    return !isLongNameAttribute(a) && (a & attr::volumeLabel) && !(a & attr::directory);
}

// One 32-byte short directory entry, fields in offset order.
struct DirSlot {
    std::uint8_t name[11] = {};      // 0x00 8 + 3 bytes, blank padded
    std::uint8_t attributes = 0;     // 0x0B
    std::uint8_t caseFlags = 0;      // 0x0C lower-case base (0x08) and extension (0x10)
    std::uint8_t creationTenths = 0; // 0x0D 10 ms units, 0..199
    std::uint16_t creationTime = 0;  // 0x0E
    std::uint16_t creationDate = 0;  // 0x10
    std::uint16_t accessDate = 0;    // 0x12
    std::uint16_t clusterHigh = 0;   // 0x14 (FAT32)
    std::uint16_t writeTime = 0;     // 0x16
    std::uint16_t writeDate = 0;     // 0x18
    std::uint16_t clusterLow = 0;    // 0x1A
    std::uint32_t size = 0;          // 0x1C
    std::uint32_t firstCluster() const { return std::uint32_t{clusterHigh} << 16 | clusterLow; }
};
DirSlot decodeSlot(Bytes slot);

// The displayable 8.3 name: blanks trimmed, "NAME.EXT" or "NAME", code page
// 1252, the lower-case flags applied. A deleted entry keeps its 0xE5.
std::string formatShortName(const std::uint8_t (&name)[11], std::uint8_t caseFlags = 0);
// The checksum a long-name piece carries of the short name it belongs to.
std::uint8_t shortNameChecksum(const std::uint8_t (&name)[11]);

// DOS date and time validity as the sweep tests them.
inline bool validDosDate(std::uint16_t d) {
    const unsigned day = d & 0x1F, month = (d >> 5) & 0x0F;
    return day >= 1 && day <= 31 && month >= 1 && month <= 12;
}
inline bool validDosTime(std::uint16_t t) {
    return t < 0xC000 && ((t >> 5) & 0x3F) < 60 && (t & 0x1F) < 30;
}

}  // namespace vantor::fat
