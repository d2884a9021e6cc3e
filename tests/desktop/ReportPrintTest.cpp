// The road of one report in the real window: the guest list's print button
// opens the report screen with the list's values, the user picks a
// definition and prints, the preview shows the pages, and "Salvar PDF"
// writes a PDF that reads back with the guests of the list.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "DesktopSession.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The PDF's text as pdftotext reads it (empty when it cannot).
std::string PdfText(const fs::path& pdf) {
    std::string text;
    const std::string command = "pdftotext -layout -enc UTF-8 '" + pdf.string() + "' - 2>/dev/null";
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
        pclose(p);
    }
    return text;
}

class ReportPrint : public desktop::DesktopTest {
protected:
    // Waits for the host to show a window of its own with this title.
    bool WaitForWindow(const std::string& title) {
        return desktop::WaitUntil([&] {
            return ReadFile(dir / "ui.log").find("window " + title + "\n") != std::string::npos;
        });
    }
    bool WaitForActive(const std::string& title) {
        return desktop::WaitUntil([&] { return Dump().active == title; });
    }
};

}  // namespace

TEST_F(ReportPrint, TheGuestListIsPrintedToAPdfFromThePreview) {
    if (std::system("pdftotext -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (poppler-utils) não está instalado";
    const std::string budget = "0000001001";
    fs::create_directories(dir / "reports");
    for (const auto& entry : fs::directory_iterator(EVT_REPORT_DEFINITIONS))
        fs::copy_file(entry.path(), dir / "reports" / entry.path().filename());
    StartServer();
    StartHost({"0001", "Matriz", budget, "01"});

    // Leaving the filter panel for the grid loads the list; printing needs
    // guests.
    Click("dbgPadrao");
    ASSERT_TRUE(desktop::WaitUntil([&] { return Dump().Enabled("sbtImprimir"); }));
    Click("sbtImprimir");
    ASSERT_TRUE(WaitForWindow("Lista de Convidados"));
    ASSERT_TRUE(WaitForActive("Lista de Convidados"));
    desktop::Snapshot report = Dump();
    EXPECT_EQ(report.Text("lblCodTela"), "EVT07801");
    EXPECT_EQ(report.Text("medCdFilial"), "0001");
    EXPECT_EQ(report.Text("edtNmFilial"), "Matriz");
    EXPECT_EQ(report.Text("medOrcamento"), budget);
    EXPECT_EQ(report.Text("edtSeq"), "01");

    // The list of definitions has the focus: down to the one wanted.
    for (int i = 0; i < 3 && report.Text("cbbReportNames") != "Lista de Convidados por Nome"; ++i) {
        Key("Down");
        report = Dump();
    }
    ASSERT_EQ(report.Text("cbbReportNames"), "Lista de Convidados por Nome");
    Click("sbtImprimir");
    const std::string preview = "Lista de Convidados por Nome — Visualização da impressão";
    ASSERT_TRUE(WaitForWindow(preview));
    ASSERT_TRUE(WaitForActive(preview));

    const fs::path pdf = dir / "convidados.pdf";
    Click("tbtSalvarPdf");
    ASSERT_TRUE(WaitForWindow("Salvar arquivo"));
    ASSERT_TRUE(WaitForActive("Salvar arquivo"));
    Key("ctrl+a");
    Type(pdf.string());
    Key("Return");
    ASSERT_TRUE(WaitForMessage("Relatório salvo em '" + pdf.string() + "'.", 0));
    Answer("Return");

    const std::string text = PdfText(pdf);
    ASSERT_FALSE(text.empty()) << pdf;
    const std::string where = "FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = '" +
                              budget + "' AND NRSEQORCAEVE = '01'";
    const std::string count = Query("SELECT COUNT(*) " + where).value_or("?");
    EXPECT_NE(text.find("Lista de Convidados por Nome"), std::string::npos);
    EXPECT_NE(text.find("Página 1 de 1"), std::string::npos);
    EXPECT_NE(text.find("Convidados: " + count + " nesta página"), std::string::npos) << text;
    std::istringstream names(
        Query("SELECT group_concat(NMLISTACONVOREV, '|') " + where).value_or(""));
    int seen = 0;
    for (std::string name; std::getline(names, name, '|'); ++seen)
        EXPECT_NE(text.find(name), std::string::npos) << name;
    EXPECT_EQ(std::to_string(seen), count);

    // Closing the preview goes back to the report screen, and closing that
    // to the guest list.
    ASSERT_TRUE(WaitForActive(preview));
    Key("Escape");
    ASSERT_TRUE(WaitForActive("Lista de Convidados"));
    Click("sbtFechar");
    ASSERT_TRUE(WaitForActive("Corvana Eventos"));
    EXPECT_EQ(QuitHost(), 0);
}
