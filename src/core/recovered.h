#pragma once
// The results contract: what every file-system reader tells the results tree,
// the file list, the save walk and the search about one file or folder it
// found, whatever the file system. Readers implement EntrySource; only
// results/ and the front ends call it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/content_sink.h"
#include "core/texts.h"
#include "core/worker_control.h"

namespace vantor {

// A reader's own reference to one of its entry records (an index, a node id).
using EntryRef = std::uint64_t;

// What an entry's attribute bits are, so the list can show them.
enum class AttributeKind : std::uint8_t {
    none,
    unixMode,      // ext: i_mode's permission bits
    ntfsFileName,  // NTFS: the flags of the $FILE_NAME that named the entry
    fat            // FAT: the directory entry's attribute byte
};

struct RecoveredItem {
    // The file system's own number for the entry: inode, MFT record, catalog
    // node id, or the position of its directory slot (FAT).
    std::uint64_t id = 0;
    std::string name;          // UTF-8, as found on disk (save makes it safe)
    bool isFolder = false;     // shown in the tree, never as a list row
    bool isDeleted = false;    // drawn red
    bool hasChildren = false;  // gets an expand placeholder
    bool isOrphanGroup = false;  // the reader's node for entries whose folder is unknown
    std::uint64_t size = 0;    // bytes
    std::optional<Timestamp> creation, access, modification;
    bool accessIsDateOnly = false;  // FAT keeps only the day of the last access
    std::uint32_t attributes = 0;
    AttributeKind attributeKind = AttributeKind::none;
    // The list columns, made from the values above by results/ (entry_texts.h);
    // a reader leaves them empty.
    std::string creationText, accessText, modificationText;  // columns 1-3
    std::string sizeColumnText;                              // column 4
    std::string attributeText;                               // column 5
    // What looked wrong about this entry (a torn record, a chain that ended
    // early, clusters since reused): short texts, empty when nothing did.
    std::vector<std::string> warnings;
};

// How the results tree shows one reader's entries: the few places where the
// file systems differ. A reader that keeps the defaults gets plain behaviour.
struct TreeTraits {
    // Children inserted under a folder take the folder's check state (NTFS).
    bool childrenInheritCheck = false;
    // Deleted entries are drawn red when a label click fills their folder
    // (false for ext and HFS+, whose deleted entries are never drawn red).
    bool redOnLabelClick = true;
    // Deleted top-level entries are drawn red as soon as the scan shows them
    // (NTFS, FAT32, exFAT).
    bool redTopLevel = false;
    // A file in a deleted folder is drawn red too (FAT16, FAT32, exFAT).
    bool redInsideDeletedFolder = false;
};

class EntrySource {
public:
    virtual ~EntrySource() = default;

    // The volume's root folder ("ROOT" in the tree). Its children are the root
    // directory's entries and, where the reader has one, its orphan node.
    virtual std::optional<EntryRef> rootEntry() const = 0;
    // The children of a folder, in the reader's order.
    virtual std::optional<EntryRef> firstChild(EntryRef folder) const = 0;
    virtual std::optional<EntryRef> nextSibling(EntryRef entry) const = 0;

    // Name, flags, size, times and the list texts of one entry.
    virtual RecoveredItem describe(EntryRef entry) const = 0;

    // The save walk's tests: folders it descends into, files it writes.
    // Anything else (devices, sockets, "." entries) is passed over.
    virtual bool isSaveFolder(EntryRef entry) const = 0;
    virtual bool isSaveFile(EntryRef entry) const = 0;

    // Writes the entry's content to `sink` in file order: bytes, holes, and
    // the ranges it could not read, marked damaged and written as zeros.
    // Reads the device; call from the one worker.
    virtual ContentOutcome writeContent(EntryRef entry, ContentSink& sink) = 0;

    // Where this reader's tree differs from the plain one (see TreeTraits).
    virtual TreeTraits treeTraits() const { return {}; }

    // The walks of results/ guard against child/sibling loops and cap their
    // depth themselves, so a reader need not, but its links must stay valid
    // (describe() of any ref it hands out must not fail) for its whole life.

    // The reader's stop byte and the pause gate it polls.
    WorkerControl control;
};

}  // namespace vantor

namespace vantor {

enum class ScanMode { standard = 1, advanced = 2, deep = 3 };

// How a scan ended, as the session needs to know it.
enum class ScanOutcome {
    done,        // the life cycle ran (perhaps cut short by Stop): run the common tail
    failed,      // a step failed after the reader was set up: still run the tail
    wrongKind,   // the volume is not of the reader's kind: the reader has told the
                 // user; the tail does not run
    unsupported  // no worker for this mode: nothing ran
};

// Where a reader keeps the recycle bin's "$I"/"$R" pairs.
enum class RecycleLayout {
    none,
    perUserFolders,  // $RECYCLE.BIN/<sid>/$I... (NTFS)
    flat             // $RECYCLE.BIN/$I... (FAT32, exFAT)
};

// A file-system reader as the scan session drives it: the contract plus the
// reader's life cycle for one mode.
class VolumeReader : public EntrySource {
public:
    virtual ScanOutcome scan(ScanMode mode) = 0;
    virtual RecycleLayout recycleLayout() const { return RecycleLayout::none; }
    // What the scan found wrong with the volume as a whole (unreadable
    // sectors, a FAT shorter than its clusters), for the scan's summary:
    // files may be missing because of it.
    const std::vector<std::string>& scanWarnings() const { return volumeWarnings; }
    // What the scan found wrong but got round, a backup copy read in place of
    // metadata that could not be read: worth telling, though nothing is
    // missing because of it.
    const std::vector<std::string>& scanNotes() const { return volumeNotes; }

protected:
    void warnScan(std::string text) {
        if (volumeWarnings.size() < 64) volumeWarnings.push_back(std::move(text));
    }
    void noteScan(std::string text) {
        if (volumeNotes.size() < 64) volumeNotes.push_back(std::move(text));
    }

private:
    std::vector<std::string> volumeWarnings;
    std::vector<std::string> volumeNotes;
};

}  // namespace vantor
