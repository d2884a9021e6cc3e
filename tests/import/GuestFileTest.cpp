// How the bytes of a guest file become lines: the encoding chosen, what the
// code page leaves undefined, and the line ends.
#include <gtest/gtest.h>

#include "import/GuestFile.h"

namespace {

struct Decoded {
    std::string text;
    GuestFileEncoding encoding;
    bool operator==(const Decoded&) const = default;
};

Decoded Decode(std::string_view bytes) {
    Decoded d{{}, GuestFileEncoding::Windows1252};
    d.text = DecodeGuestFile(bytes, d.encoding);
    return d;
}

std::vector<std::string> Names(std::string_view text) {
    std::vector<std::string> names;
    for (const GuestLine& line : CutGuestLines(text)) names.push_back(line.name);
    return names;
}

}  // namespace

TEST(GuestFile, TheEncodingIsChosenFromTheBytes) {
    using E = GuestFileEncoding;
    EXPECT_EQ(Decode("Ana"), (Decoded{"Ana", E::Windows1252}));
    EXPECT_EQ(Decode("Jos\xE9 \x80"), (Decoded{"José €", E::Windows1252}));
    EXPECT_EQ(Decode("José"), (Decoded{"José", E::Utf8}));
    EXPECT_EQ(Decode("\xEF\xBB\xBF"
                     "Ana"),
              (Decoded{"Ana", E::Utf8}));
    EXPECT_EQ(Decode(std::string_view("\xFF\xFE"
                                      "A\0n\0\xE1\0",
                                      8)),
              (Decoded{"Aná", E::Utf16LE}));
    EXPECT_EQ(Decode(std::string_view("\xFE\xFF"
                                      "\0A\0n\0\xE1",
                                      8)),
              (Decoded{"Aná", E::Utf16BE}));
    // After a UTF-8 mark, each byte outside a well-formed sequence is one
    // U+FFFD: a five-byte form, a code point above U+10FFFF, a surrogate.
    EXPECT_EQ(
        Decode("\xEF\xBB\xBF"
               "a\xFB\x81\x81\x81\x81"
               "b\xF4\x90\x80\x80"
               "c\xED\xA0\x80"),
        (Decoded{"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFD",
                 E::Utf8}));
    // UTF-8 broken once is no UTF-8: every byte is a Windows-1252 letter.
    EXPECT_EQ(Decode("Jos\xC3\xA9 Jos\xE9"), (Decoded{"JosÃ© José", E::Windows1252}));
    // The five bytes Windows-1252 leaves undefined.
    EXPECT_EQ(Decode("a\x81\x8D\x8F\x90\x9D"
                     "b"),
              (Decoded{"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDb", E::Windows1252}));
}

TEST(GuestFile, LinesEndAtLfCrLfOrALoneCrAndAFinalCtrlZIsNoLine) {
    EXPECT_EQ(Names("Ana\r\nBia\nCaio\rDora\r\n\x1A"),
              (std::vector<std::string>{"Ana", "Bia", "Caio", "Dora"}));
    EXPECT_EQ(Names("Ana\r\n\r\nBia"), (std::vector<std::string>{"Ana", "Bia"}));
    // Non-breaking spaces are blanks and zero-width characters nothing: a line
    // of them is blank. A control character stays, for the server to refuse.
    EXPECT_EQ(Names("\u00A0\u200B\t\u2060\nBia\u00A0Lima\u202F\nCaio\x1B"),
              (std::vector<std::string>{"Bia Lima", "Caio\x1B"}));
    // Columns count characters: "é" is one, though two bytes.
    const auto cut = CutGuestLines(std::string(79, 'x') + "éRG 1\r\n");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0], (GuestLine{std::string(79, 'x') + "é", "RG 1"}));
}

TEST(GuestFile, TheRgKeepsItsFirst20CharactersWithoutEdgeBlanks) {
    // Each R.G. is cut at 20 characters just after a blank or a tab.
    const std::string name(80, 'x');
    std::string accents;
    for (int i = 0; i < 19; ++i) accents += "\u00c9";
    const auto cut = CutGuestLines(name + "\t 12.345.678-9 MG     SSP\r\n" + name +
                                   "1234567890123456789\t\t\t9\n" + name + accents + " x");
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[0].rg, "12.345.678-9 MG");
    EXPECT_EQ(cut[1].rg, "1234567890123456789");
    EXPECT_EQ(cut[2].rg, accents);
}
