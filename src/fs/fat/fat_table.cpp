#include "fs/fat/fat_table.h"

namespace vantor::fat {

void FatTable::attach(VolumeWindow* r, std::uint64_t fatStart, std::uint32_t clusterCount, FatVersion v) {
    reader = r;
    start = fatStart;
    clusters = clusterCount;
    version = v;
    window.assign(kWindowBytes, 0);
    windowValid = false;
}

std::optional<std::uint32_t> FatTable::entry(std::uint32_t cluster) {
    if (!reader || !inRange(cluster)) return std::nullopt;
    const std::uint64_t width = version == FatVersion::fat32 ? 4 : 2;
    const std::uint64_t at = std::uint64_t{cluster} * width;
    if (!windowValid || at < windowOffset || at + width > windowOffset + window.size()) {
        windowOffset = at / kWindowBytes * kWindowBytes;
        std::fill(window.begin(), window.end(), 0);
        reader->readAt(start + windowOffset, window);  // a short read leaves zeros: free entries
        windowValid = true;
    }
    const Bytes w(window);
    const std::size_t off = static_cast<std::size_t>(at - windowOffset);
    if (version == FatVersion::fat32) return le32(w, off) & 0x0FFFFFFF;
    return le16(w, off);
}

std::optional<std::uint32_t> FatTable::next(std::uint32_t cluster) {
    const auto value = entry(cluster);
    if (!value || !inRange(*value)) return std::nullopt;
    return value;
}

}  // namespace vantor::fat
