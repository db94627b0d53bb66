#include "fs/fat/names.h"

#include <algorithm>
#include <cctype>

#include "core/text.h"
#include "fs/fat/layout.h"

namespace vantor::fat {

void LongNameGroup::add(Bytes slot) {
    if (pieces.size() >= kMaxLongNamePieces || slot.size() < 32) return;
    std::array<std::uint8_t, 32> copy{};
    std::copy_n(slot.begin(), 32, copy.begin());
    pieces.push_back(copy);
}

std::string LongNameGroup::name() const {
    std::u16string units;
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        const Bytes p(it->data(), it->size());
        // Characters sit at 0x01 (5), 0x0E (6) and 0x1C (2).
        static constexpr std::size_t kOffsets[13] = {0x01, 0x03, 0x05, 0x07, 0x09, 0x0E, 0x10,
                                                     0x12, 0x14, 0x16, 0x18, 0x1C, 0x1E};
        for (std::size_t off : kOffsets) {
            const char16_t c = static_cast<char16_t>(le16(p, off));
            if (c == 0) break;
            units.push_back(c);
        }
    }
    return utf16ToUtf8(units);
}

std::string formatShortName(const std::uint8_t (&raw)[11], std::uint8_t caseFlags) {
    std::string base(reinterpret_cast<const char*>(raw), 8);
    std::string ext(reinterpret_cast<const char*>(raw) + 8, 3);
    // 0x05 in the first byte stands for a real 0xE5 (a lead byte in some code pages).
    if (!base.empty() && static_cast<std::uint8_t>(base[0]) == 0x05) base[0] = static_cast<char>(0xE5);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    auto lower = [](std::string& s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    };
    if (caseFlags & 0x08) lower(base);
    if (caseFlags & 0x10) lower(ext);
    std::string name = ext.empty() ? base : base + "." + ext;
    return cp1252ToUtf8(name);
}

std::uint8_t shortNameChecksum(const std::uint8_t (&name)[11]) {
    std::uint8_t sum = 0;
    for (std::uint8_t c : name) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    return sum;
}

}  // namespace vantor::fat
