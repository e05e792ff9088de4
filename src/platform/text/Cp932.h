// Code page 932 (Shift_JIS as Windows defines it): the program's text encoding.
// Every string inside QUAVERIX is CP932 bytes; lengths and cuts count bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// True for a byte that starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// True for a byte that can be the second byte of a double-byte character (0x40-0x7E,
// 0x80-0xFC): among them '[', '\\', ']', '^', '_', '`', '{', '|', '}', '~', '@' and every
// letter. Blanks, digits, quotes, '#', '%', '=', ';', '.', '*', '?', CR and LF never are.
constexpr bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Byte length of the character that starts at s[i]: 2 for a lead byte with a
// following byte, otherwise 1. A lead byte at the very end counts as 1.
std::size_t CharLength(std::string_view s, std::size_t i);

// Offset of the last character of s, counted as characters from the start
// (a trail byte that looks like '\' is never mistaken for a character).
// npos for an empty string.
std::size_t LastCharOffset(std::string_view s);

// True when the last character of s is a double-byte character.
bool EndsWithDoubleByte(std::string_view s);

// True when the last character of s is a single-byte backslash.
bool EndsWithBackslash(std::string_view s);

// Cuts s to at most maxBytes without splitting a double-byte character.
std::string_view CutBytes(std::string_view s, std::size_t maxBytes);

// Removes every CR LF pair, found in one left-to-right pass without overlap:
// a pair that the removal itself brings together stays, as do lone CR and LF.
std::string RemoveCrLf(std::string_view s);
// Removes every CR and every LF (they are never second bytes).
std::string RemoveLineBreaks(std::string_view s);

// The first place at or after `from` (a character boundary) where `needle` (whole
// characters) stands as whole characters of s, or npos. A needle that starts with a
// byte that can be a second byte ('[', '\\', a letter...) is only taken where a
// character starts, so "ゼ" (0x83 0x5B) never gives a '['. Any other needle cannot
// start inside a character and is found byte by byte.
std::size_t Find(std::string_view s, std::string_view needle, std::size_t from = 0);

// Replaces every occurrence of `from` (non-empty) by `to`, left to right, as Find
// finds them, without searching the inserted text again.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// The fields of a line between `separator`s (a tab or a space, never a second byte),
// empty ones included.
std::vector<std::string_view> Split(std::string_view line, char separator);
inline std::vector<std::string_view> SplitTabs(std::string_view line) { return Split(line, '\t'); }
// The lines of a text, each ended by CR LF, LF or CR (the last one may have no end);
// empty lines included.
std::vector<std::string_view> SplitLines(std::string_view text);

// Conversions. Undefined CP932 bytes decode to U+30FB (as Windows does);
// characters CP932 cannot hold encode to '?'.
std::u16string ToUtf16(std::string_view cp932);
std::string FromUtf16(std::u16string_view utf16);
std::string ToUtf8(std::string_view cp932);
std::string FromUtf8(std::string_view utf8);

// True when CP932 holds every character of `utf16`, so that the round trip gives it back.
bool FitsCp932(std::u16string_view utf16);

// ASCII-only case folding, as Windows compares INI names and file names for our
// purposes; double-byte characters are left alone (their trail bytes too).
std::string UpperAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::u16string UpperAscii(std::u16string_view s);

}  // namespace text

// Every narrow literal in this program is compiled as CP932 (-fexec-charset=CP932,
// or /execution-charset:.932 with MSVC). "ソ" is 0x83 0x5C there.
static_assert(sizeof("\u30BD") == 3 && static_cast<unsigned char>("\u30BD"[1]) == 0x5C,
              "narrow string literals must be compiled as code page 932");
