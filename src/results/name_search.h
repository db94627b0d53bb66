#pragma once
// The name search: a regular expression (ECMAScript, case ignored) looked
// for anywhere in the names of every file below the root, at any depth.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/recovered.h"
#include "results/work_seams.h"

namespace vantor {

struct SearchHit {
    EntryRef entry = 0;
    std::string path;  // "ROOT/docs/a.txt"
    RecoveredItem item;
    bool orphan = false;  // under the reader's node for entries whose folder is unknown
};

struct SearchReport {
    bool patternValid = true;
    bool stopped = false;
    std::int64_t hits = 0;
};

// Walks the root's folders and matches file names; every match goes to
// onHit as it is found. An empty pattern finds nothing.
SearchReport searchNames(EntrySource& source, std::string_view pattern, const std::string& rootLabel,
                         const WorkSeams& seams, const std::function<void(const SearchHit&)>& onHit);

}  // namespace vantor
