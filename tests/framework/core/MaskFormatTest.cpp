#include <gtest/gtest.h>

#include "corvana/core/Consiste.h"
#include "corvana/core/MaskFormat.h"

namespace {

using corvana::FormatMaskText;
using corvana::MaskedTextToValue;
using corvana::ParseMask;

TEST(MaskFormat, CpfAndCnpjFromRawAndPreMaskedValues) {
    const std::string cpf = Consiste::PictPess("F");
    EXPECT_EQ(FormatMaskText(cpf, "12345678901"), "123.456.789-01");
    EXPECT_EQ(FormatMaskText(cpf, "123.456.789-01"), "123.456.789-01");
    EXPECT_EQ(FormatMaskText(cpf, "123456.789-01"), "123.456.789-01") << "partly masked";

    const std::string cnpj = Consiste::PictPess("J");
    EXPECT_EQ(FormatMaskText(cnpj, "12345678000195"), "12.345.678/0001-95");
    EXPECT_EQ(FormatMaskText(cnpj, "12.345.678/0001-95"), "12.345.678/0001-95");
}

TEST(MaskFormat, StoredInscriptionRoundTripsThroughItsMask) {
    const corvana::MaskSpec layout = ParseMask(Consiste::PictPess("J"));
    std::string typed = "C12.345.678/0001-95";
    const std::string stored = Consiste::Ajusta_Inscricao(typed);
    const std::string shown = FormatMaskText(layout, stored);
    EXPECT_EQ(MaskedTextToValue(layout, shown), stored);
    EXPECT_TRUE(corvana::MaskComplete(layout, shown));
}

TEST(MaskFormat, ShortValuesShowBlanksAndExtraCharactersStay) {
    const std::string cpf = Consiste::PictPess("F");
    EXPECT_EQ(FormatMaskText(cpf, "1234"), "123.4__.___-__");
    EXPECT_EQ(FormatMaskText(cpf, ""), "___.___.___-__");
    EXPECT_EQ(FormatMaskText(cpf, "1234567890123"), "123.456.789-0123");
    EXPECT_EQ(FormatMaskText("99/99", "1"), "1_/__") << "default blank is _";
}

TEST(MaskFormat, SpaceBlankMaskBothWays) {
    EXPECT_EQ(FormatMaskText("9999;0; ", "12"), "12  ");
    EXPECT_EQ(FormatMaskText("9999;0; ", ""), "    ");
    const corvana::MaskSpec layout = ParseMask("9999;0; ");
    EXPECT_FALSE(layout.keepLiterals);
    EXPECT_EQ(layout.blank, U' ');
    EXPECT_EQ(MaskedTextToValue(layout, "1   "), "1");
    EXPECT_EQ(MaskedTextToValue(layout, "1234"), "1234");
    EXPECT_EQ(MaskedTextToValue(layout, "    "), "");
}

TEST(MaskFormat, KeepLiteralsLinesUpWithTheValue) {
    const corvana::MaskSpec layout = ParseMask("99/99/9999;1;_");
    EXPECT_TRUE(layout.keepLiterals);
    EXPECT_EQ(FormatMaskText(layout, "07/12/2026"), "07/12/2026");
    // Unfilled positions travel as spaces in the value and show as blanks.
    EXPECT_EQ(FormatMaskText(layout, "07/1 /20"), "07/1_/20__");
    EXPECT_EQ(MaskedTextToValue(layout, "07/1_/20__"), "07/1 /20");
    EXPECT_EQ(MaskedTextToValue(layout, "07/12/____"), "07/12/");

    const corvana::MaskSpec dropped = ParseMask("99/99/9999;0;_");
    EXPECT_EQ(MaskedTextToValue(dropped, "07/1_/20__"), "07120");
}

TEST(MaskFormat, EscapesMakeMaskCharactersLiteral) {
    const corvana::MaskSpec layout = ParseMask("\\A\\9-99\\;0;0;*");
    ASSERT_EQ(layout.size(), 7u);
    EXPECT_TRUE(layout.positions[0].isLiteral());
    EXPECT_EQ(layout.positions[0].literal, U'A');
    EXPECT_EQ(layout.positions[1].literal, U'9');
    EXPECT_EQ(layout.positions[5].literal, U';') << "an escaped ; does not end the mask";
    EXPECT_FALSE(layout.positions[6].isLiteral());
    EXPECT_TRUE(layout.positions[6].required);
    EXPECT_FALSE(layout.keepLiterals);
    EXPECT_EQ(layout.blank, U'*');
    EXPECT_EQ(FormatMaskText(layout, "12"), "A9-12;*");
    EXPECT_EQ(MaskedTextToValue(layout, "A9-12;*"), "12");
}

TEST(MaskFormat, CaseSwitches) {
    EXPECT_EQ(FormatMaskText(">LL<ll<>cc;0;_", "abCDeF"), "ABcdeF");
    EXPECT_EQ(FormatMaskText(">ccc;0;_", "ção"), "ÇÃO");
    EXPECT_EQ(FormatMaskText("<cc;0;_", "ÉA"), "éa");
    // Extra characters are appended as typed, without case change.
    EXPECT_EQ(FormatMaskText(">c;0;_", "ab"), "Ab");
    const corvana::MaskSpec layout = ParseMask(">LL;0;_");
    EXPECT_EQ(MaskedTextToValue(layout, "sp"), "SP");
}

TEST(MaskFormat, EmptyMaskLeavesValueAlone) {
    EXPECT_EQ(FormatMaskText(Consiste::PictPess("X"), " 12.3 "), " 12.3 ");
    EXPECT_EQ(FormatMaskText("", "abc"), "abc");
    EXPECT_EQ(FormatMaskText(";0;_", "abc"), "abc");
    EXPECT_EQ(MaskedTextToValue(ParseMask(""), "abc  "), "abc  ");
    EXPECT_TRUE(corvana::MaskComplete(ParseMask(""), ""));
}

TEST(MaskFormat, DefaultsOfTheOptionalParts) {
    const corvana::MaskSpec layout = ParseMask("00");
    EXPECT_TRUE(layout.keepLiterals);
    EXPECT_EQ(layout.blank, U'_');
    EXPECT_EQ(ParseMask("00;0").blank, U'_');
    EXPECT_EQ(ParseMask("00;0;").blank, U'_');
    EXPECT_TRUE(ParseMask("00;;#").keepLiterals);
    EXPECT_EQ(ParseMask("00;;#").blank, U'#');
}

TEST(MaskFormat, AcceptsByPositionClass) {
    const corvana::MaskSpec layout = ParseMask("0#LAC-l;0;_");
    struct Case {
        std::size_t position;
        char32_t accepted, refused;
    };
    for (const Case& c : {Case{0, U'5', U'a'}, Case{1, U'-', U'x'}, Case{1, U'+', U'%'},
                          Case{2, U'ç', U'1'}, Case{2, U'Z', U'×'}, Case{3, U'1', U'%'},
                          Case{3, U'z', U' '}, Case{5, U'-', U'1'}, Case{6, U'b', U'2'}}) {
        EXPECT_TRUE(corvana::MaskAccepts(layout, c.position, c.accepted)) << c.position;
        EXPECT_FALSE(corvana::MaskAccepts(layout, c.position, c.refused)) << c.position;
    }
    EXPECT_TRUE(corvana::MaskAccepts(layout, 4, U'%')) << "C takes any character";
    EXPECT_FALSE(corvana::MaskAccepts(layout, 7, U'1')) << "beyond the mask";
}

TEST(MaskFormat, CompleteAndBlank) {
    const corvana::MaskSpec layout = ParseMask("00-99;0;_");
    EXPECT_TRUE(corvana::MaskComplete(layout, "12-__"));
    EXPECT_FALSE(corvana::MaskComplete(layout, "1_-34"));
    EXPECT_FALSE(corvana::MaskComplete(layout, "1x-34")) << "a filled position must be accepted";
    EXPECT_FALSE(corvana::MaskComplete(layout, "1"))
        << "a short text leaves required positions open";
    EXPECT_TRUE(corvana::MaskBlank(layout, "__-__"));
    EXPECT_TRUE(corvana::MaskBlank(layout, ""));
    EXPECT_FALSE(corvana::MaskBlank(layout, "__-_3"));
    EXPECT_FALSE(corvana::MaskBlank(layout, "__-__x"));
}

TEST(MaskFormat, Utf8CodePointsAndInvalidBytes) {
    EXPECT_EQ(FormatMaskText("cc-cc;0;_", "áéíó"), "áé-íó");
    EXPECT_EQ(FormatMaskText("ºc;0;_", "º1"), "º1") << "a non-ASCII literal is consumed";
    EXPECT_EQ(FormatMaskText("ºc;0;•", ""), "º•");

    // A bad byte takes one position, as U+FFFD; an overlong form is two.
    EXPECT_EQ(FormatMaskText("c-c;0;_", "a\xFF\xC3"), "a-\uFFFD\uFFFD");
    EXPECT_EQ(FormatMaskText("c-c-c;0;_", "\xC0\x80"), "\uFFFD-\uFFFD-_");
}

}  // namespace
