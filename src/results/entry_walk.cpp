#include "results/entry_walk.h"

namespace vantor {

std::vector<EntryRef> childrenOf(const EntrySource& source, EntryRef folder) {
    std::vector<EntryRef> out;
    std::unordered_set<EntryRef> seen;
    for (auto child = source.firstChild(folder); child && out.size() < kMaxChildren;
         child = source.nextSibling(*child)) {
        if (*child == folder || !seen.insert(*child).second) break;  // a circle of siblings
        out.push_back(*child);
    }
    return out;
}

std::string joinEntryPath(std::string_view base, std::string_view name) {
    std::string path(base);
    path += '/';
    path += name;
    return path;
}

std::string insideFolderPath(std::string_view base, std::string_view folderName) {
    return folderName.empty() ? std::string(base) : joinEntryPath(base, folderName);
}

}  // namespace vantor
