#pragma once
#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "corvana/core/Services.h"

namespace corvana::ui {

// The screens' file filter "Descrição|*.a;*.b|Outra|*.c" in Qt's form
// "Descrição (*.a *.b);;Outra (*.c)". A description that already ends with
// its patterns in parentheses keeps them once.
QString ToQtFileFilter(std::string_view filter);

// Asks for a file to open, over the active window.
class QtOpenFileDialog : public corvana::services::IOpenFileDialog {
public:
    std::optional<std::string> Execute(const std::string& filter,
                                       const std::string& initialFile) override;
};

// Asks where to save, over the active window, confirming before a file is
// replaced. A name given without an extension takes the first extension of
// the filter.
class QtSaveFileDialog : public corvana::services::ISaveFileDialog {
public:
    std::optional<std::string> Execute(const std::string& filter,
                                       const std::string& initialFile) override;
};

}  // namespace corvana::ui
