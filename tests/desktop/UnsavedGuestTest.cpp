// A guest typed while the server is away is the user's work: the screen, the
// host and the filter panel ask before it goes, "Não" keeps it, and it is
// saved once the server is back.
#include "DesktopSession.h"

namespace desktop {

namespace {

constexpr const char* kNoServer = "Não foi possível conectar ao servidor de aplicação";

class UnsavedGuest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) return;
        StartOnTheTestList();
        LoadList();
    }

    // Incluir, the name, Confirmar: its checks cannot reach the stopped
    // server, the failure is shown and the row stays in insert.
    void TypeAGuestWhileTheServerIsAway() {
        serverPort_ = port;
        StopServer();
        Click("sbtIncluir");
        Key("Tab");
        Type("Convidado Perdido");
        Click("sbtConfirmar");
        ASSERT_TRUE(WaitForMessage(kNoServer, 0));
        Answer("Return");
    }

    // After a way out was taken: the guest is posted again and fails again,
    // then the question, answered with its default, "Não".
    void KeepTheGuest() {
        ASSERT_TRUE(WaitForMessage(kNoServer, 1));
        Answer("Return");
        ASSERT_TRUE(WaitForMessage("1 alteração da lista de convidados não foi gravada", 0));
        Answer("Return");
        const Snapshot kept = Dump();
        EXPECT_TRUE(host->Running());
        EXPECT_TRUE(kept.boxes.empty());
        EXPECT_EQ(kept.widgets.count("frmListConv"), 1u);
        EXPECT_TRUE(kept.Enabled("sbtConfirmar"));
    }

    void SaveOnceTheServerIsBack() {
        StartServer(serverPort_);
        Click("sbtConfirmar");
        EXPECT_TRUE(WaitUntil([&] { return Saved() == "1"; })) << Saved();
    }

    std::string Saved() const {
        return Query(
                   "SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' "
                   "AND NMLISTACONVOREV = 'Convidado Perdido'")
            .value_or("?");
    }

    int serverPort_ = 0;
};

}  // namespace

TEST_F(UnsavedGuest, ClosingTheWindowAsksFirst) {
    TypeAGuestWhileTheServerIsAway();
    Click("sbtFechar");
    KeepTheGuest();
    SaveOnceTheServerIsBack();
}

TEST_F(UnsavedGuest, ClosingTheHostAsksFirst) {
    TypeAGuestWhileTheServerIsAway();
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Corvana Eventos"; }));
    Key("alt+F4");
    KeepTheGuest();
    SaveOnceTheServerIsBack();
    const std::optional<int> code = QuitHost();
    ASSERT_TRUE(code.has_value()) << "o host não terminou";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(Saved(), "1");
}

TEST_F(UnsavedGuest, EnteringTheFilterPanelAsksFirst) {
    TypeAGuestWhileTheServerIsAway();
    Click("medOrcamento");
    KeepTheGuest();
    EXPECT_EQ(Dump().focus, "frmListConv.dbgPadrao");
    SaveOnceTheServerIsBack();
}

}  // namespace desktop
