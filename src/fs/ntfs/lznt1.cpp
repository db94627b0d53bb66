#include "fs/ntfs/lznt1.h"

#include <algorithm>
#include <cstring>

namespace vantor {
namespace {

constexpr std::size_t kChunkOutput = 4096;

// Decodes one compressed chunk's groups into out; returns bytes produced or
// -1 for a back-reference that points before the chunk's start.
long decodeChunk(Bytes data, std::span<std::uint8_t> out) {
    std::size_t in = 0, p = 0;
    while (in < data.size() && p < out.size()) {
        const std::uint8_t flags = data[in++];
        for (int bit = 0; bit < 8 && in < data.size() && p < out.size(); ++bit) {
            if (!((flags >> bit) & 1)) {
                out[p++] = data[in++];
                continue;
            }
            if (in + 2 > data.size()) return static_cast<long>(p);
            const std::uint16_t token = static_cast<std::uint16_t>(data[in] | (data[in + 1] << 8));
            in += 2;
            // The split between offset and length bits moves with the position:
            // 4 offset bits up to 16 bytes in, one more each time it doubles.
            unsigned k = 0;
            for (std::size_t q = p - (p > 0 ? 1 : 0); q >= 16; q >>= 1) ++k;
            const std::size_t offset = (token >> (12 - k)) + 1u;
            const std::size_t length = (token & (0xFFFu >> k)) + 3u;
            if (offset > p) return -1;
            for (std::size_t i = 0; i < length && p < out.size(); ++i, ++p) out[p] = out[p - offset];
        }
    }
    return static_cast<long>(p);
}

}  // namespace

Lznt1Result lznt1Decompress(Bytes in, std::span<std::uint8_t> out) {
    Lznt1Result r;
    std::size_t pos = 0, chunkOut = 0;
    while (pos + 2 <= in.size() && chunkOut < out.size()) {
        const std::uint16_t header = static_cast<std::uint16_t>(in[pos] | (in[pos + 1] << 8));
        if ((header & 0x0FFF) == 0) break;  // a zero length ends the unit's chunks
        const std::size_t total = (header & 0x0FFF) + 3u;
        if (pos + total > in.size()) {
            r.damaged = true;
            break;
        }
        const Bytes data = in.subspan(pos + 2, total - 2);
        const auto room = out.subspan(chunkOut, std::min(kChunkOutput, out.size() - chunkOut));
        std::size_t produced = 0;
        if (!(header & 0x8000)) {
            produced = std::min(data.size(), room.size());
            std::memcpy(room.data(), data.data(), produced);
        } else {
            const long n = decodeChunk(data, room);
            if (n < 0) {
                r.damaged = true;
                break;
            }
            produced = static_cast<std::size_t>(n);
        }
        r.produced = chunkOut + produced;
        chunkOut += kChunkOutput;
        pos += total;
    }
    return r;
}

}  // namespace vantor
