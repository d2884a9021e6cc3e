#pragma once
// The guest list screen inside a host-like main window (an MDI area), over
// the real server and a seeded database.
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "corvana/net/TNetConnection.h"
#include "corvana/ui/Application.h"
#include "listconv/Cli_evt07800.h"
#include "module/Pkg_EVT07800.h"
#include "support/ScreenFixture.h"

class ListConvFixture : public corvana::test::ScreenFixture {
protected:
    void SetUp() override {
        ScreenFixture::SetUp();
        host = std::make_unique<QMainWindow>();
        mdi = new QMdiArea(host.get());
        host->setCentralWidget(mdi);
        Corvana::SetMainForm(host.get(), mdi);
        ASSERT_NO_FATAL_FAILURE(ShowActive(*host));
    }

    // Shows a main window at the size of an office screen and waits until
    // the window system shows it active.
    static void ShowActive(QWidget& window) {
        window.resize(1300, 720);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void TearDown() override {
        ScreenFixture::TearDown();
        Corvana::SetMainForm(nullptr, nullptr);
        host.reset();
    }

    void CloseScreens() override {
        if (boStCriado && frmListConv) {
            frmListConv->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // A window that failed to close (a refused FormClose) must not leak
        // into the next test.
        if (boStCriado && frmListConv) {
            delete frmListConv->FrameWindow();
            boStCriado = false;
        }
    }

    // Guests another program imports (GetImpLista) into sequence 01 of a
    // budget of branch 0001 while the screen is open; answers the call's
    // answer, the lines refused.
    static corvana::Variant ImportAsAnotherUser(int serverPort, const char* budget,
                                                const std::vector<std::string>& names) {
        corvana::TNetConnection other("evt07800.rdmListConv");
        other.SetHost("127.0.0.1");
        other.SetPort(serverPort);
        corvana::DataPacket lines({{"CDFILIAL", corvana::FieldType::String, 4},
                                   {"NRORCAEVENTO", corvana::FieldType::String, 10},
                                   {"NRSEQORCAEVE", corvana::FieldType::String, 2},
                                   {"NRRGLISTAOREV", corvana::FieldType::String, 20},
                                   {"NMLISTACONVOREV", corvana::FieldType::String, 80}});
        for (const std::string& name : names)
            lines.addRow({corvana::Variant("0001"), corvana::Variant(budget),
                          corvana::Variant("01"), corvana::Variant(""), corvana::Variant(name)});
        return other.Call("GetImpLista", {corvana::Variant(lines)});
    }

    // Opens the screen as the host does and lets its first activation run.
    TfrmListConv* Launch(const corvana::Variant& params) {
        IniProc(params);
        Settle();
        return frmListConv;
    }

    std::vector<std::string> Errors() const { return services.dialogs.Errors(); }

    // Runs a statement on the test database, as another program would.
    template <typename... A>
    void Sql(const char* sql, const A&... values) {
        auto conn = db->Acquire();
        conn->Prepare(sql)->BindAll(values...).Execute();
    }

    static corvana::Variant Values(std::vector<corvana::Variant> v) {
        return corvana::Variant(std::move(v));
    }

    // Runs what the screens posted to themselves (queued calls, zero-time
    // timers, window activations, deferred deletes) before the test goes on;
    // a few rounds, for what those post in turn.
    static void Settle() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    std::unique_ptr<QMainWindow> host;
    QMdiArea* mdi = nullptr;
};
