// `vantor partitions` end to end on the fixture disks, compared with their
// manifests and with The Sleuth Kit's mmls; every source must be unchanged.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "source_copy.h"
#include "support/support.h"

using namespace vantor::test;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

struct Row {
    std::string fileSystem;
    std::int64_t startSector;
    std::string sizeText;
    friend bool operator==(const Row&, const Row&) = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << "{" << r.fileSystem << ", " << r.startSector << ", \"" << r.sizeText << "\"}";
}

std::vector<Row> rowsOf(const json& list) {
    std::vector<Row> rows;
    for (const json& v : list)
        rows.push_back({v.at("fileSystem").get<std::string>(), v.at("startSector").get<std::int64_t>(),
                        v.at("sizeText").get<std::string>()});
    return rows;
}

json manifestOf(const std::string& name) { return readJsonFile(fixtureSource(name + ".manifest.json")); }

const char* const kFixtures[] = {"parts-mbr", "parts-gpt", "parts-wiped", "sample-disk"};

// Where a manifest keeps what each way of scanning must list.
std::string tableKey(const json& m) { return m.contains("tableVolumes") ? "tableVolumes" : "volumes"; }
std::string sweepKey(const json& m) { return m.contains("sweepVolumes") ? "sweepVolumes" : "volumes"; }

}  // namespace

// Every fixture a test runs the command on must be byte-identical when the
// test ends. Each image is copied once before its first use and compared with
// that copy at the end of every test that used it.
class PartitionsCommand : public testing::Test {
protected:
    void TearDown() override {
        for (const std::string& name : used)
            EXPECT_TRUE(guards().at(name)->unchanged()) << name << ".img was changed";
    }

    void use(const std::string& name) {
        auto& all = guards();
        if (!all.count(name)) all[name] = std::make_unique<SourceCopy>(fixtureImage(name + ".img"));
        used.insert(name);
    }

    // Runs `vantor partitions IMAGE ARGS... --json`, checks the exit status
    // and the numbering of the rows, and returns the rows.
    std::vector<Row> partitionsJson(const std::string& name, const std::vector<std::string>& extra) {
        use(name);
        std::vector<std::string> args{"partitions", fixtureImage(name + ".img").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("--json");
        const CommandResult r = runVantor(args);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        json list;
        try {
            list = json::parse(r.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not JSON: " << e.what() << "\n" << r.out;
            return {};
        }
        for (std::size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(list[i].at("volumeId").get<std::string>(), std::to_string(i));
        return rowsOf(list);
    }

private:
    static std::map<std::string, std::unique_ptr<SourceCopy>>& guards() {
        static std::map<std::string, std::unique_ptr<SourceCopy>> all;
        return all;
    }
    std::set<std::string> used;
};

TEST_F(PartitionsCommand, StandardScanListsEachFixturesVolumes) {
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const json m = manifestOf(name);
        EXPECT_EQ(partitionsJson(name, {}), rowsOf(m.at(tableKey(m))));
    }
}

TEST_F(PartitionsCommand, GptOptionReadsTheGuidTable) {
    const json m = manifestOf("parts-gpt");
    EXPECT_EQ(partitionsJson("parts-gpt", {"--gpt"}), rowsOf(m.at("volumes")));
    // An MBR disk has no GPT header: nothing to list, and that is no failure.
    EXPECT_TRUE(partitionsJson("parts-mbr", {"--gpt"}).empty());
}

TEST_F(PartitionsCommand, SweepFindsEveryVolumeOfEachFixture) {
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const json m = manifestOf(name);
        EXPECT_EQ(partitionsJson(name, {"--sweep"}), rowsOf(m.at(sweepKey(m))));
    }
}

TEST_F(PartitionsCommand, SweepWithoutSkippingAlsoListsBackupBootSectors) {
    for (const char* name : {"parts-mbr", "parts-wiped"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(partitionsJson(name, {"--sweep", "--no-skip"}), rowsOf(manifestOf(name).at("noSkipVolumes")));
    }
}

// The range is honoured a 1 MiB block at a time, and a found volume is
// jumped over whole: 20000..100000 holds the FAT32 and NTFS volumes of
// parts-mbr, and the jump over NTFS ends past 100000.
TEST_F(PartitionsCommand, SweepOverASectorRange) {
    struct Case { const char* what; std::vector<std::string> args; std::vector<Row> rows; };
    const Case cases[] = {
        {"20000..100000", {"--sweep", "--start", "20000", "--end", "100000"},
         {{"FAT32", 20480, "33  MB"}, {"NTFS", 90112, "7   MB"}}},
        {"from 2049 on", {"--sweep", "--start", "2049"},
         {{"FAT32", 20480, "33  MB"}, {"NTFS", 90112, "7   MB"}, {"FAT64", 108544, "8  MB"},
          {"extX", 126976, "8  MB"}}},
        {"up to 2047: the first block only", {"--sweep", "--end", "2047"}, {}},
        {"up to 2048", {"--sweep", "--end", "2048"}, {{"FAT16", 2048, "8  MB"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(partitionsJson("parts-mbr", c.args), c.rows);
    }
}

TEST_F(PartitionsCommand, TextListingShowsNumberKindSizeAndStart) {
    const fs::path image = fixtureImage("parts-gpt.img");
    use("parts-gpt");
    const CommandResult r = runVantor({"partitions", image.string()});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(lines, line)) rows.push_back(line);
    ASSERT_EQ(rows.size(), 5u) << r.out;  // a heading and four volumes
    const char* const want[][3] = {{"0", "NTFS", "8192"}, {"1", "FAT32", "26624"}, {"2", "FAT64", "96256"},
                                   {"3", "extX", "114688"}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(rows[i + 1]);
        std::istringstream fields(rows[i + 1]);
        std::string number, kind;
        fields >> number >> kind;
        EXPECT_EQ(number, want[i][0]);
        EXPECT_EQ(kind, want[i][1]);
        EXPECT_TRUE(rows[i + 1].ends_with(want[i][2]));
    }
    EXPECT_NE(r.out.find("7   MB"), std::string::npos);
    EXPECT_NE(r.out.find("33  MB"), std::string::npos);
}

// Progress is drawn only on a terminal: piped, standard error stays empty.
TEST_F(PartitionsCommand, SweepDrawsNoProgressWhenStandardErrorIsNoTerminal) {
    use("parts-wiped");
    const CommandResult r = runVantor({"partitions", fixtureImage("parts-wiped.img").string(), "--sweep"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("126976"), std::string::npos) << r.out;
}

// A partition on its own (an image of one volume) is that volume, at sector 0.
TEST_F(PartitionsCommand, PartitionImageIsOneVolumeAtSectorZero) {
    struct Case { const char* what; std::int64_t start; std::int64_t sectors; Row row; };
    const Case cases[] = {
        {"FAT32", 20480, 67584, {"FAT32", 0, "33  MB"}},
        {"exFAT", 108544, 16384, {"FAT64", 0, "8  MB"}},
        {"ext4", 126976, 16384, {"extX", 0, "8  MB"}},
    };
    std::ifstream disk(fixtureImage("parts-mbr.img"), std::ios::binary);
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<char> bytes(static_cast<std::size_t>(c.sectors) * 512);
        disk.seekg(c.start * 512);
        ASSERT_TRUE(disk.read(bytes.data(), static_cast<std::streamsize>(bytes.size())));
        const fs::path part = dir.path() / (std::string(c.what) + ".img");
        std::ofstream(part, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const CommandResult r = runVantor({"partitions", part.string(), "--json"});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        const auto rows = rowsOf(json::parse(r.out));
        EXPECT_EQ(rows, std::vector<Row>{c.row});
    }
}

TEST_F(PartitionsCommand, ExitStatuses) {
    ScratchDir dir;
    const std::string image = fixtureImage("parts-mbr.img").string();
    use("parts-mbr");
    struct Case { const char* what; std::vector<std::string> args; int status; const char* stderrHas; };
    const Case cases[] = {
        {"a source that does not exist", {"partitions", (dir.path() / "missing.img").string()}, 1,
         "No such file or directory"},
        {"a folder as the source", {"partitions", dir.path().string(), "--sweep"}, 1, ""},
        {"an unknown option", {"partitions", image, "--bogus"}, 2, ""},
        {"no source", {"partitions"}, 2, ""},
        {"--no-skip without --sweep", {"partitions", image, "--no-skip"}, 2, ""},
        {"--start without --sweep", {"partitions", image, "--start", "5"}, 2, ""},
        {"a start that is no number", {"partitions", image, "--sweep", "--start", "abc"}, 2, ""},
        {"done", {"partitions", image, "--quiet"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CommandResult r = runVantor(c.args);
        EXPECT_EQ(r.exitStatus, c.status) << r.err;
        EXPECT_NE(r.err.find(c.stderrHas), std::string::npos) << r.err;
    }
}

// ---- The Sleuth Kit as an oracle ------------------------------------------

namespace {

std::string capture(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// Start sectors of the data partitions mmls lists: rows with a numeric slot
// ("000:001", "002"), leaving out table entries ("Meta"), unallocated space
// ("-------") and Microsoft reserved partitions, which hold no file system.
std::vector<std::int64_t> mmlsStarts(const fs::path& image) {
    std::vector<std::int64_t> starts;
    std::istringstream lines(capture("mmls '" + image.string() + "' 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string index, slot, start, end, length;
        if (!(fields >> index >> slot >> start >> end >> length)) continue;
        if (index.empty() || index.back() != ':' || !std::isdigit(static_cast<unsigned char>(slot[0]))) continue;
        std::string description;
        std::getline(fields, description);
        if (description.find("Microsoft reserved") != std::string::npos) continue;
        starts.push_back(std::stoll(start));
    }
    std::sort(starts.begin(), starts.end());
    return starts;
}

}  // namespace

TEST_F(PartitionsCommand, StartSectorsMatchTheSleuthKit) {
    if (!vantor::test::onPath("mmls")) GTEST_SKIP() << "mmls (The Sleuth Kit) is not installed";
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const fs::path image = fixtureImage(std::string(name) + ".img");
        std::vector<std::int64_t> ours;
        for (const Row& r : partitionsJson(name, {})) ours.push_back(r.startSector);
        std::sort(ours.begin(), ours.end());
        EXPECT_EQ(ours, mmlsStarts(image));
    }
}

TEST(SourceCopy, NoticesAnyChange) {
    struct Case { const char* what; long at; const char* bytes; bool truncate; };
    const Case cases[] = {
        {"untouched", -1, "", false},
        {"one byte in the middle", 3000000, "x", false},
        {"the last byte", 4194303, "x", false},
        {"a byte appended", 4194304, "x", false},
        {"cut short", -1, "", true},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = dir.path() / "disk.img";
        {
            std::ofstream out(file, std::ios::binary);
            for (int i = 0; i < 4194304; ++i) out.put(static_cast<char>(i * 7));
        }
        const SourceCopy copy(file);
        if (c.at >= 0) {
            std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
            f.seekp(c.at);
            f.write(c.bytes, 1);
        }
        if (c.truncate) fs::resize_file(file, 4194304 - 512);
        EXPECT_EQ(copy.unchanged(), c.at < 0 && !c.truncate);
    }
}

namespace {

// The kind The Sleuth Kit's fsstat reports for the volume at a sector, in
// the spellings of our lists ("" when fsstat knows none).
std::string fsstatKind(const fs::path& image, std::int64_t start) {
    const std::string out =
        capture("fsstat -o " + std::to_string(start) + " '" + image.string() + "' 2>/dev/null");
    const auto at = out.find("File System Type:");
    if (at == std::string::npos) return "";
    std::istringstream rest(out.substr(at + 17));
    std::string type;
    rest >> type;
    if (type == "FAT16" || type == "FAT32" || type == "NTFS") return type;
    if (type == "exFAT") return "FAT64";
    if (type == "Ext2" || type == "Ext3" || type == "Ext4") return "extX";
    return "other: " + type;
}

}  // namespace

TEST_F(PartitionsCommand, KindsMatchTheSleuthKit) {
    if (!vantor::test::onPath("fsstat")) GTEST_SKIP() << "fsstat (The Sleuth Kit) is not installed";
    struct Case { const char* name; std::vector<std::string> args; };
    const Case cases[] = {
        {"parts-mbr", {}}, {"parts-gpt", {}}, {"parts-wiped", {"--sweep"}}, {"sample-disk", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path image = fixtureImage(std::string(c.name) + ".img");
        const auto rows = partitionsJson(c.name, c.args);
        EXPECT_FALSE(rows.empty());
        for (const Row& r : rows) {
            SCOPED_TRACE(r.startSector);
            EXPECT_EQ(r.fileSystem, fsstatKind(image, r.startSector));
        }
    }
}
