#pragma once
// What the screen benchmarks stand on: the real guest list screen under
// Qt's offscreen platform inside a host main window, against the
// application server on a loopback port over a seeded temporary database,
// with scripted dialogs so that nothing blocks.
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QTest>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "GuestData.h"
#include "corvana/core/Corvana.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/db/DBGeral.h"
#include "corvana/ui/Application.h"
#include "endpoint/AppServer.h"
#include "listconv/Cli_evt07800.h"
#include "module/Pkg_EVT07800.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"
#include "support/TestServer.h"

namespace bench {

namespace demo = evt::server::storage::demo;

// Counts a widget's paints, so that an action is timed until the widget
// has painted what the action left.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    ~PaintCounter() override {
        if (widget_) widget_->removeEventFilter(this);
    }
    // The events until the widget has painted once more (painted at once
    // when no paint was pending).
    void WaitForPaint() {
        const int before = paints_;
        for (int spin = 0; paints_ == before && spin < 100; ++spin)
            QCoreApplication::processEvents();
        if (paints_ == before && widget_) widget_->repaint();
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints_;
        return false;
    }

private:
    QPointer<QWidget> widget_;
    int paints_ = 0;
};

class ScreenWorld {
public:
    explicit ScreenWorld(const std::string& name) {
        dir = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const std::string path = (dir / "evt.db").string();
        db = evt::server::storage::Database::Open(path);
        evt::server::storage::SeedDemo(*db);

        server = corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(db)});

        Corvana::SetWebURL("127.0.0.1");
        Corvana::SetWebPort(server->Port());
        Corvana::SetDatabaseURL(path);
        Corvana::SetFiliProc("0001");
        Corvana::SetNomeFiliProc("Matriz");
        Corvana::SetModuFili(false);
        corvana::db::dtmDBGeral().Open(path);

        host = std::make_unique<QMainWindow>();
        auto* mdi = new QMdiArea(host.get());
        host->setCentralWidget(mdi);
        host->resize(1300, 720);
        Corvana::SetMainForm(host.get(), mdi);
        host->show();
        host->activateWindow();
        if (!QTest::qWaitForWindowExposed(host.get()) || !QTest::qWaitForWindowActive(host.get()))
            throw std::runtime_error("the host window did not become active");
    }

    ~ScreenWorld() {
        CloseScreen();
        Corvana::SetMainForm(nullptr, nullptr);
        host.reset();
        server->Stop();
        server.reset();
        corvana::db::dtmDBGeral().Close();
        db.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // Fills an empty list of the demo's branch with `guests` guests through
    // the server's own import, in one unit of work.
    void ImportList(const char* budget, const char* sequence, int guests) {
        corvana::DataPacket lines(ImportFields());
        lines.rows().reserve(static_cast<std::size_t>(guests));
        for (int i = guests; i >= 1; --i) {  // last file line first
            const std::string n = std::to_string(i);
            lines.rows().push_back({corvana::Variant(demo::kEmptyListBranch),
                                    corvana::Variant(budget), corvana::Variant(sequence),
                                    corvana::Variant(i % 3 ? "" : "RG" + n),
                                    corvana::Variant("Convidado Número " + n)});
        }
        evt::server::RdmListConv rdm(db);
        corvana::Variant refused = rdm.Call("GetImpLista", {corvana::Variant(std::move(lines))});
        if (refused.isError())
            throw std::runtime_error("import refused: " + refused.errorMessage());
        if (!refused.isPacket() || refused.asPacket().rowCount() != 0)
            throw std::runtime_error("the big list was not imported whole");
    }

    void CloseScreen() {
        if (boStCriado && frmListConv) {
            frmListConv->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // The screen on a budget sequence, its focus in the filter panel.
    TfrmListConv* OpenScreen(const char* budget, const char* seq) {
        CloseScreen();
        CriaListConv("0001", "Matriz", budget, seq);
        for (int i = 0; i < 5; ++i) QTest::qWait(5);
        return frmListConv;
    }

    std::filesystem::path dir;
    std::shared_ptr<evt::server::storage::Database> db;
    std::unique_ptr<evt::server::AppServer> server;
    std::unique_ptr<QMainWindow> host;
    corvana::services::ScriptedServicesScope services;
};

// Runs the registered benchmarks with a QApplication and a world of type W.
template <class W>
int RunScreenBenchmarks(int argc, char** argv, W*& world) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    W w;
    world = &w;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    world = nullptr;
    return 0;
}

}  // namespace bench
