#include "results/safe_name.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <memory>

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

// Whether `folder` holds an entry named exactly `name`: on a case-blind
// target, lstat finds "Docs" when asked for "docs".
bool holdsExactName(const std::filesystem::path& folder, const std::string& name) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir.get()))
        if (name == e->d_name) return true;
    return false;
}

bool isDeviceName(std::string_view stem) {
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    std::string upper(stem);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
    return upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
           upper[3] <= '9';
}

// Creates `name` in `folder` exclusively and removes it again; the errno of
// a failure is kept.
bool canCreate(const std::filesystem::path& folder, const std::string& name) {
    const auto path = folder / name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(path.c_str());
    return true;
}

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

std::string portableName(std::string_view safe) {
    std::string out(safe);
    for (char& c : out)
        if (std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos) c = '_';
    if (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.back() = '_';
    const auto dot = out.find('.');
    if (isDeviceName(std::string_view(out).substr(0, dot))) out = safeName("_" + out);
    return out;
}

std::string numberedName(std::string_view safe, int n) {
    const auto [stem, ext] = splitExtension(safe);
    return fitName(stem, " (" + std::to_string(n) + ")", ext);
}

void SaveNamer::probe(const std::filesystem::path& outDir) {
    const std::string stem = ".vantor-probe-" + std::to_string(::getpid()) + "-";
    const auto mixed = outDir / (stem + "Ab");
    const int fd = ::open(mixed.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        struct stat st {};
        caseBlind = ::lstat((outDir / (stem + "aB")).c_str(), &st) == 0;
        ::unlink(mixed.c_str());
        // A refusal of these characters alone (the plain probe worked) means
        // a target that holds only portable names.
        portable = portable || (!canCreate(outDir, stem + "q?c:s*") && errno != EEXIST);
    }
}

std::string SaveNamer::baseName(std::string_view name) const {
    return portable ? portableName(safeName(name)) : safeName(name);
}

std::optional<std::filesystem::path> SaveNamer::fileIn(const std::filesystem::path& folder, std::string_view name) {
    const std::string base = baseName(name);
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
    const std::string base = baseName(name);
    for (int n = 1; n <= kMaxNumbered; ++n) {
        const std::string leaf = n == 1 ? base : numberedName(base, n);
        const auto candidate = folder / leaf;
        struct stat st {};
        switch (occupantOf(candidate, st)) {
            case Occupant::folder:
                // "docs" is not "Docs", even where the target mixes them up.
                if (!caseBlind || holdsExactName(folder, leaf)) return candidate;
                break;
            case Occupant::none:
                if (::mkdir(candidate.c_str(), 0755) == 0) return candidate;
                if (errno != EEXIST) {
                    // A name the target refuses gets its portable form once.
                    if (portable || (errno != EINVAL && errno != EILSEQ && errno != ENOENT)) return std::nullopt;
                    portable = true;
                    return folderIn(folder, name);
                }
                // Another save into the same folder made it meanwhile: a real
                // folder is shared, anything else takes the next name.
                if (occupantOf(candidate, st) == Occupant::folder && (!caseBlind || holdsExactName(folder, leaf)))
                    return candidate;
                break;
            default: break;
        }
    }
    return std::nullopt;
}

}  // namespace vantor
