// Saving one entry's content (entry_save.h).
#include "results/entry_save.h"

#include "core/output_file.h"

namespace vantor {

namespace {

// The output file as a reader's sink; a stop makes the next write fail,
// which ends the reader's content walk.
class FileSink final : public ContentSink {
public:
    FileSink(OutputFile& out, const std::function<bool()>& stopRequested) : out(out), stopRequested(stopRequested) {}
    bool write(std::span<const std::uint8_t> bytes) override { return !stop() && out.write(bytes); }
    bool skip(std::uint64_t count) override { return !stop() && out.skip(count); }
    std::uint64_t size() const override { return out.size(); }
    bool stopped() const { return wasStopped; }

private:
    bool stop() {
        if (!wasStopped && stopRequested && stopRequested()) wasStopped = true;
        return wasStopped;
    }
    OutputFile& out;
    const std::function<bool()>& stopRequested;
    bool wasStopped = false;
};

// The name of a finished file: `file`, or the next one offered.
void publishUnderFreeName(OutputFile& out, const std::filesystem::path& file, const SaveControls& controls,
                          SaveResult& result) {
    // Bounded: each name tried is one the namer believed free.
    constexpr int kAttempts = 32;
    std::optional<std::filesystem::path> name = file;
    for (int attempt = 0; name && attempt < kAttempts; ++attempt) {
        switch (out.publish(*name)) {
            case OutputFile::Publish::done: result.savedAs = *name; return;
            case OutputFile::Publish::failed: result.problem = out.error(); return;
            case OutputFile::Publish::nameTaken: name = controls.nextName ? controls.nextName(false) : std::nullopt; break;
            case OutputFile::Publish::nameRefused: name = controls.nextName ? controls.nextName(true) : std::nullopt; break;
        }
    }
    result.problem = "no free name for the file";
}

}  // namespace

SaveResult saveEntryToFile(EntrySource& source, EntryRef entry, const std::filesystem::path& file,
                           const SaveControls& controls) {
    SaveResult result;
    if (!source.isSaveFile(entry)) {
        result.problem = "not a file of this volume";
        return result;
    }
    const RecoveredItem item = source.describe(entry);
    OutputFile out;
    if (!out.create(file.parent_path())) {
        result.problem = out.error();
        result.targetFull = out.targetFull();
        return result;
    }
    FileSink sink(out, controls.stopRequested);
    const ContentOutcome outcome = source.writeContent(entry, sink);
    if (sink.stopped()) {
        result.stopped = true;
        result.problem = "the save was stopped while writing it; nothing of it was kept";
        return result;
    }
    if (outcome.status != ContentOutcome::Status::written) {
        // Nothing of it is worth keeping: the temporary file goes with `out`.
        result.withheld = outcome.status == ContentOutcome::Status::withheld;
        result.targetFull = out.targetFull();
        // The target's own failure says more than the reader's.
        result.problem = !out.error().empty()      ? out.error()
                         : outcome.problem.empty() ? "not written"
                                                   : outcome.problem;
        return result;
    }
    // A reader that stopped early leaves the rest to read as zeros; the file
    // keeps its full length whatever happened.
    if (out.size() < item.size && !sink.endedEarly()) {
        sink.damaged(out.size(), item.size - out.size(), "not found on the volume");
        out.skip(item.size - out.size());
    }
    if (!out.finish(item.access, item.modification)) {
        result.problem = out.error();
        result.targetFull = out.targetFull();
        return result;
    }
    publishUnderFreeName(out, file, controls, result);
    if (result.savedAs.empty()) return result;
    result.written = true;
    result.bytes = out.size();
    result.damage = sink.damage();
    result.damaged = sink.isDamaged();
    result.problem = out.error();  // a note such as "times not restored"
    if (result.damaged) result.problem = result.problem.empty() ? sink.damageText() : sink.damageText() + "; " + result.problem;
    return result;
}

}  // namespace vantor
