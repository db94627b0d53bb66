#pragma once
// A reader's entries as results/ shows them: names given after the scan
// (the recycle bin's former names) laid over the reader's own, and the list
// texts made from the reader's values. The reader itself never changes once
// its scan has ended; everything that shows or saves entries reads them
// through this.
#include <map>
#include <string>

#include "core/recovered.h"
#include "results/entry_texts.h"

namespace vantor {

class NamedEntries final : public EntrySource {
public:
    explicit NamedEntries(EntrySource& reader) : inner(reader) {}

    void setNames(std::map<EntryRef, std::string> given) { names = std::move(given); }
    const std::map<EntryRef, std::string>& givenNames() const { return names; }

    std::optional<EntryRef> rootEntry() const override { return inner.rootEntry(); }
    std::optional<EntryRef> firstChild(EntryRef folder) const override { return inner.firstChild(folder); }
    std::optional<EntryRef> nextSibling(EntryRef entry) const override { return inner.nextSibling(entry); }
    RecoveredItem describe(EntryRef entry) const override {
        RecoveredItem item = inner.describe(entry);
        if (const auto it = names.find(entry); it != names.end()) item.name = it->second;
        fillListTexts(item);
        return item;
    }
    bool isSaveFolder(EntryRef entry) const override { return inner.isSaveFolder(entry); }
    bool isSaveFile(EntryRef entry) const override { return inner.isSaveFile(entry); }
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override { return inner.writeContent(entry, sink); }
    TreeTraits treeTraits() const override { return inner.treeTraits(); }

private:
    EntrySource& inner;
    std::map<EntryRef, std::string> names;
};

}  // namespace vantor
