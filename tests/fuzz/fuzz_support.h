#pragma once
// What every reader's fuzz target does after the scan: walk the tree through
// the results contract, describe every entry and save a few, all bounded.
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

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

inline void walkDescribeAndSave(EntrySource& reader, const std::filesystem::path& scratch, std::size_t maxSaves) {
    std::size_t seen = 0, saved = 0;
    std::vector<std::pair<EntryRef, int>> stack;
    if (auto root = reader.rootEntry()) stack.emplace_back(*root, 0);
    while (!stack.empty() && seen < 20000) {
        const auto [folder, depth] = stack.back();
        stack.pop_back();
        for (auto c = reader.firstChild(folder); c && seen < 20000; c = reader.nextSibling(*c)) {
            ++seen;
            const RecoveredItem item = reader.describe(*c);
            if (reader.isSaveFolder(*c) && item.hasChildren && depth < 64) stack.emplace_back(*c, depth + 1);
            if (reader.isSaveFile(*c) && saved < maxSaves && item.size < (std::uint64_t{1} << 20)) {
                std::error_code ignored;
                std::filesystem::remove(scratch / "out", ignored);  // a save never writes over a file
                saveEntryToFile(reader, *c, scratch / "out");
                ++saved;
            }
        }
    }
}

}  // namespace vantor::fuzz
