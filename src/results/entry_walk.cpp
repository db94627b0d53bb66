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

namespace {

void visitBelow(const EntrySource& source, EntryRef folder, const std::string& path, bool orphan, bool recursive,
                int depth, WalkGuard& guard, const std::function<void(const VisitedEntry&)>& visit) {
    if (!guard.enter(folder, depth)) return;
    for (const EntryRef child : childrenOf(source, folder)) {
        VisitedEntry e{child, {}, source.describe(child), orphan};
        e.path = joinEntryPath(path, e.item.name);
        visit(e);
        if (recursive && e.item.isFolder)
            visitBelow(source, child, insideFolderPath(path, e.item.name), orphan || e.item.isOrphanGroup, true,
                       depth + 1, guard, visit);
    }
}

}  // namespace

void visitEntries(const EntrySource& source, EntryRef folder, const std::string& path, bool recursive,
                  const std::function<void(const VisitedEntry&)>& visit) {
    WalkGuard guard;
    visitBelow(source, folder, path, false, recursive, 0, guard, visit);
}

std::optional<EntryRef> findEntryByPath(const EntrySource& source, const std::string& rootLabel, std::string_view path) {
    auto current = source.rootEntry();
    if (!current) return std::nullopt;
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path) {
        if (c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    std::size_t i = 0;
    if (!parts.empty() && parts[0] == rootLabel) i = 1;
    for (; i < parts.size(); ++i) {
        std::optional<EntryRef> next;
        const bool last = i + 1 == parts.size();
        for (const EntryRef child : childrenOf(source, *current)) {
            const RecoveredItem item = source.describe(child);
            if (item.name != parts[i]) continue;
            if (!next || (!last && item.isFolder)) next = child;
            if (last || item.isFolder) break;
        }
        if (!next) return std::nullopt;
        current = next;
    }
    return current;
}

}  // namespace vantor
