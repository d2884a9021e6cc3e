#include "corvana/ui/Icons.h"

#include <QFile>
#include <QImage>
#include <QPixmap>

namespace corvana::ui {

namespace {

// Grey, and a third of the opacity: the picture recedes into the tool bar.
QPixmap Faded(const QImage& normal) {
    QImage faded = normal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < faded.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(faded.scanLine(y));
        for (int x = 0; x < faded.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 3);
        }
    }
    return QPixmap::fromImage(faded);
}

}  // namespace

QIcon ToolIcon(const char* name) {
    QIcon icon;
    for (int size : {16, 22, 32}) {
        const QString file =
            QStringLiteral(":/corvana/icons/%1/%2.png").arg(size).arg(QLatin1String(name));
        QImage normal;
        if (!QFile::exists(file) || !normal.load(file)) continue;
        icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
        icon.addPixmap(Faded(normal), QIcon::Disabled);
    }
    return icon;
}

}  // namespace corvana::ui
