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

TEST(TextTest, DecodingGivesOneReplacementCharacterPerBadByte) {
    EXPECT_EQ(decodeUtf8("aç€😀"), U"aç€😀");
    // A sequence cut short, a bad continuation, an overlong form, a
    // surrogate, a value above U+10FFFF and bytes that start nothing.
    EXPECT_EQ(decodeUtf8("a\xE2\x82z"), U"a\uFFFD\uFFFDz");
    EXPECT_EQ(decodeUtf8("\xC3("), U"\uFFFD(");
    EXPECT_EQ(decodeUtf8("\xE0\x80\xAF"), U"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(decodeUtf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(decodeUtf8("\xF4\x90\x80\x80"), std::u32string(4, kReplacementChar));
    EXPECT_EQ(decodeUtf8("\x80\xFF"), U"\uFFFD\uFFFD");
    const Utf8Char bad = decodeUtf8At("\xC3(", 0);
    EXPECT_FALSE(bad.valid);
    EXPECT_EQ(bad.length, 1u);

    EXPECT_EQ(encodeUtf8(U"aç€😀"), "aç€😀");
    // Encoding never writes a bad byte.
    EXPECT_EQ(encodeUtf8(std::u32string{0xD800, 0x110000}), "\uFFFD\uFFFD");
    EXPECT_EQ(encodeUtf8(decodeUtf8("a\xFF\xC3")), "a\uFFFD\uFFFD");
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
