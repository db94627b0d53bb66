// The HFS+ volume header's decoder (hfsplus_header.h).
#include "formats/hfsplus_header.h"

namespace vantor::hfsplus {

std::optional<VolumeHeader> decodeVolumeHeader(Bytes b) {
    if (b.size() < 512) return std::nullopt;
    VolumeHeader h;
    h.signature = be16(b, 0x00);
    h.version = be16(b, 0x02);
    h.blockSize = be32(b, 0x28);
    h.totalBlocks = be32(b, 0x2C);
    const bool plus = h.signature == 0x482B && h.version == 4;
    const bool x = h.signature == 0x4858 && h.version == 5;
    if (!plus && !x) return std::nullopt;
    if (h.blockSize < 512 || !isPowerOfTwo(h.blockSize)) return std::nullopt;
    // From 1 MiB to 20 TiB: a sweep meets stray "H+" bytes far more often
    // than volumes outside that range.
    const std::uint64_t megabytes = h.volumeBytes() >> 20;
    if (megabytes < 1 || megabytes > 20971519) return std::nullopt;
    return h;
}

}  // namespace vantor::hfsplus
