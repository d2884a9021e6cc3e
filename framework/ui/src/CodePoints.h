#pragma once
// Conversions between Qt's text and code points, for the edits that work
// position by position (typed keys, edit masks).
#include <QString>
#include <string>

namespace corvana::ui {

inline std::u32string ToCodePoints(const QString& text) {
    std::u32string out;
    for (char32_t cp : text.toUcs4()) out += cp;
    return out;
}

inline QString FromCodePoints(const std::u32string& cps) {
    return QString::fromUcs4(cps.data(), static_cast<qsizetype>(cps.size()));
}

}  // namespace corvana::ui
