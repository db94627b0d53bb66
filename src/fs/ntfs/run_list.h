#pragma once
// Run lists of non-resident attributes: where each stretch of a file's
// clusters lies on the volume.
#include <cstdint>
#include <vector>

#include "core/bytes.h"

namespace vantor {

struct MftRun {
    std::uint64_t startCluster = 0;  // 0 for a sparse run
    std::uint64_t clusterCount = 0;
    bool sparse = false;
};

struct DecodedRuns {
    std::vector<MftRun> runs;
    bool damaged = false;  // a run header or offset that no formatter writes
};

// Decodes a run list. `clusterBudget` (last VCN - starting VCN + 1) bounds
// what is returned: a run that would take the running total past it is
// dropped, as are all after it. Runs of length 0 add nothing.
DecodedRuns decodeRunList(Bytes runList, std::uint64_t clusterBudget);


}  // namespace vantor
