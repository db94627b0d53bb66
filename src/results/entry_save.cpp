// Saving one entry's content (entry_save.h).
#include "results/entry_save.h"

#include "core/output_file.h"

namespace vantor {

namespace {

// The output file as a reader's sink.
class FileSink final : public ContentSink {
public:
    explicit FileSink(OutputFile& out) : out(out) {}
    bool write(std::span<const std::uint8_t> bytes) override { return out.write(bytes); }
    bool skip(std::uint64_t count) override { return out.skip(count); }
    std::uint64_t size() const override { return out.size(); }

private:
    OutputFile& out;
};

}  // namespace

SaveResult saveEntryToFile(EntrySource& source, EntryRef entry, const std::filesystem::path& file) {
    SaveResult result;
    if (!source.isSaveFile(entry)) {
        result.problem = "not a file of this volume";
        return result;
    }
    const RecoveredItem item = source.describe(entry);
    OutputFile out;
    if (!out.create(file)) {
        result.problem = out.error();
        result.nameTaken = out.nameTaken();
        return result;
    }
    FileSink sink(out);
    const ContentOutcome outcome = source.writeContent(entry, sink);
    if (outcome.status != ContentOutcome::Status::written) {
        // Nothing of it is worth keeping: the partial file goes.
        out.finish(std::nullopt, std::nullopt);
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        result.withheld = outcome.status == ContentOutcome::Status::withheld;
        result.problem = outcome.problem.empty() ? "not written" : outcome.problem;
        return result;
    }
    // A reader that stopped early leaves the rest to read as zeros; the file
    // keeps its full length whatever happened.
    if (out.size() < item.size) {
        sink.damaged(out.size(), item.size - out.size(), "not found on the volume");
        out.skip(item.size - out.size());
    }
    result.written = out.finish(item.access, item.modification);
    result.bytes = out.size();
    result.damage = sink.damage();
    result.damaged = sink.isDamaged();
    if (!result.written) result.problem = out.error();
    else if (!out.error().empty()) result.problem = out.error();
    if (result.damaged) result.problem = result.problem.empty() ? sink.damageText() : sink.damageText() + "; " + result.problem;
    return result;
}

}  // namespace vantor
