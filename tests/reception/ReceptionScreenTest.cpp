// The organiser's reception window (reception/TfrmRecepcao) against the real
// server's modules: opened from the guest list's menu on the list it shows,
// reception enabled, a station enrolled (its code, address and QR image),
// refused names, revoked, reception disabled.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <memory>
#include <regex>

#include "listconv/GuestScreen.h"
#include "reception/QrReadBack.h"
#include "reception/RdmRecepcao.h"
#include "reception/TfrmRecepcao.h"

namespace {

using reception_test::ReadBack;
using reception_test::Reference;
using Strings = std::vector<std::string>;

class ReceptionTest : public GuestScreen {
protected:
    corvana::test::ServerModules OtherModules() override {
        if (!reception)
            reception = std::make_shared<GuestServerTap>(
                std::make_shared<evt::server::reception::RdmRecepcao>(db, nullptr));
        return {reception};
    }

    void CloseScreens() override {
        if (window) {
            window->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        GuestScreen::CloseScreens();
    }

    // The guest list loaded, and the reception window for it beside (run by
    // clicks, not modally).
    TfrmRecepcao* Open() {
        if (!OpenList(kBudget)) return nullptr;
        window = corvana::ui::CreateForm<TfrmRecepcao>(f->Shown());
        window->show();
        Settle();
        return window;
    }

    Strings Row(QTableWidget* table, int row) const {
        Strings cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells.push_back(table->item(row, c) ? table->item(row, c)->text().toStdString() : "");
        return cells;
    }
    std::string Text(QLabel* label) const { return label->text().toStdString(); }
    Strings Calls() const { return reception->CallNames(); }

    std::shared_ptr<GuestServerTap> reception;
    QPointer<TfrmRecepcao> window;
};

}  // namespace

// The guest list's menu opens the window modally on the list the screen
// shows, once a list is loaded.
TEST_F(ReceptionTest, TheGuestListsMenuOpensItOnTheListShown) {
    f = Launch(Values({"0001", "Matriz", kBudget, "01"}));
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->mnuRecepcao);
    EXPECT_EQ(f->mnuRecepcao->text().toStdString(), "&Recepção…");
    EXPECT_TRUE(f->mnuManutencao->actions().contains(f->mnuRecepcao));
    EXPECT_FALSE(f->mnuRecepcao->isEnabled()) << "no list loaded yet";
    FocusOn(f->dbgPadrao);
    ASSERT_TRUE(f->mnuRecepcao->isEnabled());

    std::string shown, caption;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != "frmRecepcao" || !modal->isVisible()) return;
        caption = modal->windowTitle().toStdString();
        shown = modal->findChild<QLabel*>("lblLista")->text().toStdString();
        static_cast<corvana::ui::TForm*>(modal)->Close();
    });
    watch.start();
    f->mnuRecepcao->trigger();
    watch.stop();
    EXPECT_EQ(caption, "Recepção");
    EXPECT_EQ(shown, "Filial 0001 Matriz · orçamento 0000001001 · sequência 01");
    EXPECT_EQ(Calls(), (Strings{"GetRecepcao", "GetEstacoes", "GetConflitos"}));
    EXPECT_EQ(Errors(), Strings{});
}

// Enabled, a station enrolled and its code shown with the address and the QR
// image, a name refused by the window and one by the server, the station
// revoked, reception disabled; the counts are the list's.
TEST_F(ReceptionTest, EnableEnrolRevokeAndDisable) {
    ASSERT_TRUE(Open());
    EXPECT_FALSE(window->chkHabilitada->isChecked());
    EXPECT_FALSE(window->sbtNovaEstacao->isEnabled());
    EXPECT_FALSE(window->sbtRevogar->isEnabled());
    EXPECT_FALSE(window->panCodigo->isVisible());
    const long long guests = Count(
        "SELECT COUNT(*) FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = '01'",
        kBudget);
    const long long people = Count(
        "SELECT SUM(CASE WHEN QUANTIDADE IS NULL OR QUANTIDADE < 1 THEN 1 ELSE QUANTIDADE END) "
        "FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'",
        kBudget);
    ASSERT_GT(guests, 0);
    EXPECT_EQ(Text(window->lblConvidados), "Convidados: " + std::to_string(guests));
    EXPECT_EQ(Text(window->lblPessoas), "Pessoas esperadas: " + std::to_string(people));
    EXPECT_EQ(Text(window->lblChegaram), "Chegaram: 0");
    EXPECT_EQ(Text(window->lblFaltam), "Faltam: " + std::to_string(people));
    EXPECT_EQ(window->tblEstacoes->rowCount(), 0);
    EXPECT_EQ(window->pgcRecepcao->tabText(1).toStdString(), "Conflitos");

    reception->Clear();
    window->chkHabilitada->click();
    Settle();
    ASSERT_EQ(reception->ArgsOf("SetRecepcao").size(), 1u);
    EXPECT_EQ(reception->ArgsOf("SetRecepcao")[0],
              (GuestServerTap::Args{"0001", kBudget, "01", "S"}));
    EXPECT_TRUE(window->chkHabilitada->isChecked());
    ASSERT_TRUE(window->sbtNovaEstacao->isEnabled());

    // Two names the window refuses, then one it takes without its blanks.
    services.dialogs.ExpectInput("   ");
    services.dialogs.ExpectInput(std::string(31, 'x'));
    services.dialogs.ExpectInput("  Portaria Ção 1 ");
    reception->Clear();
    Click(window->sbtNovaEstacao);
    EXPECT_EQ(Errors(), (Strings{"Informe o nome da estação.",
                                 "O nome da estação deve ter de 1 a 30 caracteres."}));
    EXPECT_EQ(services.dialogs.InputInitials(), (Strings{"", "   ", std::string(31, 'x')}));
    ASSERT_EQ(reception->ArgsOf("SetEstacao").size(), 1u);
    EXPECT_EQ(reception->ArgsOf("SetEstacao")[0],
              (GuestServerTap::Args{"0001", kBudget, "01", "Portaria Ção 1"}));
    const std::string code = window->ShownCode();
    EXPECT_TRUE(std::regex_match(code, std::regex("[ABCDEFGHJKMNPQRSTUVWXYZ23456789]{10}")))
        << code;
    const std::string address =
        "http://127.0.0.1:" + std::to_string(port) + "/recepcao#codigo=" + code;
    EXPECT_EQ(window->ShownAddress(), address);
    EXPECT_TRUE(window->panCodigo->isVisible());
    EXPECT_EQ(Text(window->lblCodigo), code);
    EXPECT_EQ(window->edtEndereco->text().toStdString(), address);
    EXPECT_EQ(Text(window->lblNovaEstacao), "Estação \"Portaria Ção 1\": código de uso único");
    EXPECT_TRUE(window->lblAviso->isVisible()) << "127.0.0.1 is no address for a tablet";
    // The image is libqrencode's code of the address, module for module.
    const evt::reception::QrMatrix expected = Reference(address);
    ASSERT_GT(expected.width, 0);
    ASSERT_FALSE(window->QrShown().isNull());
    EXPECT_EQ(ReadBack(window->QrShown(), expected.width).dark, expected.dark);
    ASSERT_FALSE(window->lblQr->pixmap().isNull());
    EXPECT_EQ(window->lblQr->pixmap().size(), window->QrShown().size());
    ASSERT_EQ(window->tblEstacoes->rowCount(), 1);
    EXPECT_EQ(Row(window->tblEstacoes, 0)[0], "Portaria Ção 1");
    EXPECT_EQ(Row(window->tblEstacoes, 0)[1], "Pendente");
    EXPECT_EQ(Row(window->tblEstacoes, 0)[3], "—");
    EXPECT_EQ(Row(window->tblEstacoes, 0)[4], "0");
    EXPECT_TRUE(window->sbtRevogar->isEnabled());

    // The same name again: the server's refusal, shown as the screens show
    // theirs; the code shown stays.
    services.dialogs.Clear();
    services.dialogs.ExpectInput("Portaria Ção 1");
    Click(window->sbtNovaEstacao);
    EXPECT_EQ(Errors(), Strings{"Já existe uma estação com este nome nesta lista."});
    EXPECT_EQ(window->ShownCode(), code);
    EXPECT_EQ(window->tblEstacoes->rowCount(), 1);

    // Revoked after a confirmation: a "Não" changes nothing.
    services.dialogs.Clear();
    services.dialogs.ExpectConfirm(false);
    reception->Clear();
    Click(window->sbtRevogar);
    EXPECT_EQ(reception->ArgsOf("SetRevogaEstacao").size(), 0u);
    services.dialogs.ExpectConfirm(true);
    Click(window->sbtRevogar);
    ASSERT_EQ(reception->ArgsOf("SetRevogaEstacao").size(), 1u);
    EXPECT_EQ(reception->ArgsOf("SetRevogaEstacao")[0],
              GuestServerTap::Args{window->Stations()[0].id});
    EXPECT_EQ(services.dialogs.Messages()[0].text,
              "Revogar a estação \"Portaria Ção 1\"? Ela perde o acesso à lista e só volta com um "
              "novo código.");
    EXPECT_EQ(Row(window->tblEstacoes, 0)[1], "Revogada");
    EXPECT_FALSE(window->sbtRevogar->isEnabled());
    EXPECT_FALSE(window->panCodigo->isVisible());
    EXPECT_EQ(window->ShownCode(), "");

    // Disabled after a confirmation.
    services.dialogs.ExpectConfirm(true);
    reception->Clear();
    window->chkHabilitada->click();
    Settle();
    ASSERT_EQ(reception->ArgsOf("SetRecepcao").size(), 1u);
    EXPECT_EQ(reception->ArgsOf("SetRecepcao")[0][3], corvana::Variant("N"));
    EXPECT_FALSE(window->chkHabilitada->isChecked());
    EXPECT_FALSE(window->sbtNovaEstacao->isEnabled());
    EXPECT_EQ(Errors(), Strings{});
    EXPECT_EQ(services.dialogs.Unexpected(), Strings{});
    EXPECT_EQ(services.busy.Depth(), 0);
    EXPECT_EQ(services.busy.UnbalancedDeactivations(), 0);
}
