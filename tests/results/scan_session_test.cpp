#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/FileReadSeek.h"
#include "results/scan_session.h"
#include "support/fake_reader.h"
#include "support/support.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
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

template <class F>
bool waitFor(F condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// A life cycle of two phases: the first runs until stopped, the second does
// three units unless stopped again.
struct TwoPhases {
    std::atomic<int> ticks{0}, secondPhase{0};
    std::atomic<bool> firstEnded{false};
    void install(test::FakeReader& reader) {
        reader.scanBody = [this](test::FakeReader& r, ScanMode) {
            while (!r.control.pollAndTake()) {
                ++ticks;
                std::this_thread::sleep_for(200us);
            }
            firstEnded = true;
            for (int i = 0; i < 3 && !r.control.pollAndTake(); ++i) ++secondPhase;
            return ScanOutcome::done;
        };
    }
};

TEST(ScanSession, PausesCountAndStopEndsOnlyThePhaseInProgress) {
    Session s;
    auto reader = std::make_unique<test::FakeReader>();
    TwoPhases phases;
    phases.install(*reader);
    ASSERT_TRUE(s.run->start(ScanMode::standard, std::move(reader)));
    ASSERT_TRUE(waitFor([&] { return phases.ticks > 0; }));

    s.run->pause();
    s.run->pause();
    std::this_thread::sleep_for(20ms);  // the unit in progress ends at its poll point
    const int paused = phases.ticks;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(phases.ticks, paused);
    s.run->resume();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(phases.ticks, paused) << "two pauses need two resumes";
    EXPECT_TRUE(s.run->workerRunning());
    s.run->resume();
    EXPECT_TRUE(waitFor([&] { return phases.ticks > paused; }));

    s.run->stop();
    s.run->wait();
    EXPECT_TRUE(phases.firstEnded);
    EXPECT_EQ(phases.secondPhase, 3) << "the phase after the stopped one still runs";
    EXPECT_FALSE(s.run->workerRunning());
    EXPECT_TRUE(s.messages.said(kScanDone));
    for (const char* status : {"Pause button pressed", "Resume button pressed",
                               "stop button pressed.Please wait for the process to be stopped.", kScanDone}) {
        SCOPED_TRACE(status);
        EXPECT_TRUE(s.statusSaid(status));
    }
}

TEST(ScanSession, StopDoesNotResumeAPausedWorkerAndOtherWorkIsRefused) {
    Session s;
    auto reader = std::make_unique<test::FakeReader>();
    TwoPhases phases;
    phases.install(*reader);
    ASSERT_TRUE(s.run->start(ScanMode::standard, std::move(reader)));
    ASSERT_TRUE(waitFor([&] { return phases.ticks > 0; }));
    s.run->pause();
    s.run->stop();
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(s.run->workerRunning());
    EXPECT_FALSE(phases.firstEnded);

    test::ScratchDir out;
    EXPECT_FALSE(s.run->startSave(0, "ROOT", out.path()));
    EXPECT_FALSE(s.run->startSearch("x", {}));
    EXPECT_TRUE(s.messages.said("Please wait for other process to complete"));

    s.run->resume();
    s.run->wait();
    EXPECT_TRUE(phases.firstEnded);
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
    std::atomic<int> ended{0};
    std::atomic<bool> searchStarted{false};
    s.run->onWorkerEnd = [&] {
        // The wizard chains work this way: the scan's end starts a search.
        if (ended++ == 0) searchStarted = s.run->startSearch("txt", {});
    };
    ASSERT_TRUE(s.run->start(ScanMode::standard, v.release()));
    ASSERT_TRUE(waitFor([&] { return ended.load() == 2; }));
    EXPECT_TRUE(searchStarted);
    s.run->wait();
    EXPECT_TRUE(s.messages.said("Searching Finished"));
}

}  // namespace
}  // namespace vantor
