#include "corvana/ui/QtDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace corvana::ui {

void QtDialogs::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erro"), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void QtDialogs::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Informação"),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtDialogs::Confirm(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmação"),
                    QString::fromStdString(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<std::string> QtDialogs::InputQuery(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& initial) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.setLabelText(QString::fromStdString(prompt));
    dialog.setTextValue(QString::fromStdString(initial));
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

}  // namespace corvana::ui
