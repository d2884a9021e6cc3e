#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace corvana {

// UTF-8 text: the one codec of the system, and helpers shared by the
// screens and the application server.
//
// Bad bytes. A byte that is not part of a well-formed sequence (a stray
// continuation byte, a lead byte without all its continuation bytes, an
// overlong form, a surrogate, a value above U+10FFFF, or one of the bytes
// that never start a sequence) is a bad character of its own, one per byte.
// Decoding gives U+FFFD for each, exactly as QString::fromUtf8 does, so a
// text has the same characters here as in a Qt control. The helpers that
// give back part of the text or its case mapping keep a bad byte as it is;
// encoding never writes one. Nothing here throws on bad input.

inline constexpr char32_t kReplacementChar = 0xFFFD;

// The character that starts at byte pos of text (pos < text.size()): its
// code point and its length in bytes. A bad byte is U+FFFD of length 1, with
// valid false.
struct Utf8Char {
    char32_t codePoint;
    std::size_t length;
    bool valid;
};
Utf8Char decodeUtf8At(std::string_view text, std::size_t pos);

// The code points of text.
std::u32string decodeUtf8(std::string_view text);

// Appends the UTF-8 form of a code point; a surrogate or a value above
// U+10FFFF is written as U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);
std::string encodeUtf8(std::u32string_view codePoints);

// Number of characters (code points); a bad byte counts as one.
std::size_t utf8Length(std::string_view text);

// The first maxChars characters of text; never splits a multi-byte sequence.
// Bad bytes are kept.
std::string utf8Truncate(std::string_view text, std::size_t maxChars);

// Lower-cases ASCII letters and the accented Latin letters of the Latin-1
// Supplement and Latin Extended-A blocks ("JOSÉ" -> "josé", "ÇÃO" -> "ção").
// Every other character, a bad byte too, is copied unchanged. Used for
// case-insensitive comparisons of names and values.
std::string foldCase(std::string_view text);

// The reverse mapping of foldCase ("ação" -> "AÇÃO"). Letters without a
// single upper-case form (ß, ĸ, ŉ) are kept.
std::string upperCase(std::string_view text);

// foldCase(a) == foldCase(b).
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Removes spaces, tabs, carriage returns and line feeds from both ends.
std::string trimBlanks(std::string_view text);

// Characters a person cannot tell from a blank or from nothing, made what
// they look like: the non-breaking spaces (U+00A0, U+2007, U+202F) become
// plain spaces and the zero-width characters (U+200B, U+200C, U+200D,
// U+2060, U+FEFF) are removed. Everything else, a bad byte too, is copied.
std::string plainBlanks(std::string_view text);

// The control characters: U+0000 to U+001F, U+007F and U+0080 to U+009F.
bool isControlChar(char32_t codePoint);
// True when text holds a control character (a bad byte is none).
bool hasControlChar(std::string_view text);
// The text with each control character shown as U+FFFD, for a message or a
// list that shows a text which cannot be stored.
std::string showControlChars(std::string_view text);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// Appends `text` as a JSON string, quotes included, as the packets write
// their texts: a bad byte becomes U+FFFD, so the output is always valid JSON.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace corvana
