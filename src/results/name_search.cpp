#include "results/name_search.h"

#include <cstdio>
#include <optional>
#include <regex>

#include "core/text.h"
#include "results/entry_walk.h"
#include "results/save_walk.h"

namespace vantor {

namespace {

constexpr std::size_t kMaxMatchedName = 1024;

std::optional<std::regex> compile(std::string_view pattern) {
    try {
        // Names are matched in the 8-bit code page, so the pattern is too.
        return std::regex(utf8ToCp1252(pattern), std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error&) {
        return std::nullopt;
    }
}

class NameSearch {
public:
    NameSearch(EntrySource& source, const std::regex& pattern, const WorkSeams& seams,
               const std::function<void(const SearchHit&)>& onHit, SearchReport& report)
        : source(source), pattern(pattern), seams(seams), onHit(onHit), report(report) {}

    void match(EntryRef entry, const RecoveredItem& item, const std::string& path) {
        bool found = false;
        // No file system stores a longer name; a damaged record might, and
        // the regex engine's recursion grows with the text.
        std::string name = utf8ToCp1252(item.name);
        if (name.size() > kMaxMatchedName) name.resize(kMaxMatchedName);
        try {
            found = std::regex_search(name, pattern);
        } catch (const std::regex_error&) {
            found = false;  // a pattern too complex for this name: no match
        }
        if (!found) return;
        ++report.hits;
        onHit(SearchHit{entry, path, item, inOrphanGroup});
        char status[64];
        std::snprintf(status, sizeof status, "searched file %lld", static_cast<long long>(report.hits));
        seams.progress->setStatus(status);
    }

    // Whether the top-level folder being walked is the reader's orphan node.
    bool inOrphanGroup = false;

    // The root is walked by the caller; a folder that links back to it must not walk it again.
    void enterRoot(EntryRef root) { guard.enter(root, 0); }

    // Ends early, at the next child, when the reader's stop byte is set.
    void walk(EntryRef folder, const std::string& path, int depth) {
        if (!guard.enter(folder, depth)) return;
        std::vector<EntryRef> children;
        {
            auto lock = seams.useReader();
            children = childrenOf(source, folder);
        }
        for (const EntryRef child : children) {
            seams.waitIfPaused();
            if (seams.readerStopRequested()) {
                report.stopped = true;
                return;
            }
            RecoveredItem item;
            bool isFolder = false, isFile = false;
            {
                auto lock = seams.useReader();
                item = source.describe(child);
                isFolder = source.isSaveFolder(child);
                isFile = !isFolder && source.isSaveFile(child);
            }
            if (isFile) {
                match(child, item, joinEntryPath(path, item.name));
            } else if (isFolder) {
                walk(child, insideFolderPath(path, item.name), depth + 1);
            }
        }
    }

private:
    EntrySource& source;
    const std::regex& pattern;
    const WorkSeams& seams;
    const std::function<void(const SearchHit&)>& onHit;
    SearchReport& report;
    WalkGuard guard;
};

}  // namespace

SearchReport searchNames(EntrySource& source, std::string_view pattern, const std::string& rootLabel,
                         const WorkSeams& seams, const std::function<void(const SearchHit&)>& onHit) {
    SearchReport report;
    if (!pattern.empty()) {
        const auto compiled = compile(pattern);
        if (!compiled) {
            report.patternValid = false;
            seams.messages->inform("such characters are not allowed for search.Try again with different pattern.");
        } else if (const auto root = source.rootEntry()) {
            NameSearch search(source, *compiled, seams, onHit, report);
            search.enterRoot(*root);
            std::vector<EntryRef> top;
            {
                auto lock = seams.useReader();
                top = childrenOf(source, *root);
            }
            for (const EntryRef child : top) {
                seams.waitIfPaused();
                if (seams.stopRequested()) {
                    report.stopped = true;
                    break;
                }
                RecoveredItem item;
                bool walkIt = false, leaf = false;
                {
                    auto lock = seams.useReader();
                    item = source.describe(child);
                    leaf = !source.firstChild(child).has_value();
                    walkIt = !leaf && source.isSaveFolder(child);
                }
                const std::string path = joinEntryPath(rootLabel, item.name);
                // A top-level entry without children is matched like a file,
                // an empty folder included.
                if (leaf) {
                    search.match(child, item, path);
                } else if (walkIt) {
                    std::int64_t n = 0;
                    {
                        auto lock = seams.useReader();
                        n = countFilesBelow(source, child);
                    }
                    seams.progress->setRange(0, n);
                    search.inOrphanGroup = item.isOrphanGroup;
                    search.walk(child, insideFolderPath(rootLabel, item.name), 1);
                    seams.progress->setPosition(n);
                    if (seams.takeReaderStop()) report.stopped = true;
                }
            }
        }
    }
    if (seams.pageStop) seams.pageStop->clear();
    seams.messages->inform("Searching Finished");
    seams.progress->setStatus("Searching Finished");
    return report;
}

}  // namespace vantor
