// The host's file dialogs in a real window, every word of them Portuguese:
// Qt's own texts (a few missing from Qt's catalog), the kinds of files and
// folders, and the sizes and dates of the list in the pt_BR locale whatever
// the system's (LANG is often C, which writes "3 Dec 2024").
#include <utime.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <regex>

#include "DesktopSession.h"

namespace desktop {

namespace {

// The English words of Qt's file dialogs and of dates in the C locale.
const std::regex kEnglish(
    R"(\b(Look in|File name|Files of type|Open|Save|Cancel|Name|Size|Type|Date Modified|)"
    R"(Folder|File|Drive|Computer|Back|Forward|Parent Directory|Create New Folder|List View|)"
    R"(Detail View|Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\b)");

// The texts holding an English word (shortcut marks left out).
std::vector<std::string> English(const std::vector<std::string>& texts) {
    std::vector<std::string> found;
    for (std::string text : texts) {
        text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
        if (std::regex_search(text, kEnglish)) found.push_back(text);
    }
    return found;
}

bool Has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// 3 December 2024 at 10:00 local time, a month whose English name differs.
constexpr const char* kShownDate = "03/12/2024 10:00";
void DateInDecember(const std::filesystem::path& path) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 3;
    when.tm_hour = 10;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    const utimbuf times{t, t};
    ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

}  // namespace

using FileDialogTexts = DesktopTest;

TEST_F(FileDialogTexts, TheImportsOpenAndTheRecordListsSaveDialogsArePortuguese) {
    StartOnTheTestList();
    LoadList();
    // What the dialogs list: a folder, the file to import (a guest of the
    // list, refused, so that the record list opens) and a list saved before.
    const std::optional<std::string> existing = PlainGuestName();
    ASSERT_TRUE(existing.has_value());
    std::filesystem::create_directory(dir / "pasta");
    std::ofstream(dir / "convidados.txt", std::ios::binary) << *existing << "\r\n";
    std::ofstream(dir / "anterior.csv", std::ios::binary) << "Linha,Nome,RG\r\n";
    for (const char* name : {"pasta", "convidados.txt", "anterior.csv"}) DateInDecember(dir / name);

    Click("sbtImpArq");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Importar Lista de Convidados"; }));
    Type(dir.string() + "/");
    Click("btnImpArq");
    std::vector<std::string> texts;
    // The list fills in the background.
    ASSERT_TRUE(WaitUntil([&] {
        texts = Texts();
        return Has(texts, "Abrir arquivo") && Has(texts, "pasta") && Has(texts, "convidados.txt");
    }));
    EXPECT_EQ(English(texts), std::vector<std::string>{});
    EXPECT_TRUE(Has(texts, kShownDate));
    Type("convidados.txt");
    Key("Return");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Importar Lista de Convidados"; }));

    Click("sbtImpArq");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Lista de Registros"; }));
    Click("sbtSalvar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Salvar arquivo"; }));
    // It opens on the host's current folder: into the test's.
    Key("ctrl+a");
    Type(dir.string());
    Key("Return");
    ASSERT_TRUE(WaitUntil([&] {
        texts = Texts();
        return Has(texts, "Salvar arquivo") && Has(texts, "pasta") && Has(texts, "anterior.csv");
    }));
    EXPECT_EQ(English(texts), std::vector<std::string>{});
    EXPECT_TRUE(Has(texts, kShownDate));
}

}  // namespace desktop
