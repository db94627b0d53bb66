#pragma once
// Shared by the test programs: where the fixtures are, running the vantor
// command, hashing, scratch folders and what lies below them.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vantor::test {

// Path of a decompressed fixture image in the build tree.
std::filesystem::path fixtureImage(const std::string& name);
// Path of a file in tests/fixtures (manifests, recipes).
std::filesystem::path fixtureSource(const std::string& name);
nlohmann::json readJsonFile(const std::filesystem::path& path);

struct CommandResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
    long peakMemoryKb = 0;  // the command's largest resident size
};
// Runs the vantor command with the given arguments (no shell), capturing both streams.
CommandResult runVantor(const std::vector<std::string>& args);

std::string sha256File(const std::filesystem::path& path);
std::string sha256Bytes(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);

// Whether a program is on PATH (peer tools used as oracles).
bool onPath(const std::string& tool);

// The live files and folders The Sleuth Kit's `fls -r -p -u` reports for the
// volume at `startSector`, as "d ROOT/..." and "r ROOT/..." (its own
// $-entries of exFAT and the orphan node left out).
std::set<std::string> flsLiveTree(const std::filesystem::path& image, std::int64_t startSector);

// A fresh empty folder below the system temporary folder, removed on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return dir; }

private:
    std::filesystem::path dir;
};

// Every path below `dir`, relative to it, folders' ending in "/".
std::set<std::string> pathsBelow(const std::filesystem::path& dir);
// Whether `path` lies strictly below `folder` once ".." and links are resolved.
bool isBelow(const std::filesystem::path& path, const std::filesystem::path& folder);

// Remembers a source's hash and says whether it still has it: every command
// that reads a source must leave it byte-identical.
class SourceGuard {
public:
    explicit SourceGuard(std::filesystem::path source);
    bool unchanged() const;

private:
    std::filesystem::path source;
    std::string hash;
};

}  // namespace vantor::test
