// The totals panel: the treatment box following the list's first guest,
// the user's choice, and the guest count.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include "ListConvScreen.h"

using corvana::DataSetState;

class TotalsTest : public ListConvScreen {
protected:
    // The treatment stored on the first guest of the ordinary budget's list.
    void SetFirstTreatment(const char* code) {
        Sql("UPDATE LISTACONVOREV SET IDTPTRATCONVESPEC = ? WHERE CDFILIAL = '0001' AND "
            "NRORCAEVENTO = ? "
            "AND NRSEQORCAEVE = '01' AND NRLISTACONVOREV = '00001'",
            code, kBudget);
    }
    int Reloaded(const char* code) {
        SetFirstTreatment(code);
        f->sbtVerificar->Click();
        return f->cmbTratConvEspec->ItemIndex();
    }
};

TEST_F(TotalsTest, TheBoxFollowsTheFirstGuestOnLoadAndOnReload) {
    SetFirstTreatment("NOIVOS");
    OpenList(kBudget);
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 1);
    EXPECT_EQ(f->cmbTratConvEspec->Text(), "Dados dos Noivos");
    // Shown from code: the guest is not put in edit state.
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);

    EXPECT_EQ(Reloaded("*"), 1);  // "*" keeps what is shown
    EXPECT_EQ(Reloaded("REPRESENTANTE"), 3);
    EXPECT_EQ(Reloaded("noivos"), 3);  // compared exactly
    EXPECT_EQ(Reloaded("Dr."), 3);
    EXPECT_EQ(Reloaded(""), 0);  // only an empty code shows the blank
    EXPECT_EQ(Reloaded("DEBUTREPRESENTANTE"), 4);
    EXPECT_EQ(Reloaded("DEBUTANTE"), 2);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    EXPECT_TRUE(Errors().empty());

    // Entering the panel resets the box, so "*" now shows the blank.
    EnterPanel();
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 0);
    SetFirstTreatment("*");
    LeavePanel();
    ASSERT_TRUE(f->cdsConvOrceve.Active());
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 0);
}

TEST_F(TotalsTest, TheUsersChoicePutsTheCurrentGuestInEditState) {
    SetFirstTreatment("DEBUTANTE");
    OpenList(kBudget);
    ASSERT_EQ(f->cmbTratConvEspec->ItemIndex(), 2);
    FocusOn(f->cmbTratConvEspec);
    ASSERT_TRUE(f->cmbTratConvEspec->isEnabled());
    Press(Qt::Key_Up);

    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 1);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    EXPECT_EQ(f->cdsConvOrceve.RecNo(), 1);
    // The code reaches the guest only when it is posted.
    EXPECT_EQ(F("IDTPTRATCONVESPEC").AsString(), "DEBUTANTE");
    EXPECT_TRUE(f->sbtConfirmar->isEnabled());
    EXPECT_FALSE(f->sbtVerificar->isEnabled());

    // A second choice while editing changes nothing else.
    Press(Qt::Key_Up);
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), 0);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(TotalsTest, TypingInTheBoxSelectsNoItemAndStillEditsTheGuest) {
    OpenList(kBudget);
    FocusOn(f->cmbTratConvEspec);
    Type("x");
    EXPECT_EQ(f->cmbTratConvEspec->ItemIndex(), -1);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
}

TEST_F(TotalsTest, TheCountFollowsTheListOnlyWhenItIsBrowsed) {
    OpenList(kBudget);
    const int guests = f->cdsConvOrceve.RecordCount();
    ASSERT_EQ(f->nedQtdeLista->Number(), guests);

    f->cdsConvOrceve.Append();
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), guests + 1);
    EXPECT_EQ(f->nedQtdeLista->Number(), guests);  // still inserting
    f->cdsConvOrceve.Cancel();
    EXPECT_EQ(f->nedQtdeLista->Number(), guests);

    // A delete from browse changes no state; the count follows all the same.
    services.dialogs.ExpectConfirm(true);  // "Confirma exclusão?"
    f->sbtExcluir->Click();
    ASSERT_TRUE(Errors().empty());
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), guests - 1);
    EXPECT_EQ(f->nedQtdeLista->Number(), guests - 1);
}

// A choice confirmed from the box leaves the focus in the grid; a click
// anywhere on the box opens it, as on every pick list.
TEST_F(TotalsTest, AConfirmedChoiceReturnsToTheGridAndTheBoxOpensOnAClick) {
    SetFirstTreatment("DEBUTANTE");
    OpenList(kBudget);
    QComboBox* box = f->cmbTratConvEspec;
    FocusOn(box);
    Press(Qt::Key_Up);
    ASSERT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    f->sbtConfirmar->Click();
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    EXPECT_TRUE(f->dbgPadrao->hasFocus());
    EXPECT_TRUE(Errors().empty());

    QTest::mouseClick(box->lineEdit(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(QTest::qWaitFor([box] { return box->view()->isVisible(); }, 5000));
    box->hidePopup();
}
