#pragma once
// Names on disk come in several encodings; inside the program every text is UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bytes.h"

namespace vantor {

// Appends the UTF-8 form of one code point (invalid ones become U+FFFD).
void appendUtf8(std::string& out, char32_t cp);

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
// Conversion stops at the first NUL when stopAtNul is set.
std::string utf16leToUtf8(Bytes units, bool stopAtNul = false);
std::string utf16beToUtf8(Bytes units, bool stopAtNul = false);
std::string utf16ToUtf8(std::u16string_view units, bool stopAtNul = false);

// Windows-1252, the 8-bit code page of FAT short names, to UTF-8.
std::string cp1252ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252; characters the code page lacks become '?'.
std::string utf8ToCp1252(std::string_view utf8);

// Bytes that may or may not be UTF-8 (ext names are plain bytes): valid
// sequences pass through, every invalid byte is read as Windows-1252.
std::string bytesToUtf8(std::string_view bytes);

// Decodes UTF-8 to code points, invalid bytes as U+FFFD.
std::u32string utf8ToUtf32(std::string_view utf8);

std::string trimBlanks(std::string_view s);        // spaces at both ends
std::string trimTrailingBlanks(std::string_view s);

}  // namespace vantor
