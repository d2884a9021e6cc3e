#pragma once
#include <optional>
#include <string>

#include "corvana/core/Services.h"

namespace corvana::ui {

// Message boxes over the active window: errors ("Erro", critical icon),
// information ("Informação") and Sim/Não questions ("Confirmação", Não is
// the default and the Escape answer).
class QtDialogs : public corvana::services::IDialogs {
public:
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    // A line-edit dialog with OK and Cancelar.
    std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                          const std::string& initial) override;
};

}  // namespace corvana::ui
