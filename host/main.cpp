// evt-host: the host application.
//
//   evt-host [--screen CODE [VALUE...]] [--screenshot FILE [--screenshot-delay MS]]
//            [--quit-after-screenshot] [--config=FILE] [--WebURL=... and other settings]
//
// --screen opens a screen at start with its launch values, e.g.
//   evt-host --screen EVT07800 0001 "Matriz" 0000000123 01
#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <iostream>

#include "HostStartup.h"
#include "MainWindow.h"
#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/QtServices.h"
#include "corvana/ui/UiTrace.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetUpHostApplication(app);
    std::vector<std::string> rest;
    try {
        rest = Corvana::LoadSettings(argc, argv);
    } catch (const corvana::Error& e) {
        std::cerr << e.what() << "\n";
        return 2;
    }

    std::string screen, screenshot;
    std::vector<corvana::Variant> values;
    int delayMs = 2000;
    bool quitAfterShot = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::string& a = rest[i];
        if (a == "--screen" && i + 1 < rest.size()) {
            screen = rest[++i];
            while (i + 1 < rest.size() && rest[i + 1].rfind("--", 0) != 0)
                values.emplace_back(rest[++i]);
        } else if (a == "--screenshot" && i + 1 < rest.size()) {
            screenshot = rest[++i];
        } else if (a == "--screenshot-delay" && i + 1 < rest.size()) {
            delayMs = std::stoi(rest[++i]);
        } else if (a == "--quit-after-screenshot") {
            quitAfterShot = true;
        } else if (a.rfind("-", 0) == 0) {
            std::cerr << "evt-host: opção desconhecida " << a << "\n";
            return 2;
        }
    }

    corvana::ui::InstallQtServices();
    corvana::ui::InstallUiTrace();
    MainWindow window;
    // Maximized, as a desktop's business application opens; sized to the
    // screen before it is shown, so that a screen opened at start finds the
    // whole MDI area before the window manager has maximized the window.
    window.resize(window.screen()->availableGeometry().size());
    window.showMaximized();

    if (!screen.empty()) {
        QTimer::singleShot(0, &window, [screen, values] {
            corvana::ui::Guarded([&] { Corvana::LoadBPL(screen, corvana::Variant(values)); });
        });
    }
    if (!screenshot.empty()) {
        QTimer::singleShot(delayMs, &window, [&window, screenshot, quitAfterShot] {
            QPixmap shot = window.grab();
            if (shot.save(QString::fromStdString(screenshot), "PNG"))
                std::cerr << "evt-host: captura de tela salva em " << screenshot << "\n";
            else
                std::cerr << "evt-host: não foi possível salvar a captura em " << screenshot
                          << "\n";
            if (quitAfterShot) QApplication::closeAllWindows();
        });
    }
    return app.exec();
}
