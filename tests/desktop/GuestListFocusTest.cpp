// The guest list screen's focus in a real window: what the window system,
// its menus and its message boxes do to the filter panel, the grid and the
// navigator.
#include "DesktopSession.h"

namespace desktop {

namespace {

class GuestListFocus : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        StartOnTheTestList();
    }

    void LoadList() {
        DesktopTest::LoadList();
        ASSERT_GT(Dump().gridRows, 2);
    }

    int Count(const std::string& text) const {
        int n = 0;
        for (const std::string& m : Messages())
            if (m.find(text) != std::string::npos) ++n;
        return n;
    }
};

constexpr const char* kListButtons[] = {"sbtIncluir", "sbtAlterar",  "sbtExcluir",   "sbtVerificar",
                                        "sbtImpArq",  "sbtImprimir", "sbtConfirmar", "sbtCancelar"};

}  // namespace

// The navigator's buttons move the cursor and leave the focus in the grid;
// the last row disabling "next" and "last" passes the focus nowhere.
TEST_F(GuestListFocus, NavigatorMovesThroughTheRowsWithoutClosingTheList) {
    LoadList();
    ClickCell(1, "NMLISTACONVOREV");
    const int rows = Dump().gridRows;
    const int budgetChecks = Calls("GetOrca");
    Click("btnNext");
    EXPECT_EQ(Dump().gridCurrent, 2);
    Click("btnLast");
    const Snapshot s = Dump();
    EXPECT_EQ(s.focus, "frmListConv.dbgPadrao");
    EXPECT_EQ(s.gridRows, rows);
    EXPECT_EQ(s.gridCurrent, rows - 1);
    EXPECT_TRUE(s.Enabled("sbtIncluir"));
    EXPECT_FALSE(s.Enabled("btnLast"));
    Click("btnFirst");
    EXPECT_EQ(Dump().gridCurrent, 0);
    EXPECT_EQ(Calls("GetConvOrceve"), 1);
    EXPECT_EQ(Calls("GetOrca"), budgetChecks);
}

// Opening the screen's menu, or a message box, from the filter panel and
// closing it again is no exit from the panel.
TEST_F(GuestListFocus, MenusAndMessageBoxesAreNoExitFromTheFilterPanel) {
    Click("medOrcamento");
    ASSERT_EQ(Dump().focus, "frmListConv.medOrcamento");
    ClickMenu("Manutenção");
    Key("Escape");
    Key("Escape");
    EXPECT_EQ(Dump().focus, "frmListConv.medOrcamento");

    Click("sbtAjuda");
    ASSERT_TRUE(WaitForMessage("EVT07800", 0));
    Answer("Return");
    const Snapshot s = Dump();
    EXPECT_TRUE(s.boxes.empty());
    EXPECT_EQ(s.focus, "frmListConv.medOrcamento");
    EXPECT_EQ(Calls("GetOrca"), 0);
    EXPECT_EQ(Calls("GetSequencial"), 0);
    EXPECT_EQ(Calls("GetConvOrceve"), 0);
}

// A refused field shows its message once, whether the box is answered with
// Enter or Escape, and keeps the focus; typing ahead of the box changes
// nothing.
TEST_F(GuestListFocus, ARefusalShowsItsMessageOnceAndKeepsTheFocusInTheField) {
    LoadList();
    ClickCell(0, "NRRGLISTAOREV");
    Type("4455667");
    Key("Down");
    ASSERT_TRUE(WaitUntil([&] { return Calls("SetConvOrceve") == 1; }));

    Click("medCdFilial");
    Key("End BackSpace BackSpace BackSpace BackSpace");
    Type("1");
    Key("Tab Tab Tab");
    ASSERT_TRUE(WaitForMessage("Orçamento deve ser informado.", 0));
    Answer("Return");
    EXPECT_EQ(Dump().focus, "frmListConv.medOrcamento");

    const int budgetChecks = Calls("GetOrca");
    Type("999");
    Click("dbgPadrao");
    ASSERT_TRUE(WaitForMessage("Orçamento não cadastrado.", 0));
    Answer("Return");
    Snapshot s = Dump();
    EXPECT_TRUE(s.boxes.empty());
    EXPECT_EQ(s.focus, "frmListConv.medOrcamento");
    EXPECT_EQ(Count("Orçamento não cadastrado."), 1);
    EXPECT_EQ(Calls("GetOrca"), budgetChecks + 1);

    Click("dbgPadrao");
    ASSERT_TRUE(WaitForMessage("Orçamento não cadastrado.", 1));
    Answer("Escape");
    s = Dump();
    EXPECT_TRUE(s.boxes.empty());
    EXPECT_EQ(s.focus, "frmListConv.medOrcamento");
    EXPECT_EQ(Count("Orçamento não cadastrado."), 2);
    EXPECT_EQ(Calls("GetOrca"), budgetChecks + 2);
    EXPECT_EQ(Calls("GetConvOrceve"), 2);  // the load and the reload after the save
}

// Tab leaves the sequence for the grid, which the list then fills.
TEST_F(GuestListFocus, TabFromTheSequenceLoadsTheListIntoTheGrid) {
    Click("edtSeq");
    Key("Tab");
    ASSERT_TRUE(WaitUntil([&] { return Calls("GetConvOrceve") == 1; }));
    const Snapshot s = Dump();
    EXPECT_EQ(s.focus, "frmListConv.dbgPadrao");
    EXPECT_GT(s.gridRows, 2);
}

// Shift+Tab from the budget, the panel's first tab stop, goes to the branch
// and no further: the panel is not left, nothing of it is checked.
TEST_F(GuestListFocus, ShiftTabStaysInTheFilterPanel) {
    Click("medOrcamento");
    Key("shift+Tab");
    EXPECT_EQ(Dump().focus, "frmListConv.medCdFilial");
    Key("shift+Tab");
    EXPECT_EQ(Dump().focus, "frmListConv.medCdFilial");
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Calls("GetSequencial"), 0);
    EXPECT_EQ(Calls("GetConvOrceve"), 0);
}

// Enter stores what was typed in the digits-only columns and moves on, as
// in any other column (from the last one it closes the editor); letters are
// still refused there.
TEST_F(GuestListFocus, EnterMovesOnFromTheDigitsOnlyColumns) {
    LoadList();
    ClickCell(0, "NRTELCONVEVEN");
    Type("x5");
    Key("Return");
    Snapshot s = Dump();
    EXPECT_EQ(s.gridField, "NRCELCONVEVEN");
    ClickCell(0, "NRORDEMEXIBCONTRAT");
    Type("9");
    Key("Return");
    s = Dump();
    EXPECT_EQ(s.gridField, "NRORDEMEXIBCONTRAT");
    std::map<std::string, std::string> shown;
    for (const Snapshot::Cell& cell : s.cells)
        if (cell.row == 0) shown[cell.field] = cell.text;
    EXPECT_EQ(shown["NRTELCONVEVEN"], "5");
    EXPECT_EQ(shown["NRORDEMEXIBCONTRAT"], "9");
    Key("Escape");
    EXPECT_EQ(Calls("SetConvOrceve"), 0);
}

// Before the filter panel is left no button that works on the list can be
// pressed, also in a window that was never activated (no window manager gave
// it the focus, so the panel was never entered); after, they follow the list.
class GuestListUnactivated : public GuestListFocus {
protected:
    void SetUp() override {
        windowManager = false;
        GuestListFocus::SetUp();
    }
};

TEST_F(GuestListUnactivated, TheToolBarFollowsTheListFromTheStart) {
    Snapshot s = Dump();
    for (const char* b : kListButtons) EXPECT_FALSE(s.Enabled(b)) << b;
    EXPECT_TRUE(s.Enabled("sbtFechar"));
    Click("sbtIncluir");
    Click("sbtExcluir");
    Dump();
    EXPECT_TRUE(Messages().empty());
    Click("medCdFilial");
    LoadList();
    s = Dump();
    for (const char* b : {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtVerificar", "sbtImpArq"})
        EXPECT_TRUE(s.Enabled(b)) << b;
    EXPECT_FALSE(s.Enabled("sbtConfirmar"));
    EXPECT_TRUE(Messages().empty());
}

}  // namespace desktop
