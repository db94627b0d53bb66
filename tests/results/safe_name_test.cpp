#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "results/safe_name.h"
#include "results/entry_save.h"
#include "results/save_walk.h"
#include "support/fake_reader.h"
#include "support/support.h"

namespace vantor {
namespace {

TEST(SafeName, NamesFromDiskCannotLeaveTheirFolder) {
    struct Case {
        const char* what;
        std::string name;
        std::string safe;
    };
    const Case cases[] = {
        {"plain", "report.docx", "report.docx"},
        {"climbs", "../x", ".._x"},
        {"separator", "a/b", "a_b"},
        {"parent", "..", "__"},
        {"self", ".", "_"},
        {"empty", "", "_"},
        {"NUL inside", std::string("nul\0name", 8), "nul_name"},
        {"control characters", "ctl\x01\x1f\x7f", "ctl___"},
        {"backslash stays", "a\\b", "a\\b"},
        {"UTF-8 stays", "caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
        {"dots and blanks", "... ", "... "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(safeName(c.name), c.safe);
    }
}

TEST(SafeName, LongNamesKeepTheirExtensionWithin255Bytes) {
    const std::string longStem(300, 'n');
    const std::string cut = safeName(longStem + ".jpg");
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.substr(cut.size() - 4), ".jpg");
    // A multi-byte character is never split.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "\xc3\xa9";
    const std::string w = safeName(wide + ".txt");
    EXPECT_LE(w.size(), 255u);
    EXPECT_EQ(w.substr(w.size() - 4), ".txt");
    EXPECT_NE(static_cast<unsigned char>(w[w.size() - 5]), 0xc3);
    const std::string numbered = numberedName(cut, 12);
    EXPECT_EQ(numbered.size(), 255u);
    EXPECT_EQ(numbered.substr(numbered.size() - 9), " (12).jpg");
}

TEST(SafeName, NumberedNamesGoBeforeTheExtension) {
    EXPECT_EQ(numberedName("a.txt", 2), "a (2).txt");
    EXPECT_EQ(numberedName("archive.tar.gz", 3), "archive.tar (3).gz");
    EXPECT_EQ(numberedName(".bashrc", 2), ".bashrc (2)");
    EXPECT_EQ(numberedName("noext", 2), "noext (2)");
}

TEST(SaveNamer, NeverWritesOverAnythingNorThroughALink) {
    test::ScratchDir dir;
    SaveNamer namer;
    const auto first = namer.fileIn(dir.path(), "a.txt");
    ASSERT_TRUE(first);
    std::ofstream(*first) << "one";
    const auto second = namer.fileIn(dir.path(), "a.txt");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->filename(), "a (2).txt");

    // A file that was there before the save is the user's: never replaced.
    std::ofstream(dir.path() / "old.txt") << "old";
    EXPECT_EQ(namer.fileIn(dir.path(), "old.txt")->filename(), "old (2).txt");

    // A link is never written through, nor used as a folder.
    test::ScratchDir elsewhere;
    ASSERT_EQ(::symlink((elsewhere.path() / "target").c_str(), (dir.path() / "link").c_str()), 0);
    EXPECT_EQ(namer.fileIn(dir.path(), "link")->filename(), "link (2)");
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (dir.path() / "linkdir").c_str()), 0);
    const auto folder = namer.folderIn(dir.path(), "linkdir");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->filename(), "linkdir (2)");
    EXPECT_TRUE(std::filesystem::is_directory(*folder));

    // A file where a folder should go: the folder takes the next name.
    EXPECT_EQ(namer.folderIn(dir.path(), "a.txt")->filename(), "a (2).txt");
    // An existing folder is used as it stands.
    EXPECT_EQ(namer.folderIn(dir.path(), "a (2).txt")->filename(), "a (2).txt");
}

// The name is taken between the namer's look and the naming (another save
// into the same folder, a hard link planted there): nothing is written over,
// the next name offered is used, and no temporary file stays behind.
TEST(EntrySave, ANameTakenMeanwhileIsNeverWrittenOver) {
    test::ScratchDir dir, elsewhere;
    test::FakeReader reader;
    const EntryRef file = reader.addFile(0, "a.txt", "new content");
    std::ofstream(elsewhere.path() / "outside.txt") << "outside";
    ASSERT_EQ(::link((elsewhere.path() / "outside.txt").c_str(), (dir.path() / "a.txt").c_str()), 0);
    const SaveResult refused = saveEntryToFile(reader, file, dir.path() / "a.txt");
    EXPECT_FALSE(refused.written);
    SaveControls controls;
    controls.nextName = [&dir](bool) { return std::optional(dir.path() / "other.txt"); };
    const SaveResult result = saveEntryToFile(reader, file, dir.path() / "a.txt", controls);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.savedAs, dir.path() / "other.txt");
    EXPECT_EQ(test::readFileBytes(dir.path() / "other.txt").size(), std::string("new content").size());
    std::ifstream in(elsewhere.path() / "outside.txt");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "outside");
    std::filesystem::remove(dir.path() / "other.txt");

    WorkSeams seams;
    const SaveReport report = saveSingleFile(reader, file, "ROOT/a.txt", dir.path(), seams);
    EXPECT_EQ(report.written, 1);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "a (2).txt"));
    // Only the planted link and the saved file: no temporary left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
}  // namespace vantor
