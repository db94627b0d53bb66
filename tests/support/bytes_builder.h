#pragma once
// Writing fields into hand-built sectors, records and slots, so a test shows
// exactly which bytes it sets. A field that does not fit is a mistake in the
// test, not input to cope with: it throws rather than writing past the end.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantor::test {

inline std::span<std::uint8_t> field(std::span<std::uint8_t> s, std::size_t at, std::size_t width) {
    if (at > s.size() || width > s.size() - at)
        throw std::out_of_range("field of " + std::to_string(width) + " bytes at " + std::to_string(at) +
                                " outside " + std::to_string(s.size()) + " bytes");
    return s.subspan(at, width);
}

// `width` bytes of `v`, least significant first.
inline void putLe(std::span<std::uint8_t> s, std::size_t at, std::uint64_t v, int width) {
    const auto f = field(s, at, static_cast<std::size_t>(width));
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// `width` bytes of `v`, most significant first.
inline void putBe(std::span<std::uint8_t> s, std::size_t at, std::uint64_t v, int width) {
    const auto f = field(s, at, static_cast<std::size_t>(width));
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(v >> (8 * (f.size() - 1 - i)));
}

// The characters of `text` as they are, without a terminator.
inline void putText(std::span<std::uint8_t> s, std::size_t at, std::string_view text) {
    const auto f = field(s, at, text.size());
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(text[i]);
}

inline void putBytes(std::span<std::uint8_t> s, std::size_t at, std::span<const std::uint8_t> bytes) {
    const auto f = field(s, at, bytes.size());
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = bytes[i];
}

}  // namespace vantor::test
