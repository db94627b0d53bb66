#include "fs/fat/candidates.h"

#include <algorithm>
#include <cstdio>

#include "fs/fat/FatVolume.h"

namespace vantor::fat {

bool matchesFatStart(Bytes s, FatVersion version) {
    if (version == FatVersion::fat32) {
        if (le32(s, 0) != 0x0FFFFFF8 || s.size() < 8) return false;
        // Bits 27 (clean) and 26 (no error) of entry 1 are flags.
        return (le32(s, 4) | 0x0C000000) == 0xFFFFFFFF || (le32(s, 4) | 0x0C000000) == 0x0FFFFFFF;
    }
    if (s.size() < 4 || le16(s, 0) != 0xFFF8) return false;
    return (le16(s, 2) | 0xC000) == 0xFFFF;  // bits 15 and 14 are flags
}

std::vector<std::int64_t> FatVolume::findFatCandidates(int max) {
    std::vector<std::int64_t> found;
    if (max <= 0) max = 3;
    const bool fat32 = fatVersion == FatVersion::fat32;
    ctx.progress.setRange(0, 1000);
    // 256 KiB per read keeps the bytes in cache while their sectors are tested.
    constexpr std::size_t kChunk = 256 * 1024;
    std::vector<std::uint8_t> buffer(kChunk, 0);
    char text[128];
    for (std::uint64_t pos = 0; pos < volumeSize; pos += kChunk) {
        if (control.pollAndTake()) break;
        if (pos % (10u << 20) == 0) ctx.progress.setPosition(static_cast<std::int64_t>(1000.0L * pos / volumeSize));
        if (fat32 && pos % (10u << 20) == 0) {
            std::snprintf(text, sizeof text, "Parsing Disk Currently at position %f of the disk of size %f",
                          static_cast<double>(pos), static_cast<double>(volumeSize));
            ctx.progress.setStatus(text);
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, volumeSize - pos));
        const std::span<std::uint8_t> part(buffer.data(), n);
        if (window.readAt(pos, part) == 0) continue;
        const Bytes bytes(part);
        for (std::size_t off = 0; off + 512 <= n; off += 512) {
            if (!matchesFatStart(bytes.subspan(off, 512), fatVersion)) continue;
            found.push_back(static_cast<std::int64_t>((pos + off) / 512));
            std::snprintf(text, sizeof text, "found fat entry  %d ", static_cast<int>(found.size()));
            ctx.progress.setStatus(text);
            if (found.size() >= static_cast<std::size_t>(max)) break;
        }
        if (found.size() >= static_cast<std::size_t>(max)) break;
    }
    ctx.progress.setPosition(1000);
    return found;
}

std::vector<std::uint32_t> FatVolume::sectorsPerClusterChoices() const {
    std::vector<std::uint32_t> choices;
    // The boot sector's own value first, when it has one (1 included: small
    // FAT32 volumes use 512-byte clusters).
    if (geometry && geometry->sectorsPerCluster) choices.push_back(geometry->sectorsPerCluster);
    const std::vector<std::uint32_t> usual = fatVersion == FatVersion::fat32
                                                 ? std::vector<std::uint32_t>{2, 4, 16, 32, 64, 8}
                                                 : std::vector<std::uint32_t>{4, 8, 16, 2, 32, 64, 128};
    for (std::uint32_t v : usual)
        if (std::find(choices.begin(), choices.end(), v) == choices.end()) choices.push_back(v);
    return choices;
}

}  // namespace vantor::fat
