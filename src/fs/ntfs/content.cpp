// A file's content: where its unnamed data stream lives (in the record, in
// runs, or in extents spread over extension records) and writing it out,
// holes as holes, compression units decompressed.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/output_file.h"
#include "fs/ntfs/lznt1.h"
#include "fs/ntfs/ntfs.h"

namespace vantor {
using namespace ntfs_layout;

namespace {
constexpr std::size_t kReadChunk = std::size_t{1} << 20;
// More extents than this in one attribute list is damage, not a file.
constexpr std::size_t kMaxExtents = 65536;
constexpr std::size_t kMaxAttributeListBytes = std::size_t{1} << 20;

void takeStreamHeader(const Attribute& a, DataStream& d) {
    d.realSize = a.realSize;
    d.initializedSize = std::min(a.initializedSize, a.realSize);
    d.compressed = (a.flags & kAttrCompressed) != 0;
    d.encrypted = (a.flags & kAttrEncrypted) != 0;
    d.compressionUnit = a.compressionUnit;
}

void appendRuns(DataStream& d, const Attribute& a) {
    const std::uint64_t budget = a.lastVcn >= a.startVcn ? a.lastVcn - a.startVcn + 1 : 0;
    if (a.startVcn > d.runClusters) {  // an extent is missing: keep the file's shape
        d.runs.push_back({0, a.startVcn - d.runClusters, true});
        d.runClusters = a.startVcn;
        d.damaged = true;
        d.problem = "a data extent record is missing";
    } else if (a.startVcn < d.runClusters) {
        return;  // an extent met twice
    }
    const DecodedRuns decoded = decodeRunList(a.runList, budget);
    if (decoded.damaged) {
        d.damaged = true;
        d.problem = "the run list is damaged";
    }
    for (const MftRun& r : decoded.runs) {
        d.runs.push_back(r);
        d.runClusters += r.clusterCount;
    }
}

}  // namespace

std::optional<DataStream> ntfs::findDataStream(std::int64_t index) const {
    std::vector<std::uint8_t> record;
    if (!readEntryRecord(index, record) || !hasFileSignature(record)) return std::nullopt;
    const auto attributes = attributesOf(record);
    const Attribute* list = nullptr;
    for (const Attribute& a : attributes) {
        if (a.type == kAttributeList) list = &a;
        if (a.type != kData || a.nameLength != 0) continue;
        if (!a.nonResident) {
            DataStream d;
            d.resident = true;
            d.residentBytes.assign(a.value.begin(), a.value.end());
            d.realSize = d.initializedSize = a.value.size();
            return d;
        }
        if (!list) {
            DataStream d;
            takeStreamHeader(a, d);
            appendRuns(d, a);
            return d;
        }
        break;
    }
    if (!list) return std::nullopt;

    // The attribute list names every extent of the stream in VCN order.
    std::vector<std::uint8_t> listBytes;
    if (!list->nonResident) {
        listBytes.assign(list->value.begin(), list->value.end());
    } else {
        const std::uint64_t budget = list->lastVcn >= list->startVcn ? list->lastVcn - list->startVcn + 1 : 0;
        const auto runs = decodeRunList(list->runList, budget).runs;
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(list->realSize, kMaxAttributeListBytes));
        listBytes.assign(size, 0);
        std::size_t at = 0;
        for (const MftRun& r : runs) {
            if (at >= size) break;
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytesOfClusters(r.clusterCount), size - at));
            if (!r.sparse) window.readAt(bytesOfClusters(r.startCluster), std::span<std::uint8_t>(listBytes).subspan(at, piece));
            at += piece;
        }
    }
    DataStream d;
    bool headerTaken = false;
    std::size_t extents = 0;
    std::vector<std::uint8_t> extension;
    for (const AttributeListEntry& le : decodeAttributeList(listBytes)) {
        if (le.type != kData || le.nameLength != 0) continue;
        if (++extents > kMaxExtents) break;
        const std::vector<std::uint8_t>* source = &record;
        if (le.record != static_cast<std::uint64_t>(index)) {
            if (!readEntryRecord(static_cast<std::int64_t>(le.record), extension) || !hasFileSignature(extension)) {
                d.damaged = true;
                d.problem = "a data extent record is missing";
                continue;
            }
            source = &extension;
        }
        for (const Attribute& a : attributesOf(*source)) {
            if (a.type != kData || a.nameLength != 0) continue;
            if (!a.nonResident) {
                if (le.startVcn != 0) continue;
                DataStream r;
                r.resident = true;
                r.residentBytes.assign(a.value.begin(), a.value.end());
                r.realSize = r.initializedSize = a.value.size();
                return r;
            }
            if (a.startVcn != le.startVcn) continue;
            if (a.startVcn == 0 && !headerTaken) {
                takeStreamHeader(a, d);
                headerTaken = true;
            }
            appendRuns(d, a);
            break;
        }
    }
    if (!headerTaken) {
        // Without the first extent the size is unknown: the runs are all there is.
        d.realSize = d.initializedSize = bytesOfClusters(d.runClusters);
        d.damaged = true;
        if (d.problem.empty()) d.problem = "the first data extent is missing";
    }
    return d;
}

std::uint64_t ntfs::bytesOfClusters(std::uint64_t clusters) const {
    if (clusterSize != 0 && clusters > (~std::uint64_t{0}) / clusterSize) return ~std::uint64_t{0};
    return clusters * clusterSize;
}

// Reads clusters into dest; false when any byte could not be read (the
// missing part is left zero). `unreadable` gets the failed ranges of dest.
bool ntfs::readClusters(std::uint64_t cluster, std::span<std::uint8_t> dest, std::vector<ByteRange>* unreadable) const {
    std::fill(dest.begin(), dest.end(), 0);
    if (clusterSize != 0 && cluster > (~std::uint64_t{0}) / clusterSize) return false;
    const std::uint64_t at = cluster * clusterSize;
    if (at >= volumeSize) return false;
    const std::size_t arrived = window.readAt(at, dest, unreadable);
    return arrived == dest.size() && at + dest.size() <= volumeSize;
}

bool ntfs::writePlain(const DataStream& d, ContentSink& out) const {
    std::vector<std::uint8_t> buffer;
    std::vector<ByteRange> unreadable;
    std::uint64_t written = 0;
    const std::uint64_t chunk = std::max<std::uint64_t>(kReadChunk, clusterSize);
    for (const MftRun& run : d.runs) {
        if (written >= d.realSize) break;
        const std::uint64_t runBytes = std::min(bytesOfClusters(run.clusterCount), d.realSize - written);
        std::uint64_t done = 0;
        while (done < runBytes) {
            const std::uint64_t fileAt = written + done;
            // Holes, and everything beyond the initialized size, read as zeros:
            // the rest of the run is left as one hole.
            if (run.sparse || fileAt >= d.initializedSize) {
                if (!out.skip(runBytes - done)) return false;
                break;
            }
            const std::uint64_t cluster = run.startCluster + done / clusterSize;
            if (bytesOfClusters(cluster) >= volumeSize) {  // the run leaves the volume
                out.damaged(fileAt, runBytes - done, "clusters beyond the volume");
                if (!out.skip(runBytes - done)) return false;
                break;
            }
            const std::uint64_t piece = std::min<std::uint64_t>(runBytes - done, chunk);
            const std::uint64_t readable = std::min(piece, d.initializedSize - fileAt);
            const std::size_t span = static_cast<std::size_t>((readable + clusterSize - 1) / clusterSize * clusterSize);
            buffer.resize(std::max<std::size_t>(span, static_cast<std::size_t>(piece)));
            unreadable.clear();
            if (!readClusters(cluster, std::span<std::uint8_t>(buffer).first(span), &unreadable)) {
                if (unreadable.empty()) out.damaged(fileAt, readable, "clusters beyond the volume");
                out.unreadable(fileAt, unreadable, readable);
            }
            std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(readable),
                      buffer.begin() + static_cast<std::ptrdiff_t>(piece), 0);
            if (!out.write(std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(piece)))) return false;
            done += piece;
        }
        written += runBytes;
    }
    if (written < d.realSize) out.endsEarly(d.realSize, "the run list ends before the file's size");
    return true;
}

bool ntfs::writeCompressed(const DataStream& d, ContentSink& out) const {
    const std::uint64_t unitClusters = std::uint64_t{1} << d.compressionUnit;
    const std::uint64_t unitBytes = unitClusters * clusterSize;
    std::vector<std::uint8_t> unit(static_cast<std::size_t>(unitBytes));
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(unitBytes));
    std::size_t runIndex = 0;
    std::uint64_t inRun = 0;  // clusters of runs[runIndex] already consumed
    std::uint64_t written = 0;
    while (written < d.realSize) {
        // Whole units of one hole, or of a run that lies beyond the volume,
        // are passed over at once: a hostile run list may claim billions.
        if (runIndex < d.runs.size()) {
            const MftRun& run = d.runs[runIndex];
            const std::uint64_t units = (run.clusterCount - inRun) / unitClusters;
            const bool outside = !run.sparse && bytesOfClusters(run.startCluster + inRun) >= volumeSize;
            if (units > 0 && (run.sparse || outside)) {
                const std::uint64_t bytes = units > (d.realSize - written) / unitBytes ? d.realSize - written : units * unitBytes;
                if (outside) out.damaged(written, bytes, "clusters beyond the volume");
                if (!out.skip(bytes)) return false;
                written += bytes;
                inRun += units * unitClusters;
                if (inRun == run.clusterCount) {
                    ++runIndex;
                    inRun = 0;
                }
                continue;
            }
        }
        // Gather the unit's clusters, remembering which are allocated.
        std::fill(unit.begin(), unit.end(), 0);
        std::uint64_t lastAllocated = 0;  // 1-based, 0: all sparse
        bool unitDamaged = false;
        std::uint64_t c = 0;
        while (c < unitClusters && runIndex < d.runs.size()) {
            const MftRun& run = d.runs[runIndex];
            const std::uint64_t take = std::min(run.clusterCount - inRun, unitClusters - c);
            if (!run.sparse) {
                const auto dest = std::span<std::uint8_t>(unit).subspan(static_cast<std::size_t>(c * clusterSize),
                                                                        static_cast<std::size_t>(take * clusterSize));
                if (!readClusters(run.startCluster + inRun, dest)) unitDamaged = true;
                lastAllocated = c + take;
            }
            c += take;
            inRun += take;
            if (inRun == run.clusterCount) {
                ++runIndex;
                inRun = 0;
            }
        }
        const std::uint64_t length = std::min(unitBytes, d.realSize - written);
        if (c < unitClusters && lastAllocated == 0) {
            // The runs end before the file does.
            out.endsEarly(d.realSize, "the run list ends before the file's size");
            return true;
        }
        if (lastAllocated == 0) {
            if (!out.skip(length)) return false;
        } else if (lastAllocated == unitClusters) {
            if (!out.write(std::span<const std::uint8_t>(unit).first(static_cast<std::size_t>(length)))) return false;
        } else {
            std::fill(plain.begin(), plain.end(), 0);
            const auto r = lznt1Decompress(Bytes(unit).first(static_cast<std::size_t>(lastAllocated * clusterSize)), plain);
            if (r.damaged) unitDamaged = true;
            if (!out.write(std::span<const std::uint8_t>(plain).first(static_cast<std::size_t>(length)))) return false;
        }
        // A compression unit stands or falls whole: one bad cluster spoils what it decompresses to.
        if (unitDamaged) out.damaged(written, length, "damaged compression unit");
        written += length;
    }
    return true;
}

bool ntfs::writeStream(const DataStream& data, ContentSink& out) const {
    if (data.damaged) out.damaged(0, 0, data.problem);
    const std::uint64_t unitClusters = std::uint64_t{1} << std::min<std::uint16_t>(data.compressionUnit, 63);
    // Units are at most 16 clusters of at most 4 KiB on any volume Windows
    // writes; anything far larger is damage and is read as plain clusters.
    const bool unitsUsable = data.compressionUnit > 0 && data.compressionUnit < 16 &&
                             unitClusters * clusterSize <= (std::uint64_t{16} << 20);
    if (data.resident) return out.write(data.residentBytes);
    if (data.compressed && unitsUsable && !data.encrypted) return writeCompressed(data, out);
    return writePlain(data, out);
}

ContentOutcome ntfs::writeContent(EntryRef ref, ContentSink& out) {
    if (!validIndex(ref) || entryList[ref].name.empty()) return ContentOutcome::failed("no such entry");
    const auto index = static_cast<std::int64_t>(ref);
    std::vector<std::uint8_t> record;
    if (!readEntryRecord(index, record) || !hasFileSignature(record))
        return ContentOutcome::failed("its MFT record could not be read");
    auto data = findDataStream(index);
    if (!data) return ContentOutcome::written();  // no unnamed data stream: an empty file
    writeStream(*data, out);  // a target that refused bytes is the save's to report
    return ContentOutcome::written();
}

}  // namespace vantor
