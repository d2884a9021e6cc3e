#include "sheet/GuestFind.h"

namespace evt::sheet {

namespace {

QString DigitsOf(const QString& text) {
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9') digits += c;
    return digits;
}

}  // namespace

QString GuestFindQuery::Folded(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out += c;
    return out.toCaseFolded();
}

GuestFindQuery::GuestFindQuery(const std::string& typed) {
    const QString text = QString::fromStdString(typed).trimmed();
    text_ = Folded(text);
    digits_ = DigitsOf(text);
}

bool GuestFindQuery::Matches(const std::string& name,
                             const std::vector<std::string>& documents) const {
    if (Empty()) return false;
    if (!text_.isEmpty() && Folded(QString::fromStdString(name)).contains(text_)) return true;
    if (digits_.isEmpty()) return false;
    for (const std::string& document : documents)
        if (DigitsOf(QString::fromStdString(document)).contains(digits_)) return true;
    return false;
}

}  // namespace evt::sheet
