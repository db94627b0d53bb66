// Where a save writes: never on the disk being recovered, never a half file
// under a real name (a Stop, a Ctrl-C, a full disk), nothing replaced on a
// target that mixes up upper and lower case, and names a target refuses made
// portable; every changed name reported.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "core/worker_control.h"
#include "device/FileReadSeek.h"
#include "device/same_disk.h"
#include "results/save_walk.h"
#include "support/fake_reader.h"
#include "support/mounts.h"
#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

// Temporary files of a save that did not end well must not stay behind.
bool holdsTemporaryFiles(const fs::path& dir) {
    for (const auto& p : test::pathsBelow(dir))
        if (fs::path(p).filename().string().rfind(".vantor-", 0) == 0) return true;
    return false;
}

std::string fileText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SaveTarget, AStopWhileAFileIsWrittenKeepsNothingOfItAndSaysWhichFile) {
    test::ScratchDir out;
    test::FakeReader reader;
    reader.addFile(0, "first.txt", std::string(1000, 'a'));
    const EntryRef second = reader.addFile(0, "second.txt", std::string(1000, 'b'));
    reader.addFile(0, "third.txt", std::string(1000, 'c'));
    StopFlag stop;
    reader.entry(second).midway = [&stop] { stop.request(); };
    WorkSeams seams;
    seams.pageStop = &stop;

    const SaveReport report = saveFolder(reader, 0, "ROOT", out.path(), seams);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.written, 1);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].entryPath, "ROOT/second.txt");
    EXPECT_EQ(test::pathsBelow(out.path()), (std::set<std::string>{"first.txt"}));
    EXPECT_EQ(fileText(out.path() / "first.txt"), std::string(1000, 'a'));
}

TEST(SaveTarget, AFullDiskEndsTheSaveWithoutHalfFiles) {
    test::ScratchDir scratch;
    test::Mounted small({"mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs"}, scratch.path() / "small");
    if (!small.available()) GTEST_SKIP() << small.why();
    test::FakeReader reader;
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"}) reader.addFile(0, name, std::string(300 * 1024, name[0]));
    WorkSeams seams;

    const SaveReport report = saveFolder(reader, 0, "ROOT", small.path(), seams);
    EXPECT_TRUE(report.targetFull);
    EXPECT_FALSE(report.complete());
    ASSERT_EQ(report.failed.size(), 1u);  // the file it was on; the walk ends there
    EXPECT_NE(report.failed[0].problem.find("No space left"), std::string::npos) << report.failed[0].problem;
    EXPECT_LT(report.handled, 5);
    EXPECT_FALSE(holdsTemporaryFiles(small.path()));
    // What is there under a real name is whole.
    for (const auto& name : test::pathsBelow(small.path()))
        EXPECT_EQ(fileText(small.path() / name), std::string(300 * 1024, name[0])) << name;
    EXPECT_EQ(static_cast<std::int64_t>(test::pathsBelow(small.path()).size()), report.written);
}

// exFAT through FUSE: "case.txt" and "CASE.TXT" are one name there, and
// "?", ":" and "\" are refused.
TEST(SaveTarget, ACaseBlindTargetKeepsEveryFileAndReportsEachRenamedOne) {
    test::ScratchDir scratch;
    const fs::path image = scratch.path() / "exfat.img";
    fs::resize_file((std::ofstream(image), image), 16 << 20);
    if (test::runTool({"mkfs.exfat", image.string()}).status != 0) GTEST_SKIP() << "no mkfs.exfat";
    test::LoopDevice loop(image, false);
    if (!loop.available()) GTEST_SKIP() << loop.why();
    test::Mounted target({"mount.exfat-fuse", loop.device()}, scratch.path() / "target");
    if (!target.available()) GTEST_SKIP() << target.why();

    test::FakeReader reader;
    reader.addFile(0, "case.txt", "lower");
    reader.addFile(0, "CASE.TXT", "upper");
    reader.addFile(0, "what?:\\.txt", "marks");
    const EntryRef upper = reader.addFolder(0, "Docs");
    reader.addFile(upper, "a.txt", "upper folder");
    const EntryRef lower = reader.addFolder(0, "docs");
    reader.addFile(lower, "a.txt", "lower folder");
    WorkSeams seams;

    const SaveReport report = saveFolder(reader, 0, "ROOT", target.path(), seams);
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.written, 5);
    std::map<std::string, std::string> renamed;
    for (const auto& r : report.renamed) renamed[r.entryPath] = r.problem;
    EXPECT_EQ(renamed, (std::map<std::string, std::string>{{"ROOT/CASE.TXT", "CASE (2).TXT"},
                                                            {"ROOT/what?:\\.txt", "what___.txt"},
                                                            {"ROOT/docs", "docs (2)"}}));
    EXPECT_EQ(fileText(target.path() / "case.txt"), "lower");
    EXPECT_EQ(fileText(target.path() / "CASE (2).TXT"), "upper");
    EXPECT_EQ(fileText(target.path() / "what___.txt"), "marks");
    EXPECT_EQ(fileText(target.path() / "Docs" / "a.txt"), "upper folder");
    EXPECT_EQ(fileText(target.path() / "docs (2)" / "a.txt"), "lower folder");
    EXPECT_FALSE(holdsTemporaryFiles(target.path()));
}

// The source's disk is refused as a save target, whether the folder is on
// the very device or on a file system whose image lies on it; the refusal
// comes before anything is made or read.
TEST(SaveTarget, TheDiskBeingRecoveredIsRefusedBeforeAnyWork) {
    test::ScratchDir scratch;
    const fs::path disk = scratch.path() / "disk.img";
    fs::copy_file(test::fixtureImage("ext4_default.img"), disk);
    test::LoopDevice loop(disk, false);
    if (!loop.available()) GTEST_SKIP() << loop.why();
    test::Mounted mounted({"mount", "-t", "ext4", loop.device()}, scratch.path() / "source");
    if (!mounted.available()) GTEST_SKIP() << mounted.why();
    // An image kept on the source and mounted: its writes land on the source too.
    const fs::path inner = mounted.path() / "inner.img";
    fs::resize_file((std::ofstream(inner), inner), 4 << 20);
    ASSERT_EQ(test::runTool({"mke2fs", "-q", "-F", "-t", "ext4", inner.string()}).status, 0);
    test::LoopDevice innerLoop(inner, false);
    ASSERT_TRUE(innerLoop.available()) << innerLoop.why();
    test::Mounted innerMount({"mount", "-t", "ext4", innerLoop.device()}, scratch.path() / "inner");
    ASSERT_TRUE(innerMount.available()) << innerMount.why();

    for (const fs::path& out : {mounted.path() / "recovered", innerMount.path() / "recovered"}) {
        SCOPED_TRACE(out.string());
        const test::CommandResult r = test::runVantor({"save", loop.device(), "--out", out.string()});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_NE(r.err.find("the disk being recovered"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out));

        // The wizard asks the same before it takes a folder.
        FileReadSeek source;
        ASSERT_TRUE(source.open(loop.device()));
        EXPECT_TRUE(outputOnSource(source, out));
    }

    // Another disk takes the save; an image file's own disk does too (it is
    // not the image).
    FileReadSeek source;
    ASSERT_TRUE(source.open(loop.device()));
    EXPECT_FALSE(outputOnSource(source, scratch.path() / "elsewhere"));
    const test::CommandResult r =
        test::runVantor({"save", loop.device(), "--path", "ROOT/docs", "--out", (scratch.path() / "elsewhere").string()});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const test::CommandResult fromImage =
        test::runVantor({"save", inner.string(), "--out", (mounted.path() / "from-image").string()});
    EXPECT_EQ(fromImage.exitStatus, 0) << fromImage.err;
}

// A Ctrl-C while a volume is saved: the command ends in order, says so, and
// what it leaves under real names is whole.
TEST(SaveTarget, CtrlCDuringASaveLeavesOnlyWholeFiles) {
    test::ScratchDir out;
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, out.path().c_str(), IN_CREATE), 0);

    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(errPipe[1], 2);
        ::close(errPipe[0]);
        const std::string image = test::fixtureImage("ext4_default.img").string();
        ::execl(VANTOR_BINARY, VANTOR_BINARY, "save", image.c_str(), "--out", out.path().c_str(), "--quiet",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    // The first thing the save makes in the folder: then it is mid-walk.
    char events[4096];
    ASSERT_GT(::read(watch, events, sizeof events), 0);
    ::kill(pid, SIGINT);
    std::string err;
    char buf[4096];
    for (ssize_t n; (n = ::read(errPipe[0], buf, sizeof buf)) > 0;) err.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(errPipe[0]);
    ::close(watch);

    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal: " << err;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(err.find("interrupted"), std::string::npos) << err;
    EXPECT_FALSE(holdsTemporaryFiles(out.path()));
    const auto manifest = test::readJsonFile(test::fixtureSource("ext4_default.manifest.json"));
    std::map<std::string, std::string> hashes;
    for (const auto& e : manifest["entries"])
        if (e.contains("sha256")) hashes[e["path"].get<std::string>()] = e["sha256"].get<std::string>();
    for (const auto& p : test::pathsBelow(out.path())) {
        if (p.back() == '/') continue;
        const auto known = hashes.find("ROOT/" + p);
        ASSERT_NE(known, hashes.end()) << p;
        EXPECT_EQ(test::sha256File(out.path() / p), known->second) << p;
    }
}

}  // namespace
}  // namespace vantor
