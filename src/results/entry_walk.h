#pragma once
// Walking a reader's entries through the results contract. A damaged disk
// can link a folder into itself or chain siblings in a circle, so every walk
// here stops at an entry it has already met and at a fixed depth.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/recovered.h"

namespace vantor {

// Deeper than any real folder tree; a deeper chain is a loop in disguise.
inline constexpr int kMaxFolderDepth = 1024;
// More children than any folder could hold on the volumes we read.
inline constexpr std::size_t kMaxChildren = 16u << 20;

// The children of a folder in the reader's order, without repeats.
std::vector<EntryRef> childrenOf(const EntrySource& source, EntryRef folder);

// Entry paths as the command line and the search show them: the root label,
// then each name, separated by "/".
std::string joinEntryPath(std::string_view base, std::string_view name);
// The path of what lies inside a folder: a folder without a name adds no
// level, as it adds none when saved.
std::string insideFolderPath(std::string_view base, std::string_view folderName);

// Remembers the folders a walk has entered, so a folder reached twice (a
// loop, or a folder linked under two parents) is walked once.
class WalkGuard {
public:
    // True the first time a folder is entered at an acceptable depth.
    bool enter(EntryRef folder, int depth) {
        if (depth > kMaxFolderDepth) return false;
        return seen.insert(folder).second;
    }

private:
    std::unordered_set<EntryRef> seen;
};

// One entry as a listing meets it.
struct VisitedEntry {
    EntryRef ref = 0;
    std::string path;      // "ROOT/docs/a.txt"
    RecoveredItem item;
    bool orphan = false;   // under the reader's node for entries whose folder is unknown
};

// Hands every entry below `folder` (named `path`) to `visit`, each as it is
// met: the folder's children, and with `recursive` everything below them.
// Nothing is kept, so a listing of hundreds of thousands of entries costs
// the memory of one.
void visitEntries(const EntrySource& source, EntryRef folder, const std::string& path, bool recursive,
                  const std::function<void(const VisitedEntry&)>& visit);

// The entry a path names: "ROOT/docs/a.txt", "docs/a.txt" or "/docs/a.txt".
// Where two entries share a name, a folder is taken when the path goes on.
std::optional<EntryRef> findEntryByPath(const EntrySource& source, const std::string& rootLabel, std::string_view path);

}  // namespace vantor
