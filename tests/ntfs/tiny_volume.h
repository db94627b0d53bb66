#pragma once
// Hand-built NTFS volumes in memory: a boot sector, an MFT of a few records
// with just the attributes a test needs, and raw clusters. 512-byte clusters.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/bytes_builder.h"

namespace vantor::test {

struct TinyName {
    std::string name;
    std::int64_t parent = 5;
    std::uint8_t nameSpace = 1;  // Win32
    bool lengthFF = false;
    std::uint16_t parentSequence = 1;
};

struct TinyRecord {
    std::vector<TinyName> names;
    bool directory = false;
    bool inUse = true;
    std::optional<std::vector<std::uint8_t>> residentData;
    std::size_t dataAttributeAt = 0;  // pad so the $DATA attribute starts here (0: no pad)
    std::uint64_t modification = 0;
    std::uint16_t sequence = 1;
};

class TinyVolume {
public:
    static constexpr std::uint64_t kCluster = 512;
    static constexpr std::uint64_t kMftCluster = 64;

    explicit TinyVolume(std::size_t recordSize = 1024, std::size_t recordCount = 64, std::size_t bytes = 2 << 20)
        : recordSize(recordSize), recordCount(recordCount), image(bytes, 0) {
        putText(image, 3, "NTFS    ");
        putLe(image, 0x0B, 512, 2);
        image[0x0D] = 1;
        putLe(image, 0x28, bytes / 512, 8);
        putLe(image, 0x30, kMftCluster, 8);
        image[0x40] = static_cast<std::uint8_t>(recordSize == 4096 ? 0xF4 : 0xF6);
        image[0x1FE] = 0x55;
        image[0x1FF] = 0xAA;
        TinyRecord mft;
        mft.names = {{"$MFT", 5}};
        add(0, mft);
        TinyRecord root;
        root.names = {{".", 5}};
        root.directory = true;
        add(5, root);
    }

    void add(std::size_t index, const TinyRecord& r) { records[index] = r; }

    // Records from `index` on lie at kSecondExtent instead of following on:
    // $MFT then needs an attribute list, with its second extent in record 3.
    static constexpr std::uint64_t kSecondExtent = 2000;
    void splitMftAt(std::size_t index) { splitAt = index; }

    void putBytes(std::size_t at, const std::vector<std::uint8_t>& bytes) { test::putBytes(image, at, bytes); }

    std::vector<std::uint8_t> build() {
        if (splitAt) records[3] = TinyRecord{};
        for (const auto& [index, r] : records) {
            auto rec = buildRecord(index, r);
            const std::size_t at = splitAt && index >= splitAt ? kSecondExtent * kCluster + (index - splitAt) * recordSize
                                                               : kMftCluster * kCluster + index * recordSize;
            putBytes(at, rec);
        }
        return image;
    }

    std::size_t recordSize;
    std::size_t recordCount;

private:
    std::size_t splitAt = 0;

    static std::vector<std::uint8_t> nonResidentData(std::uint64_t startVcn, std::uint64_t clusters, std::uint64_t lcn,
                                                     std::uint64_t totalBytes) {
        std::vector<std::uint8_t> a(0x48, 0);
        putLe(a, 0, 0x80, 4);
        putLe(a, 4, a.size(), 4);
        a[8] = 1;
        putLe(a, 0x10, startVcn, 8);
        putLe(a, 0x18, startVcn + clusters - 1, 8);
        putLe(a, 0x20, 0x40, 2);
        putLe(a, 0x28, totalBytes, 8);
        putLe(a, 0x30, totalBytes, 8);
        putLe(a, 0x38, totalBytes, 8);
        a[0x40] = 0x22;
        putLe(a, 0x41, clusters, 2);
        putLe(a, 0x43, lcn, 2);
        return a;
    }

    static std::vector<std::uint8_t> resident(std::uint32_t type, const std::vector<std::uint8_t>& value) {
        std::vector<std::uint8_t> a((0x18 + value.size() + 7) / 8 * 8, 0);
        putLe(a, 0, type, 4);
        putLe(a, 4, a.size(), 4);
        putLe(a, 0x10, value.size(), 4);
        putLe(a, 0x14, 0x18, 2);
        std::copy(value.begin(), value.end(), a.begin() + 0x18);
        return a;
    }

    std::vector<std::uint8_t> buildRecord(std::size_t index, const TinyRecord& r) const {
        std::vector<std::uint8_t> rec(recordSize, 0);
        const std::size_t usaCount = recordSize / 512 + 1;
        const std::size_t first = (0x30 + 2 * usaCount + 7) / 8 * 8;
        putText(rec, 0, "FILE");
        putLe(rec, 0x04, 0x30, 2);
        putLe(rec, 0x06, usaCount, 2);
        putLe(rec, 0x10, r.sequence, 2);
        putLe(rec, 0x12, 1, 2);
        putLe(rec, 0x14, first, 2);
        putLe(rec, 0x16, (r.inUse ? 1 : 0) | (r.directory ? 2 : 0), 2);
        putLe(rec, 0x1C, recordSize, 4);
        std::size_t at = first;
        auto append = [&](const std::vector<std::uint8_t>& a) {
            std::copy(a.begin(), a.end(), rec.begin() + static_cast<std::ptrdiff_t>(at));
            at += a.size();
        };
        std::vector<std::uint8_t> si(0x48, 0);
        putLe(si, 0x00, r.modification, 8);
        putLe(si, 0x08, r.modification, 8);
        putLe(si, 0x18, r.modification, 8);
        append(resident(0x10, si));
        for (const TinyName& n : r.names) {
            std::vector<std::uint8_t> fn(0x42 + 2 * n.name.size(), 0);
            putLe(fn, 0, static_cast<std::uint64_t>(n.parent) | (std::uint64_t{n.parentSequence} << 48), 8);
            putLe(fn, 0x38, r.directory ? 0x10000000 : 0x20, 4);
            fn[0x40] = n.lengthFF ? 0xFF : static_cast<std::uint8_t>(n.name.size());
            fn[0x41] = n.nameSpace;
            for (std::size_t i = 0; i < n.name.size(); ++i) fn[0x42 + 2 * i] = static_cast<std::uint8_t>(n.name[i]);
            append(resident(0x30, fn));
        }
        const std::uint64_t totalClusters = recordCount * recordSize / kCluster;
        if (index == 0 && splitAt) {
            const std::uint64_t first = splitAt * recordSize / kCluster;
            std::vector<std::uint8_t> list;
            auto entry = [&](std::uint32_t type, std::uint64_t vcn, std::uint64_t record) {
                std::vector<std::uint8_t> e(0x20, 0);
                putLe(e, 0, type, 4);
                putLe(e, 4, 0x20, 2);
                e[7] = 0x1A;
                putLe(e, 8, vcn, 8);
                putLe(e, 0x10, record | (std::uint64_t{1} << 48), 8);
                list.insert(list.end(), e.begin(), e.end());
            };
            entry(0x10, 0, 0);
            entry(0x30, 0, 0);
            entry(0x80, 0, 0);
            entry(0x80, first, 3);
            append(resident(0x20, list));
            append(nonResidentData(0, first, kMftCluster, totalClusters * kCluster));
        } else if (index == 0) {
            // $MFT's own data: one run over every record.
            append(nonResidentData(0, totalClusters, kMftCluster, totalClusters * kCluster));
        } else if (index == 3 && splitAt) {
            const std::uint64_t first = splitAt * recordSize / kCluster;
            append(nonResidentData(first, totalClusters - first, kSecondExtent, totalClusters * kCluster));
        } else if (r.residentData) {
            if (r.dataAttributeAt > at) {
                std::vector<std::uint8_t> pad(r.dataAttributeAt - at - 0x18, 0xEE);
                append(resident(0x50, pad));
            }
            append(resident(0x80, *r.residentData));
        }
        putLe(rec, at, 0xFFFFFFFF, 4);
        putLe(rec, 0x18, at + 8, 4);
        // Protect each 512-byte stride with the update sequence number.
        const std::uint16_t usn = 0x0007;
        putLe(rec, 0x30, usn, 2);
        for (std::size_t k = 1; k < usaCount; ++k) {
            const std::size_t end = 512 * k - 2;
            rec[0x30 + 2 * k] = rec[end];
            rec[0x30 + 2 * k + 1] = rec[end + 1];
            putLe(rec, end, usn, 2);
        }
        return rec;
    }

    std::vector<std::uint8_t> image;
    std::map<std::size_t, TinyRecord> records;
};

}  // namespace vantor::test
