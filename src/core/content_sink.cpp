// Content sinks (content_sink.h).
#include "core/content_sink.h"

#include <algorithm>

namespace vantor {

namespace {
// A file read off a dying disk can have thousands of bad pieces; the report
// names the first of them and counts the rest.
constexpr std::size_t kMaxRanges = 256;
}  // namespace

void ContentSink::damaged(std::uint64_t first, std::uint64_t length, std::string_view why, bool zeros) {
    if (!ranges.empty() && length != 0) {
        DamagedRange& last = ranges.back();
        if (last.why == why && last.zeros == zeros && last.first + last.length == first) {
            last.length += length;
            return;
        }
    }
    if (ranges.size() >= kMaxRanges) {
        ++rangesLeftOut;
        return;
    }
    ranges.push_back({first, length, std::string(why), zeros});
}

void ContentSink::unreadable(std::uint64_t fileOffset, const std::vector<ByteRange>& failed, std::uint64_t length) {
    for (const ByteRange& r : failed)
        if (r.first < length) damaged(fileOffset + r.first, std::min(r.length, length - r.first), "unreadable");
}

void ContentSink::endsEarly(std::uint64_t claimed, std::string_view why) {
    if (cutAt) return;
    cutAt = size();
    claimedSize = claimed;
    cutWhy = why;
}

std::string ContentSink::damageText() const {
    std::string text;
    if (cutAt)
        text = cutWhy + ": its size says " + std::to_string(claimedSize) + " bytes, " + std::to_string(*cutAt) +
               " were saved";
    for (const DamagedRange& r : ranges) {
        if (!text.empty()) text += "; ";
        if (r.length == 0) {  // somewhere in the file, where is not known
            text += r.why;
            continue;
        }
        text += r.why + ": bytes " + std::to_string(r.first) + "-" + std::to_string(r.first + r.length - 1);
        if (r.zeros) text += ", written as zeros";
    }
    if (rangesLeftOut) text += "; and " + std::to_string(rangesLeftOut) + " more damaged ranges";
    return text;
}

bool MemorySink::write(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > cap - std::min(cap, data.size())) return false;
    data.insert(data.end(), bytes.begin(), bytes.end());
    return true;
}

bool MemorySink::skip(std::uint64_t count) {
    if (count > cap - std::min(cap, data.size())) return false;
    data.resize(data.size() + static_cast<std::size_t>(count), 0);
    return true;
}

}  // namespace vantor
