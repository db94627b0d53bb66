#include "results/save_walk.h"

#include <cstdio>
#include <optional>

#include "core/output_file.h"
#include "results/entry_save.h"
#include "results/entry_walk.h"
#include "results/safe_name.h"

namespace vantor {

namespace {

std::int64_t countBelow(const EntrySource& source, EntryRef folder, int depth, WalkGuard& guard) {
    if (!guard.enter(folder, depth)) return 0;
    std::int64_t n = 0;
    for (const EntryRef child : childrenOf(source, folder)) {
        if (source.isSaveFolder(child)) n += countBelow(source, child, depth + 1, guard);
        else if (source.isSaveFile(child)) ++n;
    }
    return n;
}

class SaveWalk {
public:
    SaveWalk(EntrySource& source, const WorkSeams& seams, SaveReport& report)
        : source(source), seams(seams), report(report) {}

    // `target` is nullopt below a folder that could not be made: its files
    // are reported as not written.
    void walk(EntryRef folder, const std::string& entryPath, const std::optional<std::filesystem::path>& target,
              int depth) {
        if (!guard.enter(folder, depth)) return;
        std::vector<EntryRef> children;
        {
            auto lock = seams.useReader();
            children = childrenOf(source, folder);
        }
        for (const EntryRef child : children) {
            seams.waitIfPaused();
            if (seams.stopRequested()) report.stopped = true;
            if (ended()) return;
            seams.progress->setPosition(report.handled);
            std::optional<RecoveredItem> item;
            bool folderChild = false, fileChild = false;
            {
                auto lock = seams.useReader();
                item = source.describe(child);
                folderChild = source.isSaveFolder(child);
                fileChild = !folderChild && source.isSaveFile(child);
            }
            if (folderChild) saveChildFolder(child, *item, entryPath, target, depth);
            else if (fileChild) saveFile(child, *item, joinEntryPath(entryPath, item->name), target);
        }
    }

    void saveFile(EntryRef entry, const RecoveredItem& item, const std::string& entryPath,
                  const std::optional<std::filesystem::path>& target) {
        ++report.handled;
        const std::optional<std::filesystem::path> file = target ? namer.fileIn(*target, item.name) : std::nullopt;
        if (!file) {
            report.failed.push_back({entryPath, target ? "no free name for the file" : "its folder could not be made"});
            return;
        }
        seams.progress->setStatus("saving File  " + file->string());
        if (seams.fileLabel) seams.fileLabel("File size: " + std::to_string(item.size / 1024) + " kb");
        SaveControls controls;
        // Another save into the same folder may take a name between the
        // namer's look and the naming; a target may refuse a name.
        controls.nextName = [this, &target, &item](bool refused) {
            if (refused) namer.nameRefused();
            return namer.fileIn(*target, item.name);
        };
        controls.stopRequested = [this] { return seams.stopRequested(); };
        SaveResult result;
        {
            auto lock = seams.useReader();
            result = saveEntryToFile(source, entry, *file, controls);
        }
        if (seams.fileLabel) seams.fileLabel("");
        if (result.withheld) {
            ++report.withheld;
            return;
        }
        if (!result.written) {
            report.failed.push_back({entryPath, result.problem.empty() ? "not written" : result.problem});
            // Nothing more fits: the next files would fail the same way.
            report.targetFull = report.targetFull || result.targetFull;
            report.stopped = report.stopped || result.stopped;
            return;
        }
        lastFile = result.savedAs;
        ++report.written;
        if (result.damaged) report.damaged.push_back({entryPath, result.problem});
        noteRename(entryPath, item.name, result.savedAs);
    }

    bool ended() const { return report.stopped || report.targetFull; }

private:
    void saveChildFolder(EntryRef child, const RecoveredItem& item, const std::string& entryPath,
                         const std::optional<std::filesystem::path>& target, int depth) {
        // A folder without a name adds no level: its files land in the parent's folder.
        if (item.name.empty()) {
            walk(child, entryPath, target, depth + 1);
            return;
        }
        const auto made = target ? namer.folderIn(*target, item.name) : std::nullopt;
        if (made) noteRename(joinEntryPath(entryPath, item.name), item.name, *made);
        walk(child, joinEntryPath(entryPath, item.name), made, depth + 1);
        // After its files: writing them would move the folder's times again.
        if (made) restoreTimes(*made, item.access, item.modification);
    }

    void noteRename(const std::string& entryPath, const std::string& name, const std::filesystem::path& savedAs) {
        const std::string used = savedAs.filename().string();
        if (used != name) report.renamed.push_back({entryPath, used});
    }

public:
    std::filesystem::path lastFile;
    SaveNamer namer;

private:
    EntrySource& source;
    const WorkSeams& seams;
    SaveReport& report;
    WalkGuard guard;
};

}  // namespace

std::string saveSummary(const SaveReport& r) {
    if (r.complete() && r.renamed.empty()) return {};
    constexpr std::size_t kShown = 5;
    std::string text = std::to_string(r.written) + " of " + std::to_string(r.found) + " files saved.";
    if (r.targetFull) text += "\nThe save stopped: the output folder's disk is full.";
    else if (r.stopped) text += "\nThe save was stopped: the files saved are all it wrote.";
    const auto list = [&text](const std::vector<SaveProblem>& problems, const char* heading) {
        if (problems.empty()) return;
        text += "\n\n" + std::string(heading) + " (" + std::to_string(problems.size()) + "):";
        for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
            text += "\n" + problems[i].entryPath + ": " + problems[i].problem;
        if (problems.size() > kShown) text += "\n... and " + std::to_string(problems.size() - kShown) + " more";
    };
    list(r.failed, "Not saved");
    list(r.damaged, "Saved damaged");
    list(r.renamed, "Saved under another name");
    return text;
}

std::int64_t countFilesBelow(const EntrySource& source, EntryRef folder) {
    WalkGuard guard;
    return countBelow(source, folder, 0, guard);
}

SaveReport saveFolder(EntrySource& source, EntryRef folder, const std::string& entryPath,
                      const std::filesystem::path& outDir, const WorkSeams& seams) {
    SaveReport report;
    {
        auto lock = seams.useReader();
        report.found = countFilesBelow(source, folder);
    }
    seams.progress->setRange(0, report.found);
    char question[160];
    std::snprintf(question, sizeof question,
                  "number of files found inside this folder = %lld .do u want to continue dumping these files..?",
                  static_cast<long long>(report.found));
    if (!seams.messages->ask(question)) {
        report.declined = true;
        return report;
    }
    SaveWalk walk(source, seams, report);
    walk.namer.probe(outDir);
    walk.walk(folder, entryPath, outDir, 0);
    seams.progress->setPosition(report.found);
    seams.messages->inform("work done");
    return report;
}

SaveReport saveSingleFile(EntrySource& source, EntryRef file, const std::string& entryPath,
                          const std::filesystem::path& outDir, const WorkSeams& seams) {
    SaveReport report;
    report.found = 1;
    RecoveredItem item;
    {
        auto lock = seams.useReader();
        item = source.describe(file);
    }
    SaveWalk walk(source, seams, report);
    walk.namer.probe(outDir);
    walk.saveFile(file, item, entryPath, outDir);
    if (report.written == 1) {
        seams.messages->inform("file is dumped in path  :  " + walk.lastFile.string() + "   ");
    }
    return report;
}

}  // namespace vantor
