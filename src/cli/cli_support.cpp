#include "cli/cli_support.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "results/format_table.h"

namespace vantor::cli {

TerminalProgress::TerminalProgress(bool quiet) : enabled(!quiet && ::isatty(2)) {}

TerminalProgress::~TerminalProgress() {
    if (drawn) std::fputs("\r\033[K", stderr);
}

void TerminalProgress::setRange(std::int64_t minimum, std::int64_t maximum) {
    lo = minimum;
    hi = maximum;
    draw();
}

void TerminalProgress::setPosition(std::int64_t position) {
    pos = position;
    draw();
}

void TerminalProgress::setStatus(std::string_view text) {
    status = text;
    draw();
}

void TerminalProgress::draw() {
    if (!enabled) return;
    const int percent = hi > lo ? static_cast<int>((pos - lo) * 100 / (hi - lo)) : 0;
    std::fprintf(stderr, "\r\033[K%3d%% %.70s", std::clamp(percent, 0, 100), status.c_str());
    std::fflush(stderr);
    drawn = true;
}

// The wizard's message-box texts stay in the wizard: the command line says
// in its own words what it did and what failed.
void StderrMessages::inform(std::string_view) {}

bool StderrMessages::ask(std::string_view) { return true; }

bool openSource(FileReadSeek& reader, const std::string& source) {
    if (reader.open(source)) return true;
    const int error = errno;
    std::cerr << "cannot open " << source << ": " << std::strerror(error) << '\n';
    return false;
}

void addScanOptions(CLI::App& cmd, VolumeOptions& o) {
    cmd.add_flag("--gpt", o.gpt, "read the GUID partition table");
    auto* sweep = cmd.add_flag("--sweep", o.sweep, "find volumes by sweeping the sectors");
    cmd.add_flag("--no-skip", o.noSkip, "test every sector inside found volumes too")->needs(sweep);
    cmd.add_option("--start", o.start, "first sector of the sweep")->needs(sweep);
    cmd.add_option("--end", o.end, "last sector of the sweep")->needs(sweep);
    cmd.add_flag("--quiet", o.quiet, "no progress on standard error");
}

void addVolumeOptions(CLI::App& cmd, VolumeOptions& o, bool withMode) {
    addScanOptions(cmd, o);
    cmd.add_option("--volume", o.volume, "row of the volume list (from 0)");
    auto* start = cmd.add_option("--start-sector", o.startSector, "first sector of a custom volume");
    auto* size = cmd.add_option("--size-mb", o.sizeMb, "size of a custom volume in MB");
    auto* kind = cmd.add_option("--fs", o.fs, "file system of a custom volume");
    start->needs(kind);
    size->needs(start);
    kind->needs(start);
    if (!withMode) return;
    cmd.add_option("--mode", o.mode, "standard, advanced or deep")
        ->check(CLI::IsMember({"standard", "advanced", "deep"}));
    cmd.add_flag("--formatted", o.formatted, "read folders and files as contiguous clusters");
    cmd.add_option("--candidate", o.candidate, "advanced mode: the candidate picked from 'candidates'");
    cmd.add_option("--spc", o.spc, "advanced mode: sectors per cluster");
    cmd.add_option("--heap", o.heap, "advanced mode: exFAT heap candidate");
}

namespace {

VolumeQuery queryOf(const VolumeOptions& o) {
    VolumeQuery q;
    q.gpt = o.gpt;
    q.sweep = o.sweep;
    q.noSkip = o.noSkip;
    q.sweepStart = o.start;
    q.sweepEnd = o.end;
    q.row = o.volume;
    q.customStart = o.startSector;
    q.customSizeMb = o.sizeMb;
    q.customKind = o.fs;
    return q;
}

void tellListUnreadable(const VolumeOptions& o) {
    std::cerr << (o.sweep ? "the sweep could not read the source\n" : "the partition table could not be read\n");
}

}  // namespace

std::optional<std::vector<VolumeRecord>> listSourceVolumes(readWriteInterface& reader, const VolumeOptions& o,
                                                           ProgressSink& progress) {
    auto volumes = listVolumes(reader, queryOf(o), progress);
    if (!volumes) tellListUnreadable(o);
    return volumes;
}

void printVolumes(const std::vector<VolumeRecord>& volumes, bool json, std::FILE* out) {
    if (json) {
        auto list = nlohmann::json::array();
        for (const auto& v : volumes)
            list.push_back({{"volumeId", v.volumeId}, {"fileSystem", v.fileSystem}, {"sizeText", v.sizeText},
                            {"startSector", v.startSector}});
        std::fprintf(out, "%s\n", list.dump(2).c_str());
        return;
    }
    std::fprintf(out, "%-4s %-12s %-14s %s\n", "#", "File system", "Size", "Start sector");
    for (std::size_t i = 0; i < volumes.size(); ++i)
        std::fprintf(out, "%-4zu %-12s %-14s %lld\n", i, volumes[i].fileSystem.c_str(), volumes[i].sizeText.c_str(),
                    static_cast<long long>(volumes[i].startSector));
}

PickedVolume pickVolume(readWriteInterface& reader, const VolumeOptions& o, ProgressSink& progress) {
    const VolumeChoice choice = chooseVolume(reader, queryOf(o), progress);
    using Outcome = VolumeChoice::Outcome;
    switch (choice.outcome) {
        case Outcome::chosen: return {choice.volume, kDone};
        case Outcome::badCustom:
            if (o.fs && fsKindFromName(*o.fs) == FsKind::unknown) {
                std::cerr << "unknown file system '" << *o.fs << "' (";
                const char* separator = "";
                for (const FormatRow& row : formatTable()) {
                    std::cerr << separator << row.name;
                    separator = ", ";
                }
                std::cerr << "; case ignored)\n";
            } else {
                std::cerr << "a custom volume needs a start sector and a size of 0 or more\n";
            }
            return {std::nullopt, kUsage};
        case Outcome::listUnreadable:
            tellListUnreadable(o);
            return {std::nullopt, kFailed};
        case Outcome::noSuchRow:
            std::cerr << "there is no volume " << *o.volume << "; the volumes are:\n";
            printVolumes(choice.volumes, false, stderr);
            return {std::nullopt, kUsage};
        case Outcome::needsChoice:
            std::cerr << "the source holds several volumes; choose one with --volume N:\n";
            printVolumes(choice.volumes, false, stderr);
            return {std::nullopt, kUsage};
        case Outcome::noneFound:
            std::cerr << "no volume was found on the source\n";
            return {std::nullopt, kFailed};
    }
    return {std::nullopt, kFailed};
}

ScanMode scanModeOf(const VolumeOptions& o) {
    if (o.mode == "advanced") return ScanMode::advanced;
    if (o.mode == "deep") return ScanMode::deep;
    return ScanMode::standard;
}

AdvancedPicks advancedPicksOf(const VolumeOptions& o) {
    return AdvancedPicks{o.candidate, o.spc, o.heap};
}

namespace {
sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR2);  // the watch's own end
    return set;
}
}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : onInterrupt(std::move(onInterrupt)) {
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, &oldMask);
    watcher = std::thread([this, set] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            if (ending.load()) return;
            if (signal == SIGUSR2) continue;
            // A second Ctrl-C while the first is being honoured changes nothing.
            if (!caught.exchange(true) && this->onInterrupt) this->onInterrupt();
        }
    });
}

InterruptWatch::~InterruptWatch() {
    ending.store(true);
    pthread_kill(watcher.native_handle(), SIGUSR2);
    watcher.join();
    // A signal that came after the work ended still ends the command: it is
    // handled as the caller would have had it without the watch.
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
}

}  // namespace vantor::cli
