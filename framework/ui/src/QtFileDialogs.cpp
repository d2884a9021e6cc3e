#include "corvana/ui/QtFileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QRegularExpression>

namespace corvana::ui {

std::optional<std::string> QtOpenFileDialog::Execute(const std::string& filter,
                                                     const std::string& initialFile) {
    const QString chosen =
        QFileDialog::getOpenFileName(QApplication::activeWindow(), QStringLiteral("Abrir arquivo"),
                                     QString::fromStdString(initialFile), ToQtFileFilter(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::string> QtSaveFileDialog::Execute(const std::string& filter,
                                                     const std::string& initialFile) {
    const QString qtFilter = ToQtFileFilter(filter);
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Salvar arquivo"),
                       QString::fromStdString(initialFile), qtFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension takes the filter's first one, before
    // the dialog asks about replacing a file of that name.
    static const QRegularExpression firstExtension(QStringLiteral(R"(\*\.(\w+))"));
    const QRegularExpressionMatch extension = firstExtension.match(qtFilter);
    if (extension.hasMatch()) dialog.setDefaultSuffix(extension.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace corvana::ui
