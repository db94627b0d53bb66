#include "results/safe_name.h"

#include <sys/stat.h>

#include <cerrno>

namespace vantor {

namespace {

// Cuts a UTF-8 text to at most `bytes` bytes without splitting a character.
std::string cutUtf8(std::string_view s, std::size_t bytes) {
    if (s.size() <= bytes) return std::string(s);
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return std::string(s.substr(0, end));
}

std::pair<std::string_view, std::string_view> splitExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

// Fits stem + suffix + extension into 255 bytes, shortening the stem first.
std::string fitName(std::string_view stem, std::string_view suffix, std::string_view ext) {
    if (ext.size() + suffix.size() >= kMaxNameBytes) ext = {};  // an absurd "extension" is just name
    const std::size_t room = kMaxNameBytes - suffix.size() - ext.size();
    std::string out = cutUtf8(stem, room);
    out += suffix;
    out += ext;
    return out;
}

enum class Occupant { none, plainFile, folder, other };

Occupant occupantOf(const std::filesystem::path& p, struct stat& st) {
    if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT ? Occupant::none : Occupant::other;
    if (S_ISREG(st.st_mode)) return Occupant::plainFile;
    if (S_ISDIR(st.st_mode)) return Occupant::folder;
    return Occupant::other;  // links, devices, sockets: never written through
}

constexpr int kMaxNumbered = 100000;

}  // namespace

std::string safeName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        out += (c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    if (out.empty() || out == ".") return "_";
    if (out == "..") return "__";
    if (out.size() > kMaxNameBytes) {
        const auto [stem, ext] = splitExtension(out);
        return fitName(stem, {}, ext);
    }
    return out;
}

std::string numberedName(std::string_view safe, int n) {
    const auto [stem, ext] = splitExtension(safe);
    return fitName(stem, " (" + std::to_string(n) + ")", ext);
}

std::optional<std::filesystem::path> SaveNamer::fileIn(const std::filesystem::path& folder, std::string_view name) {
    const std::string base = safeName(name);
    const std::string key = (folder / base).string();
    const auto known = nextNumber.find(key);
    for (int n = known == nextNumber.end() ? 1 : known->second; n <= kMaxNumbered; ++n) {
        const auto candidate = folder / (n == 1 ? base : numberedName(base, n));
        struct stat st {};
        if (occupantOf(candidate, st) != Occupant::none) continue;
        if (n > 1) nextNumber[key] = n;
        return candidate;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> SaveNamer::folderIn(const std::filesystem::path& folder,
                                                         std::string_view name) {
    const std::string base = safeName(name);
    for (int n = 1; n <= kMaxNumbered; ++n) {
        const auto candidate = folder / (n == 1 ? base : numberedName(base, n));
        struct stat st {};
        switch (occupantOf(candidate, st)) {
            case Occupant::folder: return candidate;
            case Occupant::none:
                if (::mkdir(candidate.c_str(), 0755) == 0) return candidate;
                if (errno != EEXIST) return std::nullopt;
                // Another save into the same folder made it meanwhile: a real
                // folder is shared, anything else takes the next name.
                if (occupantOf(candidate, st) == Occupant::folder) return candidate;
                break;
            default: break;
        }
    }
    return std::nullopt;
}

}  // namespace vantor
