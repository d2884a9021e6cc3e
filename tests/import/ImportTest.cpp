// The import screen against the real server: the file name's checks, the
// file's encodings and columns, the refused guests in the host's record
// list, and the guest list reloaded on close.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <filesystem>

#include "ImportScreen.h"
#include "storage/DemoData.h"

namespace fs = std::filesystem;
namespace demo = evt::server::storage::demo;
using Strings = std::vector<std::string>;

namespace {

constexpr const char* kSuccess = "Dados importados com sucesso.";
constexpr const char* kEmpty = "Arquivo se encontra vazio.";
constexpr const char* kRefusedHeading =
    "Os seguintes convidados não foram importados por terem Nome/RG já cadastrados na lista:";

// A line of the file: `name` in the name columns, padded with blanks to
// column 80 when an R.G. follows. Latin-1 bytes, which Windows-1252 reads
// the same for the letters used here.
std::string Line(const std::string& name, const std::string& rg = {}) {
    if (rg.empty()) return name;
    return name +
           std::string(80 - static_cast<std::size_t>(QString::fromLatin1(name).size()), ' ') + rg;
}

std::string Utf8(const std::string& latin1) {
    return QString::fromLatin1(latin1).toStdString();
}

std::string Utf16LE(const std::string& latin1) {
    const QString text = QString::fromLatin1(latin1);
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.utf16()),
                                    static_cast<std::size_t>(text.size()) * 2);
}

std::string Join(const std::vector<std::string>& lines, const std::string& end,
                 bool endLast = true) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (i + 1 < lines.size() || endLast ? end : "");
    return text;
}

// Runs the test with the process in another current folder, and back.
class CurrentFolder {
public:
    explicit CurrentFolder(const fs::path& folder) : before_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~CurrentFolder() { fs::current_path(before_); }

private:
    fs::path before_;
};

}  // namespace

class ImportTest : public ImportScreen {};

TEST_F(ImportTest, FileNameChecksComeInOrderAndACancelledDialogKeepsTheTypedName) {
    ASSERT_TRUE(OpenImport());
    const std::string missing = (dir / "falta.txt").string();
    WriteFile("aqui.txt", "Ana\n");
    CurrentFolder here(dir);
    Import("   ");
    Import("aqui.txt");  // no folder part, though the file is right here
    Import((dir / "nao-ha" / "lista.txt").string());
    Import(missing);
    EXPECT_EQ(Errors(),
              (Strings{"Arquivo de Importação deve ser informado.", "Diretório não existe.",
                       "Diretório não existe.", "Arquivo não existe."}));
    EXPECT_EQ(ImportCalls(), 0);
    EXPECT_EQ(fs::current_path(), dir);

    // The dialog starts at the typed name; a cancel keeps it, a pick replaces it.
    services.openFile.ExpectCancel();
    Click(imp->btnImpArq);
    EXPECT_EQ(imp->edtImpArq->Text(), missing);
    const std::string picked = WriteFile("escolhido.txt", "Ana\n");
    services.openFile.ExpectFile(picked);
    Click(imp->btnImpArq);
    EXPECT_EQ(imp->edtImpArq->Text(), picked);
    using Call = corvana::services::ScriptedOpenFile::Call;
    EXPECT_EQ(services.openFile.Calls(),
              (std::vector<Call>{{"Arquivos Texto (*.txt)|*.txt", missing},
                                 {"Arquivos Texto (*.txt)|*.txt", missing}}));
}

// A relative name with a folder part is read from the current folder, which
// the checks leave where it was (every other screen of the host shares it).
TEST_F(ImportTest, ARelativeNameIsReadFromTheCurrentFolderWhichStaysPut) {
    ASSERT_TRUE(OpenImport(demo::kEmptyListBudget, "01"));
    fs::create_directories(dir / "sub");
    WriteFile("sub/lista.txt", "Relativo da Silva\r\n");
    CurrentFolder here(dir);
    Import("sub/lista.txt");
    EXPECT_EQ(fs::current_path(), dir);
    EXPECT_EQ(Errors(), Strings{});
    EXPECT_EQ(services.dialogs.Informations(), Strings{kSuccess});
    EXPECT_EQ(StoredGuests(demo::kEmptyListBudget, "01"), (Guests{{"Relativo da Silva", "*"}}));
}

// The same lines as Windows-1252 with CR LF, as UTF-8 (with and without a
// byte-order mark, the last line without an end) and as UTF-16: columns
// count characters, so every file stores the same guests.
TEST_F(ImportTest, TheSameLinesInEveryEncodingStoreTheSameGuests) {
    ASSERT_TRUE(OpenImport(demo::kEmptyListBudget, "01"));
    const std::string line80 = Line("Jo\xE3o da Concei\xE7\xE3o", " ").substr(0, 80);
    const std::string line81 = Line("Maria Jos\xE9 M\xFCller", "7");
    ASSERT_EQ(QString::fromLatin1(line80).size(), 80);
    ASSERT_EQ(QString::fromLatin1(line81).size(), 81);
    const std::vector<std::string> lines = {
        Line("  Jos\xE9 Ant\xF4nio", "  12.345.678-9  "),
        Line(std::string(80, ' '), "99.999.999-9"),  // an R.G. without a name
        "",
        line80,
        line81,
        Line("\tAna L\xFA"
             "cia\t",
             "RG-1234567890123456789012345"),
        "   ",
        "\xC9rica Fran\xE7"
        "a",
    };
    const Guests expected = {{"José Antônio", "12.345.678-9"},
                             {"João da Conceição", "*"},
                             {"Maria José Müller", "7"},
                             {"Ana Lúcia", "RG-12345678901234567"},
                             {"Érica França", "*"}};
    std::vector<std::string> utf8;
    for (const std::string& line : lines) utf8.push_back(Utf8(line));
    const std::vector<std::pair<const char*, std::string>> files = {
        {"ansi.txt", Join(lines, "\r\n")},
        {"utf8.txt", Join(utf8, "\n", false)},
        {"utf8-bom.txt", "\xEF\xBB\xBF" + Join(utf8, "\r\n")},
        {"utf16.txt", Utf16LE(Join(lines, "\r\n"))},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        Sql("DELETE FROM LISTACONVOREV WHERE NRORCAEVENTO = ?", demo::kEmptyListBudget);
        services.dialogs.Clear();
        services.busy.Clear();
        tap->Clear();
        EXPECT_TRUE(RecordListsOpenedBy([&] { Import(WriteFile(name, bytes)); }).empty());
        EXPECT_EQ(Errors(), Strings{});
        EXPECT_EQ(services.dialogs.Informations(), Strings{kSuccess});
        EXPECT_EQ(StoredGuests(demo::kEmptyListBudget, "01"), expected);
        EXPECT_EQ(services.busy.Activations(), std::vector<int>{corvana::services::kBusySaving});
        EXPECT_FALSE(services.busy.Active());
    }

    // Each line read went ahead of the one before, with the list's keys as
    // the guest list screen shows them; that is what was sent.
    const corvana::ClientDataSet& read = imp->cdsListaImpArq;
    ASSERT_EQ(read.RecordCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < read.RecordCount(); ++row) {
        const auto& guest = expected[expected.size() - 1 - static_cast<std::size_t>(row)];
        EXPECT_EQ(read.FieldByName("NMLISTACONVOREV").ValueAt(row).toString(), guest.first);
        EXPECT_EQ(read.FieldByName("CDFILIAL").ValueAt(row).toString(), "0001");
        EXPECT_EQ(read.FieldByName("NRORCAEVENTO").ValueAt(row).toString(), demo::kEmptyListBudget);
        EXPECT_EQ(read.FieldByName("NRSEQORCAEVE").ValueAt(row).toString(), "01");
    }
    const auto sent = tap->ArgsOf("GetImpLista");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][0].asPacket(), read.Data());
}

TEST_F(ImportTest, AnEmptyOrBlankFileSendsNothing) {
    ASSERT_TRUE(OpenImport());
    Import(WriteFile("vazio.txt", ""));
    Import(WriteFile("brancos.txt",
                     "  \r\n\t\r\n\r\n" + Line(std::string(80, ' '), "12345") + "\r\n"));
    EXPECT_EQ(Errors(), (Strings{kEmpty, kEmpty}));
    EXPECT_EQ(ImportCalls(), 0);
    EXPECT_TRUE(services.busy.Activations().empty());
}

// A name already on the list, a name repeated in the file and a name longer
// than the list holds (its rest past column 80 taken as the R.G., columns
// counted in characters of the UTF-8 file) come back with their line
// numbers, past 999 too; the host's record list shows them under the
// heading, and saves them as CSV.
TEST_F(ImportTest, RefusedGuestsOpenTheRecordListWithTheirLineNumbers) {
    ASSERT_TRUE(OpenImport());
    const auto onList =
        SqlRow(1,
               "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND "
               "NRORCAEVENTO = ? AND NRSEQORCAEVE = '01' ORDER BY NRLISTACONVOREV LIMIT 1",
               kBudget);
    ASSERT_EQ(onList.size(), 1u);
    const std::string existing = *onList[0];
    const std::string quoted = "Silva, Ana \"Aninha\"";
    std::vector<std::string> lines = {quoted, existing};
    for (int i = 3; i <= 1000; ++i) lines.push_back("Convidado Novo " + std::to_string(i));
    lines.push_back(Line(quoted, "55.555.555-5"));
    const std::string longName = "Conceição " + std::string(70, 'C');
    lines.push_back(longName + "RG9");
    const long long before =
        Count("SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'",
              kBudget);
    const std::string csv = (dir / "recusados.csv").string();

    const auto shown =
        RecordListsOpenedBy([&] { Import(WriteFile("lista.txt", Join(lines, "\r\n"))); },
                            [&](QWidget& list) {
                                services.saveFile.ExpectFile(csv);
                                list.findChild<QToolButton*>("sbtSalvar")->click();
                            });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Lista de Registros");
    EXPECT_EQ(shown[0].heading, kRefusedHeading);
    EXPECT_EQ(shown[0].titles, (Strings{"Linha", "Nome", "RG"}));
    EXPECT_EQ(shown[0].rows, (std::vector<Strings>{{"2", existing, ""},
                                                   {"1001", quoted, "55.555.555-5"},
                                                   {"1002", longName, "RG9"}}));
    EXPECT_EQ(shown[0].count, "3 registros");
    EXPECT_EQ(Errors(), Strings{});
    EXPECT_EQ(services.dialogs.Informations(), Strings{"Lista gravada em \"" + csv + "\"."});
    EXPECT_EQ(
        Count("SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'",
              kBudget),
        before + 999);

    QFile saved(QString::fromStdString(csv));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(),
              "\xEF\xBB\xBFLinha,Nome,RG\r\n2," + existing +
                  ",\r\n1001,\"Silva, Ana \"\"Aninha\"\"\",55.555.555-5\r\n1002," + longName +
                  ",RG9\r\n");
}

// Both windows open at a size the user cannot change (a window manager then
// draws no resize strip under them) with all they hold inside: the import's
// buttons with their captions, the record list's columns filling its grid,
// the name's taking what the others leave.
TEST_F(ImportTest, TheWindowsShowAllTheyHoldAtAFixedSize) {
    auto expectFixedAndWhole = [](QWidget& window) {
        EXPECT_EQ(window.minimumSize(), window.maximumSize()) << window.objectName().toStdString();
        for (const QWidget* w : window.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->objectName().isEmpty()) continue;
            EXPECT_TRUE(window.rect().contains(QRect(w->mapTo(&window, QPoint()), w->size())))
                << w->objectName().toStdString();
        }
    };
    ASSERT_TRUE(OpenImport());
    imp->Show();
    Settle();
    expectFixedAndWhole(*imp);
    for (const corvana::ui::TButtonFlat* button : {imp->sbtImpArq, imp->sbtFechar}) {
        EXPECT_NE(button->toolButtonStyle(), Qt::ToolButtonIconOnly) << button->Name();
        EXPECT_FALSE(button->Caption().empty()) << button->Name();
    }

    const auto onList = SqlRow(1,
                               "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE CDFILIAL = '0001' "
                               "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01' LIMIT 1",
                               kBudget);
    ASSERT_EQ(onList.size(), 1u);
    const auto shown = RecordListsOpenedBy(
        [&] { Import(WriteFile("lista.txt", *onList[0] + "\r\n")); },
        [&](QWidget& list) {
            expectFixedAndWhole(list);
            const auto* grid = list.findChild<QTableView*>("dbgPadrao");
            ASSERT_EQ(grid->model()->columnCount(), 3);
            EXPECT_EQ(grid->columnWidth(0) + grid->columnWidth(1) + grid->columnWidth(2),
                      grid->viewport()->width());
            EXPECT_GT(grid->columnWidth(1), grid->columnWidth(0) + grid->columnWidth(2));
        });
    EXPECT_EQ(shown.size(), 1u);
}

// Closing reloads the guest list, imported or not; a reload that fails is
// shown and the window closes all the same.
TEST_F(ImportTest, ClosingReloadsTheGuestListEvenWhenTheReloadFails) {
    ASSERT_TRUE(OpenImport());
    imp->Close();
    Settle();
    EXPECT_EQ(CallNames(), Strings{"GetConvOrceve"});
    EXPECT_TRUE(imp.isNull());

    imp = corvana::ui::CreateForm<TfrmListaImpArq>(f->Shown());
    imp->show();
    Settle();
    StopServer();
    imp->Close();
    Settle();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_TRUE(imp.isNull());
}

// The guests go to the sequence the guest list shows, and are on its list
// once the import window closes.
TEST_F(ImportTest, GuestsGoToTheSequenceTheGuestListShows) {
    ASSERT_TRUE(OpenImport(demo::kEmptyListBudget, "02"));
    Import(WriteFile("lista.txt", "Primeiro Convidado\r\nSegundo Convidado\r\n"));
    EXPECT_EQ(services.dialogs.Informations(), Strings{kSuccess});
    const Guests stored = StoredGuests(demo::kEmptyListBudget, "02");
    EXPECT_EQ(stored, (Guests{{"Primeiro Convidado", "*"}, {"Segundo Convidado", "*"}}));
    EXPECT_TRUE(StoredGuests(demo::kEmptyListBudget, "00").empty());
    EXPECT_TRUE(StoredGuests(demo::kEmptyListBudget, "01").empty());
    imp->Close();
    Settle();
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), 2);
    EXPECT_TRUE(f->cdsConvOrceve.Locate("NMLISTACONVOREV", "Segundo Convidado"));
}

// A list the server does not have: the animation is gone, the refusal is
// shown, and neither the success message nor the record list follows.
TEST_F(ImportTest, AServerRefusalShowsOnlyTheRefusal) {
    ASSERT_TRUE(OpenList(kBudget));
    f->listKey.edtSeq->SetText("77");  // typed on the guest list: the list the import is opened on
    imp = corvana::ui::CreateForm<TfrmListaImpArq>(f->Shown());
    imp->show();
    Settle();
    const auto shown = RecordListsOpenedBy([&] { Import(WriteFile("lista.txt", "Ana\n")); });
    EXPECT_TRUE(shown.empty());
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("sequência 77"), std::string::npos) << Errors()[0];
    EXPECT_TRUE(services.dialogs.Informations().empty());
    EXPECT_EQ(services.busy.Activations(), std::vector<int>{corvana::services::kBusySaving});
    EXPECT_FALSE(services.busy.Active());
}

// What passes the name checks and still cannot be read is refused with the
// file's name and the reason; nothing is sent.
TEST_F(ImportTest, AFileThatCannotBeReadIsNamedAndNothingIsSent) {
    ASSERT_TRUE(OpenImport());
    fs::create_directories(dir / "pasta");
    const std::string fifo = (dir / "fila").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string binary = WriteFile("planilha.txt", std::string("PK\x03\x04\0\0Ana", 9));
    const std::string why = "Não foi possível ler o arquivo \"";
    std::vector<std::pair<std::string, std::string>> cases = {
        {(dir / "pasta").string(), "é uma pasta, não um arquivo."},
        {"/dev/null", "não é um arquivo comum (é um dispositivo, uma fila ou um soquete)."},
        {fifo, "não é um arquivo comum (é um dispositivo, uma fila ou um soquete)."},
        {binary, "não é um arquivo de texto."},
        {"/proc/self/mem", "erro de leitura do disco ou do dispositivo."},
    };
    if (::geteuid() != 0) {  // root reads whatever the permissions say
        const std::string locked = WriteFile("trancado.txt", "Ana\n");
        ::chmod(locked.c_str(), 0);
        cases.push_back({locked, "sem permissão de leitura."});
    }
    Strings expected;
    for (const auto& [path, reason] : cases) {
        Import(path);
        expected.push_back(why + path + "\": " + reason);
    }
    EXPECT_EQ(Errors(), expected);
    EXPECT_EQ(ImportCalls(), 0);
}

// Without a guest list screen: the guests go to the list the window is
// opened on, and closing runs that list's reload once; a list without a
// reload closes without one.
TEST_F(ImportTest, GuestsGoToTheListTheWindowIsOpenedOnAndItsReloadRunsOnClose) {
    int reloads = 0;
    imp = corvana::ui::CreateForm<TfrmListaImpArq>(
        ShownList{"0001", "Matriz", demo::kEmptyListBudget, "02", [&reloads] { ++reloads; }});
    imp->show();
    Settle();
    ASSERT_TRUE(frmListConv.isNull());
    Import(WriteFile("lista.txt", "Convidado Avulso\r\n"));
    EXPECT_EQ(Errors(), Strings{});
    EXPECT_EQ(StoredGuests(demo::kEmptyListBudget, "02"), (Guests{{"Convidado Avulso", "*"}}));
    EXPECT_EQ(reloads, 0);
    imp->Close();
    Settle();
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(imp.isNull());

    imp = corvana::ui::CreateForm<TfrmListaImpArq>(ShownList{"0001", "Matriz", kBudget, "01", {}});
    imp->show();
    Settle();
    imp->Close();
    Settle();
    EXPECT_TRUE(imp.isNull());
    EXPECT_EQ(Errors(), Strings{});
}
