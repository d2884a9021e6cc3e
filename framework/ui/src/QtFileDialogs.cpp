#include "corvana/ui/QtFileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QRegularExpression>

namespace corvana::ui {

namespace {

// The sizes and dates of the dialog's file list as the rest of the host
// shows numbers and dates, in the default locale (pt_BR): Qt's file model
// writes them in the system's (the environment's LANG, often C on the
// machines the host runs on: "3 Dec 2024").
class LocaleFileColumns : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
            case kSize:
                if (files->isDir(source)) break;
                return QLocale().formattedDataSize(files->size(source));
            case kDateModified:
                return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
            default:
                break;
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    // The columns of QFileSystemModel.
    static constexpr int kSize = 1;
    static constexpr int kDateModified = 3;
};

// Qt's own dialog (the platform's, when there is one, is in the system's
// language already) with the file list in the default locale.
void ShowInDefaultLocale(QFileDialog& dialog) {
    dialog.setProxyModel(new LocaleFileColumns(&dialog));
}

}  // namespace

std::optional<std::string> QtOpenFileDialog::Execute(const std::string& filter,
                                                     const std::string& initialFile) {
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Abrir arquivo"),
                       QString::fromStdString(initialFile), ToQtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    ShowInDefaultLocale(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtSaveFileDialog::Execute(const std::string& filter,
                                                     const std::string& initialFile) {
    const QString qtFilter = ToQtFileFilter(filter);
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Salvar arquivo"),
                       QString::fromStdString(initialFile), qtFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    ShowInDefaultLocale(dialog);
    // A name typed without an extension takes the filter's first one, before
    // the dialog asks about replacing a file of that name.
    static const QRegularExpression firstExtension(QStringLiteral(R"(\*\.(\w+))"));
    const QRegularExpressionMatch extension = firstExtension.match(qtFilter);
    if (extension.hasMatch()) dialog.setDefaultSuffix(extension.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace corvana::ui
