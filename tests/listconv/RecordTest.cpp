// The guest record as the grid shows it: the columns, the four coded fields
// shown and entered as words, and the inscription laid into its mask.
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>

#include "ListConvScreen.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "guestrecord/GuestRecord.h"

using Strings = std::vector<std::string>;

class RecordTest : public ListConvScreen {
protected:
    // The first guest of a loaded list, in edit state with `code` in field.
    corvana::Field& Coded(const char* field, const char* code) {
        corvana::Field& fl = F(field);
        if (f->cdsConvOrceve.State() == corvana::DataSetState::Browse) f->cdsConvOrceve.Edit();
        if (code)
            fl.SetAsString(code);
        else
            fl.Clear();
        return fl;
    }

    // Every code in `codes` shown as the word in `shown`, through the grid's
    // model as well as through the field.
    void ExpectShown(const char* field, const std::vector<const char*>& codes,
                     const Strings& shown) {
        for (std::size_t i = 0; i < codes.size(); ++i) {
            SCOPED_TRACE(std::string(field) + "=" + (codes[i] ? codes[i] : "null"));
            corvana::Field& fl = Coded(field, codes[i]);
            EXPECT_EQ(fl.DisplayText(), shown[i]);
            EXPECT_EQ(fl.Text(), shown[i]);  // editing shows the same word
            const int column = f->dbgPadrao->Model()->ViewColumnOf(&fl);
            QModelIndex cell = f->dbgPadrao->Model()->index(f->cdsConvOrceve.RecNo() - 1, column);
            EXPECT_EQ(cell.data().toString().toStdString(), shown[i]);
        }
    }

    // Each text in `typed` handed to the set-text handler over a field
    // holding `before` leaves the code in `stored` (nullptr: null).
    void ExpectStored(const char* field, const char* before, const Strings& typed,
                      const std::vector<const char*>& stored) {
        for (std::size_t i = 0; i < typed.size(); ++i) {
            SCOPED_TRACE(std::string(field) + " <- '" + typed[i] + "'");
            corvana::Field& fl = Coded(field, before);
            fl.SetText(typed[i]);
            if (stored[i]) {
                EXPECT_EQ(fl.Value(), corvana::Variant(stored[i]));
            } else {
                EXPECT_TRUE(fl.IsNull()) << fl.AsString();
            }
        }
    }
};

TEST_F(RecordTest, TheGridShowsElevenColumnsWithTheirTitlesAndWidths) {
    OpenList(kBudget);
    const corvana::ui::GridModel* model = f->dbgPadrao->Model();
    Strings titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles.push_back(model->headerData(c, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ(titles, (Strings{"Inscrição", "Nome do Convidado", "RG", "Presença", "Condição",
                               "Tel.", "Cel.", "E-mail", "Tipo", "Contrato", "Ordem"}));
    // Each column takes its widest masked value or word whole; the name and
    // the e-mail share the rest of the grid, the name taking more.
    const QFontMetrics metrics = f->dbgPadrao->fontMetrics();
    const std::vector<std::string> widest{
        "00.000.000/0000-00", "", "00.000.000-00", "Presença", "Representante", "(00) 00000-0000",
        "(00) 00000-0000",    "", "Especial",      "Contrato", "Ordem"};
    int total = 0;
    for (int c = 0; c < model->columnCount(); ++c) {
        const std::size_t i = static_cast<std::size_t>(c);
        total += f->dbgPadrao->columnWidth(c);
        EXPECT_GT(f->dbgPadrao->columnWidth(c),
                  metrics.horizontalAdvance(QString::fromStdString(widest[i])))
            << titles[i];
    }
    f->resize(1600, 600);
    QCoreApplication::processEvents();
    total = 0;
    for (int c = 0; c < model->columnCount(); ++c) total += f->dbgPadrao->columnWidth(c);
    EXPECT_EQ(total, f->dbgPadrao->viewport()->width());
    EXPECT_GT(f->dbgPadrao->columnWidth(1), f->dbgPadrao->columnWidth(7));
    // The record has every field of the server's packet, in its order.
    ASSERT_EQ(static_cast<std::size_t>(f->cdsConvOrceve.FieldCount()),
              evt::guestrecord::kFieldCount);
    EXPECT_EQ(f->cdsConvOrceve.Fields().front()->Name(), "IDTPTRATCONVESPEC");
    EXPECT_EQ(f->cdsConvOrceve.Fields().back()->Name(), "NRSEQORCAEVE");
    EXPECT_TRUE(f->dbgPadrao->Columns().front().EllipsisButton);
}

// The screen's record and the real server's guest packet agree field by
// field, in name, type and size: a list loads whole. A packet whose name
// column is wider than the record's is refused, not cut.
TEST_F(RecordTest, TheServersGuestPacketIsTheScreensRecord) {
    OpenList(kBudget);
    ASSERT_GT(f->cdsConvOrceve.RecordCount(), 0);
    const corvana::DataPacket packet =
        f->netListaConv.Call("GetConvOrceve", {"0001", kBudget, "01"}).asPacket();
    const std::vector<corvana::Field*>& fields = f->cdsConvOrceve.Fields();
    ASSERT_EQ(fields.size(), packet.fields().size());
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i]->Def(), packet.fields()[i]) << "campo " << i;

    std::vector<corvana::FieldDef> wider = packet.fields();
    wider[static_cast<std::size_t>(packet.requireField("NMLISTACONVOREV"))].size = 80;
    corvana::DataPacket widerPacket(wider);
    widerPacket.rows() = packet.rows();
    const int before = f->cdsConvOrceve.RecordCount();
    try {
        f->cdsConvOrceve.SetData(widerPacket);
        ADD_FAILURE() << "pacote aceito";
    } catch (const corvana::Error& e) {
        EXPECT_STREQ(e.what(),
                     "O campo 'NMLISTACONVOREV' tem tamanho 50 no conjunto de dados, mas 80 no "
                     "pacote de dados.");
    }
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), before);
}

TEST_F(RecordTest, PresenceHasNoDefaultEitherWay) {
    OpenList(kBudget);
    ExpectShown("IDCONVPRESEOREV", {"S", "N", "*", "", nullptr, "s"},
                {"Sim", "Não", "", "", "", ""});
    ExpectStored("IDCONVPRESEOREV", "*", {"Sim", "Não", "sim", "", "Nao"},
                 {"S", "N", "*", "*", "*"});
}

TEST_F(RecordTest, ConditionClearsTheFieldForAnyOtherText) {
    OpenList(kBudget);
    ExpectShown("IDCONDICAOCONVEV",
                {"NOIVO", "NOIVA", "DEBUTANTE", "REPRESENTANTE", "*", "", "noivo", "PADRINHO"},
                {"Noivo", "Noiva", "Debutante", "Representante", "", "", "", ""});
    ExpectStored("IDCONDICAOCONVEV", "NOIVO",
                 {"Noivo", "Noiva", "Debutante", "Representante", "", "noiva"},
                 {"NOIVO", "NOIVA", "DEBUTANTE", "REPRESENTANTE", nullptr, nullptr});
}

TEST_F(RecordTest, TypeAndContractTurnEveryOtherTextIntoTheSecondCode) {
    OpenList(kBudget);
    ExpectShown("IDTIPOCONVEVEN", {"NORMAL", "", nullptr, "ESPECIAL", "*", "normal"},
                {"Normal", "Normal", "Normal", "Especial", "Especial", "Especial"});
    ExpectStored("IDTIPOCONVEVEN", "NORMAL", {"Normal", "Especial", "", "normal"},
                 {"NORMAL", "ESPECIAL", "ESPECIAL", "ESPECIAL"});
    ExpectShown("IDEXIBECONVCONTRAT", {"N", "", nullptr, "S", "*"},
                {"Não", "Não", "Não", "Sim", "Sim"});
    ExpectStored("IDEXIBECONVCONTRAT", "N", {"Não", "Sim", "", "não"}, {"N", "S", "S", "S"});
}

TEST_F(RecordTest, TheWordsComeFromTheMessageTable) {
    OpenList(kBudget);
    std::vector<std::string> lines = f->msgPadrao.Lines();
    for (std::string& line : lines)
        if (line.rfind("Sim|", 0) == 0) line = "Sim|Yes";
    f->msgPadrao.SetLines(lines);

    ExpectShown("IDCONVPRESEOREV", {"S"}, {"Yes"});
    ExpectShown("IDEXIBECONVCONTRAT", {"S"}, {"Yes"});
    ExpectStored("IDCONVPRESEOREV", "N", {"Yes", "Sim"}, {"S", "N"});
    ExpectStored("IDEXIBECONVCONTRAT", "N", {"Yes"}, {"S"});
}

TEST_F(RecordTest, PickingTheEmptyConditionInTheGridClearsIt) {
    OpenList(kBudget);
    corvana::ui::GridModel* model = f->dbgPadrao->Model();
    const int column = model->ViewColumnOf(&F("IDCONDICAOCONVEV"));
    ASSERT_TRUE(model->setData(model->index(0, column), QString("Noiva")));
    EXPECT_EQ(F("IDCONDICAOCONVEV").AsString(), "NOIVA");
    ASSERT_TRUE(model->setData(model->index(0, column), QString("")));
    EXPECT_TRUE(F("IDCONDICAOCONVEV").IsNull());
    EXPECT_EQ(model->index(0, column).data().toString(), "");
    ASSERT_TRUE(model->setData(model->index(0, column), QString("Debutante")));
    EXPECT_EQ(F("IDCONDICAOCONVEV").AsString(), "DEBUTANTE");
}

// Telephones are stored as typed, digits only, and shown as the ones stored
// laid out by hand; the editor takes the digits.
TEST_F(RecordTest, TelephonesOfDigitsAreShownLaidOut) {
    OpenList(kBudget);
    f->cdsConvOrceve.Edit();
    for (const auto& [stored, shown] :
         std::vector<std::pair<std::string, std::string>>{{"5121724552", "(51) 2172-4552"},
                                                          {"51934801740", "(51) 93480-1740"},
                                                          {"(51) 2172-4552", "(51) 2172-4552"},
                                                          {"55519921724552", "55519921724552"},
                                                          {"512172455x", "512172455x"}}) {
        F("NRCELCONVEVEN").SetAsString(stored);
        EXPECT_EQ(F("NRCELCONVEVEN").DisplayText(), shown);
        EXPECT_EQ(F("NRCELCONVEVEN").Text(), stored);
    }
    f->cdsConvOrceve.Cancel();
}

TEST_F(RecordTest, TheInscriptionIsShownThroughTheMaskOfItsPersonType) {
    OpenList(kBigBudget);  // a list with guests linked to clients
    f->cdsConvOrceve.Edit();
    F("NRINSJURCLILISCONV").SetAsString("12345678901");
    F("IDTPIJURCLIE").SetAsString("F");
    EXPECT_EQ(F("NRINSJURCLILISCONV").DisplayText(), "123.456.789-01");
    EXPECT_EQ(F("NRINSJURCLILISCONV").Text(), "123.456.789-01");
    F("IDTPIJURCLIE").SetAsString("J");
    F("NRINSJURCLILISCONV").SetAsString("12345678000199");
    EXPECT_EQ(F("NRINSJURCLILISCONV").DisplayText(), "12.345.678/0001-99");
    // No person type: no mask, the value as stored (typed mask included).
    F("IDTPIJURCLIE").Clear();
    F("NRINSJURCLILISCONV").SetAsString("123.456");
    EXPECT_EQ(F("NRINSJURCLILISCONV").DisplayText(), "123.456");
    F("NRINSJURCLILISCONV").SetText("999.888.777-66");
    EXPECT_EQ(F("NRINSJURCLILISCONV").AsString(), "999.888.777-66");  // stored as typed
    f->cdsConvOrceve.Cancel();

    // A guest linked to a client shows the client's person type mask in
    // the grid, row by row.
    const corvana::ui::GridModel* model = f->dbgPadrao->Model();
    const int column = model->ViewColumnOf(&F("NRINSJURCLILISCONV"));
    int linked = 0;
    for (int row = 0; row < f->cdsConvOrceve.RecordCount(); ++row) {
        if (F("IDTPIJURCLIE").ValueAt(row).toString() != "F") continue;
        ++linked;
        const std::string stored = F("NRINSJURCLILISCONV").ValueAt(row).toString();
        ASSERT_EQ(stored.size(), 11u);
        EXPECT_EQ(model->index(row, column).data().toString().toStdString(),
                  stored.substr(0, 3) + "." + stored.substr(3, 3) + "." + stored.substr(6, 3) +
                      "-" + stored.substr(9));
    }
    EXPECT_GT(linked, 0);
}

TEST_F(RecordTest, TheClientListShowsItsInscriptionsTheSameWay) {
    Open(kBudget, "01");
    f->cdsCliente.SetData(f->netListaConv.Call("GetCliente", {"T"}));
    ASSERT_GT(f->cdsCliente.RecordCount(), 0);
    corvana::Field& insc = f->cdsCliente.FieldByName("NRINSJURCLIE");
    corvana::Field& type = f->cdsCliente.FieldByName("IDTPIJURCLIE");
    bool sawCompany = false, sawPerson = false;
    for (int row = 0; row < f->cdsCliente.RecordCount(); ++row) {
        const std::string stored = insc.ValueAt(row).toString();
        const std::string shown = insc.DisplayTextAt(row);
        if (type.ValueAt(row).toString() == "J") {
            sawCompany = true;
            EXPECT_EQ(shown, stored.substr(0, 2) + "." + stored.substr(2, 3) + "." +
                                 stored.substr(5, 3) + "/" + stored.substr(8, 4) + "-" +
                                 stored.substr(12));
        } else {
            sawPerson = true;
            EXPECT_EQ(shown.size(), 14u) << shown;
        }
    }
    EXPECT_TRUE(sawCompany);
    EXPECT_TRUE(sawPerson);
}

// What fit the original font's columns fits the scaled ones: the longest
// inscription laid in its mask, every title.
TEST_F(RecordTest, TheMaskedInscriptionAndEveryTitleFitTheirColumns) {
    OpenList(kBudget);
    corvana::ui::TDBGrid* grid = f->dbgPadrao;
    const corvana::ui::GridModel* model = grid->Model();
    f->cdsConvOrceve.Edit();
    F("IDTPIJURCLIE").SetAsString("J");
    F("NRINSJURCLILISCONV").SetAsString("99999999999999");
    const QString shown = QString::fromStdString(F("NRINSJURCLILISCONV").DisplayText());
    EXPECT_EQ(shown, "99.999.999/9999-99");
    // The cell's text takes the column less the style's text margins on
    // both sides and the grid line.
    const int margins =
        2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 1;
    EXPECT_LE(grid->fontMetrics().horizontalAdvance(shown) + margins,
              grid->columnWidth(model->ViewColumnOf(&F("NRINSJURCLILISCONV"))));
    f->cdsConvOrceve.Cancel();

    const QFontMetrics titles = grid->horizontalHeader()->fontMetrics();
    const int titleMargins = 2 * grid->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, grid);
    for (int c = 0; c < model->columnCount(); ++c) {
        const QString title = model->headerData(c, Qt::Horizontal).toString();
        EXPECT_LE(titles.horizontalAdvance(title) + titleMargins, grid->columnWidth(c))
            << title.toStdString();
    }
}

// A name or an R.G. longer than its field stops in the cell's editor at the
// field's size, instead of being cut when it is stored; the masked company
// inscription goes in whole.
TEST_F(RecordTest, TheCellEditorTakesNoMoreThanTheFieldHolds) {
    OpenList(kBudget);
    // Types `count` letters into the column, one key at a time, and answers
    // the longest text its editor held.
    auto typeInto = [this](const char* field, int count) {
        f->dbgPadrao->SetSelectedField(&F(field));
        qsizetype longest = 0;
        for (int i = 0; i < count; ++i) {
            Type(QString(QChar('a' + i % 26)));
            QWidget* editor = f->dbgPadrao->CellEditor();
            auto* line = qobject_cast<QLineEdit*>(editor);
            if (!line && editor) line = editor->findChild<QLineEdit*>();
            if (line) longest = std::max(longest, line->text().size());
        }
        Press(Qt::Key_Tab);
        return longest;
    };
    EXPECT_EQ(typeInto("NMLISTACONVOREV", 66), 50);
    EXPECT_EQ(F("NMLISTACONVOREV").AsString().size(), 50u);
    EXPECT_EQ(typeInto("NRRGLISTAOREV", 24), 20);
    EXPECT_EQ(F("NRRGLISTAOREV").AsString().size(), 20u);

    f->dbgPadrao->SetSelectedField(&F("NRINSJURCLILISCONV"));
    Type("12.345.678/0001-99");
    ASSERT_NE(f->dbgPadrao->CellEditor(), nullptr);
    EXPECT_EQ(f->dbgPadrao->CellEditor()->findChild<QLineEdit*>()->text(), "12.345.678/0001-99");
    EXPECT_TRUE(Errors().empty());
}
