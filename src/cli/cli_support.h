#pragma once
// Pieces every vantor command shares: the seams as a terminal sees them, the
// volume options and the choice of a volume on a source.
#include <CLI/CLI.hpp>

#include <csignal>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/progress.h"
#include "device/FileReadSeek.h"
#include "device/VolumeRecord.h"
#include "core/recovered.h"
#include "device/reader_context.h"
#include "results/volume_choice.h"

namespace vantor::cli {

enum ExitStatus { kDone = 0, kFailed = 1, kUsage = 2 };

// Progress on standard error while it is a terminal, unless silenced.
class TerminalProgress final : public ProgressSink {
public:
    explicit TerminalProgress(bool quiet);
    ~TerminalProgress() override;
    void setRange(std::int64_t minimum, std::int64_t maximum) override;
    void setPosition(std::int64_t position) override;
    void setStatus(std::string_view text) override;

private:
    void draw();
    bool enabled;
    std::int64_t lo = 0, hi = 0, pos = 0;
    std::string status;
    bool drawn = false;
};

// The wizard's messages, as the command line takes them: their texts are
// the wizard's and are not printed (each command reports in its own words),
// and the command line itself is the user's consent, so questions are
// answered yes.
class StderrMessages final : public Messages {
public:
    void inform(std::string_view text) override;
    bool ask(std::string_view text) override;
};

// How a command picks the volume it works on (see the volume options of the CLI).
struct VolumeOptions {
    bool gpt = false;
    bool sweep = false;
    bool noSkip = false;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::optional<int> volume;
    std::optional<std::int64_t> startSector;
    std::optional<std::int64_t> sizeMb;
    std::optional<std::string> fs;
    std::string mode = "standard";
    bool formatted = false;
    std::optional<std::int64_t> candidate;
    std::optional<std::uint32_t> spc;
    std::optional<std::int64_t> heap;
    bool quiet = false;
};

// Opens a source read-only; says why not on standard error.
bool openSource(FileReadSeek& reader, const std::string& source);

// The table and sweep options (partitions and every volume command).
void addScanOptions(CLI::App& cmd, VolumeOptions& o);
// The volume choice and the recovery mode (ls, save, search, candidates, carve).
void addVolumeOptions(CLI::App& cmd, VolumeOptions& o, bool withMode);

// The volume list of a source by the standard scan or the sweep.
// Returns nullopt (after telling why) when the tables could not be read.
std::optional<std::vector<VolumeRecord>> listSourceVolumes(readWriteInterface& reader, const VolumeOptions& o,
                                                           ProgressSink& progress);

// Prints a volume list as the partitions command does (to standard error
// when it only explains why a choice is needed).
void printVolumes(const std::vector<VolumeRecord>& volumes, bool json, std::FILE* out = stdout);

struct PickedVolume {
    std::optional<VolumeRecord> volume;
    int exitStatus = kDone;  // when no volume: why not
};
// The volume a command works on (results/volume_choice.h), with what went
// wrong told in the command line's words.
PickedVolume pickVolume(readWriteInterface& reader, const VolumeOptions& o, ProgressSink& progress);

// Ctrl-C, a hang-up or a termination while a command works: instead of
// dying mid-file, the command is told and can stop its work in order. Made
// before any worker thread starts (the threads take its signal mask); the
// watch ends, and the old mask is back, when it goes.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    bool interrupted() const { return caught.load(); }

private:
    std::function<void()> onInterrupt;
    std::atomic<bool> caught{false};
    std::atomic<bool> ending{false};
    sigset_t oldMask{};
    std::thread watcher;
};

ScanMode scanModeOf(const VolumeOptions& o);
AdvancedPicks advancedPicksOf(const VolumeOptions& o);

}  // namespace vantor::cli
