#include "corvana/ui/Application.h"

#include <dlfcn.h>

#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <filesystem>
#include <map>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"

namespace Corvana {

namespace {

QPointer<QMainWindow> g_mainForm;
QPointer<QMdiArea> g_mdiArea;

// Packages stay loaded for the life of the process, as the host keeps them:
// their windows and exported variables may outlive the call that loaded them.
std::map<std::string, void*>& loadedPackages() {
    static std::map<std::string, void*> packages;
    return packages;
}

}  // namespace

QMainWindow* MainForm() {
    return g_mainForm.data();
}
QMdiArea* MdiArea() {
    return g_mdiArea.data();
}

void SetMainForm(QMainWindow* mainForm, QMdiArea* mdiArea) {
    g_mainForm = mainForm;
    g_mdiArea = mdiArea;
}

void LoadBPL(const std::string& code, const corvana::Variant& params) {
    auto& packages = loadedPackages();
    void* handle = nullptr;
    if (auto it = packages.find(code); it != packages.end()) {
        handle = it->second;
    } else {
        std::filesystem::path file = std::filesystem::path(PackagesDir()) / ("Pkg_" + code + ".so");
        if (!std::filesystem::exists(file))
            throw corvana::Error("Pacote da tela " + code + " não encontrado: " + file.string() +
                                 ".");
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            throw corvana::Error("Não foi possível carregar o pacote da tela " + code + ": " +
                                 std::string(dlerror()));
        packages[code] = handle;
    }
    auto entry = reinterpret_cast<IniProcFn>(dlsym(handle, "IniProc"));
    if (!entry)
        throw corvana::Error("O pacote da tela " + code + " não exporta a entrada IniProc.");
    entry(params);
}

}  // namespace Corvana
