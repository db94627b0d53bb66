#pragma once
// LZNT1, the compression of NTFS compressed files.
#include <cstdint>
#include <span>

#include "core/bytes.h"

namespace vantor {

struct Lznt1Result {
    std::size_t produced = 0;  // bytes written to the output
    bool damaged = false;      // a chunk claimed more input than there is, or referred before its start
};

// Decompresses the chunks of one compression unit into `out` (one unit's
// size). Every chunk stands for 4096 bytes of output: a chunk that yields
// fewer leaves the rest of its 4096 bytes zero.
Lznt1Result lznt1Decompress(Bytes in, std::span<std::uint8_t> out);

}  // namespace vantor
