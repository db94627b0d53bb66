#pragma once
// Lookups in the first FAT (a later copy stands in where the first cannot be read). The table is read through a window of a few
// sectors rather than whole: a FAT32 table of a large volume runs to hundreds
// of megabytes, and chain walks touch it in runs.
#include <cstdint>
#include <optional>
#include <vector>

#include "device/VolumeWindow.h"
#include "fs/fat/layout.h"

namespace vantor::fat {

class FatTable {
public:
    // `clusterCount` data clusters, numbered 2 .. clusterCount + 1. With
    // `copies` > 1, the copies that follow the first every `copyBytes` stand
    // in for the sectors of the first that cannot be read.
    void attach(VolumeWindow* reader, std::uint64_t fatStart, std::uint32_t clusterCount, FatVersion version,
                std::uint32_t copies = 1, std::uint64_t copyBytes = 0);
    // The stored value for a cluster (FAT32 masked to 28 bits), or nullopt
    // when the cluster lies outside the table or its entry could not be read.
    std::optional<std::uint32_t> entry(std::uint32_t cluster);
    // Whether the cluster's entry lies in a sector that could not be read.
    bool unreadable(std::uint32_t cluster);
    // The next cluster of a chain, or nullopt at its end: end marks, bad
    // clusters, free entries and values outside the volume all end a chain.
    std::optional<std::uint32_t> next(std::uint32_t cluster);
    bool inRange(std::uint32_t cluster) const { return cluster >= 2 && cluster < std::uint64_t{clusters} + 2; }
    std::uint32_t clusterCount() const { return clusters; }
    // Bytes of the table that no copy could give, so far.
    std::uint64_t unreadableBytes() const { return lostBytes; }
    // Bytes of the first table a later copy gave, so far.
    std::uint64_t bytesFromCopies() const { return mendedBytes; }

private:
    static constexpr std::size_t kWindowBytes = 64 * 1024;
    VolumeWindow* reader = nullptr;
    std::uint64_t start = 0;
    std::uint32_t clusters = 0;
    std::uint32_t copyCount = 1;
    std::uint64_t copyStride = 0;
    FatVersion version = FatVersion::fat32;
    std::vector<std::uint8_t> window;
    std::uint64_t windowOffset = 0;  // table-relative
    bool windowValid = false;
    std::vector<ByteRange> windowUnreadable;  // relative to the window
    std::uint64_t lostBytes = 0;
    std::uint64_t mendedBytes = 0;
    void load(std::uint64_t at, std::uint64_t width);
    bool inUnreadable(std::uint64_t at, std::uint64_t width) const;
};

}  // namespace vantor::fat
