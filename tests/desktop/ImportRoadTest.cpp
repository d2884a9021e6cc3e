// One import in a real window: the guest list's import button, a file name
// typed and then picked in the file dialog, the import, the refused guest in
// the host's record list (saved as CSV), and the guest list reloaded when
// the import window closes.
#include <fstream>
#include <sstream>

#include "DesktopSession.h"

namespace desktop {

using ImportRoad = DesktopTest;

TEST_F(ImportRoad, GuestsLandOnTheListAndTheRefusedOneIsListed) {
    StartOnTheTestList();
    LoadList();
    const int rows = Dump().gridRows;
    // A guest of the list whose name is plain ASCII, so that it reads the
    // same in the Windows-1252 file.
    const std::optional<std::string> existing = PlainGuestName();
    ASSERT_TRUE(existing.has_value());
    std::ofstream(dir / "convidados.txt", std::ios::binary)
        << "Jos\xE9 da Concei\xE7\xE3o" << std::string(63, ' ') << "12.345.678-9\r\n"
        << "Maria Fran\xE7"
           "a\r\n"
        << *existing << "\r\n";

    Click("sbtImpArq");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Importar Lista de Convidados"; }));
    Type(dir.string() + "/");
    Click("btnImpArq");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Abrir arquivo"; }));
    Type("convidados.txt");
    Key("Return");
    ASSERT_TRUE(WaitUntil([&] {
        const Snapshot s = Dump();
        return s.active == "Importar Lista de Convidados" &&
               s.Text("edtImpArq") == (dir / "convidados.txt").string();
    }));

    Click("sbtImpArq");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Lista de Registros"; }));
    const Snapshot list = Dump();
    EXPECT_EQ(list.gridRows, 1);
    EXPECT_EQ(
        list.Text("lblTitulo"),
        "Os seguintes convidados não foram importados por terem Nome/RG já cadastrados na lista:");
    EXPECT_EQ(list.Text("lblQtde"), "1 registro");
    EXPECT_EQ(Calls("GetImpLista"), 1);

    // Saved under a name typed without its extension.
    Click("sbtSalvar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Salvar arquivo"; }));
    Key("ctrl+a");
    Type((dir / "recusados").string());
    Key("Return");
    ASSERT_TRUE(WaitForMessage("Lista gravada em", 0));
    Answer("Return");
    std::ostringstream csv;
    csv << std::ifstream(dir / "recusados.csv").rdbuf();
    EXPECT_EQ(csv.str(), "\xEF\xBB\xBFLinha,Nome,RG\r\n3," + *existing + ",\r\n");

    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Lista de Registros"; }));
    Click("sbtFechar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Importar Lista de Convidados"; }));
    Click("sbtFechar");
    ASSERT_TRUE(WaitUntil([&] { return Calls("GetConvOrceve") == 2; }));
    EXPECT_EQ(Dump().gridRows, rows + 2);
    EXPECT_EQ(Query("SELECT NRRGLISTAOREV FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' AND "
                    "NRSEQORCAEVE = '01' AND NMLISTACONVOREV = 'José da Conceição'"),
              "12.345.678-9");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' AND "
                    "NRSEQORCAEVE = '01' AND NMLISTACONVOREV = 'Maria França'"),
              "1");
    EXPECT_EQ(Messages().size(), 1u);  // the CSV saved, nothing else
}

}  // namespace desktop
