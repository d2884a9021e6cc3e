// The guest list's spreadsheet tools against the real server: the wizard
// "Importar planilha…" through its three steps (the preview's verdicts are
// what the import then does, every row of the file is in the report), the
// export read back, the grid's find box.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLayout>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTableView>

#include "import/ImportScreen.h"
#include "sheet/CsvReader.h"
#include "sheet/GuestFind.h"
#include "sheet/GuestListSheetTools.h"
#include "sheet/XlsxReader.h"

namespace {

using Strings = std::vector<std::string>;

class SheetWizardTest : public ImportScreen {
protected:
    void CloseScreens() override {
        if (wizard) {
            wizard->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        ImportScreen::CloseScreens();
    }

    // The guest list loaded as a user loads it, and the wizard for it
    // beside (run by clicks, not modally), reloading the list when done.
    TfrmImportaPlanilha* OpenWizard(const char* budget = kBudget) {
        if (!OpenList(budget)) return nullptr;
        reloads = 0;
        wizard = corvana::ui::CreateForm<TfrmImportaPlanilha>(
            ShownList{"0001", "Matriz", budget, "01", [this] {
                          ++reloads;
                          f->sbtVerificar->Click();
                      }});
        wizard->show();
        Settle();
        tap->Clear();
        return wizard;
    }

    // The preview table's cells.
    std::vector<Strings> Preview() const {
        const QAbstractItemModel* model = wizard->tblPrevia->model();
        std::vector<Strings> rows;
        for (int r = 0; r < model->rowCount(); ++r) {
            Strings row;
            for (int c = 0; c < model->columnCount(); ++c)
                row.push_back(model->index(r, c).data().toString().toStdString());
            rows.push_back(row);
        }
        return rows;
    }

    std::string FirstGuestOf(const char* budget) {
        const auto row =
            SqlRow(1,
                   "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND "
                   "NRORCAEVENTO = ? AND NRSEQORCAEVE = '01' ORDER BY NRLISTACONVOREV LIMIT 1",
                   budget);
        return row.empty() ? std::string() : *row[0];
    }
    long long ListSize(const char* budget = kBudget) {
        return Count(
            "SELECT COUNT(*) FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND "
            "NRSEQORCAEVE = '01'",
            budget);
    }

    QPointer<TfrmImportaPlanilha> wizard;
    int reloads = 0;
};

}  // namespace

TEST_F(SheetWizardTest, ACsvGoesThroughTheThreeStepsAndEveryRowIsReported) {
    ASSERT_TRUE(OpenWizard());
    const long long atStart = ListSize();
    const std::string onList = FirstGuestOf(kBudget);
    ASSERT_FALSE(onList.empty());
    // A Portuguese spreadsheet's CSV: Windows-1252, ";", a header.
    const std::string path = WriteFile("convidados.csv",
                                       "Nome;RG;Qtd;Observação\r\n"
                                       "Jo\xE3o da Concei\xE7\xE3o;12.345.678-9;2;mesa 1\r\n"
                                       "CONVIDADO NOVO;;1;\r\n" +
                                           onList +
                                           ";;1;\r\n"
                                           ";;;\r\n"
                                           "convidado novo;;1;repetido\r\n"
                                           "Pedro Alves;;muitos;\r\n");
    services.openFile.ExpectFile(path);
    Click(wizard->btnArquivo);
    EXPECT_EQ(wizard->lblDetectado->text().toStdString(),
              "Detectado: Windows-1252, separador \";\". 7 linhas.");
    EXPECT_EQ(wizard->cmbCodificacao->currentText().toStdString(), "Windows-1252");
    EXPECT_EQ(wizard->cmbSeparador->currentIndex(), 0);

    Click(wizard->sbtAvancar);
    EXPECT_EQ(wizard->pgcPassos->currentIndex(), 1);
    EXPECT_TRUE(wizard->chkCabecalho->isChecked());
    EXPECT_EQ(wizard->Mapping(), (std::vector<int>{0, 1, 6, evt::sheet::kIgnored}));
    EXPECT_EQ(tap->CallNames(), Strings{});  // nothing asked yet

    Click(wizard->sbtAvancar);
    EXPECT_EQ(wizard->pgcPassos->currentIndex(), 2);
    EXPECT_EQ(tap->CallNames(), Strings{"GetImpPlanilha"});
    EXPECT_EQ(ListSize(), atStart);  // the dry run wrote nothing
    const std::vector<Strings> preview = Preview();
    ASSERT_EQ(preview.size(), 5u);
    EXPECT_EQ(preview[0],
              (Strings{"2", "Será adicionado", "", "João da Conceição", "12.345.678-9", "2"}));
    EXPECT_EQ(preview[1], (Strings{"3", "Será adicionado", "", "CONVIDADO NOVO", "", "1"}));
    EXPECT_EQ(preview[2], (Strings{"4", "Recusado", "nome já na lista.", onList, "", "1"}));
    EXPECT_EQ(preview[3], (Strings{"6", "Recusado", "nome repetido no arquivo (linha 3).",
                                   "convidado novo", "", "1"}));
    EXPECT_EQ(preview[4][1], "Recusado");
    EXPECT_EQ(preview[4][2].rfind("quantidade inválida", 0), 0u) << preview[4][2];
    EXPECT_EQ(wizard->lblContagem->text().toStdString(),
              "6 linhas lidas: 2 serão adicionadas, 3 recusadas, 1 em branco.");

    const long long before = ListSize();
    tap->Clear();
    // The report saved as a workbook from the record list.
    const std::string saved = (dir / "relatorio.xlsx").string();
    const auto shown = RecordListsOpenedBy([&] { Click(wizard->sbtImportar); },
                                           [&](QWidget& list) {
                                               services.saveFile.ExpectFile(saved);
                                               list.findChild<QToolButton*>("sbtSalvar")->click();
                                           });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].heading,
              "Planilha importada: 6 linhas lidas = 2 adicionadas + 3 recusadas + 1 em branco. "
              "Resultado de cada linha da planilha:");
    EXPECT_EQ(shown[0].titles, (Strings{"Linha", "Resultado", "Motivo", "Nome", "R.G."}));
    ASSERT_EQ(shown[0].rows.size(), 6u);
    EXPECT_EQ(shown[0].rows[0],
              (Strings{"2", "Adicionado", "", "João da Conceição", "12.345.678-9"}));
    EXPECT_EQ(shown[0].rows[2], (Strings{"4", "Recusado", "nome já na lista.", onList, ""}));
    EXPECT_EQ(shown[0].rows[3], (Strings{"5", "Em branco", "linha sem nenhum valor.", "", ""}));
    const evt::sheet::SheetTable report = evt::sheet::ReadXlsx(saved);
    ASSERT_EQ(report.rows.size(), 7u);
    EXPECT_EQ(report.rows[0].cells, (Strings{"Linha", "Resultado", "Motivo", "Nome", "R.G."}));
    EXPECT_EQ(report.rows[3].cells, (Strings{"4", "Recusado", "nome já na lista.", onList}));
    // Every verdict of the preview is what the server did.
    for (const Strings& row : preview) {
        const bool added = row[1] == "Será adicionado";
        EXPECT_EQ(GuestsNamed(row[3]), added || row[3] == onList ? 1 : 0) << row[3];
    }
    EXPECT_EQ(ListSize(), before + 2);
    // One import call, with the two rows the preview could add; then the
    // window closed and the guest list reloaded.
    ASSERT_EQ(tap->ArgsOf("GetImpPlanilha").size(), 1u);
    EXPECT_EQ(tap->ArgsOf("GetImpPlanilha")[0][3].asPacket().rows().size(), 2u);
    EXPECT_EQ(tap->ArgsOf("GetImpPlanilha")[0][4], corvana::Variant("N"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(wizard.isNull());
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(f->cdsConvOrceve.Locate("NMLISTACONVOREV", std::string("João da Conceição")));
    EXPECT_EQ(Errors(), Strings{});
    EXPECT_EQ(services.dialogs.Informations(), Strings{"Lista gravada em \"" + saved + "\"."});
}

// The first row is data when it names no field; the user may say otherwise,
// and changes the encoding and the separator detected.
TEST_F(SheetWizardTest, TheChoicesOfTheFirstStepsCanBeChanged) {
    ASSERT_TRUE(OpenWizard());
    const std::string path = WriteFile("colado.txt", "\xEF\xBB\xBFMaria Souza,1\nPedro Alves,2\n");
    wizard->edtArquivo->SetText(path);
    Click(wizard->sbtAvancar);
    EXPECT_EQ(wizard->lblDetectado->text().toStdString(),
              "Detectado: UTF-8, separador \",\". 2 linhas.");
    EXPECT_FALSE(wizard->chkCabecalho->isChecked());
    EXPECT_EQ(wizard->Mapping(), (std::vector<int>{0, evt::sheet::kIgnored}));
    wizard->SetMapping(1, 6);  // Quantidade
    Click(wizard->sbtVoltar);
    wizard->cmbSeparador->setCurrentIndex(0);  // ";": one column
    Settle();
    EXPECT_EQ(wizard->Table().rows[0].cells, (Strings{"Maria Souza,1"}));
    wizard->cmbSeparador->setCurrentIndex(1);
    Settle();
    EXPECT_EQ(wizard->Table().rows[0].cells, (Strings{"Maria Souza", "1"}));
    Click(wizard->sbtAvancar);
    // No column is the name: the preview is not asked for.
    wizard->SetMapping(0, evt::sheet::kIgnored);
    Click(wizard->sbtAvancar);
    EXPECT_EQ(Errors(), Strings{"Escolha a coluna que tem o nome dos convidados."});
    EXPECT_EQ(wizard->pgcPassos->currentIndex(), 1);
    EXPECT_EQ(tap->CallNames(), Strings{});
}

TEST_F(SheetWizardTest, ACorruptOrOversizedFileIsNamedAndNothingIsSent) {
    ASSERT_TRUE(OpenWizard());
    const std::string path = WriteFile("lista.xlsx", "isto não é um zip");
    wizard->edtArquivo->SetText(path);
    Click(wizard->sbtAvancar);
    EXPECT_EQ(Errors(), Strings{"Não foi possível ler a planilha \"" + path +
                                "\": não é um arquivo XLSX (zip) válido."});
    EXPECT_EQ(wizard->pgcPassos->currentIndex(), 0);
    EXPECT_EQ(tap->CallNames(), Strings{});
}

// The tool bar: "Importar planilha…" and "Exportar…" right after the
// import's button, each following its neighbour's state; the export writes
// the grid as shown.
TEST_F(SheetWizardTest, TheExportWritesTheGridAsShown) {
    ASSERT_TRUE(OpenList(kBudget));
    GuestListSheetTools* tools = f->sheetTools;
    ASSERT_TRUE(tools);
    auto* bar = f->panMenu->layout();
    EXPECT_EQ(bar->indexOf(tools->sbtImpPlanilha), bar->indexOf(f->sbtImpArq) + 1);
    EXPECT_EQ(bar->indexOf(tools->sbtExportar), bar->indexOf(f->sbtImpArq) + 2);
    EXPECT_TRUE(tools->sbtImpPlanilha->isEnabled());
    EXPECT_TRUE(tools->sbtExportar->isEnabled());
    EXPECT_TRUE(tools->mnuExportar->isEnabled());
    InsertRow();  // editing: neither the import nor the export
    EXPECT_FALSE(tools->sbtImpPlanilha->isEnabled());
    EXPECT_FALSE(tools->mnuImpPlanilha->isEnabled());
    EXPECT_FALSE(tools->sbtExportar->isEnabled());
    Click(f->sbtCancelar);
    EXPECT_TRUE(tools->sbtExportar->isEnabled());

    const std::string xlsx = (dir / "lista.xlsx").string();
    services.saveFile.ExpectFile(xlsx);
    Click(tools->sbtExportar);
    const int guests = f->cdsConvOrceve.RecordCount();
    EXPECT_EQ(services.dialogs.Informations(), Strings{"Lista exportada para \"" + xlsx + "\" (" +
                                                       std::to_string(guests) + " convidados)."});
    const evt::sheet::SheetTable table = evt::sheet::ReadXlsx(xlsx);
    ASSERT_EQ(table.rows.size(), static_cast<std::size_t>(guests) + 1);
    const corvana::ui::GridModel* model = f->dbgPadrao->Model();
    Strings titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles.push_back(model->headerData(c, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ(table.rows[0].cells, titles);
    // Each cell as the grid shows it (a number column as its number).
    for (int r = 0; r < guests; r += std::max(1, guests / 5)) {
        for (int c = 0; c < model->columnCount(); ++c) {
            const std::string shownText = model->index(r, c).data().toString().toStdString();
            const auto& cells = table.rows[static_cast<std::size_t>(r) + 1].cells;
            const std::string read = static_cast<std::size_t>(c) < cells.size() ? cells[c] : "";
            if (model->FieldAt(c)->DataType() == corvana::FieldType::Float)
                EXPECT_EQ(std::stod(read), std::stod(shownText)) << r << "," << c;
            else
                EXPECT_EQ(read, shownText) << r << "," << c;
        }
    }

    const std::string csv = (dir / "lista.csv").string();
    services.saveFile.ExpectFile(csv);
    Click(tools->sbtExportar);
    const evt::sheet::CsvFile file = evt::sheet::ReadCsvFile(csv);
    EXPECT_EQ(file.encoding, GuestFileEncoding::Utf8);
    EXPECT_EQ(file.separator, ';');
    ASSERT_EQ(file.table.rows.size(), static_cast<std::size_t>(guests) + 1);
    EXPECT_EQ(file.table.rows[0].cells, titles);
    EXPECT_EQ(Errors(), Strings{});
}

// Ctrl+F, a name typed without accents and in another case, F3 and
// Shift+F3, digits of an R.G., Escape.
TEST_F(SheetWizardTest, TheFindBoxMovesToAGuestTypedWithoutAccents) {
    ASSERT_TRUE(OpenList(kBudget));
    GuestListSheetTools* tools = f->sheetTools;
    corvana::ClientDataSet& ds = f->cdsConvOrceve;
    // The last guest whose name has an accent, and its name folded.
    int target = -1;
    std::string name;
    for (int r = ds.RecordCount() - 1; r > 0 && target < 0; --r) {
        const QString n =
            QString::fromStdString(ds.FieldByName("NMLISTACONVOREV").ValueAt(r).toString());
        if (std::none_of(n.begin(), n.end(), [](QChar c) { return c.unicode() >= 0xC0; })) continue;
        target = r;
        name = n.toStdString();
    }
    ASSERT_GE(target, 0) << "no accented name on the demo list";
    const QString typed =
        evt::sheet::GuestFindQuery::Folded(QString::fromStdString(name)).toUpper();
    ds.First();
    Settle();
    Press(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(tools->panLocalizar->isVisible());
    EXPECT_EQ(Focused(), tools->edtLocalizar);
    Type(typed);
    EXPECT_EQ(tools->edtLocalizar->text(), typed);
    EXPECT_EQ(ds.RecNo(), target + 1) << typed.toStdString() << " / " << name;
    EXPECT_EQ(tools->lblLocalizar->text().toStdString(), "");
    Press(Qt::Key_Escape);
    EXPECT_FALSE(tools->panLocalizar->isVisible());
    EXPECT_EQ(Focused(), f->dbgPadrao);
    EXPECT_EQ(ds.RecNo(), target + 1);

    // F3 and Shift+F3 go round the list and come back to the one match.
    Press(Qt::Key_F3);
    EXPECT_EQ(ds.RecNo(), target + 1);
    Press(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(ds.RecNo(), target + 1);

    // Something no guest has: the cursor stays, the box says so.
    Press(Qt::Key_F, Qt::ControlModifier);
    Type("#nada#");  // no prefix of it is in any name
    EXPECT_EQ(ds.RecNo(), target + 1);
    EXPECT_EQ(tools->lblLocalizar->text().toStdString(), "não encontrado");
    EXPECT_EQ(Errors(), Strings{});
}

TEST(GuestFindQueryTest, NamesIgnoreCaseAndAccentsAndDigitsMatchDocuments) {
    const evt::sheet::GuestFindQuery jose("jose conceicao");
    EXPECT_FALSE(jose.Matches("José da Conceição", {}));
    EXPECT_TRUE(evt::sheet::GuestFindQuery("JOSE DA CONCEI").Matches("José da Conceição", {}));
    EXPECT_TRUE(evt::sheet::GuestFindQuery("  ção ").Matches("Conceição", {}));
    const evt::sheet::GuestFindQuery digits("345678");
    EXPECT_TRUE(digits.Matches("Ana", {"12.345.678-9", "*"}));
    EXPECT_FALSE(digits.Matches("Ana", {"*", "(11) 2222-1111"}));
    EXPECT_TRUE(evt::sheet::GuestFindQuery("3333-44").Matches("Ana", {"*", "*", "(11) 3333-4444"}));
    EXPECT_TRUE(evt::sheet::GuestFindQuery("   ").Empty());
    EXPECT_FALSE(evt::sheet::GuestFindQuery("   ").Matches("Ana", {}));
}
