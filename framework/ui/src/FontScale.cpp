#include "corvana/ui/FontScale.h"

#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>

namespace corvana::ui {

namespace {

// The original font's average character width, over the 52 letters as the
// platform measures a font for its dialog units: 8-point MS Sans Serif and
// Tahoma average about 5.5 to 6 px at 96 dpi, and 6 px is the horizontal
// dialog unit the platform derives from them.
constexpr double kOriginalAverageCharWidth = 6.0;

}  // namespace

double FontScale(const QFont& font) {
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average =
        QFontMetricsF(font).horizontalAdvance(letters) / static_cast<double>(letters.size());
    return std::max(1.0, average / kOriginalAverageCharWidth);
}

int Scaled(int pixels, const QFont& font) {
    return std::max(pixels, static_cast<int>(std::ceil(pixels * FontScale(font))));
}

QSize Scaled(const QSize& size, const QFont& font) {
    return {Scaled(size.width(), font), Scaled(size.height(), font)};
}

}  // namespace corvana::ui
