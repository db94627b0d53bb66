// vantor ls, vantor save, vantor search
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "core/text.h"
#include "device/same_disk.h"
#include "results/entry_walk.h"
#include "results/scan_session.h"

namespace vantor::cli {
namespace {

// One scanned volume: the source, the seams, the state and the session.
struct ScannedVolume {
    StderrMessages messages;
    FileReadSeek reader{messages};
    std::unique_ptr<TerminalProgress> progress;
    AppState state;
    VolumeRecord volume;
    std::unique_ptr<ScanRun> run;
    bool scanFailed = false;  // a step failed: what was found is still shown
    // A save's output folder: refused before any work when it is on the
    // disk being recovered, and made before the scan.
    std::filesystem::path saveInto;
    // The run, for an interrupt arriving from the watch's thread.
    std::atomic<ScanRun*> started{nullptr};
    // The command's own status, made 1 when the scan did not complete.
    int finish(int status) const {
        if (!scanFailed || status != kDone) return status;
        std::cerr << "the scan of the volume did not complete; only what it found was used\n";
        return kFailed;
    }
};

// Opens the source, chooses the volume and runs the scan to its end.
// Returns the exit status to give up with, or kDone.
int scanVolume(const std::string& source, const VolumeOptions& o, ScannedVolume& v) {
    if (!openSource(v.reader, source)) return kFailed;
    if (!v.saveInto.empty()) {
        if (const auto onSource = outputOnSource(v.reader, v.saveInto)) {
            std::cerr << *onSource << '\n';
            return kFailed;
        }
        std::error_code error;
        std::filesystem::create_directories(v.saveInto, error);
        if (!std::filesystem::is_directory(v.saveInto)) {
            std::cerr << "cannot make the output folder " << v.saveInto << '\n';
            return kFailed;
        }
    }
    v.progress = std::make_unique<TerminalProgress>(o.quiet);
    const PickedVolume choice = pickVolume(v.reader, o, *v.progress);
    if (!choice.volume) return choice.exitStatus;
    v.volume = *choice.volume;
    v.state.isDriveFormatted = o.formatted;
    v.state.selectedIsVolume = false;
    const ReaderContext context{v.reader, v.volume, v.state, *v.progress, v.messages, advancedPicksOf(o)};
    v.run = std::make_unique<ScanRun>(context);
    if (!v.run->start(scanModeOf(o))) {
        std::cerr << "no reader for " << v.volume.fileSystem << " volumes\n";
        return kFailed;
    }
    v.started.store(v.run.get());
    v.run->wait();
    // Both are warnings to the user; only the first kind can cost files.
    if (const VolumeReader* reader = v.run->volumeReader()) {
        for (const std::string& note : reader->scanNotes()) std::cerr << "warning: " << note << '\n';
        for (const std::string& warning : reader->scanWarnings()) std::cerr << "warning: " << warning << '\n';
    }
    switch (v.run->outcome()) {
        case ScanOutcome::done: return kDone;
        case ScanOutcome::failed: v.scanFailed = true; return kDone;
        case ScanOutcome::wrongKind:
            std::cerr << "the volume at sector " << v.volume.startSector << " is not a " << v.volume.fileSystem
                      << " volume\n";
            return kFailed;
        case ScanOutcome::unsupported:
            std::cerr << "the " << o.mode << " mode is not available for " << v.volume.fileSystem << '\n';
            return kUsage;
    }
    return kFailed;
}

// Entries are written by hand rather than through a JSON document: a listing
// of 200,000 entries spends most of its time here otherwise.
// One character that JSON cannot hold as it is.
void appendEscaped(std::string& out, unsigned char c) {
    switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
}

// The characters of valid UTF-8 `text`, escaped where JSON needs it.
void appendEscapedText(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.substr(run, k - run));
        run = k + 1;
        appendEscaped(out, c);
    }
    out.append(text.substr(run));
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    // Names come from the readers as UTF-8; anything else is mended first so
    // the output is always valid JSON. Most names are plain ASCII.
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) appendEscapedText(out, text);
    else appendEscapedText(out, bytesToUtf8(text));
    out += '"';
}

void appendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// `key` is the literal `,"name":` (or `"name":` for the first field).
void appendJsonTime(std::string& out, std::string_view key, const std::optional<Timestamp>& t) {
    out += key;
    char iso[21];
    // No time, or none a calendar year of four digits can show: null.
    if (!t || !isoUtcInto(*t, iso)) {
        out += "null";
        return;
    }
    out += '"';
    out.append(iso, 20);
    out += '"';
}

// One entry object of ls and search --json, appended to `out`.
void appendEntryJson(std::string& out, const std::string& path, const RecoveredItem& item, bool orphan) {
    out += "{\"id\":";
    appendNumber(out, item.id);
    out += ",\"path\":";
    appendJsonString(out, path);
    out += ",\"name\":";
    appendJsonString(out, item.name);
    out += item.isFolder ? ",\"folder\":true" : ",\"folder\":false";
    out += item.isDeleted ? ",\"deleted\":true" : ",\"deleted\":false";
    out += orphan ? ",\"orphan\":true" : ",\"orphan\":false";
    out += ",\"size\":";
    appendNumber(out, item.size);
    out += ",\"sizeText\":";
    appendJsonString(out, item.sizeColumnText);
    appendJsonTime(out, ",\"creation\":", item.creation);
    appendJsonTime(out, ",\"access\":", item.access);
    appendJsonTime(out, ",\"modification\":", item.modification);
    out += ",\"creationText\":";
    appendJsonString(out, item.creationText);
    out += ",\"accessText\":";
    appendJsonString(out, item.accessText);
    out += ",\"modificationText\":";
    appendJsonString(out, item.modificationText);
    out += ",\"attributes\":";
    appendJsonString(out, item.attributeText);
    out += ",\"warnings\":[";
    for (std::size_t i = 0; i < item.warnings.size(); ++i) {
        if (i) out += ',';
        appendJsonString(out, item.warnings[i]);
    }
    out += "]}";
}

nlohmann::json volumeJson(const VolumeRecord& v) {
    return {{"fileSystem", v.fileSystem}, {"startSector", v.startSector}, {"sizeText", v.sizeText}};
}

void printEntryLine(const std::string& path, const RecoveredItem& item) {
    std::printf("%c%c %14s  %-20s %s\n", item.isFolder ? 'd' : '-', item.isDeleted ? 'x' : '-',
                item.isFolder ? "" : item.sizeColumnText.c_str(), item.modificationText.c_str(), path.c_str());
}

// Writes the {"volume", "entries"} object one entry at a time, so a listing
// of hundreds of thousands of entries never holds them all in memory.
class EntryJsonWriter {
public:
    explicit EntryJsonWriter(const VolumeRecord& volume) {
        pending.reserve(kFlushAt + 4096);
        pending += "{\n  \"volume\": ";
        pending += volumeJson(volume).dump();
        pending += ",\n  \"entries\": [";
    }
    ~EntryJsonWriter() {
        pending += first ? "]\n}\n" : "\n  ]\n}\n";
        flush();
    }
    EntryJsonWriter(const EntryJsonWriter&) = delete;
    EntryJsonWriter& operator=(const EntryJsonWriter&) = delete;
    void add(const std::string& path, const RecoveredItem& item, bool orphan) {
        pending += first ? "\n    " : ",\n    ";
        first = false;
        appendEntryJson(pending, path, item, orphan);
        if (pending.size() >= kFlushAt) flush();
    }

private:
    // Written in large pieces: a listing is tens of megabytes.
    static constexpr std::size_t kFlushAt = 256 * 1024;
    void flush() {
        std::fwrite(pending.data(), 1, pending.size(), stdout);
        pending.clear();
    }
    std::string pending;
    bool first = true;
};

bool hasScanWarnings(const ScannedVolume& v) {
    const VolumeReader* scanned = v.run->volumeReader();
    return scanned && !scanned->scanWarnings().empty();
}

int runLs(const std::string& source, const VolumeOptions& o, bool recursive, bool json) {
    ScannedVolume v;
    if (const int status = scanVolume(source, o, v); status != kDone) return status;
    EntrySource& reader = *v.run->reader();
    std::optional<EntryJsonWriter> writer;
    if (json) writer.emplace(v.volume);
    std::uint64_t listed = 0;
    if (const auto root = reader.rootEntry()) {
        visitEntries(reader, *root, v.state.rootLabel, recursive, [&](const VisitedEntry& e) {
            ++listed;
            if (writer)
                writer->add(e.path, e.item, e.orphan);
            else
                printEntryLine(e.path, e.item);
        });
    }
    writer.reset();
    // An empty listing of a volume whose metadata is damaged is no answer.
    if (listed == 0 && hasScanWarnings(v)) {
        std::cerr << "nothing could be listed: the volume's metadata is damaged (see the warnings above)\n";
        return kFailed;
    }
    return v.finish(kDone);
}

bool interrupted(const InterruptWatch& watch) {
    if (!watch.interrupted()) return false;
    std::cerr << "interrupted before the save began: nothing was written\n";
    return true;
}

int reportSave(const SaveReport& r, bool interrupted) {
    for (const auto& p : r.renamed) std::fprintf(stderr, "renamed: %s: saved as %s\n", p.entryPath.c_str(), p.problem.c_str());
    std::fprintf(stderr, "%lld of %lld files saved", static_cast<long long>(r.written),
                 static_cast<long long>(r.found));
    if (r.withheld) std::fprintf(stderr, ", %lld deliberately not written", static_cast<long long>(r.withheld));
    std::fputc('\n', stderr);
    for (const auto& p : r.failed) std::fprintf(stderr, "not saved: %s: %s\n", p.entryPath.c_str(), p.problem.c_str());
    for (const auto& p : r.damaged)
        std::fprintf(stderr, "saved damaged: %s: %s\n", p.entryPath.c_str(), p.problem.c_str());
    if (r.targetFull) std::fprintf(stderr, "the save stopped: the output folder's disk is full\n");
    else if (r.stopped || interrupted) std::fprintf(stderr, "the save was interrupted: the files above are all it wrote\n");
    return r.complete() && !interrupted ? kDone : kFailed;
}

int runSave(const std::string& source, const VolumeOptions& o, const std::string& out, const std::string& path) {
    ScannedVolume v;
    v.saveInto = out;
    // Before the scan's threads start: they must not take the signals.
    InterruptWatch interrupt([&v] {
        if (ScanRun* run = v.started.load()) run->stop();
    });
    if (const int status = scanVolume(source, o, v); status != kDone) return status;
    if (interrupted(interrupt)) return kFailed;
    EntrySource& reader = *v.run->reader();
    const auto entry = findEntryByPath(reader, v.state.rootLabel, path);
    if (!entry) {
        const std::string named = path.empty() ? v.state.rootLabel : path;
        // Nothing found is not a wrong command line when the scan failed.
        if (v.scanFailed) {
            std::cerr << "nothing to save: " << named << " was not found, and the scan of the volume did not complete\n";
            return kFailed;
        }
        std::cerr << "no entry " << named << " on the volume\n";
        return kUsage;
    }
    std::string entryPath = v.state.rootLabel;
    if (!path.empty() && path != v.state.rootLabel && path != "/") {
        entryPath = path.rfind(v.state.rootLabel + "/", 0) == 0 ? path : joinEntryPath(v.state.rootLabel, path);
    }
    SaveReport report;
    bool started = false;
    if (reader.isSaveFolder(*entry)) {
        started = v.run->startSave(*entry, entryPath, out, [&report](const SaveReport& r) { report = r; });
    } else if (reader.isSaveFile(*entry)) {
        started = v.run->startSaveFile(*entry, entryPath, out, [&report](const SaveReport& r) { report = r; });
    } else {
        std::cerr << path << " is neither a folder nor a file that can be saved\n";
        return kUsage;
    }
    if (!started) return kFailed;
    // A Ctrl-C between the scan's end and the save's start.
    if (interrupt.interrupted()) v.run->stop();
    v.run->wait();
    int status = reportSave(report, interrupt.interrupted());
    // Files the damaged metadata held may be missing from what was saved.
    if (hasScanWarnings(v)) {
        std::cerr << "the volume's metadata is damaged (see the warnings above): some files may be missing\n";
        status = kFailed;
    }
    return v.finish(status);
}

int runSearch(const std::string& source, const VolumeOptions& o, const std::string& pattern, bool json) {
    ScannedVolume v;
    if (const int status = scanVolume(source, o, v); status != kDone) return status;
    std::vector<SearchHit> hits;
    SearchReport report;
    if (!v.run->startSearch(pattern, [&hits](const SearchHit& h) { hits.push_back(h); },
                            [&report](const SearchReport& r) { report = r; }))
        return kFailed;
    v.run->wait();
    if (!report.patternValid) return kUsage;
    if (json) {
        EntryJsonWriter writer(v.volume);
        for (const auto& h : hits) writer.add(h.path, h.item, h.orphan);
    } else {
        for (const auto& h : hits) printEntryLine(h.path, h.item);
    }
    return v.finish(kDone);
}

}  // namespace

void addEntryCommands(CLI::App& app, int& status) {
    {
        auto* ls = app.add_subcommand("ls", "list the files and folders found on a volume");
        auto source = std::make_shared<std::string>();
        auto options = std::make_shared<VolumeOptions>();
        auto recursive = std::make_shared<bool>(false);
        auto json = std::make_shared<bool>(false);
        ls->add_option("SOURCE", *source, "block device or image file")->required();
        addVolumeOptions(*ls, *options, true);
        ls->add_flag("-r,--recursive", *recursive, "everything, at every depth");
        ls->add_flag("--json", *json, "print JSON");
        ls->callback([&status, source, options, recursive, json] {
            status = runLs(*source, *options, *recursive, *json);
        });
    }
    {
        auto* save = app.add_subcommand("save", "save a folder or a file found on a volume");
        auto source = std::make_shared<std::string>();
        auto options = std::make_shared<VolumeOptions>();
        auto out = std::make_shared<std::string>();
        auto path = std::make_shared<std::string>();
        save->add_option("SOURCE", *source, "block device or image file")->required();
        addVolumeOptions(*save, *options, true);
        save->add_option("--out", *out, "folder to save into")->required();
        save->add_option("--path", *path, "folder or file to save (ROOT/...), default the root");
        save->callback([&status, source, options, out, path] { status = runSave(*source, *options, *out, *path); });
    }
    {
        auto* search = app.add_subcommand("search", "find names matching a regular expression");
        auto source = std::make_shared<std::string>();
        auto options = std::make_shared<VolumeOptions>();
        auto pattern = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        search->add_option("SOURCE", *source, "block device or image file")->required();
        search->add_option("PATTERN", *pattern, "ECMAScript regular expression, case ignored")->required();
        addVolumeOptions(*search, *options, true);
        search->add_flag("--json", *json, "print JSON");
        search->callback([&status, source, options, pattern, json] {
            status = runSearch(*source, *options, *pattern, *json);
        });
    }
}

}  // namespace vantor::cli
