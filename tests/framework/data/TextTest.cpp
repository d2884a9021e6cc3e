#include "corvana/data/Text.h"

#include <gtest/gtest.h>

using namespace corvana;

TEST(TextTest, LengthCountsCodePointsAndEachInvalidByte) {
    EXPECT_EQ(utf8Length(""), 0u);
    EXPECT_EQ(utf8Length("José"), 4u);
    EXPECT_EQ(utf8Length("€😀"), 2u);
    // A truncated sequence, a stray continuation byte, an overlong NUL and a
    // byte that never starts a sequence: each byte is one character.
    EXPECT_EQ(utf8Length("a\xE2\x82"), 3u);
    EXPECT_EQ(utf8Length("\x80z"), 2u);
    EXPECT_EQ(utf8Length("\xC0\x80"), 2u);
    EXPECT_EQ(utf8Length("\xFF"), 1u);
}

TEST(TextTest, TruncateNeverSplitsACodePoint) {
    EXPECT_EQ(utf8Truncate("Conceição", 7), "Conceiç");
    EXPECT_EQ(utf8Truncate("ÇÃO", 2), "ÇÃ");
    EXPECT_EQ(utf8Truncate("😀x", 1), "😀");
    EXPECT_EQ(utf8Truncate("abc", 10), "abc");
    EXPECT_EQ(utf8Truncate("abc", 0), "");
    // Invalid bytes count as one character each and are kept as they are.
    EXPECT_EQ(utf8Truncate("\xE2\x82z", 2), "\xE2\x82");
    EXPECT_EQ(utf8Truncate("ç\xFFé", 2), "ç\xFF");
}

TEST(TextTest, FoldAndUpperCaseCoverAccentedLatinLetters) {
    EXPECT_EQ(foldCase("JOSÉ"), "josé");
    EXPECT_EQ(foldCase("ÇÃO Ñ Ü"), "ção ñ ü");
    EXPECT_EQ(foldCase("ŁÓDŹ ŒŸ"), "łódź œÿ");
    EXPECT_EQ(foldCase("İ"), "i");
    EXPECT_EQ(foldCase("× ß Ω"), "× ß Ω");  // no lower-case form in range
    EXPECT_EQ(upperCase("ação é ÿ ő ž"), "AÇÃO É Ÿ Ő Ž");
    EXPECT_EQ(upperCase("ß ĸ ÷"), "ß ĸ ÷");
    EXPECT_TRUE(equalsIgnoreCase("São Paulo", "SÃO PAULO"));
    EXPECT_FALSE(equalsIgnoreCase("Sao Paulo", "SÃO PAULO"));
}

TEST(TextTest, CaseMappingPassesInvalidBytesThrough) {
    EXPECT_EQ(foldCase("A\xC3(B\xFF"), "a\xC3(b\xFF");
    EXPECT_EQ(upperCase("a\xC3(b\xFF"), "A\xC3(B\xFF");
    // An overlong form of 'A' must not be read as the letter.
    EXPECT_EQ(foldCase("\xC1\x81"), "\xC1\x81");
    // A sequence cut at the end of the text.
    EXPECT_EQ(foldCase("É\xC3"), "é\xC3");
    EXPECT_EQ(upperCase(std::string("\0é", 3)), std::string("\0É", 3));
}

TEST(TextTest, TrimBlanksRemovesEdgeWhitespaceOnly) {
    EXPECT_EQ(trimBlanks(" \t\r\n João  Silva \n"), "João  Silva");
    EXPECT_EQ(trimBlanks(" \t \r\n"), "");
    EXPECT_EQ(trimBlanks(""), "");
    EXPECT_EQ(trimBlanks("\xA0x\xA0"), "\xA0x\xA0");
}

TEST(TextTest, ValidUtf8RejectsMalformedSequences) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("José € 😀 \xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(isValidUtf8("\x80"));              // stray continuation
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));      // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("ab\xE2\x82"));        // cut short
    EXPECT_FALSE(isValidUtf8("\xC3("));             // bad continuation
}
