#pragma once
// Where a reader writes one entry's content: bytes and holes in file order,
// plus the ranges that are not what the file held (unreadable sectors, a
// chain that ended early), written as zeros. The reader never sees the
// target: results/ owns output files, names, times and reports, and a memory
// sink serves whoever only needs the bytes.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"

namespace vantor {

struct DamagedRange {
    std::uint64_t first = 0;   // byte offset in the file
    std::uint64_t length = 0;
    std::string why;           // "unreadable", "the cluster chain ends early", ...
    bool zeros = true;         // written as zeros; false: bytes of a guess (clusters read in a row)
};

class ContentSink {
public:
    virtual ~ContentSink() = default;
    // Appends bytes at the current end. False when the target refused them:
    // the reader stops writing.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // Appends `count` zero bytes, a hole where the target keeps holes.
    virtual bool skip(std::uint64_t count) = 0;
    virtual std::uint64_t size() const = 0;

    // Marks bytes of the file as written as zeros, and why. Touching ranges
    // with the same reason are merged. A length of 0 says the file is
    // damaged where the reader cannot tell (a run list that did not decode whole).
    void damaged(std::uint64_t first, std::uint64_t length, std::string_view why, bool zeros = true);
    // Marks the ranges of a read that failed (relative to the read, which
    // lies at `fileOffset` of the file), up to `length` bytes of it.
    void unreadable(std::uint64_t fileOffset, const std::vector<ByteRange>& failed,
                    std::uint64_t length = UINT64_MAX);
    // The entry claims more bytes than its allocation holds (a chain or a
    // run list that ends, clusters past the volume, a size no such file can
    // have): the file ends where it is now instead of growing by zeros or
    // holes nobody can check, and the claim is reported.
    void endsEarly(std::uint64_t claimed, std::string_view why);
    bool endedEarly() const { return cutAt.has_value(); }
    const std::vector<DamagedRange>& damage() const { return ranges; }
    bool isDamaged() const { return !ranges.empty() || cutAt.has_value(); }
    // "unreadable: bytes 4096-8191, written as zeros; ..." (empty when whole).
    std::string damageText() const;

private:
    std::vector<DamagedRange> ranges;
    std::uint64_t rangesLeftOut = 0;  // beyond the cap, counted only
    std::optional<std::uint64_t> cutAt;
    std::uint64_t claimedSize = 0;
    std::string cutWhy;
};

// Keeps the content in memory, up to `limit` bytes; anything more is refused.
class MemorySink final : public ContentSink {
public:
    explicit MemorySink(std::size_t limit) : cap(limit) {}
    bool write(std::span<const std::uint8_t> bytes) override;
    bool skip(std::uint64_t count) override;
    std::uint64_t size() const override { return data.size(); }
    const std::vector<std::uint8_t>& bytes() const { return data; }

private:
    std::size_t cap;
    std::vector<std::uint8_t> data;
};

// How a reader's writing of one entry ended.
struct ContentOutcome {
    enum class Status {
        written,   // the content went to the sink (perhaps with damaged ranges)
        withheld,  // deliberately not written (the NTFS bad-cluster file)
        failed     // nothing usable: the entry's record could not be read
    };
    Status status = Status::failed;
    std::string problem;  // why, when failed

    static ContentOutcome written() { return {Status::written, {}}; }
    static ContentOutcome withheld() { return {Status::withheld, {}}; }
    static ContentOutcome failed(std::string why) { return {Status::failed, std::move(why)}; }
};

}  // namespace vantor
