#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Edit masks: the text "mask;keep-literals;blank-character" that a field or a
// masked edit carries (e.g. "999.999.999-99;0;_" for a CPF).
//
//   mask            data positions and literals, see below
//   keep-literals   "0": the field's value holds only the data characters;
//                   anything else: the value holds the literals too.
//                   Optional, default 1.
//   blank-character shown in a data position not yet filled. Optional,
//                   default "_".
//
// Mask characters: 0 required digit, 9 optional digit, # optional digit or
// sign (+ -), L required letter, l optional letter, A required letter or
// digit, a optional letter or digit, C required any character, c optional
// any character. ">" upper-cases the data characters that follow, "<"
// lower-cases them, "<>" ends case conversion. "\" makes the next character
// a literal; any other character is a literal. An unescaped ";" ends the
// mask part.
//
// Texts are UTF-8; a position holds one code point. Letters are the ASCII
// letters and the accented Latin letters (À-ÿ, Latin Extended-A and -B);
// case conversion is that of corvana::upperCase / foldCase. Texts are read
// with the codec of corvana/data/Text.h: a bad byte is one character, U+FFFD.
namespace corvana {

enum class MaskClass { Digit, DigitOrSign, Letter, LetterOrDigit, Any };
enum class MaskCase { None, Upper, Lower };

struct MaskPosition {
    enum class Kind { Literal, Data };
    Kind kind = Kind::Literal;
    char32_t literal = 0;                  // Literal positions
    MaskClass accepts = MaskClass::Any;    // Data positions
    bool required = false;                 // Data positions
    MaskCase letterCase = MaskCase::None;  // Data positions

    bool isLiteral() const { return kind == Kind::Literal; }
    bool operator==(const MaskPosition&) const = default;
};

struct MaskSpec {
    std::vector<MaskPosition> positions;
    bool keepLiterals = true;
    char32_t blank = U'_';

    // A mask without positions leaves values as typed.
    bool empty() const { return positions.empty(); }
    std::size_t size() const { return positions.size(); }
};

MaskSpec ParseMask(std::string_view mask);

// Lays a field value into the mask, giving the text to show.
//  - keep-literals 0: the value's characters fill the data positions in
//    order and the literals are inserted between them; where the value
//    already holds the literal at that point (a value typed with its mask),
//    it is taken as that literal rather than doubled.
//  - keep-literals 1: the value lines up with the mask character by
//    character, literals included; a space in a data position is an
//    unfilled position (the form MaskedTextToValue gives). A literal missing
//    from the value is inserted, as above.
// Unfilled positions show the blank character; value characters beyond the
// mask are appended unchanged, so nothing typed is hidden. Case switches
// apply to the data positions. An empty mask gives the value unchanged.
std::string FormatMaskText(std::string_view mask, std::string_view value);
std::string FormatMaskText(const MaskSpec& layout, std::string_view value);

// Whether `ch` may stand at `position`: a data position checks its class, a
// literal position takes only its literal. Outside the mask: false.
bool MaskAccepts(const MaskSpec& layout, std::size_t position, char32_t ch);

// The field's value from the text shown in a masked edit (one code point per
// position). keep-literals 0: literals and unfilled positions (the blank
// character) are dropped. keep-literals 1: literals are kept and unfilled
// positions become spaces. Case switches apply; trailing spaces are trimmed.
// A shown text shorter than the mask counts as unfilled from there; one
// longer keeps its extra characters. An empty mask gives the text unchanged.
std::string MaskedTextToValue(const MaskSpec& layout, std::string_view editText);

// True when every required data position of the shown text holds a character
// it accepts (never the blank character). An empty mask is always complete.
bool MaskComplete(const MaskSpec& layout, std::string_view editText);

// True when no data position of the shown text is filled: the field was left
// empty (the edit control then stores an empty value instead of rejecting an
// incomplete one).
bool MaskBlank(const MaskSpec& layout, std::string_view editText);

// A letter for the mask characters L, l, A and a.
bool IsMaskLetter(char32_t ch);

}  // namespace corvana
