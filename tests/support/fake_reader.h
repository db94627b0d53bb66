#pragma once
// An in-memory reader for the results tests: a handful of entries built by
// hand, content saved from memory, and a scan whose phases poll like a real
// reader's. Also recorders for the progress and messages seams.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/progress.h"
#include "core/recovered.h"

namespace vantor::test {

struct FakeEntry {
    RecoveredItem item;
    EntryRef parent = 0;
    std::vector<EntryRef> children;
    std::string content;
    bool saveFolder = false;
    bool saveFile = false;
    bool failSave = false;      // writeContent reports "not written"
    bool damagedSave = false;   // written, marked damaged
    bool withheldSave = false;  // deliberately not written
    // Called between the two halves of the content (a Stop pressed, a disk
    // filling up while a file is written).
    std::function<void()> midway;
};

class FakeReader final : public VolumeReader {
public:
    FakeReader();  // entry 0 is the root

    EntryRef addFolder(EntryRef parent, std::string name, bool deleted = false);
    EntryRef addFile(EntryRef parent, std::string name, std::string content, bool deleted = false);
    // Links an existing entry under another folder too (a loop when it is an ancestor).
    void link(EntryRef parent, EntryRef child) { entries[parent].children.push_back(child); }
    FakeEntry& entry(EntryRef ref) { return entries[ref]; }
    std::size_t size() const { return entries.size(); }

    std::optional<EntryRef> rootEntry() const override { return 0; }
    std::optional<EntryRef> firstChild(EntryRef folder) const override;
    std::optional<EntryRef> nextSibling(EntryRef entry) const override;
    RecoveredItem describe(EntryRef entry) const override;
    bool isSaveFolder(EntryRef entry) const override { return entries[entry].saveFolder; }
    bool isSaveFile(EntryRef entry) const override { return entries[entry].saveFile; }
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override;
    TreeTraits treeTraits() const override { return traits; }
    ScanOutcome scan(ScanMode mode) override;
    RecycleLayout recycleLayout() const override { return layout; }

    TreeTraits traits;
    RecycleLayout layout = RecycleLayout::none;
    // The scan's life cycle; by default it does nothing and reports done.
    std::function<ScanOutcome(FakeReader&, ScanMode)> scanBody;
    std::atomic<int> saves{0};

private:
    EntryRef add(EntryRef parent, std::string name, bool folder, bool deleted);
    std::vector<FakeEntry> entries;
    // Sibling order per parent: nextSibling needs the entry's place.
    std::optional<EntryRef> siblingAfter(EntryRef parent, EntryRef entry) const;
};

// A "$I" recycle-bin record of the given layout version holding `path`.
std::string recycleRecord(int version, const std::u16string& path);

// The volume most tests use:
//   ROOT/docs/{a.txt, b.jpg (deleted), sub/c.PNG, a.txt (a second one)}
//   ROOT/empty/                     (no children)
//   ROOT/"" (empty-named folder)/inner.txt
//   ROOT/hostile/{"../x", "a/b", "..", ".", "nul\0name", "ctl\x01\x1f", ""}
//   ROOT/"../up"/f.txt              (a folder whose name climbs)
//   ROOT/top.txt
//   ROOT/$RECYCLE.BIN/{$IAB12.txt (v1), $RAB12.txt, $IXY9 (v2), $RXY9}
//   ROOT/ORPHAN ENTRY/lost.bin      (the orphan group)
struct StandardVolume {
    std::unique_ptr<FakeReader> holder = std::make_unique<FakeReader>();
    FakeReader& reader = *holder;  // stays valid after release() while its new owner lives
    // Hands the reader to a session.
    std::unique_ptr<FakeReader> release() { return std::move(holder); }
    EntryRef docs, a, b, sub, c, a2, empty, unnamed, inner, hostile, up, upFile, top, bin, orphans, lost;
    StandardVolume();
};

class RecordingMessages final : public Messages {
public:
    explicit RecordingMessages(bool answer = true) : answer(answer) {}
    void inform(std::string_view text) override;
    bool ask(std::string_view text) override;
    std::vector<std::string> all() const;
    bool said(std::string_view text) const;

private:
    mutable std::mutex lock;
    std::vector<std::string> texts;
    bool answer;
};

class RecordingProgress final : public ProgressSink {
public:
    void setRange(std::int64_t minimum, std::int64_t maximum) override;
    void setPosition(std::int64_t position) override;
    void setStatus(std::string_view text) override;
    std::vector<std::string> statuses() const;
    std::int64_t lastPosition() const;
    std::int64_t lastMaximum() const;

private:
    mutable std::mutex lock;
    std::vector<std::string> texts;
    std::int64_t position = 0, maximum = 0;
};

}  // namespace vantor::test
