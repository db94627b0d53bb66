#include "support/fake_reader.h"

#include <algorithm>

#include "core/output_file.h"

namespace vantor::test {

FakeReader::FakeReader() {
    FakeEntry root;
    root.item.name = "";
    root.item.isFolder = true;
    root.saveFolder = true;
    entries.push_back(root);
}

EntryRef FakeReader::add(EntryRef parent, std::string name, bool folder, bool deleted) {
    FakeEntry e;
    e.item.name = std::move(name);
    e.item.isFolder = folder;
    e.item.isDeleted = deleted;
    e.saveFolder = folder;
    e.saveFile = !folder;
    e.parent = parent;
    // Times a file system could hold: 2021-03-04 05:06:07 UTC plus the index.
    const auto ref = static_cast<EntryRef>(entries.size());
    e.item.modification = Timestamp{1614834367 + static_cast<std::int64_t>(ref) * 60, 0};
    e.item.access = Timestamp{1614834367 + static_cast<std::int64_t>(ref) * 120, 0};
    e.item.modificationText = formatTimeText(*e.item.modification);
    e.item.accessText = formatTimeText(*e.item.access);
    e.item.attributeText = folder ? "" : "-A";
    entries.push_back(std::move(e));
    entries[parent].children.push_back(ref);
    entries[parent].item.hasChildren = true;
    return ref;
}

EntryRef FakeReader::addFolder(EntryRef parent, std::string name, bool deleted) {
    return add(parent, std::move(name), true, deleted);
}

EntryRef FakeReader::addFile(EntryRef parent, std::string name, std::string content, bool deleted) {
    const EntryRef ref = add(parent, std::move(name), false, deleted);
    entries[ref].item.size = content.size();
    entries[ref].item.sizeColumnText = formatSizeText(static_cast<std::int64_t>(content.size()));
    entries[ref].content = std::move(content);
    return ref;
}

std::optional<EntryRef> FakeReader::firstChild(EntryRef folder) const {
    if (folder >= entries.size() || entries[folder].children.empty()) return std::nullopt;
    return entries[folder].children.front();
}

std::optional<EntryRef> FakeReader::siblingAfter(EntryRef parent, EntryRef entry) const {
    const auto& list = entries[parent].children;
    const auto it = std::find(list.begin(), list.end(), entry);
    if (it == list.end() || it + 1 == list.end()) return std::nullopt;
    return *(it + 1);
}

std::optional<EntryRef> FakeReader::nextSibling(EntryRef entry) const {
    if (entry >= entries.size() || entry == 0) return std::nullopt;
    return siblingAfter(entries[entry].parent, entry);
}

RecoveredItem FakeReader::describe(EntryRef entry) const {
    if (entry >= entries.size()) return {};
    return entries[entry].item;
}

ContentOutcome FakeReader::writeContent(EntryRef entry, ContentSink& sink) {
    ++saves;
    const FakeEntry& e = entries[entry];
    if (e.withheldSave) return ContentOutcome::withheld();
    if (e.failSave) return ContentOutcome::failed("unreadable");
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(e.content.data()), e.content.size()};
    const std::size_t half = bytes.size() / 2;
    if (!sink.write(bytes.first(half))) return ContentOutcome::failed("cannot write");
    if (e.midway) e.midway();
    if (!sink.write(bytes.subspan(half))) return ContentOutcome::failed("cannot write");
    if (e.damagedSave) sink.damaged(0, std::min<std::uint64_t>(e.content.size(), 512), "unreadable");
    return ContentOutcome::written();
}

ScanOutcome FakeReader::scan(ScanMode mode) {
    return scanBody ? scanBody(*this, mode) : ScanOutcome::done;
}

std::string recycleRecord(int version, const std::u16string& path) {
    std::string bytes(version == 2 ? 0x1C : 0x18 + 520, '\0');
    bytes[0] = static_cast<char>(version);
    bytes[8] = 0x10;  // a size, never read
    std::string name;
    for (const char16_t c : path) {
        name += static_cast<char>(c & 0xFF);
        name += static_cast<char>(c >> 8);
    }
    if (version == 2) {
        const std::uint32_t characters = static_cast<std::uint32_t>(path.size() + 1);
        for (int i = 0; i < 4; ++i) bytes[0x18 + i] = static_cast<char>((characters >> (8 * i)) & 0xFF);
        bytes += name;
        bytes += std::string(2, '\0');
    } else {
        bytes.replace(0x18, name.size(), name);
    }
    return bytes;
}

StandardVolume::StandardVolume() {
    FakeReader& r = reader;
    docs = r.addFolder(0, "docs");
    a = r.addFile(docs, "a.txt", "alpha");
    b = r.addFile(docs, "b.jpg", "bravo", true);
    sub = r.addFolder(docs, "sub");
    c = r.addFile(sub, "c.PNG", "charlie");
    a2 = r.addFile(docs, "a.txt", "second alpha");
    empty = r.addFolder(0, "empty");
    unnamed = r.addFolder(0, "");
    inner = r.addFile(unnamed, "inner.txt", "inner");
    hostile = r.addFolder(0, "hostile");
    r.addFile(hostile, "../x", "h1");
    r.addFile(hostile, "a/b", "h2");
    r.addFile(hostile, "..", "h3");
    r.addFile(hostile, ".", "h4");
    r.addFile(hostile, std::string("nul\0name", 8), "h5");
    r.addFile(hostile, "ctl\x01\x1f", "h6");
    r.addFile(hostile, "", "h7");
    up = r.addFolder(0, "../up");
    upFile = r.addFile(up, "f.txt", "up");
    top = r.addFile(0, "top.txt", "top");
    bin = r.addFolder(0, "$RECYCLE.BIN");
    r.addFile(bin, "$IAB12.txt", recycleRecord(1, u"C:\\Users\\me\\report.txt"));
    r.addFile(bin, "$RAB12.txt", "report");
    r.addFile(bin, "$IXY9", recycleRecord(2, u"D:\\pics\\holiday.jpg"));
    r.addFile(bin, "$RXY9", "holiday");
    orphans = r.addFolder(0, "ORPHAN ENTRY");
    r.entry(orphans).item.isOrphanGroup = true;
    lost = r.addFile(orphans, "lost.bin", "lost");
}

void RecordingMessages::inform(std::string_view text) {
    std::lock_guard guard(lock);
    texts.emplace_back(text);
}

bool RecordingMessages::ask(std::string_view text) {
    std::lock_guard guard(lock);
    texts.emplace_back(text);
    return answer;
}

std::vector<std::string> RecordingMessages::all() const {
    std::lock_guard guard(lock);
    return texts;
}

bool RecordingMessages::said(std::string_view text) const {
    std::lock_guard guard(lock);
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void RecordingProgress::setRange(std::int64_t, std::int64_t max) {
    std::lock_guard guard(lock);
    maximum = max;
}

void RecordingProgress::setPosition(std::int64_t p) {
    std::lock_guard guard(lock);
    position = p;
}

void RecordingProgress::setStatus(std::string_view text) {
    std::lock_guard guard(lock);
    texts.emplace_back(text);
}

std::vector<std::string> RecordingProgress::statuses() const {
    std::lock_guard guard(lock);
    return texts;
}

std::int64_t RecordingProgress::lastPosition() const {
    std::lock_guard guard(lock);
    return position;
}

std::int64_t RecordingProgress::lastMaximum() const {
    std::lock_guard guard(lock);
    return maximum;
}

}  // namespace vantor::test
