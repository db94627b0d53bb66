#pragma once
// Lookups in the first FAT. The table is read through a window of a few
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
    // `clusterCount` data clusters, numbered 2 .. clusterCount + 1.
    void attach(VolumeWindow* reader, std::uint64_t fatStart, std::uint32_t clusterCount, FatVersion version);
    // The stored value for a cluster (FAT32 masked to 28 bits), or nullopt
    // when the cluster lies outside the table.
    std::optional<std::uint32_t> entry(std::uint32_t cluster);
    // The next cluster of a chain, or nullopt at its end: end marks, bad
    // clusters, free entries and values outside the volume all end a chain.
    std::optional<std::uint32_t> next(std::uint32_t cluster);
    bool inRange(std::uint32_t cluster) const { return cluster >= 2 && cluster < std::uint64_t{clusters} + 2; }
    std::uint32_t clusterCount() const { return clusters; }

private:
    static constexpr std::size_t kWindowBytes = 64 * 1024;
    VolumeWindow* reader = nullptr;
    std::uint64_t start = 0;
    std::uint32_t clusters = 0;
    FatVersion version = FatVersion::fat32;
    std::vector<std::uint8_t> window;
    std::uint64_t windowOffset = 0;  // table-relative
    bool windowValid = false;
};

}  // namespace vantor::fat
