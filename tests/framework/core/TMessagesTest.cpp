#include <gtest/gtest.h>

#include "corvana/core/TMessages.h"

namespace {

TEST(TMessages, FindsTextByExactKey) {
    corvana::TMessages messages;
    messages.Add("MSG001|Convidado já incluído neste orçamento.");
    messages.Add("MSG0011|Outro texto.");
    messages.Add("msg002|minúsculo");
    EXPECT_EQ(messages.Msg("MSG001"), "Convidado já incluído neste orçamento.");
    EXPECT_EQ(messages.Msg("MSG0011"), "Outro texto.");
    EXPECT_EQ(messages.Msg("msg002"), "minúsculo");
    EXPECT_EQ(messages.Msg("MSG002"), "MSG002") << "keys are case-sensitive";
    EXPECT_EQ(messages.Msg("MSG00"), "MSG00") << "a key prefix is not a match";
}

TEST(TMessages, MissingKeyGivesTheKey) {
    corvana::TMessages messages({"A|a", "sem barra"});
    EXPECT_EQ(messages.Msg("B"), "B");
    EXPECT_EQ(messages.Msg("sem barra"), "sem barra");
    EXPECT_EQ(messages.Msg(""), "");
}

TEST(TMessages, TextKeepsItsOwnBarsAndFirstLineWins) {
    corvana::TMessages messages;
    messages.SetLines({"TIT|Convidados|Nenhum convidado cadastrado.", "TIT|segunda", "VAZIO|"});
    EXPECT_EQ(messages.Msg("TIT"), "Convidados|Nenhum convidado cadastrado.");
    EXPECT_EQ(messages.Msg("VAZIO"), "") << "an empty text is a found message";
    EXPECT_EQ(messages.Lines().size(), 3u);

    messages.SetLines({"TIT|novo"});
    EXPECT_EQ(messages.Msg("TIT"), "novo") << "SetLines replaces the table";
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{"TIT|novo"});
}

}  // namespace
