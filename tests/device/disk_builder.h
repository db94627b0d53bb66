#pragma once
// Small hand-built disks for the table and sweep tests: sectors written field
// by field, so each test shows exactly which bytes it relies on.
#include <algorithm>
#include <cstdint>
#include <map>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/progress.h"
#include "device/FileReadSeek.h"
#include "support/bytes_builder.h"

namespace vantor::test {

using Sector = std::vector<std::uint8_t>;

// ---- boot sectors and headers -------------------------------------------

inline Sector ntfsBootSector(std::uint64_t totalSectors, std::uint16_t bytesPerSector = 512) {
    Sector s(512, 0);
    s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
    putText(s, 3, "NTFS    ");
    putLe(s, 0x0B, bytesPerSector, 2);
    s[0x0D] = 8;                       // sectors per cluster
    s[0x15] = 0xF8;                    // media
    putLe(s, 0x28, totalSectors, 8);
    putLe(s, 0x30, 4, 8);              // $MFT cluster
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

inline Sector fat32BootSector(std::uint32_t totalSectors) {
    Sector s(512, 0);
    s[0] = 0xEB; s[1] = 0x58; s[2] = 0x90;
    putText(s, 3, "mkfs.fat");
    putLe(s, 0x0B, 512, 2);
    s[0x0D] = 1;                       // sectors per cluster
    putLe(s, 0x0E, 32, 2);             // reserved sectors
    s[0x10] = 2;                       // FATs
    s[0x15] = 0xF8;
    putLe(s, 0x20, totalSectors, 4);
    putLe(s, 0x24, 520, 4);            // sectors per FAT (32-bit)
    putLe(s, 0x2C, 2, 4);              // root cluster
    putText(s, 0x52, "FAT32   ");
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

inline Sector fat16BootSector(std::uint16_t totalSectors) {
    Sector s(512, 0);
    s[0] = 0xEB; s[1] = 0x3C; s[2] = 0x90;
    putText(s, 3, "MSDOS5.0");
    putLe(s, 0x0B, 512, 2);
    s[0x0D] = 2;
    putLe(s, 0x0E, 1, 2);
    s[0x10] = 2;
    putLe(s, 0x11, 512, 2);            // root entries
    putLe(s, 0x13, totalSectors, 2);
    s[0x15] = 0xF8;
    putLe(s, 0x16, 32, 2);             // sectors per FAT
    putText(s, 0x36, "FAT16   ");
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

inline Sector exfatBootSector(std::uint64_t volumeSectors) {
    Sector s(512, 0);
    s[0] = 0xEB; s[1] = 0x76; s[2] = 0x90;
    putText(s, 3, "EXFAT   ");
    putLe(s, 0x48, volumeSectors, 8);
    putLe(s, 0x50, 128, 4);            // FAT offset
    putLe(s, 0x54, 64, 4);             // FAT length
    putLe(s, 0x58, 256, 4);            // heap offset
    putLe(s, 0x5C, 1000, 4);           // clusters
    putLe(s, 0x60, 4, 4);              // root cluster
    s[0x6C] = 9;                       // bytes per sector shift
    s[0x6D] = 3;                       // sectors per cluster shift
    s[0x6E] = 1;                       // FATs
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

// The HFS+ volume header, which lies 1024 bytes (two sectors) into its volume.
inline Sector hfsPlusHeader(std::uint32_t blockSize, std::uint32_t totalBlocks) {
    Sector s(512, 0);
    s[0] = 0x48; s[1] = 0x2B; s[2] = 0x00; s[3] = 0x04;
    putBe(s, 40, blockSize, 4);
    putBe(s, 44, totalBlocks, 4);
    return s;
}

// The primary ext superblock, also 1024 bytes into its volume.
inline Sector extSuperblock(std::uint32_t blocks, std::uint32_t logBlockSize = 0) {
    Sector s(512, 0);
    const std::uint32_t first = logBlockSize == 0 ? 1 : 0;
    const std::uint32_t groups = (blocks - first + 8191) / 8192;
    putLe(s, 0x00, 2048 * groups, 4);  // inodes: as many groups' worth as the blocks make
    putLe(s, 0x04, blocks, 4);
    putLe(s, 0x14, first, 4);
    putLe(s, 0x18, logBlockSize, 4);
    putLe(s, 0x20, 8192, 4);           // blocks per group
    putLe(s, 0x28, 2048, 4);           // inodes per group
    putLe(s, 0x38, 0xEF53, 2);
    putLe(s, 0x4C, 1, 4);              // dynamic revision
    putLe(s, 0x58, 256, 2);            // inode size
    putLe(s, 0x5A, 0, 2);              // group 0
    return s;
}

// ---- partition tables -----------------------------------------------------

struct MbrSlot {
    std::uint8_t type = 0;
    std::uint32_t start = 0;
    std::uint32_t sectors = 0;
};

// An MBR or extended boot record with up to four slots.
inline Sector partitionTable(const std::vector<MbrSlot>& slots) {
    Sector s(512, 0);
    for (std::size_t i = 0; i < slots.size() && i < 4; ++i) {
        const std::size_t at = 446 + 16 * i;
        s[at + 4] = slots[i].type;
        putLe(s, at + 8, slots[i].start, 4);
        putLe(s, at + 12, slots[i].sectors, 4);
    }
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

struct GptEntry {
    std::uint8_t typeFirstByte = 0xA2;  // a basic-data-like type GUID; 0 leaves the entry unused
    std::uint64_t firstLba = 0;
    std::uint64_t lastLba = 0;
    std::string name;                   // ASCII, stored as UTF-16LE
};

// ---- a sparse disk ----------------------------------------------------------

// A disk of any size whose sectors are zero unless set; reads are recorded so
// a test can tell what the scan looked at.
class SparseDisk final : public readWriteInterface {
public:
    explicit SparseDisk(std::int64_t sectors) {
        totalSectors = sectors;
        totalBytes = static_cast<std::uint64_t>(sectors) * 512;
    }
    bool open(const std::string&) override { return true; }

    void set(std::int64_t sector, const Sector& bytes) {
        for (std::size_t i = 0; i * 512 < bytes.size(); ++i) {
            Sector one(512, 0);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(i * 512),
                        std::min<std::size_t>(512, bytes.size() - i * 512), one.begin());
            sectors[sector + static_cast<std::int64_t>(i)] = one;
        }
    }

    void setGpt(const std::vector<GptEntry>& entries, std::uint32_t count = 128, std::uint64_t arrayLba = 2) {
        Sector header(512, 0);
        putText(header, 0, "EFI PART");
        putLe(header, 8, 0x00010000, 4);
        putLe(header, 12, 92, 4);
        putLe(header, 24, 1, 8);
        putLe(header, 72, arrayLba, 8);
        putLe(header, 80, count, 4);
        putLe(header, 84, 128, 4);
        set(1, header);
        Sector array(std::max<std::size_t>(entries.size(), 1) * 128, 0);
        array.resize((array.size() + 511) / 512 * 512, 0);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const GptEntry& e = entries[i];
            const std::size_t at = i * 128;
            if (e.typeFirstByte != 0) {
                array[at] = e.typeFirstByte;
                for (int k = 1; k < 16; ++k) array[at + k] = static_cast<std::uint8_t>(0x10 + k);
                for (int k = 0; k < 16; ++k) array[at + 16 + k] = static_cast<std::uint8_t>(i + 1);
            }
            putLe(array, at + 32, e.firstLba, 8);
            putLe(array, at + 40, e.lastLba, 8);
            for (std::size_t c = 0; c < e.name.size() && c < 36; ++c) array[at + 56 + 2 * c] = e.name[c];
        }
        set(static_cast<std::int64_t>(arrayLba), array);
    }

    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override {
        const std::uint64_t at = offset;
        reads.push_back(at);
        if (dest.empty() || at >= totalBytes) return 0;
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), totalBytes - at));
        std::fill(dest.begin(), dest.end(), 0);
        // Overlay the sectors that were set and lie in the range.
        const std::int64_t firstSector = static_cast<std::int64_t>(at / 512);
        const std::int64_t lastSector = static_cast<std::int64_t>((at + got - 1) / 512);
        for (auto it = sectors.lower_bound(firstSector); it != sectors.end() && it->first <= lastSector; ++it) {
            const std::uint64_t sectorByte = static_cast<std::uint64_t>(it->first) * 512;
            for (std::size_t i = 0; i < 512; ++i) {
                const std::uint64_t b = sectorByte + i;
                if (b >= at && b < at + got) dest[static_cast<std::size_t>(b - at)] = it->second[i];
            }
        }
        return got;
    }

    std::vector<std::uint64_t> reads;  // device byte offsets, in order

private:
    std::map<std::int64_t, Sector> sectors;
};

// Records what a scan told its progress sink.
class RecordingProgress final : public ProgressSink {
public:
    void setRange(std::int64_t minimum, std::int64_t maximum) override {
        rangeMin = minimum;
        rangeMax = maximum;
    }
    void setPosition(std::int64_t position) override { positions.push_back(position); }
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }

    std::int64_t rangeMin = -1, rangeMax = -1;
    std::vector<std::int64_t> positions;
    std::vector<std::string> statuses;
};

// One row of a volume list, as the table and sweep tests compare them.
struct Row {
    std::string fileSystem;
    std::int64_t startSector;
    std::string sizeText;
    friend bool operator==(const Row&, const Row&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << "{" << r.fileSystem << ", " << r.startSector << ", \"" << r.sizeText << "\"}";
}

}  // namespace vantor::test
