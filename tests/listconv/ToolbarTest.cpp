// The grid's key filter and the tool bar: insert, change, delete, reload,
// import and print.
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include "ListConvScreen.h"

using corvana::DataSetState;
using Strings = std::vector<std::string>;

namespace {

// Only confirm and cancel, of the eight buttons Habilita_Botao sets.
bool OnlyConfirmAndCancel(const TfrmListConv* f) {
    for (const corvana::ui::TButtonFlat* b : {f->sbtIncluir, f->sbtAlterar, f->sbtExcluir,
                                              f->sbtVerificar, f->sbtImpArq, f->sbtImprimir})
        if (b->isEnabled() || b->MenuItem()->isEnabled()) return false;
    return f->sbtConfirmar->isEnabled() && f->sbtCancelar->isEnabled() &&
           f->mnuConfirmar->isEnabled() && f->mnuCancelar->isEnabled();
}

std::string EditorText(const TfrmListConv* f) {
    auto* editor = f->dbgPadrao->CellEditor();
    if (!editor) return "<no editor>";
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) line = editor->findChild<QLineEdit*>();
    return line ? line->text().toStdString() : "<no line edit>";
}

}  // namespace

class ToolbarTest : public ListConvScreen {};

TEST_F(ToolbarTest, PickListColumnsTakeNoTypedKeyButEnter) {
    OpenList(kBudget);
    ASSERT_EQ(Focused(), f->dbgPadrao);
    for (const char* name :
         {"IDCONVPRESEOREV", "IDCONDICAOCONVEV", "IDTIPOCONVEVEN", "IDEXIBECONVCONTRAT"}) {
        SCOPED_TRACE(name);
        const std::string before = F(name).AsString();
        f->dbgPadrao->SetSelectedField(&F(name));
        Type("x5 ");
        Press(Qt::Key_Backspace);
        EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
        EXPECT_EQ(f->dbgPadrao->CellEditor(), nullptr);
        EXPECT_EQ(F(name).AsString(), before);
        // Enter reaches the grid, which moves on to the next column.
        Press(Qt::Key_Return);
        ASSERT_NE(f->dbgPadrao->SelectedField(), nullptr);
        EXPECT_NE(f->dbgPadrao->SelectedField()->Name(), name);
    }
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ToolbarTest, TelephoneMobileAndOrderRefuseWhatIsNotADigit) {
    OpenList(kBudget);
    for (const char* name : {"NRTELCONVEVEN", "NRCELCONVEVEN", "NRORDEMEXIBCONTRAT"}) {
        SCOPED_TRACE(name);
        f->dbgPadrao->SetSelectedField(&F(name));
        Type("1(");
        Press(Qt::Key_Backspace);
        Type("2- a");
        EXPECT_EQ(EditorText(f), "2");
        Type("3");
        // Enter stores the cell and moves on as in every other column; the
        // last column has nowhere to go.
        Press(Qt::Key_Return);
        EXPECT_EQ(F(name).AsString(), "23");
        EXPECT_EQ(f->dbgPadrao->SelectedField()->Name(),
                  std::string(name) == "NRORDEMEXIBCONTRAT" ? name
                  : std::string(name) == "NRTELCONVEVEN"    ? "NRCELCONVEVEN"
                                                            : "DSEMAILCONVEVEN");
        Press(Qt::Key_Escape);
        EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    }
}

TEST_F(ToolbarTest, OtherColumnsLetEveryKeyThrough) {
    OpenList(kBudget);
    for (const char* name : {"NMLISTACONVOREV", "NRRGLISTAOREV", "DSEMAILCONVEVEN"}) {
        SCOPED_TRACE(name);
        f->dbgPadrao->SetSelectedField(&F(name));
        Type("a-1 (");
        EXPECT_EQ(EditorText(f), "a-1 (");
        Press(Qt::Key_Escape);
    }
    // With the list closed a key does nothing and raises nothing.
    EnterPanel();
    ASSERT_FALSE(f->cdsConvOrceve.Active());
    char32_t key = U'x';
    f->dbgPadraoKeyPress(f->dbgPadrao, key);
    EXPECT_EQ(key, U'x');
    QTest::keyClick(f->dbgPadrao, 'x');
    EXPECT_TRUE(Errors().empty());
    EXPECT_FALSE(f->cdsConvOrceve.Active());
}

TEST_F(ToolbarTest, InsertStartsInTheInscriptionColumnAndLeavesConfirmAndCancel) {
    OpenList(kBudget);
    const int guests = f->cdsConvOrceve.RecordCount();
    f->dbgPadrao->SetSelectedField(&F("DSEMAILCONVEVEN"));
    FocusOn(f->cmbTratConvEspec);

    f->sbtIncluir->click();
    Settle();
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);
    EXPECT_EQ(Focused(), f->dbgPadrao);
    ASSERT_NE(f->dbgPadrao->SelectedField(), nullptr);
    EXPECT_EQ(f->dbgPadrao->SelectedField()->Name(), "NRINSJURCLILISCONV");
    EXPECT_TRUE(OnlyConfirmAndCancel(f));
    EXPECT_EQ(f->nedQtdeLista->Number(), guests);
    f->cdsConvOrceve.Cancel();
    EXPECT_TRUE(f->sbtIncluir->isEnabled());

    f->sbtAlterar->click();
    Settle();
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    EXPECT_TRUE(OnlyConfirmAndCancel(f));
    f->cdsConvOrceve.Cancel();

    // Delete asks first; "Não" keeps the guest and the buttons.
    services.dialogs.ExpectConfirm(false);
    f->sbtExcluir->click();
    Settle();
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), guests);
    EXPECT_TRUE(f->sbtExcluir->isEnabled());
    EXPECT_EQ(services.dialogs.Messages().back().text, "Confirma exclusão?");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ToolbarTest, ReloadShowsGuestsThatAnotherUserAdded) {
    OpenList(kBudget);
    const int guests = f->cdsConvOrceve.RecordCount();
    f->cdsConvOrceve.Last();

    // Another program adds two guests to the same list.
    corvana::Variant refused =
        ImportAsAnotherUser(port, kBudget, {"Zélia Convidada Depois", "Ana Convidada Depois"});
    ASSERT_TRUE(refused.isPacket());
    ASSERT_EQ(refused.asPacket().rowCount(), 0u);

    recorder->Clear();
    services.busy.Clear();
    f->sbtVerificar->click();
    Settle();
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Calls(), Strings{"GetConvOrceve"});  // the header is not reloaded
    EXPECT_EQ(services.busy.Activations(), std::vector<int>{6});
    EXPECT_FALSE(services.busy.Active());
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), guests + 2);
    EXPECT_EQ(f->nedQtdeLista->Number(), guests + 2);
    EXPECT_EQ(f->dbgPadrao->Model()->rowCount(), guests + 2);
    EXPECT_EQ(f->cdsConvOrceve.RecNo(), 1);
    EXPECT_TRUE(f->cdsConvOrceve.Locate("NMLISTACONVOREV", "Zélia Convidada Depois"));
    EXPECT_TRUE(f->sbtVerificar->isEnabled());
    EXPECT_TRUE(f->sbtImprimir->isEnabled());
}

TEST_F(ToolbarTest, AFailedReloadRemovesTheAnimationAndKeepsTheList) {
    OpenList(kBudget);
    const int guests = f->cdsConvOrceve.RecordCount();
    StopServer();
    services.busy.Clear();

    f->sbtVerificar->click();
    Settle();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(services.busy.Activations(), std::vector<int>{6});
    EXPECT_FALSE(services.busy.Active());
    ASSERT_TRUE(f->cdsConvOrceve.Active());
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), guests);
    EXPECT_EQ(f->nedQtdeLista->Number(), guests);
    EXPECT_TRUE(f->sbtVerificar->isEnabled());
}

TEST_F(ToolbarTest, PrintStartsDisabledAndTheMenuEndsWithASeparator) {
    TfrmListConv fresh;
    EXPECT_FALSE(fresh.sbtImprimir->Enabled());
    EXPECT_FALSE(fresh.mnuImprimir->isEnabled());
    ASSERT_NE(fresh.mnuLinha4, nullptr);
    EXPECT_TRUE(fresh.mnuLinha4->isSeparator());
    EXPECT_EQ(fresh.mnuManutencao->actions().back(), fresh.mnuLinha4);
}

TEST_F(ToolbarTest, PrintAndImportOpenANewModalWindowEachTime) {
    // The report screen opens only with report definitions to list.
    Corvana::SetReportsDir(EVT_REPORT_DEFINITIONS);
    OpenList(kBudget);
    Strings opened;
    auto closeModal = [&] {
        QTimer::singleShot(20, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened.push_back(modal->objectName().toStdString());
                modal->close();
            }
        });
    };
    for (int i = 0; i < 2; ++i) {
        closeModal();
        f->sbtImprimir->click();
        closeModal();
        f->sbtImpArq->click();
    }
    Settle();
    EXPECT_EQ(opened,
              (Strings{"frmListaConvRel", "frmListaImpArq", "frmListaConvRel", "frmListaImpArq"}));
}
