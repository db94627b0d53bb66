// Arbitrary bytes as one compression unit's LZNT1 chunks, decompressed into
// outputs of many sizes: whole units of 4 to 128 KiB and odd sizes that end
// inside a chunk. Beyond not crashing, the decoder must keep what it says:
// it never claims more bytes than the output holds, it writes nothing past
// what it claims unless it reports damage, and a shorter output gets exactly
// the start of what a longer one gets.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "fs/ntfs/lznt1.h"

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the output size; the rest are the chunks.
    const unsigned pick = data[0] | (data[1] << 8);
    const std::size_t outSize = (pick & 0x8000) ? ((pick & 0x1F) + 1) * std::size_t{4096} : (pick & 0x7FFF);
    // Copied so that a read past the input's end lands outside its own allocation.
    const std::vector<std::uint8_t> chunks(data + 2, data + size);

    std::vector<std::uint8_t> out(outSize, kUntouched);
    const vantor::Lznt1Result r = vantor::lznt1Decompress(chunks, out);
    if (r.produced > out.size()) broken("produced more than the output holds");
    if (!r.damaged) {
        for (std::size_t i = r.produced; i < out.size(); ++i)
            if (out[i] != kUntouched) broken("wrote past the bytes it says it produced");
    }

    // One more chunk's worth of room must not change the bytes that fitted before.
    std::vector<std::uint8_t> longer(outSize + 4096 + (pick & 0x0FFF), kUntouched);
    const vantor::Lznt1Result rl = vantor::lznt1Decompress(chunks, longer);
    if (rl.produced > longer.size()) broken("produced more than the longer output holds");
    if (!out.empty() && std::memcmp(out.data(), longer.data(), out.size()) != 0) broken("a shorter output is not the start of a longer one");
    if (!r.damaged && !rl.damaged && rl.produced < r.produced) broken("a longer output got fewer bytes");
    return 0;
}
