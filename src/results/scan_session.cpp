#include "results/scan_session.h"

#include "device/same_disk.h"
#include "results/format_table.h"
#include "results/recycle_names.h"
#include "results/results_tree.h"

namespace vantor {

ScanRun::ScanRun(const ReaderContext& context) : ctx(context) {}

ScanRun::~ScanRun() {
    if (active) {
        active->control.stopRequested.request();
        active->control.gate.release();
    }
    pageStop.request();
    if (worker.joinable()) worker.join();
}

bool ScanRun::beginWorker() {
    bool expected = false;
    if (!running.compare_exchange_strong(expected, true)) {
        ctx.messages.inform("Please wait for other process to complete");
        return false;
    }
    // The last worker has ended; collect it. Started from that worker's own
    // end callback, it cannot join itself: it is let go, as it is ending.
    if (worker.joinable()) {
        if (worker.get_id() == std::this_thread::get_id()) worker.detach();
        else worker.join();
    }
    return true;
}

void ScanRun::launch(std::function<void()> job) {
    // The worker may end (and its end callback start the next worker) before
    // `worker` is assigned here: it waits for the assignment first.
    std::lock_guard assigning(launchLock);
    worker = std::thread([this, job = std::move(job)] {
        job();
        // A pause pressed after the worker's last poll must not hold the next one.
        if (active)
            while (active->control.gate.resume()) {
            }
        { std::lock_guard assigned(launchLock); }
        running.store(false);
        if (onWorkerEnd) onWorkerEnd();
    });
}

bool ScanRun::start(ScanMode mode) {
    if (equalsIgnoreCase(ctx.volume.fileSystem, "unknown")) {
        ctx.messages.inform("unKnown Partition Cant be parsed...");
        return false;
    }
    const FormatRow* format = formatFor(ctx.volume.fileSystem);
    auto made = format && format->makeReader ? format->makeReader(ctx) : nullptr;
    if (!made) {
        ctx.messages.inform("not a valid drive.");
        ctx.progress.setStatus("Not a valid Drive .Go back");
        return false;
    }
    return start(mode, std::move(made));
}

bool ScanRun::start(ScanMode mode, std::unique_ptr<VolumeReader> reader) {
    if (!reader) return false;
    if (!beginWorker()) return false;
    owned = std::move(reader);
    active = owned.get();
    named = std::make_unique<NamedEntries>(*active);
    if (const FormatRow* format = formatFor(ctx.volume.fileSystem); format && !format->startStatus.empty())
        ctx.progress.setStatus(format->startStatus);
    launch([this, mode] { runScan(mode); });
    return true;
}

void ScanRun::runScan(ScanMode mode) {
    const ScanOutcome outcome = active->scan(mode);
    lastOutcome.store(outcome);
    if (outcome == ScanOutcome::done || outcome == ScanOutcome::failed) commonTail();
}

void ScanRun::commonTail() {
    // The former names first, so the tree shows them from the start.
    if (active->recycleLayout() != RecycleLayout::none) {
        auto lock = std::lock_guard(readerLock);
        named->setNames(recycledNames(*active, active->recycleLayout()));
    }
    if (resultsTree) {
        const auto fill = [this] {
            auto lock = std::lock_guard(readerLock);
            const TreeItem root = insertRootItem(*resultsTree, *named, ctx.state.rootLabel);
            fillTopLevel(*resultsTree, *named, root);
            addExpandPlaceholders(*resultsTree, *named);
        };
        if (onTreeThread) onTreeThread(fill);
        else fill();
    }
    // Some life cycles close with their own status and no message.
    if (const FormatRow* format = formatFor(ctx.volume.fileSystem); format && !format->closingMessage) return;
    static constexpr const char* kDone = "Scanning processing done.Select save button to save the data.";
    ctx.messages.inform(kDone);
    ctx.progress.setStatus(kDone);
}

WorkSeams ScanRun::seams() {
    WorkSeams s;
    s.progress = &ctx.progress;
    s.messages = &ctx.messages;
    s.pageStop = &pageStop;
    s.gate = active ? &active->control.gate : nullptr;
    s.readerStop = active ? &active->control.stopRequested : nullptr;
    s.readerLock = &readerLock;
    s.fileLabel = onFileLabel;
    return s;
}

bool ScanRun::startSave(EntryRef folder, const std::string& entryPath, const std::filesystem::path& outDir,
                        std::function<void(const SaveReport&)> done) {
    return startSaveJob(folder, entryPath, outDir, std::move(done), saveFolder);
}

bool ScanRun::startSaveFile(EntryRef file, const std::string& entryPath, const std::filesystem::path& outDir,
                            std::function<void(const SaveReport&)> done) {
    return startSaveJob(file, entryPath, outDir, std::move(done), saveSingleFile);
}

std::optional<std::string> ScanRun::outputRefusal(const std::filesystem::path& outDir) const {
    return outputOnSource(ctx.reader, outDir);
}

bool ScanRun::startSaveJob(EntryRef entry, const std::string& entryPath, const std::filesystem::path& outDir,
                           std::function<void(const SaveReport&)> done, SaveFunction save) {
    if (!active) return false;
    // Without a chosen folder the files would land wherever the process runs.
    if (outDir.empty()) {
        ctx.messages.inform("select output folder");
        return false;
    }
    if (const auto onSource = outputRefusal(outDir)) {
        ctx.messages.inform(*onSource);
        return false;
    }
    if (!beginWorker()) return false;
    // A Stop pressed before this save does not hold it back.
    pageStop.clear();
    active->control.stopRequested.clear();
    launch([this, entry, entryPath, outDir, done = std::move(done), save] {
        const SaveReport report = save(*named, entry, entryPath, outDir, seams());
        pageStop.clear();
        if (done) done(report);
    });
    return true;
}

bool ScanRun::startSearch(const std::string& pattern, std::function<void(const SearchHit&)> onHit,
                          std::function<void(const SearchReport&)> done) {
    if (!active) return false;
    if (!beginWorker()) return false;
    pageStop.clear();
    active->control.stopRequested.clear();
    ctx.state.searchText = pattern;
    launch([this, pattern, onHit = std::move(onHit), done = std::move(done)] {
        const SearchReport report = searchNames(*named, pattern, ctx.state.rootLabel, seams(),
                                                onHit ? onHit : [](const SearchHit&) {});
        active->control.stopRequested.clear();
        if (done) done(report);
    });
    return true;
}

void ScanRun::pause() {
    if (!active || !running.load()) return;
    active->control.gate.pause();
    ctx.progress.setStatus("Pause button pressed");
}

void ScanRun::resume() {
    if (!active || !running.load()) return;
    if (active->control.gate.resume()) ctx.progress.setStatus("Resume button pressed");
}

void ScanRun::stop() {
    if (!active) return;
    active->control.stopRequested.request();
    pageStop.request();
    ctx.progress.setStatus("stop button pressed.Please wait for the process to be stopped.");
}

void ScanRun::wait() {
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id()) worker.join();
}

}  // namespace vantor
