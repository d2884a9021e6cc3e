// Fuzzes the edit masks of the screens (framework/core, MaskFormat.h): the
// input is a mask text ("mask;keep-literals;blank"), a line feed, and a
// value; both may hold any bytes.
//
// What it holds them to:
//  - nothing crashes, hangs or reads out of bounds, whatever the bytes;
//  - every text given back is well-formed UTF-8, but for a value that a
//    mask without positions gives back unchanged;
//  - the shown text (FormatMaskText) has a character for every position of
//    the mask, each literal position showing its literal;
//  - with the literals kept in the value, storing a shown text and showing
//    the stored value again gives the same text (blanks at the end aside):
//    what the user sees does not change by being saved;
//  - an empty value shows as a blank mask, and a blank text stores an
//    empty value when the literals are not kept.
#include <cstdint>

#include "FuzzSupport.h"
#include "corvana/core/MaskFormat.h"
#include "corvana/data/Text.h"

namespace {

std::u32string WithoutTrailingSpaces(std::u32string text) {
    text.erase(text.find_last_not_of(U' ') + 1);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string_view maskText = input.substr(0, split);
    const std::string_view value =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const corvana::MaskSpec layout = corvana::ParseMask(maskText);
    const std::string shown = corvana::FormatMaskText(layout, value);
    fuzz::Check(shown == corvana::FormatMaskText(maskText, value),
                "the mask text and its parsed form show differently");
    if (layout.empty()) {
        fuzz::Check(shown == value, "an empty mask changed the value", shown);
        return 0;
    }
    fuzz::Check(corvana::isValidUtf8(shown), "shown text is not UTF-8", shown);
    const std::u32string shownChars = corvana::decodeUtf8(shown);
    fuzz::Check(shownChars.size() >= layout.size(), "shown text shorter than the mask", shown);
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const corvana::MaskPosition& position = layout.positions[i];
        if (position.isLiteral())
            fuzz::Check(shownChars[i] == position.literal, "a literal position lost its literal",
                        shown);
        (void)corvana::MaskAccepts(layout, i, shownChars[i]);
    }

    const std::string stored = corvana::MaskedTextToValue(layout, shown);
    fuzz::Check(corvana::isValidUtf8(stored), "stored value is not UTF-8", stored);
    (void)corvana::MaskComplete(layout, shown);
    (void)corvana::MaskBlank(layout, shown);
    // The value straight from the bytes, as a control may hold them.
    fuzz::Check(corvana::isValidUtf8(corvana::MaskedTextToValue(layout, value)),
                "stored value of raw text is not UTF-8");
    (void)corvana::MaskComplete(layout, value);
    (void)corvana::MaskBlank(layout, value);

    fuzz::Check(corvana::MaskBlank(layout, corvana::FormatMaskText(layout, "")),
                "an empty value does not show blank");
    if (!layout.keepLiterals) {
        for (const std::string_view text : {std::string_view(shown), value}) {
            if (corvana::MaskBlank(layout, text))
                fuzz::Check(corvana::MaskedTextToValue(layout, text).empty(),
                            "a blank text stores a value", text);
        }
    }

    if (layout.keepLiterals) {
        const std::string again = corvana::FormatMaskText(layout, stored);
        fuzz::Check(
            WithoutTrailingSpaces(corvana::decodeUtf8(again)) == WithoutTrailingSpaces(shownChars),
            "a stored text shows differently",
            "value: " + std::string(value) + "\nshown: " + shown + "\nstored: " + stored +
                "\nshown again: " + again);
    }
    return 0;
}
