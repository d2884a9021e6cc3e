// The filter panel: the key checks with their messages and focus, leaving
// and entering the panel, the lookups and the button states.
#include <QAction>
#include <QLabel>

#include "ListConvScreen.h"
#include "corvana/db/DBGeral.h"
#include "corvana/ui/FontScale.h"

using corvana::DataSetState;
using Strings = std::vector<std::string>;

namespace {

struct ButtonStates {
    bool incluir, alterar, excluir, verificar, impArq, imprimir, confirmar, cancelar;
    bool operator==(const ButtonStates&) const = default;
};

ButtonStates Buttons(const TfrmListConv* f) {
    return {f->sbtIncluir->isEnabled(),   f->sbtAlterar->isEnabled(), f->sbtExcluir->isEnabled(),
            f->sbtVerificar->isEnabled(), f->sbtImpArq->isEnabled(),  f->sbtImprimir->isEnabled(),
            f->sbtConfirmar->isEnabled(), f->sbtCancelar->isEnabled()};
}

ButtonStates MenuItems(const TfrmListConv* f) {
    return {f->mnuIncluir->isEnabled(),   f->mnuAlterar->isEnabled(), f->mnuExcluir->isEnabled(),
            f->mnuVerificar->isEnabled(), f->mnuImpArq->isEnabled(),  f->mnuImprimir->isEnabled(),
            f->mnuConfirmar->isEnabled(), f->mnuCancelar->isEnabled()};
}

std::ostream& operator<<(std::ostream& os, const ButtonStates& b) {
    return os << "incluir=" << b.incluir << " alterar=" << b.alterar << " excluir=" << b.excluir
              << " verificar=" << b.verificar << " impArq=" << b.impArq
              << " imprimir=" << b.imprimir << " confirmar=" << b.confirmar
              << " cancelar=" << b.cancelar;
}

constexpr ButtonStates kAllOff{false, false, false, false, false, false, false, false};
constexpr ButtonStates kListWithGuests{true, true, true, true, true, true, false, false};
constexpr ButtonStates kEmptyList{true, false, false, true, true, false, false, false};

}  // namespace

class FilterTest : public ListConvScreen {};

TEST_F(FilterTest, BranchOneBecomes0001WithItsNameAndClearsBudgetAndSequence) {
    Open(kBudget, "01");
    ASSERT_EQ(Focused(), f->listKey.medCdFilial);
    f->listKey.medCdFilial->SetText("");
    Type("1");
    // Filled again, so that only the normalisation can clear them.
    f->listKey.medOrcamento->SetText(kBudget);
    f->listKey.edtSeq->SetText("01");
    FocusOn(f->listKey.medOrcamento);

    EXPECT_EQ(f->listKey.medCdFilial->Text(), "0001");
    EXPECT_EQ(f->listKey.edtNmFilial->Text(), "Matriz");
    EXPECT_EQ(f->listKey.medOrcamento->Text(), "");
    EXPECT_EQ(f->listKey.edtSeq->Text(), "");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Focused(), f->listKey.medOrcamento);
}

TEST_F(FilterTest, BranchMessagesKeepTheFocusInTheBranchField) {
    Open(kBudget, "01");

    f->listKey.medCdFilial->SetText("");
    FocusOn(f->listKey.medOrcamento);
    EXPECT_EQ(Errors(), Strings{"Filial deve ser informada."});
    EXPECT_EQ(Focused(), f->listKey.medCdFilial);

    services.dialogs.Clear();
    f->listKey.medCdFilial->SetText("9");
    FocusOn(f->listKey.medOrcamento);
    EXPECT_EQ(Errors(), Strings{"Filial não cadastrada."});
    EXPECT_EQ(f->listKey.medCdFilial->Text(), "0009");
    EXPECT_EQ(f->listKey.edtNmFilial->Text(), "");
    EXPECT_EQ(Focused(), f->listKey.medCdFilial);

    // A failure of the host's database is shown and also sends the user
    // back to the branch field.
    services.dialogs.Clear();
    corvana::db::dtmDBGeral().Close();
    Corvana::SetDatabaseURL((dir / "gone.db").string());
    f->listKey.medCdFilial->SetText("0002");
    FocusOn(f->listKey.medOrcamento);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("gone.db"), std::string::npos) << Errors()[0];
    EXPECT_EQ(Focused(), f->listKey.medCdFilial);
    EXPECT_EQ(f->listKey.edtNmFilial->Text(), "");

    Corvana::SetDatabaseURL(dbPath);
    services.dialogs.Clear();
    FocusOn(f->listKey.medOrcamento);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(f->listKey.edtNmFilial->Text(), "Filial Centro");
}

TEST_F(FilterTest, LeavingTheBudgetFieldInsideThePanel) {
    Open("", "");
    FocusOn(f->listKey.medOrcamento);
    recorder->Clear();

    // Empty: no message, no call, the sequence becomes "00".
    FocusOn(f->listKey.edtSeq);
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(f->listKey.edtSeq->Text(), "00");
    EXPECT_FALSE(f->listKey.cdsVdOrca.Active());

    // A valid budget shows its header at once, normalised; the grid stays
    // closed and a launched sequence is replaced by "00".
    FocusOn(f->listKey.medOrcamento);
    f->listKey.medOrcamento->SetText("1001");
    f->listKey.edtSeq->SetText("02");
    FocusOn(f->listKey.edtSeq);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(f->listKey.medOrcamento->Text(), kBudget);
    EXPECT_EQ(recorder->Signatures(), Strings{"GetOrca(0001,0000001001)"});
    EXPECT_EQ(f->listKey.edtSeq->Text(), "00");
    ASSERT_TRUE(f->listKey.cdsVdOrca.Active());
    EXPECT_FALSE(f->dbtCliente->text().isEmpty());
    EXPECT_FALSE(f->cdsConvOrceve.Active());

    // An unknown budget: its message, the focus back, the sequence kept.
    services.dialogs.Clear();
    FocusOn(f->listKey.medOrcamento);
    f->listKey.medOrcamento->SetText("9999");
    f->listKey.edtSeq->SetText("01");
    FocusOn(f->listKey.edtSeq);
    EXPECT_EQ(Errors(), Strings{"Orçamento não cadastrado."});
    EXPECT_EQ(Focused(), f->listKey.medOrcamento);
    EXPECT_EQ(f->listKey.edtSeq->Text(), "");  // cleared by the normalised budget
}

TEST_F(FilterTest, LeavingThePanelChecksBudgetThenSequenceWithTheirMessages) {
    struct Case {
        const char* budget;
        const char* seq;
        Strings errors;
        Strings calls;
        const char* focus;
    };
    const std::vector<Case> cases = {
        {"", "01", {"Orçamento deve ser informado."}, {}, "medOrcamento"},
        {"0000009999", "01", {"Orçamento não cadastrado."}, {"GetOrca"}, "medOrcamento"},
        {kBudget, "", {"Sequencial deve ser informado."}, {"GetOrca"}, "edtSeq"},
        {kBudget,
         "9",
         {"Sequencial não cadastrado para o orçamento informado."},
         {"GetOrca", "GetSequencial"},
         "edtSeq"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.budget) + "/" + c.seq);
        Open(kBudget, "01");
        // Filled after launch, so that an empty budget is not replaced by
        // the user's branch at the first activation.
        f->listKey.medOrcamento->SetText(c.budget);
        f->listKey.edtSeq->SetText(c.seq);
        recorder->Clear();
        services.dialogs.Clear();
        services.busy.Clear();
        LeavePanel();

        EXPECT_EQ(Errors(), c.errors);
        EXPECT_EQ(Calls(), c.calls);
        EXPECT_EQ(Focused()->objectName().toStdString(), c.focus);
        EXPECT_TRUE(boPanel);
        EXPECT_FALSE(f->cdsConvOrceve.Active());
        EXPECT_TRUE(services.busy.Activations().empty());
        // The toolbar keeps the state of the entered panel.
        EXPECT_EQ(Buttons(f), kAllOff);
        CloseScreens();
    }
    // The sequence was normalised before it was asked for.
    EXPECT_EQ(recorder->Signatures().back(), "GetSequencial(0001,0000001001,09)");
}

TEST_F(FilterTest, LeavingThePanelLoadsTheSequenceHeaderAndTheList) {
    Open(kBudget, "02");
    recorder->Clear();
    LeavePanel();

    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(recorder->Signatures(),
              (Strings{"GetOrca(0001,0000001001)", "GetSequencial(0001,0000001001,02)",
                       // No version on screen yet: the whole list and its version.
                       "GetConvOrceve(0001,0000001001,02,?)"}));
    EXPECT_EQ(services.busy.Activations(), std::vector<int>{6});
    EXPECT_FALSE(services.busy.Active());
    EXPECT_EQ(services.busy.Forms(), std::vector<QWidget*>{host.get()});

    ASSERT_TRUE(f->cdsConvOrceve.Active());
    const int guests = f->cdsConvOrceve.RecordCount();
    EXPECT_GE(guests, 12);
    EXPECT_EQ(f->nedQtdeLista->Number(), guests);
    EXPECT_EQ(f->nedQtdeLista->Text(), std::to_string(guests));
    EXPECT_EQ(f->cdsConvOrceve.FieldByName("NRSEQORCAEVE").AsString(), "02");
    EXPECT_EQ(f->cdsConvOrceve.RecNo(), 1);
    // The header holds the sequence's data: its own guest quantity.
    ASSERT_TRUE(f->listKey.cdsVdOrca.Active());
    EXPECT_EQ(f->listKey.cdsVdOrca.FieldByName("QTCONVORCEVE").AsFloat(),
              f->listKey.cdsSequencial.FieldByName("QTCONVORCEVE").AsFloat());
    EXPECT_EQ(f->dbeNmPrBase->text().toStdString(),
              f->listKey.cdsVdOrca.FieldByName("QTCONVORCEVE").DisplayText());
    EXPECT_FALSE(f->dbtDtEvento->text().isEmpty());
    EXPECT_EQ(f->dbtNome->text().toStdString(),
              f->cdsConvOrceve.FieldByName("NMLISTACONVOREV").AsString());

    EXPECT_TRUE(boPanel);
    EXPECT_EQ(Buttons(f), kListWithGuests);
    EXPECT_EQ(MenuItems(f), kListWithGuests);
    EXPECT_TRUE(f->cmbTratConvEspec->isEnabled());
}

TEST_F(FilterTest, ASequenceWithoutGuestsOpensAnEmptyGrid) {
    // A list with guests first, so that the count must really change.
    OpenList(kBudget);
    ASSERT_GT(f->nedQtdeLista->Number(), 0);
    EnterPanel();
    f->listKey.medOrcamento->SetText(kEmptyBudget);
    FocusOn(f->listKey.edtSeq);  // the budget's exit sets "00"
    f->listKey.edtSeq->SetText("01");
    LeavePanel();

    EXPECT_TRUE(Errors().empty());
    ASSERT_TRUE(f->cdsConvOrceve.Active());
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), 0);
    EXPECT_EQ(f->dbgPadrao->Model()->rowCount(), 0);
    EXPECT_EQ(f->nedQtdeLista->Text(), "0");
    EXPECT_EQ(Buttons(f), kEmptyList);
    EXPECT_EQ(MenuItems(f), kEmptyList);
    EXPECT_FALSE(f->cmbTratConvEspec->isEnabled());
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 0);
}

TEST_F(FilterTest, EnteringThePanelAgainClosesTheListAndDisablesTheToolbar) {
    OpenList(kBudget);
    ASSERT_TRUE(f->cdsConvOrceve.Active());
    const double count = f->nedQtdeLista->Number();
    f->cmbTratConvEspec->SetItemIndex(3);
    recorder->Clear();

    EnterPanel();
    EXPECT_FALSE(boPanel);
    EXPECT_FALSE(f->cdsConvOrceve.Active());
    EXPECT_FALSE(f->listKey.cdsVdOrca.Active());
    EXPECT_EQ(f->dbgPadrao->Model()->rowCount(), 0);
    EXPECT_TRUE(f->dbtCliente->text().isEmpty());
    EXPECT_TRUE(f->dbeNmPrBase->text().isEmpty());
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 0);
    EXPECT_FALSE(f->cmbTratConvEspec->isEnabled());
    EXPECT_EQ(Buttons(f), kAllOff);
    EXPECT_EQ(MenuItems(f), kAllOff);
    // The count keeps its last value; nothing was sent.
    EXPECT_EQ(f->nedQtdeLista->Number(), count);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(FilterTest, LookupsFillTheFieldsAndClearTheOnesAfterThem) {
    Open(kBudget, "01");

    services.search.ExpectPick(2);
    f->listKey.btnFilial->click();
    Settle();
    EXPECT_EQ(services.search.Texts(), Strings{"Filial|Não há filial cadastrada."});
    EXPECT_EQ(f->listKey.medCdFilial->Text(), "0002");
    EXPECT_EQ(f->listKey.edtNmFilial->Text(), "Filial Centro");
    EXPECT_EQ(f->listKey.medOrcamento->Text(), "");
    EXPECT_EQ(f->listKey.edtSeq->Text(), "");

    // The budget lookup lists the branch's budgets as the branch is typed.
    f->listKey.medCdFilial->SetText("1");
    recorder->Clear();
    services.search.ExpectCancel();
    f->listKey.btnOrca->click();
    Settle();
    EXPECT_EQ(recorder->Signatures(), Strings{"GetOrcamento(1)"});
    EXPECT_EQ(f->listKey.cdsOrcamento.RecordCount(), 0);

    f->listKey.medCdFilial->SetText("0001");
    f->listKey.medOrcamento->SetText(kBudget);
    f->listKey.edtSeq->SetText("01");
    services.search.ExpectPick(2);
    f->listKey.btnOrca->click();
    Settle();
    EXPECT_EQ(services.search.Texts().back(), "Orçamento|Não há orçamento cadastrado.");
    EXPECT_EQ(f->listKey.medOrcamento->Text(),
              f->listKey.cdsOrcamento.FieldByName("NRORCAEVENTO").AsString());
    EXPECT_NE(f->listKey.medOrcamento->Text(), kBudget);
    EXPECT_EQ(f->listKey.edtSeq->Text(), "");
    EXPECT_EQ(Focused(), f->listKey.medOrcamento);
    EXPECT_TRUE(Errors().empty());
}

// At its default size, which is the designed one scaled to this font as
// its columns are, the window shows every column of the grid whole.
TEST_F(FilterTest, TheWindowStacksItsPanelsWithTheBigListLoaded) {
    host->resize(1900, 1000);
    OpenList(kBigBudget);
    ASSERT_EQ(f->cdsConvOrceve.RecordCount(), 5000);
    EXPECT_EQ(f->nedQtdeLista->Text(), "5000");
    EXPECT_EQ(f->size(), corvana::ui::Scaled(QSize(1178, 510), f->font()));
    int columns = 0;
    for (int c = 0; c < f->dbgPadrao->Model()->columnCount(); ++c)
        columns += f->dbgPadrao->columnWidth(c);
    EXPECT_LE(columns, f->dbgPadrao->viewport()->width());

    auto top = [&](QWidget* w) { return w->mapTo(f, QPoint(0, 0)).y(); };
    auto bottom = [&](QWidget* w) { return top(w) + w->height(); };
    EXPECT_EQ(f->panFiltro->height(), 63);
    EXPECT_EQ(f->panOrcamento->height(), 51);
    EXPECT_EQ(f->panTotalizador->height(), 41);
    EXPECT_LE(bottom(f->panMenu), top(f->panFiltro));
    EXPECT_LE(bottom(f->panFiltro), top(f->panOrcamento));
    EXPECT_LE(bottom(f->panOrcamento), top(f->pgcPadrao));
    EXPECT_LE(bottom(f->dbgPadrao), top(f->panTotalizador));
    EXPECT_LE(bottom(f->panTotalizador), bottom(f->pgcPadrao));
    EXPECT_LE(bottom(f->pgcPadrao), top(f->panNavigator));
    EXPECT_LE(bottom(f->panNavigator), f->height());
    // The grid keeps room for rows, and every label shows whole.
    EXPECT_GE(f->dbgPadrao->height(), 150);
    for (QLabel* label : f->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(f) || label->text().isEmpty()) continue;
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }

    // LISTCONV_SCREENSHOT names a PNG file to keep a picture of the screen.
    if (const QByteArray path = qgetenv("LISTCONV_SCREENSHOT"); !path.isEmpty()) {
        Settle();
        EXPECT_TRUE(f->FrameWindow()->grab().save(QString::fromLocal8Bit(path)));
    }
}
