#include "fs/fat/fat_table.h"

#include <algorithm>

namespace vantor::fat {

namespace {
std::uint64_t entryWidth(FatVersion version) { return version == FatVersion::fat32 || version == FatVersion::exfat ? 4 : 2; }
}  // namespace

void FatTable::attach(VolumeWindow* r, std::uint64_t fatStart, std::uint32_t clusterCount, FatVersion v,
                      std::uint32_t copies, std::uint64_t copyBytes) {
    reader = r;
    start = fatStart;
    copyCount = copyBytes ? std::max<std::uint32_t>(copies, 1) : 1;
    copyStride = copyBytes;
    clusters = clusterCount;
    version = v;
    window.assign(kWindowBytes, 0);
    windowValid = false;
}

// Makes the window hold the entry at table offset `at`.
void FatTable::load(std::uint64_t at, std::uint64_t width) {
    if (!windowValid || at < windowOffset || at + width > windowOffset + window.size()) {
        windowOffset = at / kWindowBytes * kWindowBytes;
        windowUnreadable.clear();
        // Past the source's end the table reads as zeros: free entries.
        reader->readAt(start + windowOffset, window, &windowUnreadable);
        windowValid = true;
        // Sectors of the first copy that failed are taken from a later copy.
        std::vector<ByteRange> stillBad;
        for (const ByteRange& r : windowUnreadable) {
            bool mended = false;
            for (std::uint32_t copy = 1; copy < copyCount && !mended; ++copy) {
                const auto piece = std::span<std::uint8_t>(window).subspan(static_cast<std::size_t>(r.first),
                                                                           static_cast<std::size_t>(r.length));
                mended = reader->readAll(start + copy * copyStride + windowOffset + r.first, piece);
            }
            if (!mended) {
                std::fill_n(window.begin() + static_cast<std::ptrdiff_t>(r.first), r.length, std::uint8_t{0});
                stillBad.push_back(r);
                lostBytes += r.length;
            } else {
                mendedBytes += r.length;
            }
        }
        windowUnreadable = std::move(stillBad);
    }
}

bool FatTable::inUnreadable(std::uint64_t at, std::uint64_t width) const {
    const std::uint64_t off = at - windowOffset;
    for (const ByteRange& r : windowUnreadable)
        if (off < r.end() && off + width > r.first) return true;
    return false;
}

bool FatTable::unreadable(std::uint32_t cluster) {
    if (!reader || !inRange(cluster)) return false;
    const std::uint64_t width = entryWidth(version);
    const std::uint64_t at = std::uint64_t{cluster} * width;
    load(at, width);
    return inUnreadable(at, width);
}

std::optional<std::uint32_t> FatTable::entry(std::uint32_t cluster) {
    if (!reader || !inRange(cluster)) return std::nullopt;
    const std::uint64_t width = entryWidth(version);
    const std::uint64_t at = std::uint64_t{cluster} * width;
    load(at, width);
    if (inUnreadable(at, width)) return std::nullopt;
    const Bytes w(window);
    const std::size_t off = static_cast<std::size_t>(at - windowOffset);
    if (version == FatVersion::fat32) return le32(w, off) & 0x0FFFFFFF;
    if (version == FatVersion::exfat) return le32(w, off);
    return le16(w, off);
}

std::optional<std::uint32_t> FatTable::next(std::uint32_t cluster) {
    const auto value = entry(cluster);
    if (!value || !inRange(*value)) return std::nullopt;
    return value;
}

}  // namespace vantor::fat
