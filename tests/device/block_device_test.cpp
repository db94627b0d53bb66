// The same fixtures seen as block devices: a read-only loop device over each
// image, so the size comes from the device itself. Needs root and a free loop
// device; skipped otherwise.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "source_copy.h"
#include "support/support.h"

using namespace vantor::test;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string capture(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// A read-only loop device over an image, detached again when it goes.
class LoopDevice {
public:
    explicit LoopDevice(const fs::path& image) {
        if (::geteuid() != 0) return;
        path = capture("losetup --read-only -f --show '" + image.string() + "' 2>/dev/null");
        if (path.rfind("/dev/loop", 0) != 0) path.clear();
    }
    ~LoopDevice() {
        if (!path.empty()) capture("losetup -d '" + path + "' 2>/dev/null");
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& device() const { return path; }

private:
    std::string path;
};

json volumesOf(const std::string& name, const std::string& key) {
    json rows = json::array();
    const json manifest = readJsonFile(fixtureSource(name + ".manifest.json"));
    for (const json& v : manifest.at(key))
        rows.push_back({{"fileSystem", v.at("fileSystem")}, {"startSector", v.at("startSector")},
                        {"sizeText", v.at("sizeText")}});
    return rows;
}

json withoutIds(json list) {
    for (json& v : list) v.erase("volumeId");
    return list;
}

}  // namespace

TEST(BlockDevice, LoopDevicesListTheSameVolumesAsTheirImages) {
    struct Run { std::vector<std::string> args; const char* key; };
    struct Case { const char* name; std::vector<Run> runs; };
    const Case cases[] = {
        {"parts-mbr", {{{}, "volumes"}, {{"--sweep"}, "sweepVolumes"}}},
        {"parts-gpt", {{{}, "volumes"}}},
        {"parts-wiped", {{{"--sweep"}, "volumes"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path image = fixtureImage(std::string(c.name) + ".img");
        const SourceCopy guard(image);
        {
            LoopDevice loop(image);
            if (loop.device().empty()) GTEST_SKIP() << "no loop device (needs root and losetup)";
            for (const Run& run : c.runs) {
                SCOPED_TRACE(run.key);
                std::vector<std::string> args{"partitions", loop.device(), "--json"};
                args.insert(args.end(), run.args.begin(), run.args.end());
                const CommandResult r = runVantor(args);
                ASSERT_EQ(r.exitStatus, 0) << r.err;
                EXPECT_EQ(withoutIds(json::parse(r.out)), volumesOf(c.name, run.key));
            }
        }
        EXPECT_TRUE(guard.unchanged());
    }
}

// A loop device with a backing file is a drive; it has no model name, so it
// is labelled with its device path.
TEST(BlockDevice, AttachedLoopDeviceIsListedAsADrive) {
    LoopDevice loop(fixtureImage("sample-disk.img"));
    if (loop.device().empty()) GTEST_SKIP() << "no loop device (needs root and losetup)";
    const CommandResult r = runVantor({"drives", "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const json out = json::parse(r.out);
    bool listed = false;
    for (const json& d : out.at("drives")) {
        if (d.at("devicePath") != loop.device()) continue;
        listed = true;
        EXPECT_EQ(d.at("label"), loop.device());
    }
    EXPECT_TRUE(listed) << r.out;
    EXPECT_TRUE(out.at("volumes").is_array());
}
