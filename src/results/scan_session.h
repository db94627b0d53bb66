#pragma once
// The scan session: picks the reader for a volume by its file-system name,
// runs its life cycle on one worker thread, then the tail every scan shares
// (the tree's root and top level, expand placeholders, recycle-bin names,
// the closing message). Saves and searches run as workers of the same
// session, so exactly one thread uses the reader at a time. The wizard polls
// workerRunning(); the command line calls wait().
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "controls/check_tree.h"
#include "core/recovered.h"
#include "device/reader_context.h"
#include "results/name_search.h"
#include "results/named_entries.h"
#include "results/save_walk.h"

namespace vantor {

class ScanRun {
public:
    explicit ScanRun(const ReaderContext& context);
    ~ScanRun();
    ScanRun(const ScanRun&) = delete;
    ScanRun& operator=(const ScanRun&) = delete;

    // The tree the tail fills (optional: the command line walks the reader).
    void setTree(CheckTree* tree) { resultsTree = tree; }
    // Runs a job where the tree lives and waits for it; the wizard passes its
    // UI thread here. By default the job runs on the worker.
    std::function<void(const std::function<void()>&)> onTreeThread;
    // The save's per-file line (see WorkSeams::fileLabel); called on the worker.
    std::function<void(std::string_view)> onFileLabel;
    // Called on the worker as its last act (scan, save or search).
    std::function<void()> onWorkerEnd;

    // Starts the scan with the reader the volume's file system names. False
    // (and the user told) when there is no reader or a worker runs.
    bool start(ScanMode mode);
    // Starts the scan with a reader made elsewhere (tests; the advanced page).
    bool start(ScanMode mode, std::unique_ptr<VolumeReader> reader);

    // Why a save must not go into outDir (it is on the disk being
    // recovered); nullopt when it may.
    std::optional<std::string> outputRefusal(const std::filesystem::path& outDir) const;
    // Saves a folder (or, with startSaveFile, one file) into outDir.
    bool startSave(EntryRef folder, const std::string& entryPath, const std::filesystem::path& outDir,
                   std::function<void(const SaveReport&)> done = {});
    bool startSaveFile(EntryRef file, const std::string& entryPath, const std::filesystem::path& outDir,
                       std::function<void(const SaveReport&)> done = {});
    // Searches names; hits are reported from the worker as they are found.
    bool startSearch(const std::string& pattern, std::function<void(const SearchHit&)> onHit,
                     std::function<void(const SearchReport&)> done = {});

    // Pauses count (two pauses need two resumes); the worker waits at its
    // next poll point. Stop ends the phase in progress; later phases and the
    // tail still run. Stop does not resume a paused worker.
    void pause();
    void resume();
    void stop();

    bool workerRunning() const { return running.load(); }
    // Blocks until the current worker has ended.
    void wait();

    // The scanned entries as everything shows and saves them (with the names
    // given after the scan); null before a scan started.
    EntrySource* reader() { return named.get(); }
    // The reader itself, for what only it knows (its scan's warnings).
    VolumeReader* volumeReader() { return active; }
    ScanOutcome outcome() const { return lastOutcome.load(); }
    // The reader for the UI thread, only when no worker is reading: an
    // unowned lock means "busy, try again later".
    std::unique_lock<std::mutex> tryUseReader() { return std::unique_lock<std::mutex>(readerLock, std::try_to_lock); }
    const ReaderContext& context() const { return ctx; }

private:
    using SaveFunction = SaveReport (*)(EntrySource&, EntryRef, const std::string&, const std::filesystem::path&,
                                        const WorkSeams&);
    bool startSaveJob(EntryRef entry, const std::string& entryPath, const std::filesystem::path& outDir,
                      std::function<void(const SaveReport&)> done, SaveFunction save);
    bool beginWorker();
    void launch(std::function<void()> job);
    void runScan(ScanMode mode);
    void commonTail();
    WorkSeams seams();

    ReaderContext ctx;
    std::unique_ptr<VolumeReader> owned;
    VolumeReader* active = nullptr;
    std::unique_ptr<NamedEntries> named;
    CheckTree* resultsTree = nullptr;
    std::thread worker;
    std::mutex launchLock;  // held while `worker` is being assigned
    std::atomic<bool> running{false};
    std::atomic<ScanOutcome> lastOutcome{ScanOutcome::unsupported};
    StopFlag pageStop;
    std::mutex readerLock;
};

}  // namespace vantor
