#include "device/VolumeRecord.h"

#include <cctype>
#include <limits>

namespace vantor {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

FsKind fsKindFromName(std::string_view name) {
    struct Alias { std::string_view name; FsKind kind; };
    static constexpr Alias kAliases[] = {
        {"ntfs", FsKind::ntfs},   {"fat32", FsKind::fat32}, {"fat16", FsKind::fat16},
        {"fat", FsKind::fat16},   {"fat64", FsKind::fat64}, {"exfat", FsKind::fat64},
        {"extx", FsKind::extX},   {"hfs+", FsKind::hfsPlus}, {"raw", FsKind::raw},
    };
    for (const Alias& a : kAliases)
        if (equalsIgnoreCase(name, a.name)) return a.kind;
    return FsKind::unknown;
}

std::string_view fsKindName(FsKind kind) {
    switch (kind) {
        case FsKind::ntfs: return "NTFS";
        case FsKind::fat32: return "FAT32";
        case FsKind::fat16: return "FAT16";
        case FsKind::fat64: return "FAT64";
        case FsKind::extX: return "extX";
        case FsKind::hfsPlus: return "HFS+";
        case FsKind::raw: return "RAW";
        case FsKind::unknown: break;
    }
    return "Unknown";
}

std::int64_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) return negative ? -kMax : kMax;  // saturate, never wrap
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace vantor
