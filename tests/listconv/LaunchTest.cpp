#include <QApplication>
#include <ostream>

#include "ListConvFixture.h"
#include "corvana/core/Corvana.h"

namespace {

struct Fields {
    std::string filial, nome, orca, seq;
    bool operator==(const Fields&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Fields& f) {
        return os << f.filial << " | " << f.nome << " | " << f.orca << " | " << f.seq;
    }
};

Fields FilterFields(TfrmListConv* f) {
    return {f->listKey.medCdFilial->Text(), f->listKey.edtNmFilial->Text(),
            f->listKey.medOrcamento->Text(), f->listKey.edtSeq->Text()};
}

}  // namespace

class LaunchTest : public ListConvFixture {
protected:
    void SetUp() override {
        ListConvFixture::SetUp();
        // The host's current branch differs from the launched one, so that
        // the tests can tell which one a field holds.
        Corvana::SetFiliProc("0002");
        Corvana::SetNomeFiliProc("Filial Centro");
    }
};

TEST_F(LaunchTest, LaunchValuesLandUnchangedAndTheBranchStaysOnActivation) {
    TfrmListConv* f = Launch(Values({"0001", "Matriz", "ABC", "01"}));
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(boStCriado);
    EXPECT_FALSE(boPrimVez);
    EXPECT_EQ(FilterFields(f), (Fields{"0001", "Matriz", "ABC", "01"}));
    EXPECT_EQ(f->Caption(), "Lista de Convidados");
    EXPECT_EQ(f->lblCodTela->Caption(), "EVT07800");
    EXPECT_EQ(QApplication::focusWidget(), f->listKey.medCdFilial);
}

TEST_F(LaunchTest, MalformedParamsOpenEmptyWithTheHostBranch) {
    for (const corvana::Variant& params :
         {Values({"0001", "Matriz", "ABC"}), corvana::Variant("0001;Matriz;ABC;01"),
          corvana::Variant()}) {
        SCOPED_TRACE(params.kind() == corvana::Variant::Kind::Array ? "três elementos"
                                                                    : "não é lista");
        TfrmListConv* f = Launch(params);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(FilterFields(f), (Fields{"0002", "Filial Centro", "", ""}));
        CloseScreens();
    }
}

TEST_F(LaunchTest, ElementsAfterTheFourthAreIgnored) {
    TfrmListConv* f =
        Launch(Values({"0001", "Matriz", "0000000123", "02", "extra", corvana::Variant::Array{}}));
    Fields got = FilterFields(f);
    EXPECT_EQ(got.filial, "0001");
    EXPECT_EQ(got.orca, "0000000123");
    EXPECT_EQ(got.seq, "02");
}

TEST_F(LaunchTest, ValuesThatDoNotFitOpenAnEmptyWindowAndRestoreTheCursor) {
    TfrmListConv* f = Launch(Values({"00001", "Matriz", "0000000123", "01"}));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(FilterFields(f).orca, "");
    EXPECT_EQ(FilterFields(f).filial, "0002");
    EXPECT_FALSE(services.cursor.IsWait());

    // The factory itself restores the cursor when opening fails.
    CloseScreens();
    services.cursor.Clear();
    EXPECT_THROW(CriaListConv("0001", "Matriz", "00000001234", "01"), corvana::Error);
    EXPECT_FALSE(boStCriado);
    ASSERT_FALSE(services.cursor.History().empty());
    EXPECT_TRUE(services.cursor.History().front());
    EXPECT_FALSE(services.cursor.IsWait());
}

TEST_F(LaunchTest, SecondLaunchBringsTheSameWindowUnchanged) {
    TfrmListConv* first = Launch(Values({"0001", "Matriz", "ABC", "01"}));
    first->listKey.edtSeq->SetText("03");
    first->FrameWindow()->showMinimized();
    Settle();
    TfrmListConv* second = Launch(Values({"0003", "Filial Praia", "XYZ", "02"}));
    EXPECT_EQ(second, first);
    EXPECT_EQ(mdi->subWindowList().size(), 1);
    EXPECT_FALSE(first->FrameWindow()->isMinimized());
    Fields got = FilterFields(second);
    EXPECT_EQ(got.filial, "0001");
    EXPECT_EQ(got.orca, "ABC");
    EXPECT_EQ(got.seq, "03");
    EXPECT_EQ(stCdFilial, "0003");  // the values wait for the next window
}

TEST_F(LaunchTest, CloseThenLaunchCreatesANewWindowWithTheNewValues) {
    TfrmListConv* first = Launch(Values({"0001", "Matriz", "ABC", "01"}));
    ASSERT_TRUE(first->netListaConv.Connected());
    EXPECT_EQ(first->netListaConv.Host(), "127.0.0.1");
    EXPECT_EQ(first->netListaConv.Port(), port);
    EXPECT_EQ(first->netListaConv.ServerName(), "evt07800.rdmListConv");

    QPointer<TfrmListConv> closed(first);
    first->Close();
    EXPECT_FALSE(boStCriado);
    EXPECT_FALSE(first->netListaConv.Connected());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()) << "the closed window must be released";

    TfrmListConv* second = Launch(Values({"0003", "Filial Praia", "XYZ", "02"}));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(FilterFields(second), (Fields{"0003", "Filial Praia", "XYZ", "02"}));
}

TEST_F(LaunchTest, BoundBranchDisablesTheBranchAndStartsInTheBudget) {
    Corvana::SetModuFili(true);
    TfrmListConv* f = Launch(Values({"", "", "", ""}));
    EXPECT_FALSE(f->listKey.medCdFilial->isEnabled());
    EXPECT_FALSE(f->listKey.lblFilial->isEnabled());
    EXPECT_FALSE(f->listKey.btnFilial->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), f->listKey.medOrcamento);
    EXPECT_EQ(f->listKey.medCdFilial->Text(), "0002");
}

TEST_F(LaunchTest, FreeBranchKeepsTheBranchEnabledAndStartsThere) {
    TfrmListConv* f = Launch(Values({"", "", "", ""}));
    EXPECT_TRUE(f->listKey.medCdFilial->isEnabled());
    EXPECT_TRUE(f->listKey.lblFilial->isEnabled());
    EXPECT_TRUE(f->listKey.btnFilial->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), f->listKey.medCdFilial);
}

TEST_F(LaunchTest, ALaterActivationChangesNothing) {
    TfrmListConv* f = Launch(Values({"", "", "", ""}));
    f->listKey.medOrcamento->SetFocus();
    f->listKey.medOrcamento->SetText("");
    Corvana::SetFiliProc("0003");

    // Another window takes the activation, then the screen gets it back.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    mdi->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(f->FrameWindow()));
    Settle();

    EXPECT_EQ(f->listKey.medCdFilial->Text(), "0002");
    EXPECT_EQ(QApplication::focusWidget(), f->listKey.medOrcamento);
}
