#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace corvana {

// UTF-8 text helpers shared by the screens and the application server.
//
// Every helper accepts any byte sequence: a byte that does not start a valid
// UTF-8 sequence (a stray continuation byte, a truncated or overlong
// sequence, a surrogate) is treated as one character of its own and passed
// through unchanged. None of them throws on bad input.

// Number of characters (code points); an invalid byte counts as one.
std::size_t utf8Length(std::string_view text);

// The first maxChars characters of text; never splits a multi-byte sequence.
std::string utf8Truncate(std::string_view text, std::size_t maxChars);

// Lower-cases ASCII letters and the accented Latin letters of the Latin-1
// Supplement and Latin Extended-A blocks ("JOSÉ" -> "josé", "ÇÃO" -> "ção").
// Every other character is copied unchanged. Used for case-insensitive
// comparisons of names and values.
std::string foldCase(std::string_view text);

// The reverse mapping of foldCase ("ação" -> "AÇÃO"). Letters without a
// single upper-case form (ß, ĸ, ŉ) are kept.
std::string upperCase(std::string_view text);

// foldCase(a) == foldCase(b).
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Removes spaces, tabs, carriage returns and line feeds from both ends.
std::string trimBlanks(std::string_view text);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

}  // namespace corvana
