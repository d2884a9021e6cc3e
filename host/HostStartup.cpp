#include "HostStartup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <iostream>

void SetUpHostApplication(QApplication& app) {
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QLocale::setDefault(brazil);

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
