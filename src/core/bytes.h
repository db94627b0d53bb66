#pragma once
// Bounds-checked decoding of on-disk integers. A field that lies outside its
// buffer reads as 0: a damaged structure is input to cope with, never a reason
// to read past a buffer. Callers that must tell "absent" from "zero" check the
// size first or use slice().
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace vantor {

using Bytes = std::span<const std::uint8_t>;

inline bool fits(Bytes b, std::size_t off, std::size_t len) {
    return off <= b.size() && len <= b.size() - off;
}

inline std::optional<Bytes> slice(Bytes b, std::size_t off, std::size_t len) {
    if (!fits(b, off, len)) return std::nullopt;
    return b.subspan(off, len);
}

inline std::uint8_t u8(Bytes b, std::size_t off) { return off < b.size() ? b[off] : 0; }

template <std::size_t N>
inline std::uint64_t leN(Bytes b, std::size_t off) {
    if (!fits(b, off, N)) return 0;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < N; ++i) v |= std::uint64_t{b[off + i]} << (8 * i);
    return v;
}

template <std::size_t N>
inline std::uint64_t beN(Bytes b, std::size_t off) {
    if (!fits(b, off, N)) return 0;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < N; ++i) v = (v << 8) | b[off + i];
    return v;
}

inline std::uint16_t le16(Bytes b, std::size_t off) { return static_cast<std::uint16_t>(leN<2>(b, off)); }
inline std::uint32_t le24(Bytes b, std::size_t off) { return static_cast<std::uint32_t>(leN<3>(b, off)); }
inline std::uint32_t le32(Bytes b, std::size_t off) { return static_cast<std::uint32_t>(leN<4>(b, off)); }
inline std::uint64_t le48(Bytes b, std::size_t off) { return leN<6>(b, off); }
inline std::uint64_t le64(Bytes b, std::size_t off) { return leN<8>(b, off); }
inline std::uint16_t be16(Bytes b, std::size_t off) { return static_cast<std::uint16_t>(beN<2>(b, off)); }
inline std::uint32_t be32(Bytes b, std::size_t off) { return static_cast<std::uint32_t>(beN<4>(b, off)); }
inline std::uint64_t be64(Bytes b, std::size_t off) { return beN<8>(b, off); }

// Signed views of the same fields.
inline std::int16_t les16(Bytes b, std::size_t off) { return static_cast<std::int16_t>(le16(b, off)); }
inline std::int32_t les32(Bytes b, std::size_t off) { return static_cast<std::int32_t>(le32(b, off)); }
inline std::int64_t les64(Bytes b, std::size_t off) { return static_cast<std::int64_t>(le64(b, off)); }

// True when the bytes at off spell text exactly.
inline bool hasText(Bytes b, std::size_t off, std::string_view text) {
    return fits(b, off, text.size()) && std::memcmp(b.data() + off, text.data(), text.size()) == 0;
}

inline bool isPowerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// A run of bytes: of a buffer, a file or a volume.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t length = 0;
    std::uint64_t end() const { return first + length; }
    friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

}  // namespace vantor
