// Reception at the door from the organiser's desktop, in a real window: the
// guest list's menu "Recepção…" opens the window on the list shown,
// reception is enabled, a station is enrolled by name and its one-time code
// and address are shown; the server takes that code from a station once,
// and the window then shows the station active. With EVT_DESKTOP_SHOTS
// naming a folder, the screen with the code shown is saved there as
// recepcao-desktop.png.
#include <algorithm>
#include <cstdlib>
#include <regex>

#include "DesktopSession.h"

namespace desktop {

namespace {

bool Has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

}  // namespace

using ReceptionRoad = DesktopTest;

TEST_F(ReceptionRoad, AStationIsEnrolledFromTheGuestListsMenu) {
    StartOnTheTestList();
    LoadList();
    ClickMenu("Manutenção");
    Key("r");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Recepção"; }));
    Snapshot s = Dump();
    EXPECT_EQ(s.Text("lblLista"), "Filial 0001 Matriz · orçamento 0000001001 · sequência 01");
    EXPECT_FALSE(s.Enabled("sbtNovaEstacao"));
    EXPECT_EQ(Calls("GetRecepcao", "rdmRecepcao"), 1);

    Click("chkHabilitada");
    ASSERT_TRUE(WaitUntil([&] { return Dump().Enabled("sbtNovaEstacao"); }));
    EXPECT_EQ(Calls("SetRecepcao", "rdmRecepcao"), 1);

    Click("sbtNovaEstacao");
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Nova estação"; }));
    Type("Portaria 1");
    Key("Return");
    ASSERT_TRUE(WaitUntil([&] { return !Dump().Text("lblCodigo").empty(); }));
    s = Dump();
    const std::string code = s.Text("lblCodigo");
    EXPECT_TRUE(std::regex_match(code, std::regex("[ABCDEFGHJKMNPQRSTUVWXYZ23456789]{10}")))
        << code;
    EXPECT_EQ(s.Text("edtEndereco"),
              "http://127.0.0.1:" + std::to_string(port) + "/recepcao#codigo=" + code);
    EXPECT_EQ(Calls("SetEstacao", "rdmRecepcao"), 1);
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(Has(texts, "Portaria 1")) << "the station in the grid";
    EXPECT_TRUE(Has(texts, "Pendente"));
    if (const char* shots = std::getenv("EVT_DESKTOP_SHOTS")) {
        EXPECT_TRUE(Screenshot(std::filesystem::path(shots) / "recepcao-desktop.png"));
    }

    // The code shown is the station's: the server takes it once.
    const auto [status, body] = PostJson("/recepcao/api/entrar", "{\"codigo\":\"" + code + "\"}");
    EXPECT_EQ(status, 200) << body;
    EXPECT_TRUE(std::regex_search(body, std::regex(R"("estacao" *: *"Portaria 1")"))) << body;
    EXPECT_EQ(PostJson("/recepcao/api/entrar", "{\"codigo\":\"" + code + "\"}").first, 401);
    Click("sbtAtualizar");
    ASSERT_TRUE(WaitUntil([&] { return Has(Texts(), "Ativa"); }));

    Click("sbtFechar");
    ASSERT_TRUE(WaitUntil([&] { return Dump().focus.rfind("frmListConv.", 0) == 0; }));
    EXPECT_EQ(Messages().size(), 0u);
}

}  // namespace desktop
