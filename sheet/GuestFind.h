#pragma once
// What the guest list's find box (Ctrl+F) looks for: a guest whose name
// contains the text typed, without regard to case and accents ("jose" finds
// "José Antônio"), or whose R.G., inscription or telephones contain, among
// their digits, the digits typed ("12345" finds "12.345.678-9").
#include <string>
#include <vector>

#include <QString>

namespace evt::sheet {

class GuestFindQuery {
public:
    explicit GuestFindQuery(const std::string& typed);

    // Nothing to look for (only blanks typed).
    bool Empty() const { return text_.isEmpty() && digits_.isEmpty(); }
    // `documents`: the R.G., the inscription, the telephones.
    bool Matches(const std::string& name, const std::vector<std::string>& documents) const;

    // Lower case (Unicode case folding), accents removed: what names are
    // compared as.
    static QString Folded(const QString& text);

private:
    QString text_;    // folded, without edge blanks
    QString digits_;  // the digits typed, when any
};

}  // namespace evt::sheet
