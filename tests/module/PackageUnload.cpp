// Loads Pkg_EVT07800 as the host does, opens the guest list with launch
// values too long for the strings' inline buffer, closes the window and
// unloads the package. Its unload (finalization of its units, destructors of
// its globals) runs at dlclose, or at exit when the loader keeps the package
// (it does while the framework's libraries bind symbols of it). A string
// released twice ends the process with a signal or a sanitizer report
// instead of exit status 0.
//
//   test_package_unload PATH/Pkg_EVT07800.so
#include <dlfcn.h>

#include <QApplication>
#include <QWidget>
#include <cstdio>

#include "corvana/ui/Application.h"
#include "corvana/ui/TForm.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "test_package_unload: %s\n", what);
    return 1;
}

corvana::ui::TForm* OpenScreen() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<corvana::ui::TForm*>(w); form && form->isVisible())
            return form;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return Fail("uso: test_package_unload PATH/Pkg_EVT07800.so");
    int ret = 0;
    {
        QApplication app(argc, argv);
        void* package = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (!package) return Fail(dlerror());
        auto entry = reinterpret_cast<Corvana::IniProcFn>(dlsym(package, "IniProc"));
        if (!entry) return Fail("IniProc não exportada");

        entry(corvana::Variant(corvana::Variant::Array{
            "0001", "Filial São José Norte — Unidade de Eventos", "0000001001", "01"}));
        QApplication::processEvents();
        corvana::ui::TForm* screen = OpenScreen();
        if (!screen) return Fail("a lista de convidados não abriu");
        if (screen->windowTitle() != QStringLiteral("Lista de Convidados"))
            ret = Fail("a janela aberta não é a lista de convidados");
        screen->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (OpenScreen()) ret = Fail("a lista de convidados não fechou");

        if (dlclose(package) != 0) ret = Fail(dlerror());
    }
    return ret;
}
