#include "corvana/data/Text.h"

#include <cstdint>

namespace corvana {

namespace {

inline bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

constexpr Utf8Char kBadByte{kReplacementChar, 1, false};

}  // namespace

Utf8Char decodeUtf8At(std::string_view text, std::size_t pos) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80) return {b0, 1, true};
    const std::size_t left = text.size() - pos;
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[pos + k]); };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left < 2 || !isContinuation(at(1))) return kBadByte;
        return {(char32_t(b0 & 0x1F) << 6) | (at(1) & 0x3F), 2, true};
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3) return kBadByte;
        const unsigned char b1 = at(1);
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
        if (b1 < lo || b1 > hi || !isContinuation(at(2))) return kBadByte;
        return {(char32_t(b0 & 0x0F) << 12) | (char32_t(b1 & 0x3F) << 6) | (at(2) & 0x3F), 3, true};
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4) return kBadByte;
        const unsigned char b1 = at(1);
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
        if (b1 < lo || b1 > hi || !isContinuation(at(2)) || !isContinuation(at(3))) return kBadByte;
        return {(char32_t(b0 & 0x07) << 18) | (char32_t(b1 & 0x3F) << 12) |
                    (char32_t(at(2) & 0x3F) << 6) | (at(3) & 0x3F),
                4, true};
    }
    return kBadByte;  // 0x80-0xC1 and 0xF5-0xFF never start a sequence
}

std::u32string decodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8At(text, i);
        out += c.codePoint;
        i += c.length;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementChar;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string encodeUtf8(std::u32string_view codePoints) {
    std::string out;
    out.reserve(codePoints.size());
    for (const char32_t cp : codePoints) appendUtf8(out, cp);
    return out;
}

namespace {

// Lower-case form of a code point of U+00C0..U+017F (itself when none).
char32_t lowerLatin(char32_t cp) {
    if (cp >= 0xC0 && cp <= 0xDE) return cp == 0xD7 ? cp : cp + 0x20;  // 0xD7 is ×
    if (cp == 0x130) return U'i';                                      // İ
    if (cp >= 0x100 && cp <= 0x137) return (cp % 2 == 0) ? cp + 1 : cp;
    if (cp >= 0x139 && cp <= 0x148) return (cp % 2 == 1) ? cp + 1 : cp;
    if (cp >= 0x14A && cp <= 0x177) return (cp % 2 == 0) ? cp + 1 : cp;
    if (cp == 0x178) return 0xFF;  // Ÿ
    if (cp >= 0x179 && cp <= 0x17E) return (cp % 2 == 1) ? cp + 1 : cp;
    return cp;
}

// Upper-case form of a code point of U+00C0..U+017F (itself when none).
char32_t upperLatin(char32_t cp) {
    if (cp >= 0xE0 && cp <= 0xFE) return cp == 0xF7 ? cp : cp - 0x20;  // 0xF7 is ÷
    if (cp == 0xFF) return 0x178;                                      // ÿ
    if (cp == 0x131) return U'I';                                      // ı
    if (cp >= 0x101 && cp <= 0x137) return (cp % 2 == 1) ? cp - 1 : cp;
    if (cp >= 0x13A && cp <= 0x148) return (cp % 2 == 0) ? cp - 1 : cp;
    if (cp >= 0x14B && cp <= 0x177) return (cp % 2 == 1) ? cp - 1 : cp;
    if (cp >= 0x17A && cp <= 0x17E) return (cp % 2 == 0) ? cp - 1 : cp;
    return cp;
}

template <typename AsciiMap, typename LatinMap>
std::string mapCase(std::string_view text, AsciiMap ascii, LatinMap latin) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(ascii(c)));
            ++i;
            continue;
        }
        const Utf8Char ch = decodeUtf8At(text, i);
        if (ch.length == 2 && ch.codePoint >= 0xC0 && ch.codePoint <= 0x17F) {
            appendUtf8(out, latin(ch.codePoint));
        } else {
            // Any other character, a bad byte too, is copied byte for byte.
            out.append(text.substr(i, ch.length));
        }
        i += ch.length;
    }
    return out;
}

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::size_t utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += decodeUtf8At(text, i).length) ++count;
    return count;
}

std::string utf8Truncate(std::string_view text, std::size_t maxChars) {
    // Fast path: no more bytes than allowed characters.
    if (text.size() <= maxChars) return std::string(text);
    std::size_t i = 0;
    for (std::size_t count = 0; i < text.size() && count < maxChars; ++count) {
        i += decodeUtf8At(text, i).length;
    }
    return std::string(text.substr(0, i));
}

std::string foldCase(std::string_view text) {
    return mapCase(
        text, [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; },
        lowerLatin);
}

std::string upperCase(std::string_view text) {
    return mapCase(
        text, [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; },
        upperLatin);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    // ASCII folds byte for byte: no copies.
    const auto ascii = [](std::string_view t) {
        for (char c : t)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        return true;
    };
    if (ascii(a) && ascii(b)) {
        if (a.size() != b.size()) return false;
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        for (std::size_t i = 0; i < a.size(); ++i)
            if (lower(a[i]) != lower(b[i])) return false;
        return true;
    }
    return foldCase(a) == foldCase(b);
}

std::string trimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string plainBlanks(std::string_view text) {
    // Each of the characters starts with one of these bytes; most texts
    // hold none.
    if (text.find_first_of("\xC2\xE2\xEF") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8At(text, i);
        switch (c.valid ? c.codePoint : kReplacementChar) {
            case 0x00A0:
            case 0x2007:
            case 0x202F:
                out.push_back(' ');
                break;
            case 0x200B:
            case 0x200C:
            case 0x200D:
            case 0x2060:
            case 0xFEFF:
                break;
            default:
                out.append(text.substr(i, c.length));
        }
        i += c.length;
    }
    return out;
}

bool isControlChar(char32_t codePoint) {
    return codePoint <= 0x1F || (codePoint >= 0x7F && codePoint <= 0x9F);
}

bool hasControlChar(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8At(text, i);
        if (c.valid && isControlChar(c.codePoint)) return true;
        i += c.length;
    }
    return false;
}

std::string showControlChars(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8At(text, i);
        if (c.valid && isControlChar(c.codePoint)) {
            appendUtf8(out, kReplacementChar);
        } else {
            out.append(text.substr(i, c.length));
        }
        i += c.length;
    }
    return out;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = decodeUtf8At(text, i);
        if (!c.valid) return false;
        i += c.length;
    }
    return true;
}

}  // namespace corvana
