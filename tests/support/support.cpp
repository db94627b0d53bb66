#include "support/support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vantor::test {
namespace fs = std::filesystem;

fs::path fixtureImage(const std::string& name) { return fs::path(VANTOR_FIXTURE_DIR) / name; }
fs::path fixtureSource(const std::string& name) { return fs::path(VANTOR_FIXTURE_SOURCE_DIR) / name; }

nlohmann::json readJsonFile(const fs::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return nlohmann::json::parse(in);
}

namespace {

std::string drain(int fd) {
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace

CommandResult runVantor(const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0) ::dup2(devnull, 0);
        std::vector<char*> argv;
        std::string binary = VANTOR_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copies = args;
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CommandResult result;
    std::thread errReader([&] { result.err = drain(errPipe[0]); });
    result.out = drain(outPipe[0]);
    errReader.join();
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.peakMemoryKb = usage.ru_maxrss;
    return result;
}

namespace {

// SHA-256, enough to compare saved files with manifests.
class Sha256 {
public:
    void update(const std::uint8_t* p, std::size_t n) {
        total += n;
        while (n > 0) {
            const std::size_t take = std::min(n, 64 - fill);
            std::memcpy(block.data() + fill, p, take);
            fill += take;
            p += take;
            n -= take;
            if (fill == 64) {
                compress();
                fill = 0;
            }
        }
    }
    std::string hex() {
        const std::uint64_t bits = total * 8;
        const std::uint8_t pad = 0x80;
        update(&pad, 1);
        const std::uint8_t zero = 0;
        while (fill != 56) update(&zero, 1);
        std::uint8_t len[8];
        for (int i = 0; i < 8; ++i) len[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
        update(len, 8);
        std::ostringstream out;
        char buf[9];
        for (std::uint32_t v : h) {
            std::snprintf(buf, sizeof buf, "%08x", v);
            out << buf;
        }
        return out.str();
    }

private:
    static std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress() {
        static constexpr std::uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
                   std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
        }
        h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
    }
    std::array<std::uint32_t, 8> h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> block{};
    std::size_t fill = 0;
    std::uint64_t total = 0;
};

}  // namespace

std::string sha256File(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    Sha256 sha;
    std::vector<char> buf(1 << 20);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        sha.update(reinterpret_cast<const std::uint8_t*>(buf.data()), static_cast<std::size_t>(in.gcount()));
    }
    return sha.hex();
}

std::string sha256Bytes(const std::vector<std::uint8_t>& bytes) {
    Sha256 sha;
    sha.update(bytes.data(), bytes.size());
    return sha.hex();
}

std::vector<std::uint8_t> readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScratchDir::ScratchDir() {
    std::random_device rd;
    for (;;) {
        dir = fs::temp_directory_path() / ("vantor-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(dir, ec)) break;
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(dir, ec);
}

std::set<std::string> pathsBelow(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::string rel = fs::relative(e.path(), dir).string();
        if (e.is_directory()) rel += '/';
        out.insert(rel);
    }
    return out;
}

bool isBelow(const fs::path& path, const fs::path& folder) {
    fs::path outer = fs::weakly_canonical(folder);
    if (!outer.has_filename()) outer = outer.parent_path();  // "dir/" names dir itself
    const fs::path rel = fs::weakly_canonical(path).lexically_relative(outer);
    return !rel.empty() && *rel.begin() != "." && *rel.begin() != "..";
}

SourceGuard::SourceGuard(fs::path source) : source(std::move(source)), hash(sha256File(this->source)) {}

bool SourceGuard::unchanged() const { return !hash.empty() && sha256File(source) == hash; }

bool onPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((std::filesystem::path(dir) / tool).c_str(), X_OK) == 0) return true;
    return false;
}

std::set<std::string> flsLiveTree(const std::filesystem::path& image, std::int64_t startSector) {
    std::string command = "fls -r -p -u";
    if (startSector != 0) command += " -o " + std::to_string(startSector);
    command += " '" + image.string() + "'";
    std::set<std::string> tree;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return tree;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        const auto tab = text.find('\t');
        if (tab == std::string::npos || text.size() < 3) continue;
        // "r/r", or "-/r" where the entry keeps no type of its own: the inode decides.
        const std::string type = text.substr(2, 1);
        const std::string path = text.substr(tab + 1);
        if (path.rfind("$OrphanFiles", 0) == 0) continue;
        // exFAT's bitmap, up-case table and label, which fls shows as files.
        if (path == "$ALLOC_BITMAP" || path == "$UPCASE_TABLE") continue;
        if (path.size() > 21 && path.compare(path.size() - 21, 21, " (Volume Label Entry)") == 0) continue;
        if (type == "d") tree.insert("d ROOT/" + path);
        if (type == "r") tree.insert("r ROOT/" + path);
    }
    ::pclose(pipe);
    return tree;
}

}  // namespace vantor::test
