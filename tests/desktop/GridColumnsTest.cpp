// The guest list's columns at the window's default size on the screens of
// office PCs and laptops: every column in view without a scroll bar, each
// masked value whole.
#include "DesktopSession.h"

namespace desktop {

namespace {

class GridColumns : public DesktopTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        screen = GetParam();
        DesktopTest::SetUp();
    }
};

}  // namespace

TEST_P(GridColumns, EveryColumnFitsAndShowsItsWidestValueWhole) {
    StartServer();
    // The first guest with the widest values of the masked columns: a
    // company's CNPJ, a mobile with its area code, a 14-digit telephone.
    Exec(
        "UPDATE LISTACONVOREV SET NRTELCONVEVEN = '55519921724552', "
        "NRCELCONVEVEN = '51934801740', "
        "(CDCLIENTELISTCONV, NRINSJURCLILISCONV) = (SELECT CDCLIENTE, NRINSJURCLIE FROM CLIENTE "
        " WHERE IDTPIJURCLIE = 'J' AND NRINSJURCLIE NOT IN (SELECT NRINSJURCLILISCONV "
        " FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001') LIMIT 1) "
        "WHERE CDFILIAL = '0001' AND NRORCAEVENTO = '0000001001' AND NRSEQORCAEVE = '01' "
        "AND NRLISTACONVOREV = (SELECT MIN(NRLISTACONVOREV) FROM LISTACONVOREV "
        " WHERE CDFILIAL = '0001' AND NRORCAEVENTO = '0000001001' AND NRSEQORCAEVE = '01')");
    StartHost({"0001", "Matriz", "0000001001", "01"});
    LoadList();

    const Snapshot s = Dump();
    EXPECT_FALSE(s.gridScrolls);
    EXPECT_EQ(s.columns.size(), 11u);
    std::map<std::string, std::string> first;
    for (const Snapshot::Cell& cell : s.cells) {
        if (cell.row == 0) first[cell.field] = cell.text;
        // The name and the e-mail give up width first; every other column
        // shows its values whole.
        if (cell.field == "NMLISTACONVOREV" || cell.field == "DSEMAILCONVEVEN") continue;
        EXPECT_TRUE(cell.whole) << cell.field << " " << cell.row << ": " << cell.text;
    }
    EXPECT_EQ(first["NRTELCONVEVEN"], "55519921724552");
    EXPECT_EQ(first["NRCELCONVEVEN"], "(51) 93480-1740");
    EXPECT_EQ(first["NRINSJURCLILISCONV"].size(), 18u) << first["NRINSJURCLILISCONV"];
}

std::string ScreenName(const ::testing::TestParamInfo<const char*>& screen) {
    return std::string(screen.param).substr(0, 4) == "1600" ? "Office" : "Laptop";
}

INSTANTIATE_TEST_SUITE_P(Screens, GridColumns, ::testing::Values("1600x900", "1366x768"),
                         ScreenName);

}  // namespace desktop
