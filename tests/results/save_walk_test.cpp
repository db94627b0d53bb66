#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "results/save_walk.h"
#include "support/fake_reader.h"
#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::StandardVolume;

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct SaveRun {
    test::RecordingMessages messages;
    test::RecordingProgress progress;
    WorkSeams seams;
    explicit SaveRun(bool answer = true) : messages(answer) {
        seams.messages = &messages;
        seams.progress = &progress;
    }
};

TEST(SaveWalk, RecreatesFoldersWithContentAndTimes) {
    StandardVolume v;
    test::ScratchDir scratch;
    const fs::path out = scratch.path() / "out";
    fs::create_directory(out);
    SaveRun run;
    const SaveReport report = saveFolder(v.reader, 0, "ROOT", out, run.seams);

    EXPECT_EQ(report.found, 19);
    EXPECT_EQ(report.written, 19);
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(run.messages.all().front(),
              "number of files found inside this folder = 19 .do u want to continue dumping these files..?");
    EXPECT_EQ(run.messages.all().back(), "work done");
    EXPECT_EQ(run.progress.lastMaximum(), 19);
    EXPECT_EQ(run.progress.lastPosition(), 19);

    const std::set<std::string> expected = {
        "docs/", "docs/a.txt", "docs/b.jpg", "docs/sub/", "docs/sub/c.PNG", "docs/a (2).txt",
        "empty/", "inner.txt",  // the empty-named folder adds no level
        "hostile/", "hostile/.._x", "hostile/a_b", "hostile/__", "hostile/_", "hostile/nul_name",
        "hostile/ctl__", "hostile/_ (2)",
        ".._up/", ".._up/f.txt", "top.txt",
        "$RECYCLE.BIN/", "$RECYCLE.BIN/$IAB12.txt", "$RECYCLE.BIN/$RAB12.txt", "$RECYCLE.BIN/$IXY9",
        "$RECYCLE.BIN/$RXY9", "ORPHAN ENTRY/", "ORPHAN ENTRY/lost.bin"};
    EXPECT_EQ(test::pathsBelow(out), expected);
    // Nothing was written beside the output folder.
    EXPECT_EQ(test::pathsBelow(scratch.path()).count("x"), 0u);
    for (const auto& e : fs::directory_iterator(scratch.path())) EXPECT_EQ(e.path().filename(), "out");

    EXPECT_EQ(readText(out / "docs/a.txt"), "alpha");
    EXPECT_EQ(readText(out / "docs/a (2).txt"), "second alpha");
    EXPECT_EQ(readText(out / "docs/b.jpg"), "bravo");
    EXPECT_EQ(readText(out / "docs/sub/c.PNG"), "charlie");
    EXPECT_EQ(readText(out / "hostile/.._x"), "h1");

    struct stat st {};
    ASSERT_EQ(::stat((out / "docs/sub/c.PNG").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, v.reader.describe(v.c).modification->seconds);
    ASSERT_EQ(::stat((out / "docs/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, v.reader.describe(v.sub).modification->seconds);
    ASSERT_EQ(::stat((out / "docs").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, v.reader.describe(v.docs).modification->seconds);
}

TEST(SaveWalk, ZeroFilesAskWithZeroAndWriteNothing) {
    StandardVolume v;
    test::ScratchDir out;
    SaveRun run;
    const SaveReport report = saveFolder(v.reader, v.empty, "ROOT/empty", out.path(), run.seams);
    EXPECT_EQ(report.found, 0);
    EXPECT_EQ(run.messages.all(),
              (std::vector<std::string>{
                  "number of files found inside this folder = 0 .do u want to continue dumping these files..?",
                  "work done"}));
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST(SaveWalk, DecliningWritesNothing) {
    StandardVolume v;
    test::ScratchDir out;
    SaveRun run(false);
    const SaveReport report = saveFolder(v.reader, v.docs, "ROOT/docs", out.path(), run.seams);
    EXPECT_TRUE(report.declined);
    EXPECT_EQ(v.reader.saves.load(), 0);
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_FALSE(run.messages.said("work done"));
}

TEST(SaveWalk, ReportsFilesNotWrittenDamagedOrWithheld) {
    StandardVolume v;
    v.reader.entry(v.a).failSave = true;
    v.reader.entry(v.b).damagedSave = true;
    v.reader.entry(v.c).withheldSave = true;
    v.reader.entry(v.a2).content.assign(3000, 'z');
    v.reader.entry(v.a2).item.size = 3000;
    test::ScratchDir out;
    SaveRun run;
    std::vector<std::string> labels;
    run.seams.fileLabel = [&](std::string_view text) { labels.emplace_back(text); };
    const SaveReport report = saveFolder(v.reader, v.docs, "ROOT/docs", out.path(), run.seams);
    EXPECT_EQ(report.found, 4);
    EXPECT_EQ(report.handled, 4);
    EXPECT_EQ(report.written, 2);
    EXPECT_EQ(report.withheld, 1);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].entryPath, "ROOT/docs/a.txt");
    EXPECT_EQ(report.failed[0].problem, "unreadable");
    ASSERT_EQ(report.damaged.size(), 1u);
    EXPECT_EQ(report.damaged[0].entryPath, "ROOT/docs/b.jpg");
    EXPECT_FALSE(report.complete());
    EXPECT_FALSE(fs::exists(out.path() / "sub/c.PNG"));
    EXPECT_EQ(labels, (std::vector<std::string>{"File size: 0 kb", "", "File size: 0 kb", "", "File size: 0 kb", "",
                                                "File size: 2 kb", ""}));
    // The status line named each file as it was saved.
    const auto statuses = run.progress.statuses();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "saving File  " + (out.path() / "b.jpg").string()),
              statuses.end());
}

TEST(SaveWalk, StopEndsTheWalkAtTheNextChild) {
    StandardVolume v;
    test::ScratchDir out;
    SaveRun run;
    StopFlag stop;
    stop.request();
    run.seams.pageStop = &stop;
    const SaveReport report = saveFolder(v.reader, 0, "ROOT", out.path(), run.seams);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.handled, 0);
    EXPECT_TRUE(run.messages.said("work done"));
}

TEST(SaveWalk, LoopsInTheEntryLinksEndTheWalk) {
    test::FakeReader reader;
    const EntryRef a = reader.addFolder(0, "a");
    const EntryRef b = reader.addFolder(a, "b");
    reader.addFile(b, "f.txt", "f");
    reader.link(b, a);  // b holds its own parent
    test::ScratchDir out;
    SaveRun run;
    const SaveReport report = saveFolder(reader, 0, "ROOT", out.path(), run.seams);
    EXPECT_EQ(report.found, 1);
    EXPECT_EQ(report.written, 1);
    EXPECT_EQ(readText(out.path() / "a/b/f.txt"), "f");
}

TEST(SaveWalk, SingleFileIsWrittenAndAnnounced) {
    StandardVolume v;
    test::ScratchDir out;
    std::ofstream(out.path() / "a.txt") << "before";
    SaveRun run;
    const SaveReport first = saveSingleFile(v.reader, v.a, "ROOT/docs/a.txt", out.path(), run.seams);
    EXPECT_EQ(first.written, 1);
    // The user's own a.txt is never written over.
    EXPECT_EQ(readText(out.path() / "a.txt"), "before");
    EXPECT_EQ(readText(out.path() / "a (2).txt"), "alpha");
    EXPECT_TRUE(run.messages.said("file is dumped in path  :  " + (out.path() / "a (2).txt").string() + "   "));
    const SaveReport hostile =
        saveSingleFile(v.reader, v.reader.entry(v.hostile).children[0], "ROOT/hostile/../x", out.path(), run.seams);
    EXPECT_EQ(hostile.written, 1);
    EXPECT_EQ(readText(out.path() / ".._x"), "h1");
}

// Two saves into one folder at once (two images, or one twice): each file of
// each is whole, under its own name, and the folders are shared, not twinned.
TEST(SaveWalk, TwoSavesIntoOneFolderAtOnceKeepEveryFileWhole) {
    StandardVolume first, second;
    for (const EntryRef f : {second.a, second.b, second.c}) {
        auto& e = second.reader.entry(f);
        e.content = "from the second image: " + e.content;
        e.item.size = e.content.size();
    }
    test::ScratchDir out;
    SaveReport reports[2];
    {
        SaveRun runs[2];
        std::thread one([&] { reports[0] = saveFolder(first.reader, 0, "ROOT", out.path(), runs[0].seams); });
        std::thread two([&] { reports[1] = saveFolder(second.reader, 0, "ROOT", out.path(), runs[1].seams); });
        one.join();
        two.join();
    }
    EXPECT_EQ(reports[0].written, reports[0].found);
    EXPECT_EQ(reports[1].written, reports[1].found);
    // Every file written is one of the two contents whole; each appears once.
    std::multiset<std::string> expected, got;
    for (StandardVolume* v : {&first, &second})
        for (const EntryRef f : {v->a, v->b, v->c}) expected.insert(v->reader.entry(f).content);
    for (const auto& e : std::filesystem::recursive_directory_iterator(out.path())) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path());
        std::stringstream text;
        text << in.rdbuf();
        if (expected.count(text.str())) got.insert(text.str());
    }
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(std::filesystem::exists(out.path() / "docs (2)"));
}

}  // namespace
}  // namespace vantor
