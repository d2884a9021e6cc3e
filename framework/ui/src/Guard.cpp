#include "corvana/ui/Guard.h"

#include <QtGlobal>
#include <exception>

#include "corvana/core/Services.h"
#include "corvana/data/Error.h"

namespace corvana::ui {

namespace {

// Showing the message must not throw out of the guard either: a dialog
// service that fails leaves a warning in the log instead.
void Show(const std::string& text) noexcept {
    try {
        corvana::services::Dialogs().ShowError(text);
    } catch (const std::exception& e) {
        qWarning("corvana: falha ao mostrar o erro \"%s\": %s", text.c_str(), e.what());
    } catch (...) {
        qWarning("corvana: falha ao mostrar o erro \"%s\"", text.c_str());
    }
}

}  // namespace

bool GuardedBool(const std::function<void()>& fn) noexcept {
    try {
        if (fn) fn();
        return true;
    } catch (const corvana::EAbort&) {
        // Already shown by whoever raised it.
    } catch (const std::exception& e) {
        Show(e.what());
    } catch (...) {
        Show("Erro inesperado.");
    }
    return false;
}

void Guarded(const std::function<void()>& fn) noexcept {
    (void)GuardedBool(fn);
}

}  // namespace corvana::ui
