#pragma once
// The HFS+ and HFSX volume header (1024 bytes into the volume): one decoder,
// used to recognise a volume and by the HFS+ reader alike. Big-endian.
#include <cstdint>
#include <optional>

#include "core/bytes.h"

namespace vantor::hfsplus {

inline constexpr std::uint64_t kHeaderOffset = 1024;

struct VolumeHeader {
    std::uint16_t signature = 0;   // 0x00 "H+" (version 4) or "HX" (version 5, case-sensitive names)
    std::uint16_t version = 0;     // 0x02
    // 0x04 attributes, 0x08 last mounted version, 0x0C journal info block,
    // 0x10..0x1F dates, 0x20 file count, 0x24 folder count
    std::uint32_t blockSize = 0;   // 0x28
    std::uint32_t totalBlocks = 0; // 0x2C
    bool caseSensitive() const { return signature == 0x4858; }
    std::uint64_t volumeBytes() const { return std::uint64_t{blockSize} * totalBlocks; }
};

std::optional<VolumeHeader> decodeVolumeHeader(Bytes header);

}  // namespace vantor::hfsplus
