#pragma once
// What every reader's fuzz target does after the scan: walk the tree through
// the results contract, describe every entry, write the content of every file
// into a sink that looks at each byte and keeps none, and save a few, all
// bounded.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

#include "core/content_sink.h"
#include "core/recovered.h"
#include "results/entry_save.h"

namespace vantor::fuzz {

// A folder of this process's own for the saved files.
inline const std::filesystem::path& scratchFolder(const char* target) {
    static const std::filesystem::path dir = [target] {
        auto d = std::filesystem::temp_directory_path() / (std::string(target) + "." + std::to_string(::getpid()));
        std::error_code ec;
        std::filesystem::create_directories(d, ec);
        return d;
    }();
    return dir;
}

// The input padded to 64 KiB: small inputs stand for the first sectors of a larger volume.
inline std::vector<std::uint8_t> paddedVolume(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> volume(data, data + size);
    if (volume.size() < 64 * 1024) volume.resize(64 * 1024, 0);
    return volume;
}

// Stops the run with a message libFuzzer shows next to the stack.
[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Takes up to `limit` bytes of one entry's content and throws them away, after
// reading every one of them (so a span that points at freed or foreign memory
// is caught where it is handed over). Beyond the limit it refuses, and then a
// reader must stop writing: a write or skip after a refusal is a failure.
class DrainSink final : public ContentSink {
public:
    explicit DrainSink(std::uint64_t limit) : cap(limit) {}

    bool write(std::span<const std::uint8_t> bytes) override {
        if (refused) broken("write after the sink refused");
        if (bytes.size() > cap - total) return refuse();
        std::uint8_t fold = 0;
        for (const std::uint8_t b : bytes) fold ^= b;
        folded ^= fold;
        total += bytes.size();
        return true;
    }
    bool skip(std::uint64_t count) override {
        if (refused) broken("skip after the sink refused");
        if (count > cap - total) return refuse();
        total += count;
        return true;
    }
    std::uint64_t size() const override { return total; }

    // Keeps the fold alive so the reads above are not optimised away.
    std::uint8_t fold() const { return folded; }

private:
    bool refuse() {
        refused = true;
        return false;
    }
    std::uint64_t cap;
    std::uint64_t total = 0;
    bool refused = false;
    std::uint8_t folded = 0;
};

// How much one input may make a walk do.
struct WalkBounds {
    std::size_t maxEntries = 20000;                        // entries described
    std::size_t maxSaves = 4;                              // entries saved to a real file
    std::size_t maxContents = 2048;                        // entries whose content is written
    std::uint64_t perEntryBytes = std::uint64_t{16} << 20; // content bytes one entry may write
    std::uint64_t totalBytes = std::uint64_t{48} << 20;    // content bytes of all entries together
};

// Where the folds go, so that reading the bytes is not optimised away.
inline volatile std::uint8_t foldSink = 0;

inline void drainContent(EntrySource& reader, EntryRef entry, std::uint64_t perEntry, std::uint64_t& budget) {
    DrainSink sink(std::min(budget, perEntry));
    reader.writeContent(entry, sink);
    budget -= std::min(budget, sink.size());
    foldSink = sink.fold();
}

inline void walkDescribeAndSave(EntrySource& reader, const std::filesystem::path& scratch, WalkBounds bounds = {}) {
    std::size_t seen = 0, saved = 0, drained = 0;
    std::uint64_t budget = bounds.totalBytes;
    std::vector<std::pair<EntryRef, int>> stack;
    if (auto root = reader.rootEntry()) stack.emplace_back(*root, 0);
    while (!stack.empty() && seen < bounds.maxEntries) {
        const auto [folder, depth] = stack.back();
        stack.pop_back();
        for (auto c = reader.firstChild(folder); c && seen < bounds.maxEntries; c = reader.nextSibling(*c)) {
            ++seen;
            const RecoveredItem item = reader.describe(*c);
            if (reader.isSaveFolder(*c) && item.hasChildren && depth < 64) stack.emplace_back(*c, depth + 1);
            if (!reader.isSaveFile(*c)) continue;
            if (drained < bounds.maxContents && budget > 0) {
                drainContent(reader, *c, bounds.perEntryBytes, budget);
                ++drained;
            }
            if (saved < bounds.maxSaves && item.size < (std::uint64_t{1} << 20)) {
                std::error_code ignored;
                std::filesystem::remove(scratch / "out", ignored);  // a save never writes over a file
                saveEntryToFile(reader, *c, scratch / "out");
                ++saved;
            }
        }
    }
}

}  // namespace vantor::fuzz
