#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/output_file.h"
#include "core/worker_control.h"
#include "support/support.h"

using namespace vantor;
using namespace std::chrono_literals;

TEST(WorkerControl, PausesCountAndResumeReleasesTheWorker) {
    WorkerControl control;
    std::atomic<int> passes{0};
    std::atomic<bool> done{false};
    control.gate.pause();
    control.gate.pause();
    std::thread worker([&] {
        while (!control.poll()) {
            ++passes;
            std::this_thread::sleep_for(1ms);
        }
        done = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(passes.load(), 0);  // held at its first poll point
    EXPECT_TRUE(control.gate.resume());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(passes.load(), 0);  // two pauses, one resume: still held
    EXPECT_TRUE(control.gate.resume());
    while (passes.load() == 0) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(control.gate.resume());  // nothing left to resume
    control.stopRequested.request();
    worker.join();
    EXPECT_TRUE(done);
}

TEST(WorkerControl, AStopEndsOnePhaseOnly) {
    WorkerControl control;
    control.stopRequested.request();
    EXPECT_TRUE(control.pollAndTake());   // the phase in progress ends
    EXPECT_FALSE(control.pollAndTake());  // the next phase runs
}

TEST(OutputFile, WritesHolesAndRestoresTimes) {
    test::ScratchDir dir;
    const auto path = dir.path() / "sparse.bin";
    OutputFile out;
    ASSERT_TRUE(out.create(dir.path()));
    const std::uint8_t head[] = {'a', 'b'};
    ASSERT_TRUE(out.write(head));
    ASSERT_TRUE(out.skip(1 << 20));
    ASSERT_TRUE(out.write(head));
    ASSERT_TRUE(out.skip(10));  // a hole at the end still counts in the length
    ASSERT_TRUE(out.finish(Timestamp{1000000000, 0}, Timestamp{1100000000, 500}));
    // Nothing under the real name until the file is complete.
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(out.publish(path), OutputFile::Publish::done);

    struct stat st{};  // before reading, which moves the access time
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    const auto bytes = test::readFileBytes(path);
    ASSERT_EQ(bytes.size(), 2u + (1u << 20) + 2u + 10u);
    EXPECT_EQ(bytes[0], 'a');
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[(1 << 20) + 2], 'a');
    EXPECT_EQ(bytes.back(), 0);
}

TEST(OutputFile, ReportsAFileThatCannotBeCreated) {
    test::ScratchDir dir;
    OutputFile out;
    EXPECT_FALSE(out.create(dir.path() / "missing-folder"));
    EXPECT_FALSE(out.error().empty());
    EXPECT_FALSE(out.write(std::vector<std::uint8_t>{1}));
}

// A file abandoned half way (a failed read, Ctrl-C, a full disk) leaves
// nothing behind; one that is finished never lands on a name that is taken.
TEST(OutputFile, LeavesNothingHalfWrittenAndReplacesNothing) {
    test::ScratchDir dir;
    {
        OutputFile abandoned;
        ASSERT_TRUE(abandoned.create(dir.path()));
        ASSERT_TRUE(abandoned.write(std::vector<std::uint8_t>(4096, 7)));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    std::ofstream(dir.path() / "mine.txt") << "the user's";
    OutputFile out;
    ASSERT_TRUE(out.create(dir.path()));
    ASSERT_TRUE(out.write(std::vector<std::uint8_t>(10, 1)));
    ASSERT_TRUE(out.finish(std::nullopt, std::nullopt));
    EXPECT_EQ(out.publish(dir.path() / "mine.txt"), OutputFile::Publish::nameTaken);
    EXPECT_EQ(test::readFileBytes(dir.path() / "mine.txt").size(), 10u);  // "the user's"
    EXPECT_EQ(out.publish(dir.path() / "free.txt"), OutputFile::Publish::done);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}
