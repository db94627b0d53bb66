#include "fs/ntfs/run_list.h"

namespace vantor {

DecodedRuns decodeRunList(Bytes list, std::uint64_t budget) {
    DecodedRuns out;
    std::size_t off = 0;
    std::int64_t running = 0;
    std::uint64_t total = 0;
    bool overBudget = false;
    while (off < list.size()) {
        const std::uint8_t header = list[off];
        const std::size_t lengthSize = header & 0x0F;
        const std::size_t offsetSize = header >> 4;
        if (lengthSize == 0) break;  // the end marker
        if (lengthSize > 8 || offsetSize > 8 || !fits(list, off + 1, lengthSize + offsetSize)) {
            out.damaged = true;
            break;
        }
        std::uint64_t length = 0;
        for (std::size_t i = 0; i < lengthSize; ++i) length |= std::uint64_t{list[off + 1 + i]} << (8 * i);
        std::uint64_t delta = 0;
        for (std::size_t i = 0; i < offsetSize; ++i) delta |= std::uint64_t{list[off + 1 + lengthSize + i]} << (8 * i);
        if (offsetSize > 0 && offsetSize < 8 && (delta >> (8 * offsetSize - 1)) & 1) {
            delta |= ~std::uint64_t{0} << (8 * offsetSize);  // sign-extend from the top byte
        }
        off += 1 + lengthSize + offsetSize;
        MftRun run;
        run.clusterCount = length;
        if (offsetSize == 0) {
            run.sparse = true;
        } else {
            running = static_cast<std::int64_t>(static_cast<std::uint64_t>(running) + delta);
            if (running < 0) {  // before the volume's start: nothing after it can be trusted
                out.damaged = true;
                break;
            }
            run.startCluster = static_cast<std::uint64_t>(running);
        }
        if (length == 0) continue;
        if (overBudget || length > budget - std::min(total, budget) ) {
            overBudget = true;
            continue;
        }
        total += length;
        out.runs.push_back(run);
    }
    return out;
}

}  // namespace vantor
