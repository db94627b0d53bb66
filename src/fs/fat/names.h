#pragma once
// Long names: the group of 0x0F slots in front of a short entry, last piece
// first, each piece 13 UTF-16 characters.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace vantor::fat {

// A long name may be 255 characters: 20 pieces of 13.
inline constexpr std::size_t kMaxLongNamePieces = 20;

class LongNameGroup {
public:
    // Adds one long-name slot (32 bytes). Pieces past the 20th are dropped.
    void add(Bytes slot);
    void clear() { pieces.clear(); }
    bool empty() const { return pieces.empty(); }
    std::size_t size() const { return pieces.size(); }
    // The group is deleted when its first slot (the last piece) starts with 0xE5.
    bool deleted() const { return !pieces.empty() && pieces.front()[0] == 0xE5; }
    // The checksum byte of the group's first slot.
    std::uint8_t checksum() const { return pieces.empty() ? 0 : pieces.front()[13]; }
    // The pieces joined from the last collected (the name's start) to the
    // first, each ending at its first NUL; UTF-8.
    std::string name() const;

private:
    std::vector<std::array<std::uint8_t, 32>> pieces;
};

}  // namespace vantor::fat
