#include "HostStartup.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>
#include <iostream>

#include "corvana/core/Corvana.h"
#include "guestrecord/ListDatabase.h"

namespace {

// Qt texts the host shows that Qt's Brazilian catalog of this version lacks:
// the kind of a folder in the file dialogs' lists (the file kinds come in
// the locale's language from the MIME database). Installed before Qt's
// catalog, which answers first when it has a text.
class MissingQtTexts : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* source, const char*, int) const override {
        struct Text {
            const char* context;
            const char* source;
            const char* portuguese;
        };
        static const Text texts[] = {
            {"QAbstractFileIconProvider", "Folder", "Pasta"},
            {"QAbstractFileIconProvider", "Drive", "Unidade"},
            {"QAbstractFileIconProvider", "File", "Arquivo"},
            {"QAbstractFileIconProvider", "Unknown", "Desconhecido"},
        };
        if (!context || !source) return {};
        for (const Text& t : texts)
            if (std::strcmp(context, t.context) == 0 && std::strcmp(source, t.source) == 0)
                return QString::fromUtf8(t.portuguese);
        return {};
    }
};

}  // namespace

void SetUpHostApplication(QApplication& app) {
    Corvana::SetDatabaseFileName(guestrecord::kListDatabaseFile);
    // The shipped report definitions of an installed host, found from its
    // own location (<bindir>/../share/corvana-eventos/reports); a build has
    // none there.
    Corvana::SetShippedReportsDir(
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" EVT_SHIPPED_REPORTS_REL)
            .toStdString());
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QLocale::setDefault(brazil);

    // Every Qt module the host uses (Core, Gui, Widgets, PrintSupport) has
    // its texts in qtbase's catalog.
    QApplication::installTranslator(new MissingQtTexts(&app));
    auto* qtTexts = new QTranslator(&app);
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qtTexts->load(QStringLiteral("qtbase_pt_BR"), dir)) {
        QApplication::installTranslator(qtTexts);
    } else {
        std::cerr << "evt-host: traduções do Qt (qtbase_pt_BR) não encontradas em "
                  << dir.toStdString() << "; menus e diálogos do Qt ficarão em inglês\n";
        delete qtTexts;
    }

    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/evt-host/evt-host-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}
