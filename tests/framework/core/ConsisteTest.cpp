#include <gtest/gtest.h>

#include "corvana/core/Consiste.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/Error.h"

namespace {

using corvana::services::ScriptedDialogs;
using corvana::services::ScriptedServicesScope;

TEST(ConsisteBlanks, EmptyStringAndAllTrim) {
    EXPECT_TRUE(Consiste::EmptyString(""));
    EXPECT_TRUE(Consiste::EmptyString(" \t  \r\n"));
    EXPECT_FALSE(Consiste::EmptyString("  x "));
    EXPECT_FALSE(Consiste::EmptyString("ã"));

    EXPECT_EQ(Consiste::AllTrim("\t Maria  José \n"), "Maria  José");
    EXPECT_EQ(Consiste::AllTrim("   "), "");
    EXPECT_EQ(Consiste::AllTrim("x"), "x");
}

TEST(ConsisteAjusta, PadsTrimsAndKeepsLongerText) {
    EXPECT_EQ(Consiste::Ajusta("1", 4), "0001");
    EXPECT_EQ(Consiste::Ajusta(" 12 ", 10), "0000000012");
    EXPECT_EQ(Consiste::Ajusta("ABC", 10), "0000000ABC");
    EXPECT_EQ(Consiste::Ajusta("12345", 2), "12345");
    EXPECT_EQ(Consiste::Ajusta("  12345  ", 5), "12345");
    EXPECT_EQ(Consiste::Ajusta("", 3), "000");
    EXPECT_EQ(Consiste::Ajusta("7", 0), "7");
    EXPECT_EQ(Consiste::Ajusta("7", -3), "7");
    // Width counts characters, not bytes.
    EXPECT_EQ(Consiste::Ajusta("ção", 5), "00ção");
}

TEST(ConsisteAjustaInscricao, MaskedNumbersLoseTheirMask) {
    std::string cpf = "C123.456.789-01";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(cpf), "12345678901");
    EXPECT_EQ(cpf, "12345678901") << "the argument is rewritten in place";

    std::string cnpj = "C12.345.678/0001-95";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(cnpj), "12345678000195");

    std::string typed = "C (11) 2_3,4:5;6\\7 ";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(typed), "11234567");
}

TEST(ConsisteAjustaInscricao, BlanksCaseAndOtherCharacters) {
    std::string spaced = "C 123 456\t789 ";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(spaced), "123456789");

    std::string letters = "Cisento-ab.1";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(letters), "ISENTOAB1");

    // Characters outside the mask set are kept; accented letters are not
    // ASCII and stay as typed.
    std::string other = "Cé*+1";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(other), "é*+1");
}

TEST(ConsisteAjustaInscricao, PlaceholderAndEmpty) {
    for (std::string text : {"C*", "C  * ", "C", "", "C   ", "C.-/"}) {
        const std::string original = text;
        EXPECT_EQ(Consiste::Ajusta_Inscricao(text), "") << original;
        EXPECT_EQ(text, "") << original;
    }
    std::string twoStars = "C**";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(twoStars), "**");
}

TEST(ConsisteAjustaInscricao, StoredFormIsAFixedPoint) {
    for (std::string typed :
         {"C123.456.789-01", "C12.345.678/0001-95", "Cisento", "C 1a-2b ", "Cé*+1"}) {
        const std::string stored = Consiste::Ajusta_Inscricao(typed);
        std::string again = "C" + stored;
        EXPECT_EQ(Consiste::Ajusta_Inscricao(again), stored);
    }
}

TEST(ConsisteAjustaInscricao, TextWithoutLeadingCIsNormalisedWhole) {
    std::string text = "123.456-x";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(text), "123456X");
    // A lower-case "c" is not the prefix: it is a letter of the number.
    std::string lower = "c12";
    EXPECT_EQ(Consiste::Ajusta_Inscricao(lower), "C12");
}

TEST(ConsistePictPess, MaskPerPersonType) {
    EXPECT_EQ(Consiste::PictPess("F"), "999.999.999-99;0;_");
    EXPECT_EQ(Consiste::PictPess("J"), "99.999.999/9999-99;0;_");
    EXPECT_EQ(Consiste::PictPess(" j "), "99.999.999/9999-99;0;_");
    EXPECT_EQ(Consiste::PictPess(""), "");
    EXPECT_EQ(Consiste::PictPess("E"), "");
    EXPECT_EQ(Consiste::PictPess("FJ"), "");
}

TEST(ConsisteMensErro, ShownOnceThenAbort) {
    ScriptedServicesScope services;
    try {
        Consiste::MensErro("Informe o nome do convidado.", true);
        FAIL() << "MensErro with abort must raise";
    } catch (const corvana::EAbort& e) {
        EXPECT_STREQ(e.what(), "Informe o nome do convidado.");
    }
    ASSERT_EQ(services.dialogs.Messages().size(), 1u);
    EXPECT_EQ(
        services.dialogs.Messages()[0],
        (ScriptedDialogs::Shown{ScriptedDialogs::Shown::Error, "Informe o nome do convidado."}));
}

TEST(ConsisteMensErro, WithoutAbortOnlyShows) {
    ScriptedServicesScope services;
    EXPECT_NO_THROW(Consiste::MensErro("Aviso de teste.", false));
    EXPECT_EQ(services.dialogs.Errors(), std::vector<std::string>{"Aviso de teste."});
}

TEST(ConsisteCheckResultServ, GoodAnswerPassesUnchanged) {
    ScriptedServicesScope services;
    const corvana::Variant answer(std::string("ok"));
    EXPECT_EQ(Consiste::CheckResultServ(answer, true, 0), answer);
    EXPECT_EQ(Consiste::CheckResultServ(corvana::Variant(), false, 0), corvana::Variant());
    EXPECT_TRUE(services.dialogs.Messages().empty());
}

TEST(ConsisteCheckResultServ, ServerErrorIsShownOnceAndAborts) {
    ScriptedServicesScope services;
    const auto answer = corvana::Variant::serverError("Orçamento bloqueado por outro usuário.");
    EXPECT_THROW(Consiste::CheckResultServ(answer, true, 0), corvana::EAbort);
    EXPECT_EQ(services.dialogs.Errors(),
              std::vector<std::string>{"Orçamento bloqueado por outro usuário."});
    EXPECT_EQ(services.dialogs.Messages().size(), 1u);
}

TEST(ConsisteCheckResultServ, SilentModeRaisesPlainErrorWithoutShowing) {
    ScriptedServicesScope services;
    const auto answer = corvana::Variant::serverError("Falha no servidor.");
    try {
        Consiste::CheckResultServ(answer, false, 0);
        FAIL() << "a server error must raise";
    } catch (const corvana::EAbort&) {
        FAIL() << "silent mode must raise corvana::Error, not EAbort (nothing was shown)";
    } catch (const corvana::Error& e) {
        EXPECT_STREQ(e.what(), "Falha no servidor.");
    }
    EXPECT_TRUE(services.dialogs.Messages().empty());
}

}  // namespace
