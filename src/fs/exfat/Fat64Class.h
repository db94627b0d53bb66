#pragma once
// The exFAT reader: the boot sector (or its backup), the FAT, every directory
// read whole along its chain or its run of clusters, entry sets decoded and
// linked under their folders, live and deleted; content along the chain, a
// run of clusters, or, for a deleted file whose chain is gone, the free
// clusters from its first one on.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/recovered.h"
#include "device/reader_context.h"
#include "formats/exfat_boot.h"
#include "fs/exfat/layout.h"
#include "fs/fat/fat_table.h"

namespace vantor {

class Fat64Class final : public VolumeReader {
public:
    explicit Fat64Class(const ReaderContext& context);

    ScanOutcome scan(ScanMode mode) override;
    RecycleLayout recycleLayout() const override { return RecycleLayout::flat; }
    TreeTraits treeTraits() const override;

    std::optional<EntryRef> rootEntry() const override;
    std::optional<EntryRef> firstChild(EntryRef folder) const override;
    std::optional<EntryRef> nextSibling(EntryRef entry) const override;
    RecoveredItem describe(EntryRef entry) const override;
    bool isSaveFolder(EntryRef entry) const override;
    bool isSaveFile(EntryRef entry) const override;
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override;

    // The standard life cycle, in order.
    bool readBootSector();
    void attachFat();
    void readAllocationBitmap();
    void walkTree();

    struct ExFatEntry {
        exfat::EntrySet set;
        std::uint32_t parent = 0;
        std::uint32_t firstChild = kNone;
        std::uint32_t nextSibling = kNone;
        std::uint32_t lastChild = kNone;
        std::uint64_t volumeOffset = 0;  // of its file entry, for its id
    };
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    const std::vector<ExFatEntry>& entries() const { return exfatEntries; }
    const std::optional<exfat::BootSector>& bootSector() const { return boot; }

private:
    // The clusters of a stream: along its chain, or in a row of as many as
    // its length needs; never past the heap, never a cluster twice.
    std::vector<std::uint32_t> clustersOf(std::uint32_t first, std::uint64_t length, bool inRow);
    // A deleted file's clusters: from its first one on, over the free ones.
    std::vector<std::uint32_t> freeClustersFrom(std::uint32_t first, std::uint64_t length);
    bool clusterInUse(std::uint32_t cluster) const;
    bool inHeap(std::uint32_t cluster) const;
    std::uint64_t clusterOffset(std::uint32_t cluster) const;
    // The directory's bytes (unreadable sectors read as zeros).
    std::vector<std::uint8_t> readClusters(const std::vector<std::uint32_t>& clusters, std::uint64_t limit);
    std::uint32_t addEntry(const exfat::EntrySet& set, std::uint32_t parent, std::uint64_t volumeOffset);
    void walkFolder(std::uint32_t index, const std::vector<std::uint32_t>& clusters, std::vector<std::uint32_t>& pending);
    bool validRef(EntryRef ref) const { return ref < exfatEntries.size(); }

    ReaderContext ctx;
    VolumeWindow window;
    std::optional<exfat::BootSector> boot;
    fat::FatTable table;
    std::vector<std::uint8_t> bitmap;  // one bit per cluster, cluster 2 first
    std::vector<ExFatEntry> exfatEntries;
    std::uint64_t directoryBytesRead = 0;
};

}  // namespace vantor
