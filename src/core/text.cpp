#include "core/text.h"

#include <array>

namespace vantor {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five undefined positions,
// which are passed through as the C1 control of the same number.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t cp1252ToCodePoint(std::uint8_t b) {
    if (b >= 0x80 && b < 0xA0) {
        const char16_t c = kCp1252High[b - 0x80];
        return c ? c : b;
    }
    return b;
}

template <typename Unit>
std::string utf16Units(std::size_t count, Unit unitAt, bool stopAtNul) {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t u = unitAt(i);
        if (u == 0 && stopAtNul) break;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count) {
            const char32_t lo = unitAt(i + 1);
            if (lo >= 0xDC00 && lo < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
    return out;
}

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<std::uint8_t>(s[i]);
    std::size_t len;
    if (b0 < 0x80) { cp = b0; return 1; }
    if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<std::uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
    return len;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf16leToUtf8(Bytes units, bool stopAtNul) {
    return utf16Units(units.size() / 2, [&](std::size_t i) { return char32_t{le16(units, 2 * i)}; }, stopAtNul);
}

std::string utf16beToUtf8(Bytes units, bool stopAtNul) {
    return utf16Units(units.size() / 2, [&](std::size_t i) { return char32_t{be16(units, 2 * i)}; }, stopAtNul);
}

std::string utf16ToUtf8(std::u16string_view units, bool stopAtNul) {
    return utf16Units(units.size(), [&](std::size_t i) { return char32_t{units[i]}; }, stopAtNul);
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) appendUtf8(out, cp1252ToCodePoint(static_cast<std::uint8_t>(c)));
    return out;
}

std::string utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char32_t cp : utf8ToUtf32(utf8)) {
        if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (std::size_t i = 0; i < kCp1252High.size(); ++i)
            if (kCp1252High[i] == cp) mapped = static_cast<char>(0x80 + i);
        out += mapped;
    }
    return out;
}

std::string bytesToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp;
        const std::size_t len = utf8SequenceAt(bytes, i, cp);
        if (len == 0) {
            appendUtf8(out, cp1252ToCodePoint(static_cast<std::uint8_t>(bytes[i])));
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::u32string utf8ToUtf32(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        const std::size_t len = utf8SequenceAt(utf8, i, cp);
        out += len ? cp : char32_t{0xFFFD};
        i += len ? len : 1;
    }
    return out;
}

std::string trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

std::string trimTrailingBlanks(std::string_view s) {
    const auto last = s.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string{} : std::string(s.substr(0, last + 1));
}

}  // namespace vantor
