#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "device/FileReadSeek.h"
#include "results/scan_session.h"
#include "support/fake_reader.h"
#include "support/support.h"

namespace vantor {
namespace {

constexpr const char* kScanDone = "Scanning processing done.Select save button to save the data.";

// A session over an in-memory source, with recorders for its seams.
struct Session {
    MemoryReader source{std::vector<std::uint8_t>(4096, 0)};
    AppState state;
    test::RecordingMessages messages;
    test::RecordingProgress progress;
    VolumeRecord volume;
    std::unique_ptr<ScanRun> run;
    explicit Session(std::string fileSystem = "FAT32") {
        volume.fileSystem = std::move(fileSystem);
        run = std::make_unique<ScanRun>(ReaderContext{source, volume, state, progress, messages});
    }
    bool statusSaid(const std::string& text) const {
        const auto all = progress.statuses();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
};

// Blocks until the worker has brought `value` to at least `target`; the
// worker notifies after every change.
void awaitAtLeast(const std::atomic<int>& value, int target) {
    for (int now = value.load(); now < target; now = value.load()) value.wait(now);
}

void bump(std::atomic<int>& value) {
    ++value;
    value.notify_all();
}

// A life cycle of two phases whose first phase the test hands out one unit
// at a time, so it always knows where the worker is: waiting for a unit,
// or at the poll point that starts one. The first phase runs until stopped;
// the second does three units unless stopped again.
struct SteppedPhases {
    std::atomic<int> granted{0};  // units of the first phase the test allowed
    std::atomic<int> arrived{0};  // poll points of the first phase reached
    std::atomic<int> ticks{0};    // units of the first phase done
    std::atomic<int> firstEnded{0}, secondPhase{0};
    // The gate's depth each time the worker got through its poll point: a
    // worker let through while paused would record more than 0.
    std::mutex lock;
    std::vector<int> depthsPassed;
    PauseGate* gate = nullptr;

    void install(test::FakeReader& reader) {
        gate = &reader.control.gate;
        reader.scanBody = [this](test::FakeReader& r, ScanMode) {
            for (;;) {
                awaitAtLeast(granted, arrived.load() + 1);
                bump(arrived);
                const bool stop = r.control.pollAndTake();
                {
                    std::lock_guard hold(lock);
                    depthsPassed.push_back(r.control.gate.depth());
                }
                if (stop) break;
                bump(ticks);
            }
            bump(firstEnded);
            for (int i = 0; i < 3 && !r.control.pollAndTake(); ++i) ++secondPhase;
            return ScanOutcome::done;
        };
    }
    void grant() { bump(granted); }
    // Once a stop is pending the next poll ends the phase: units beyond it
    // are never asked for unless the gate let the worker run ahead.
    void grantAll() {
        granted = 1 << 30;
        granted.notify_all();
    }
    std::vector<int> depths() {
        std::lock_guard hold(lock);
        return depthsPassed;
    }
};

// Lets a worker that waits for units go, so a test that ends early (a failed
// ASSERT) does not leave its session joining a worker that never polls again.
struct UnitsOpenAtExit {
    SteppedPhases& phases;
    ~UnitsOpenAtExit() { phases.grantAll(); }
};

TEST(ScanSession, PausesCountAndStopEndsOnlyThePhaseInProgress) {
    SteppedPhases phases;
    Session s;
    UnitsOpenAtExit openAtExit{phases};
    auto reader = std::make_unique<test::FakeReader>();
    phases.install(*reader);
    ASSERT_TRUE(s.run->start(ScanMode::standard, std::move(reader)));
    phases.grant();
    awaitAtLeast(phases.ticks, 1);

    s.run->pause();
    s.run->pause();
    EXPECT_EQ(phases.gate->depth(), 2);
    // The next unit starts at a closed gate.
    phases.grant();
    awaitAtLeast(phases.arrived, 2);
    EXPECT_EQ(phases.ticks, 1);
    s.run->resume();
    EXPECT_EQ(phases.gate->depth(), 1) << "two pauses need two resumes";
    EXPECT_FALSE(phases.gate->isReleased());
    EXPECT_EQ(phases.ticks, 1);
    EXPECT_TRUE(s.run->workerRunning());
    s.run->resume();
    EXPECT_EQ(phases.gate->depth(), 0);
    awaitAtLeast(phases.ticks, 2);  // the held unit goes on once the gate opens

    s.run->stop();
    phases.grantAll();
    s.run->wait();
    EXPECT_EQ(phases.firstEnded, 1);
    EXPECT_EQ(phases.ticks, 2) << "the unit that met the stop was not done";
    EXPECT_EQ(phases.secondPhase, 3) << "the phase after the stopped one still runs";
    EXPECT_EQ(phases.depths(), (std::vector<int>{0, 0, 0})) << "the worker got through a closed gate";
    EXPECT_FALSE(s.run->workerRunning());
    EXPECT_TRUE(s.messages.said(kScanDone));
    for (const char* status : {"Pause button pressed", "Resume button pressed",
                               "stop button pressed.Please wait for the process to be stopped.", kScanDone}) {
        SCOPED_TRACE(status);
        EXPECT_TRUE(s.statusSaid(status));
    }
}

TEST(ScanSession, StopDoesNotResumeAPausedWorkerAndOtherWorkIsRefused) {
    SteppedPhases phases;
    Session s;
    UnitsOpenAtExit openAtExit{phases};
    auto reader = std::make_unique<test::FakeReader>();
    phases.install(*reader);
    ASSERT_TRUE(s.run->start(ScanMode::standard, std::move(reader)));
    phases.grant();
    awaitAtLeast(phases.ticks, 1);
    s.run->pause();
    phases.grant();
    awaitAtLeast(phases.arrived, 2);
    s.run->stop();
    // The gate stays as the pause left it: closed, and not opened for good.
    EXPECT_EQ(phases.gate->depth(), 1);
    EXPECT_FALSE(phases.gate->isReleased());
    EXPECT_TRUE(s.run->workerRunning());
    EXPECT_EQ(phases.firstEnded, 0);

    test::ScratchDir out;
    EXPECT_FALSE(s.run->startSave(0, "ROOT", out.path()));
    EXPECT_FALSE(s.run->startSearch("x", {}));
    EXPECT_TRUE(s.messages.said("Please wait for other process to complete"));
    EXPECT_TRUE(test::pathsBelow(out.path()).empty());

    s.run->resume();
    phases.grantAll();
    s.run->wait();
    // The unit held at the gate met the stop there: the phase ended without it.
    EXPECT_EQ(phases.firstEnded, 1);
    EXPECT_EQ(phases.ticks, 1);
    EXPECT_EQ(phases.depths(), (std::vector<int>{0, 0})) << "the worker got through a closed gate";
    EXPECT_FALSE(s.run->workerRunning());
}

TEST(ScanSession, TailFillsTheTreeAndRestoresRecycleNames) {
    Session s;
    test::StandardVolume v;
    v.reader.layout = RecycleLayout::flat;
    CheckTree tree;
    s.run->setTree(&tree);
    int treeJobs = 0;
    s.run->onTreeThread = [&](const std::function<void()>& job) {
        ++treeJobs;
        job();
    };
    ASSERT_TRUE(s.run->start(ScanMode::standard, v.release()));
    s.run->wait();
    EXPECT_EQ(s.run->outcome(), ScanOutcome::done);
    EXPECT_EQ(treeJobs, 1);
    const TreeItem root = tree.firstChild(kNoItem);
    EXPECT_EQ(tree.text(root), "ROOT");
    EXPECT_EQ(tree.children(root).size(), 8u);
    const auto binChildren = v.reader.entry(v.bin).children;
    EXPECT_EQ(s.run->reader()->describe(binChildren[1]).name, "report.txt");
    EXPECT_EQ(s.run->reader()->describe(binChildren[3]).name, "holiday.jpg");
    EXPECT_TRUE(s.messages.said(kScanDone));
}

TEST(ScanSession, OutcomesThatSkipTheTail) {
    struct Case {
        const char* what;
        std::string fileSystem;
        ScanOutcome outcome;
        bool tail;
        bool message;
    };
    const Case cases[] = {
        {"done", "NTFS", ScanOutcome::done, true, true},
        {"failed", "extX", ScanOutcome::failed, true, true},
        {"not of the reader's kind", "FAT16", ScanOutcome::wrongKind, false, false},
        {"no worker for the mode", "extX", ScanOutcome::unsupported, false, false},
        {"HFS+ closes without a message", "HFS+", ScanOutcome::done, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s(c.fileSystem);
        auto reader = std::make_unique<test::FakeReader>();
        reader->addFile(0, "f", "x");
        reader->scanBody = [&c](test::FakeReader&, ScanMode) { return c.outcome; };
        CheckTree tree;
        s.run->setTree(&tree);
        ASSERT_TRUE(s.run->start(ScanMode::standard, std::move(reader)));
        s.run->wait();
        EXPECT_EQ(s.run->outcome(), c.outcome);
        EXPECT_EQ(tree.size(), c.tail ? 2u : 0u);
        EXPECT_EQ(s.messages.said(kScanDone), c.message);
    }
    Session ntfs("NTFS");
    ASSERT_TRUE(ntfs.run->start(ScanMode::standard, std::make_unique<test::FakeReader>()));
    ntfs.run->wait();
    EXPECT_TRUE(ntfs.statusSaid("ntfs partition selected...."));
}

TEST(ScanSession, VolumesWithoutAReaderAreRefused) {
    struct Case {
        const char* fileSystem;
        const char* message;
    };
    const Case cases[] = {
        {"RAW", "not a valid drive."},
        {"something", "not a valid drive."},
        {"unknown", "unKnown Partition Cant be parsed..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileSystem);
        Session s(c.fileSystem);
        EXPECT_FALSE(s.run->start(ScanMode::standard));
        EXPECT_FALSE(s.run->workerRunning());
        EXPECT_EQ(s.messages.all(), std::vector<std::string>{c.message});
    }
}

TEST(ScanSession, SaveAfterAStoppedSearchWritesNormally) {
    Session s;
    test::StandardVolume v;
    ASSERT_TRUE(s.run->start(ScanMode::standard, v.release()));
    s.run->wait();
    std::vector<std::string> hits;
    SearchReport searched;
    // Stop pressed while the search runs (from its first hit).
    ASSERT_TRUE(s.run->startSearch(
        "\\.txt$",
        [&](const SearchHit& h) {
            hits.push_back(h.path);
            s.run->stop();
        },
        [&](const SearchReport& r) { searched = r; }));
    s.run->wait();
    EXPECT_TRUE(searched.stopped);
    EXPECT_EQ(hits, std::vector<std::string>{"ROOT/docs/a.txt"});
    EXPECT_TRUE(s.messages.said("Searching Finished"));

    test::ScratchDir out;
    SaveReport saved;
    ASSERT_TRUE(s.run->startSave(v.docs, "ROOT/docs", out.path(), [&](const SaveReport& r) { saved = r; }));
    s.run->wait();
    EXPECT_EQ(saved.written, 4);
    EXPECT_TRUE(saved.complete());
    EXPECT_EQ(test::readFileBytes(out.path() / "sub/c.PNG").size(), 7u);

    SaveReport single;
    ASSERT_TRUE(s.run->startSaveFile(v.top, "ROOT/top.txt", out.path(), [&](const SaveReport& r) { single = r; }));
    s.run->wait();
    EXPECT_EQ(single.written, 1);
    EXPECT_FALSE(s.run->startSave(v.docs, "ROOT/docs", ""));
    EXPECT_TRUE(s.messages.said("select output folder"));
    const int savesBefore = v.reader.saves;
    EXPECT_FALSE(s.run->startSaveFile(v.top, "ROOT/top.txt", ""));
    EXPECT_EQ(v.reader.saves, savesBefore);
}

}  // namespace
}  // namespace vantor

namespace vantor {
namespace {

TEST(ScanSession, NextWorkCanStartFromTheEndOfTheLast) {
    Session s;
    test::StandardVolume v;
    std::atomic<int> ended{0}, started{0};
    std::atomic<bool> chained{false}, searchStarted{false};
    s.run->onWorkerEnd = [&] {
        // The wizard chains work this way: the scan's end starts a search.
        if (!chained.exchange(true)) searchStarted = s.run->startSearch("txt", {});
        bump(ended);
    };
    // The scan ends after start() has returned, as any real scan does.
    v.reader.scanBody = [&](test::FakeReader&, ScanMode) {
        awaitAtLeast(started, 1);
        return ScanOutcome::done;
    };
    ASSERT_TRUE(s.run->start(ScanMode::standard, v.release()));
    bump(started);
    // Both workers' ends, before wait(): the first hands its thread over to
    // the second while it ends.
    awaitAtLeast(ended, 2);
    EXPECT_TRUE(searchStarted);
    s.run->wait();
    EXPECT_TRUE(s.messages.said("Searching Finished"));
}

}  // namespace
}  // namespace vantor
