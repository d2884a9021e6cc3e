// The file filter of the open and save dialogs.
#include "corvana/ui/QtFileDialogs.h"

#include <QStringList>
#include <vector>

#include "corvana/data/Text.h"

namespace corvana::ui {

QString ToQtFileFilter(std::string_view filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = filter.find('|', start);
        parts.emplace_back(filter.substr(start, bar == std::string_view::npos ? bar : bar - start));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    QStringList out;
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        QString description = QString::fromStdString(corvana::trimBlanks(parts[i]));
        QStringList patterns;
        const QString patternText =
            i + 1 < parts.size() ? QString::fromStdString(parts[i + 1]) : QString();
        for (const QString& pattern : patternText.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!pattern.trimmed().isEmpty()) patterns << pattern.trimmed();
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        if (description.isEmpty() && patterns.size() == 1 &&
            patterns.front() == QLatin1String("*") && i + 1 >= parts.size())
            continue;  // an empty filter, or a trailing bar
        // Qt reads the patterns from the last parentheses: a description
        // that ends with its patterns drops them here and gets them back
        // in Qt's form below.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            const QString inside = description.mid(open + 1, description.size() - open - 2);
            if (open >= 0 &&
                (inside.contains(QLatin1Char('*')) || inside.contains(QLatin1Char('?'))))
                description = description.left(open).trimmed();
        }
        if (description.isEmpty()) description = patterns.join(QLatin1Char(' '));
        out << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

}  // namespace corvana::ui
