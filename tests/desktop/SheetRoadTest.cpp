// The guest list's spreadsheet tools in a real window: a CSV imported
// through the wizard's three steps (the tool bar button, the file typed,
// the columns guessed, the preview, the import, the report in the host's
// record list, the list reloaded); the grid's find box moving to a guest
// typed without accents, and closed with Escape.
#include <fstream>

#include "DesktopSession.h"

namespace desktop {

namespace {

// The Portuguese letters with accents as a person types them without.
std::string WithoutAccents(const std::string& text) {
    static const std::vector<std::pair<std::string, char>> letters = {
        {"á", 'a'}, {"à", 'a'}, {"â", 'a'}, {"ã", 'a'}, {"ä", 'a'}, {"é", 'e'},
        {"ê", 'e'}, {"è", 'e'}, {"í", 'i'}, {"î", 'i'}, {"ó", 'o'}, {"ô", 'o'},
        {"õ", 'o'}, {"ö", 'o'}, {"ú", 'u'}, {"ü", 'u'}, {"ç", 'c'}, {"ñ", 'n'},
        {"Á", 'A'}, {"Â", 'A'}, {"Ã", 'A'}, {"É", 'E'}, {"Ê", 'E'}, {"Í", 'I'},
        {"Ó", 'O'}, {"Ô", 'O'}, {"Õ", 'O'}, {"Ú", 'U'}, {"Ç", 'C'}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [accented, plain] : letters) {
            if (text.compare(i, accented.size(), accented) == 0) {
                out += plain;
                i += accented.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

}  // namespace

using SheetRoad = DesktopTest;

TEST_F(SheetRoad, ACsvGoesThroughTheWizardsThreeSteps) {
    StartOnTheTestList();
    LoadList();
    const int rows = Dump().gridRows;
    const std::optional<std::string> existing = PlainGuestName();
    ASSERT_TRUE(existing.has_value());
    // A Portuguese spreadsheet's CSV: Windows-1252, ";", a header.
    std::ofstream(dir / "planilha.csv", std::ios::binary)
        << "Nome;RG;Qtd\r\n"
        << "Jos\xE9 da Planilha;12.345.678-9;2\r\n"
        << *existing << ";;1\r\n"
        << ";;\r\n";

    Click("sbtImpPlanilha");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Importar planilha"; }));
    Click("edtArquivo");
    Type((dir / "planilha.csv").string());
    Click("sbtAvancar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().widgets.count("tblColunas") == 1; }));
    Snapshot s = Dump();
    EXPECT_EQ(s.Text("cmbCampo1"), "Nome");
    EXPECT_EQ(s.Text("cmbCampo2"), "R.G.");
    EXPECT_EQ(s.Text("cmbCampo3"), "Quantidade");
    EXPECT_EQ(Calls("GetImpPlanilha"), 0);

    Click("sbtAvancar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().widgets.count("lblContagem") == 1; }));
    EXPECT_EQ(Dump().Text("lblContagem"),
              "3 linhas lidas: 1 será adicionada, 1 recusada, 1 em branco.");
    EXPECT_EQ(Calls("GetImpPlanilha"), 1);
    EXPECT_EQ(Query("SELECT COUNT(*) FROM LISTACONVOREV WHERE NMLISTACONVOREV = 'José da "
                    "Planilha'"),
              "0");

    Click("sbtImportar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Lista de Registros"; }));
    const Snapshot report = Dump();
    EXPECT_EQ(report.gridRows, 3);
    EXPECT_EQ(report.Text("lblTitulo"),
              "Planilha importada: 3 linhas lidas = 1 adicionada + 1 recusada + 1 em branco. "
              "Resultado de cada linha da planilha:");
    EXPECT_EQ(Calls("GetImpPlanilha"), 2);
    Click("sbtFechar");
    ASSERT_TRUE(WaitUntil([&] { return Calls("GetConvOrceve") == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return Dump().gridRows == rows + 1; }));
    EXPECT_EQ(Query("SELECT NRRGLISTAOREV || '/' || QUANTIDADE FROM LISTACONVOREV WHERE "
                    "NRORCAEVENTO = '0000001001' AND NRSEQORCAEVE = '01' AND NMLISTACONVOREV = "
                    "'José da Planilha'"),
              "12.345.678-9/2.0");
    EXPECT_EQ(Messages().size(), 0u);
}

TEST_F(SheetRoad, TheFindBoxMovesToAGuestTypedWithoutAccents) {
    StartOnTheTestList();
    LoadList();
    // The last guest of the list whose name has an accent.
    const std::optional<std::string> name = Query(
        "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' AND "
        "NRSEQORCAEVE = '01' AND NMLISTACONVOREV GLOB '*[^ -~]*' ORDER BY NRLISTACONVOREV DESC "
        "LIMIT 1");
    ASSERT_TRUE(name.has_value()) << "no accented name on the demo list";
    const std::optional<std::string> position = Query(
        "SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' AND "
        "NRSEQORCAEVE = '01' AND NRLISTACONVOREV < (SELECT NRLISTACONVOREV FROM "
        "LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' AND NRSEQORCAEVE = '01' AND "
        "NMLISTACONVOREV = '" +
        *name + "')");
    ASSERT_TRUE(position.has_value());
    const int row = std::stoi(*position);
    ASSERT_NE(Dump().gridCurrent, row);

    Key("ctrl+f");
    ASSERT_TRUE(WaitUntil([&] { return Dump().focus == "frmListConv.edtLocalizar"; }));
    const std::string typed = WithoutAccents(*name);
    ASSERT_NE(typed, *name);
    Type(typed);
    ASSERT_TRUE(WaitUntil([&] { return Dump().gridCurrent == row; })) << typed;
    EXPECT_EQ(Dump().Text("lblLocalizar"), "");

    Key("Escape");
    ASSERT_TRUE(WaitUntil([&] { return Dump().focus == "frmListConv.dbgPadrao"; }));
    const Snapshot s = Dump();
    EXPECT_EQ(s.widgets.count("panLocalizar"), 0u);
    EXPECT_EQ(s.gridCurrent, row);
    EXPECT_EQ(Calls("GetConvOrceve"), 1);
    EXPECT_EQ(Messages().size(), 0u);
}

}  // namespace desktop
