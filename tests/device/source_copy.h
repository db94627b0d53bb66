#pragma once
// Checks that a fixture image is byte-identical after a command has read it,
// like SourceGuard, by keeping a copy of the bytes and comparing them again:
// hashing the larger disk images takes seconds each in the sanitizer build,
// a comparison takes milliseconds.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vantor::test {

class SourceCopy {
public:
    explicit SourceCopy(const std::filesystem::path& source) : source(source) {
        if (FILE* f = std::fopen(source.c_str(), "rb")) {
            std::vector<unsigned char> chunk(1 << 20);
            std::size_t n;
            while ((n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) bytes.insert(bytes.end(), chunk.data(), chunk.data() + n);
            readable = !std::ferror(f);
            std::fclose(f);
        }
    }

    bool unchanged() const {
        if (!readable) return false;
        FILE* f = std::fopen(source.c_str(), "rb");
        if (!f) return false;
        std::vector<unsigned char> chunk(1 << 20);
        std::size_t at = 0, n;
        bool same = true;
        while (same && (n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) {
            same = at + n <= bytes.size() && std::memcmp(chunk.data(), bytes.data() + at, n) == 0;
            at += n;
        }
        same = same && !std::ferror(f) && at == bytes.size();
        std::fclose(f);
        return same;
    }

private:
    std::filesystem::path source;
    std::vector<unsigned char> bytes;
    bool readable = false;
};

}  // namespace vantor::test
