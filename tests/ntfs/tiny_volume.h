#pragma once
// Hand-built NTFS volumes in memory: a boot sector, an MFT of a few records
// with just the attributes a test needs, and raw clusters. 512-byte clusters.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

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
        putAscii(3, "NTFS    ");
        put16(0x0B, 512);
        image[0x0D] = 1;
        put64(0x28, bytes / 512);
        put64(0x30, kMftCluster);
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

    void putBytes(std::size_t at, const std::vector<std::uint8_t>& bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    }

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
        w32(a, 0, 0x80);
        w32(a, 4, a.size());
        a[8] = 1;
        w64(a, 0x10, startVcn);
        w64(a, 0x18, startVcn + clusters - 1);
        w16(a, 0x20, 0x40);
        w64(a, 0x28, totalBytes);
        w64(a, 0x30, totalBytes);
        w64(a, 0x38, totalBytes);
        a[0x40] = 0x22;
        w16(a, 0x41, clusters);
        w16(a, 0x43, lcn);
        return a;
    }
    static void w16(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) { for (int i = 0; i < 2; ++i) b[at + i] = (v >> (8 * i)) & 0xFF; }
    static void w32(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) { for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF; }
    static void w64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) { for (int i = 0; i < 8; ++i) b[at + i] = (v >> (8 * i)) & 0xFF; }
    void put16(std::size_t at, std::uint64_t v) { w16(image, at, v); }
    void put64(std::size_t at, std::uint64_t v) { w64(image, at, v); }
    void putAscii(std::size_t at, const std::string& s) { std::copy(s.begin(), s.end(), image.begin() + static_cast<std::ptrdiff_t>(at)); }

    static std::vector<std::uint8_t> resident(std::uint32_t type, const std::vector<std::uint8_t>& value) {
        std::vector<std::uint8_t> a((0x18 + value.size() + 7) / 8 * 8, 0);
        w32(a, 0, type);
        w32(a, 4, a.size());
        w32(a, 0x10, value.size());
        w16(a, 0x14, 0x18);
        std::copy(value.begin(), value.end(), a.begin() + 0x18);
        return a;
    }

    std::vector<std::uint8_t> buildRecord(std::size_t index, const TinyRecord& r) const {
        std::vector<std::uint8_t> rec(recordSize, 0);
        const std::size_t usaCount = recordSize / 512 + 1;
        const std::size_t first = (0x30 + 2 * usaCount + 7) / 8 * 8;
        rec[0] = 'F'; rec[1] = 'I'; rec[2] = 'L'; rec[3] = 'E';
        w16(rec, 0x04, 0x30);
        w16(rec, 0x06, usaCount);
        w16(rec, 0x10, r.sequence);
        w16(rec, 0x12, 1);
        w16(rec, 0x14, first);
        w16(rec, 0x16, (r.inUse ? 1 : 0) | (r.directory ? 2 : 0));
        w32(rec, 0x1C, recordSize);
        std::size_t at = first;
        auto append = [&](const std::vector<std::uint8_t>& a) {
            std::copy(a.begin(), a.end(), rec.begin() + static_cast<std::ptrdiff_t>(at));
            at += a.size();
        };
        std::vector<std::uint8_t> si(0x48, 0);
        w64(si, 0x00, r.modification);
        w64(si, 0x08, r.modification);
        w64(si, 0x18, r.modification);
        append(resident(0x10, si));
        for (const TinyName& n : r.names) {
            std::vector<std::uint8_t> fn(0x42 + 2 * n.name.size(), 0);
            w64(fn, 0, static_cast<std::uint64_t>(n.parent) | (std::uint64_t{n.parentSequence} << 48));
            w32(fn, 0x38, r.directory ? 0x10000000 : 0x20);
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
                w32(e, 0, type);
                w16(e, 4, 0x20);
                e[7] = 0x1A;
                w64(e, 8, vcn);
                w64(e, 0x10, record | (std::uint64_t{1} << 48));
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
        w32(rec, at, 0xFFFFFFFF);
        w32(rec, 0x18, at + 8);
        // Protect each 512-byte stride with the update sequence number.
        const std::uint16_t usn = 0x0007;
        w16(rec, 0x30, usn);
        for (std::size_t k = 1; k < usaCount; ++k) {
            const std::size_t end = 512 * k - 2;
            rec[0x30 + 2 * k] = rec[end];
            rec[0x30 + 2 * k + 1] = rec[end + 1];
            w16(rec, end, usn);
        }
        return rec;
    }

    std::vector<std::uint8_t> image;
    std::map<std::size_t, TinyRecord> records;
};

}  // namespace vantor::test
