// Portable. No OS headers. Internal to the platform layer.
//
// UTF-8 <-> UTF-16 and the code page 437 table, for the POSIX backend (where
// ANSI is UTF-8 and OEM is code page 437) and for tests of both backends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::unicode {

inline constexpr char32_t REPLACEMENT = 0xFFFD;

// Decodes one UTF-8 character at s[i], advancing i. A byte that starts no
// valid sequence (overlong forms, surrogates and values above U+10FFFF
// included) is consumed alone and gives REPLACEMENT, and `valid` is false.
char32_t decode_utf8(std::string_view s, size_t& i, bool& valid);
// Appends the UTF-8 form of c (1 to 4 bytes).
void append_utf8(std::string& out, char32_t c);
// Number of bytes append_utf8 would add.
size_t utf8_length(char32_t c);

// Whole-string conversions; invalid input becomes REPLACEMENT.
std::u16string utf8_to_utf16(std::string_view s);
std::string utf16_to_utf8(std::u16string_view s);

// WTF-8: UTF-8 that also carries unpaired surrogates (as the three-byte
// form of their code unit), so that every UTF-16 name a Windows listing
// returns survives the trip through a byte string and back unchanged.
std::string utf16_to_wtf8(std::u16string_view s);
// The inverse; bytes that form no sequence become REPLACEMENT.
std::u16string wtf8_to_utf16(std::string_view s);

// Code page 437: the character for a byte, and the byte for a character
// (or -1 when the code page has none).
char32_t cp437_to_unicode(unsigned char b);
int unicode_to_cp437(char32_t c);

}  // namespace platform::unicode
