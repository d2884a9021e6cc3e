#include "corvana/core/MaskFormat.h"

#include "corvana/data/Text.h"

namespace corvana {

namespace {

bool isDigit(char32_t ch) {
    return ch >= U'0' && ch <= U'9';
}

void appendWithCase(std::string& out, char32_t ch, MaskCase letterCase) {
    if (letterCase == MaskCase::None || ch < 0x80) {
        if (letterCase == MaskCase::Upper && ch >= U'a' && ch <= U'z')
            ch -= 0x20;
        else if (letterCase == MaskCase::Lower && ch >= U'A' && ch <= U'Z')
            ch += 0x20;
        appendUtf8(out, ch);
        return;
    }
    std::string one;
    appendUtf8(one, ch);
    out += letterCase == MaskCase::Upper ? upperCase(one) : foldCase(one);
}

bool classAccepts(MaskClass accepts, char32_t ch) {
    switch (accepts) {
        case MaskClass::Digit:
            return isDigit(ch);
        case MaskClass::DigitOrSign:
            return isDigit(ch) || ch == U'+' || ch == U'-';
        case MaskClass::Letter:
            return IsMaskLetter(ch);
        case MaskClass::LetterOrDigit:
            return IsMaskLetter(ch) || isDigit(ch);
        case MaskClass::Any:
            return true;
    }
    return false;
}

MaskPosition dataPosition(MaskClass accepts, bool required, MaskCase letterCase) {
    MaskPosition p;
    p.kind = MaskPosition::Kind::Data;
    p.accepts = accepts;
    p.required = required;
    p.letterCase = letterCase;
    return p;
}

MaskPosition literalPosition(char32_t ch) {
    MaskPosition p;
    p.kind = MaskPosition::Kind::Literal;
    p.literal = ch;
    return p;
}

// The end of the mask part: the first ';' not escaped by a backslash.
std::size_t maskPartEnd(std::string_view mask) {
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == '\\')
            ++i;
        else if (mask[i] == ';')
            return i;
    }
    return std::string_view::npos;
}

void trimTrailingSpaces(std::string& text) {
    const auto end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

}  // namespace

bool IsMaskLetter(char32_t ch) {
    if ((ch >= U'a' && ch <= U'z') || (ch >= U'A' && ch <= U'Z')) return true;
    // Latin-1 letters (× and ÷ are not) and Latin Extended-A and -B.
    return ch >= 0xC0 && ch <= 0x24F && ch != 0xD7 && ch != 0xF7;
}

MaskSpec ParseMask(std::string_view mask) {
    MaskSpec layout;
    const std::size_t end = maskPartEnd(mask);
    if (end != std::string_view::npos) {
        std::string_view rest = mask.substr(end + 1);
        const auto sep = rest.find(';');
        const std::string_view keep = rest.substr(0, sep);
        layout.keepLiterals = keep.empty() || keep.front() != '0';
        if (sep != std::string_view::npos) {
            const std::u32string blank = decodeUtf8(rest.substr(sep + 1));
            if (!blank.empty()) layout.blank = blank.front();
        }
    }

    const std::u32string cps = decodeUtf8(mask.substr(0, end));
    MaskCase letterCase = MaskCase::None;
    for (std::size_t i = 0; i < cps.size(); ++i) {
        const char32_t ch = cps[i];
        switch (ch) {
            case U'\\':
                // A trailing backslash escapes nothing and stands for itself.
                if (i + 1 < cps.size()) ++i;
                layout.positions.push_back(literalPosition(cps[i]));
                break;
            case U'>':
                letterCase = MaskCase::Upper;
                break;
            case U'<':
                if (i + 1 < cps.size() && cps[i + 1] == U'>') {
                    letterCase = MaskCase::None;
                    ++i;
                } else {
                    letterCase = MaskCase::Lower;
                }
                break;
            case U'0':
                layout.positions.push_back(dataPosition(MaskClass::Digit, true, letterCase));
                break;
            case U'9':
                layout.positions.push_back(dataPosition(MaskClass::Digit, false, letterCase));
                break;
            case U'#':
                layout.positions.push_back(dataPosition(MaskClass::DigitOrSign, false, letterCase));
                break;
            case U'L':
                layout.positions.push_back(dataPosition(MaskClass::Letter, true, letterCase));
                break;
            case U'l':
                layout.positions.push_back(dataPosition(MaskClass::Letter, false, letterCase));
                break;
            case U'A':
                layout.positions.push_back(
                    dataPosition(MaskClass::LetterOrDigit, true, letterCase));
                break;
            case U'a':
                layout.positions.push_back(
                    dataPosition(MaskClass::LetterOrDigit, false, letterCase));
                break;
            case U'C':
                layout.positions.push_back(dataPosition(MaskClass::Any, true, letterCase));
                break;
            case U'c':
                layout.positions.push_back(dataPosition(MaskClass::Any, false, letterCase));
                break;
            default:
                layout.positions.push_back(literalPosition(ch));
                break;
        }
    }
    return layout;
}

std::string FormatMaskText(std::string_view mask, std::string_view value) {
    return FormatMaskText(ParseMask(mask), value);
}

std::string FormatMaskText(const MaskSpec& layout, std::string_view value) {
    if (layout.empty()) return std::string(value);
    const std::u32string cps = decodeUtf8(value);
    std::string out;
    out.reserve(value.size() + layout.size());
    std::size_t next = 0;
    for (const MaskPosition& pos : layout.positions) {
        if (pos.isLiteral()) {
            if (next < cps.size() && cps[next] == pos.literal) ++next;
            appendUtf8(out, pos.literal);
        } else if (next < cps.size()) {
            const char32_t ch = cps[next++];
            if (layout.keepLiterals && ch == U' ')
                appendUtf8(out, layout.blank);
            else
                appendWithCase(out, ch, pos.letterCase);
        } else {
            appendUtf8(out, layout.blank);
        }
    }
    for (; next < cps.size(); ++next) appendUtf8(out, cps[next]);
    return out;
}

bool MaskAccepts(const MaskSpec& layout, std::size_t position, char32_t ch) {
    if (position >= layout.size()) return false;
    const MaskPosition& pos = layout.positions[position];
    if (pos.isLiteral()) return ch == pos.literal;
    return classAccepts(pos.accepts, ch);
}

std::string MaskedTextToValue(const MaskSpec& layout, std::string_view editText) {
    if (layout.empty()) return std::string(editText);
    const std::u32string cps = decodeUtf8(editText);
    std::string out;
    out.reserve(editText.size());
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const MaskPosition& pos = layout.positions[i];
        const char32_t ch = i < cps.size() ? cps[i] : layout.blank;
        if (pos.isLiteral()) {
            if (layout.keepLiterals) appendUtf8(out, pos.literal);
        } else if (ch == layout.blank) {
            if (layout.keepLiterals) out += ' ';
        } else {
            appendWithCase(out, ch, pos.letterCase);
        }
    }
    for (std::size_t i = layout.size(); i < cps.size(); ++i) appendUtf8(out, cps[i]);
    trimTrailingSpaces(out);
    return out;
}

bool MaskComplete(const MaskSpec& layout, std::string_view editText) {
    const std::u32string cps = decodeUtf8(editText);
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const MaskPosition& pos = layout.positions[i];
        if (pos.isLiteral() || !pos.required) continue;
        if (i >= cps.size() || cps[i] == layout.blank || !classAccepts(pos.accepts, cps[i]))
            return false;
    }
    return true;
}

bool MaskBlank(const MaskSpec& layout, std::string_view editText) {
    const std::u32string cps = decodeUtf8(editText);
    if (layout.empty()) return cps.find_first_not_of(U' ') == std::u32string::npos;
    for (std::size_t i = 0; i < layout.size() && i < cps.size(); ++i) {
        if (!layout.positions[i].isLiteral() && cps[i] != layout.blank && cps[i] != U' ')
            return false;
    }
    for (std::size_t i = layout.size(); i < cps.size(); ++i) {
        if (cps[i] != U' ') return false;
    }
    return true;
}

}  // namespace corvana
