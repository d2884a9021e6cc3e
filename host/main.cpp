// evt-host: the host application.
//
//   evt-host [--screen CODE [VALUE...]] [--screenshot FILE [--screenshot-delay MS]]
//            [--quit-after-screenshot] [--config=FILE] [--WebURL=... and other settings]
//   evt-host --check-packages
//
// --screen opens a screen at start with its launch values, e.g.
//   evt-host --screen EVT07800 0001 "Matriz" 0000000123 01
//
// --check-packages opens no window: it loads every package (Pkg_*.so) of
// the packages folder as a screen would, checks each exports its entry,
// counts the report definitions of the reports folder and ends (exit code
// 0, or 1 naming what failed): how an installation is checked.
#include <dlfcn.h>
#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>

#include "HostStartup.h"
#include "MainWindow.h"
#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/QtServices.h"
#include "corvana/ui/UiTrace.h"

namespace {

// --check-packages: one line per package and one for the reports folder.
int CheckPackages() {
    namespace fs = std::filesystem;
    const fs::path folder = Corvana::PackagesDir();
    std::set<fs::path> packages;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("Pkg_") && name.ends_with(".so")) packages.insert(entry.path());
    }
    int failed = 0;
    if (ec || packages.empty()) {
        std::cout << "nenhum pacote (Pkg_*.so) em " << folder.string() << "\n";
        ++failed;
    }
    for (const fs::path& file : packages) {
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::cout << file.filename().string() << ": não carregou: " << dlerror() << "\n";
            ++failed;
        } else if (!dlsym(handle, "IniProc")) {
            std::cout << file.filename().string() << ": não exporta IniProc\n";
            ++failed;
        } else {
            std::cout << file.filename().string() << ": ok (" << file.string() << ")\n";
        }
        // Left loaded, as the host keeps its packages.
    }
    const fs::path reports = Corvana::ReportsDir();
    int definitions = 0;
    for (const auto& entry : fs::directory_iterator(reports, ec))
        if (entry.path().extension() == ".json") ++definitions;
    std::cout << "relatórios: " << definitions << " definições em " << reports.string() << "\n";
    if (definitions == 0) ++failed;
    return failed == 0 ? 0 : 1;
}

}  // namespace

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
        } else if (a == "--check-packages") {
            return CheckPackages();
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
