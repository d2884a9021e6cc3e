#include "corvana/ui/TMaskEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <algorithm>

#include "corvana/core/FlagScope.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace corvana::ui {

namespace {

constexpr int kQtUnlimited = 32767;

// Qt positions count UTF-16 units; the mask counts code points.
int ToCodePointIndex(const QString& text, int qtPos) {
    return static_cast<int>(QStringView(text).left(qtPos).toUcs4().size());
}

int ToQtPos(const std::u32string& cps, int index) {
    int pos = 0;
    for (int i = 0; i < index && i < static_cast<int>(cps.size()); ++i)
        pos += cps[static_cast<std::size_t>(i)] > 0xFFFF ? 2 : 1;
    return pos;
}

}  // namespace

TMaskEdit::TMaskEdit(QWidget* parent) : TEdit(parent) {}

void TMaskEdit::SetEditMask(const std::string& mask) {
    const std::string value = Text();
    mask_ = mask;
    parsed_ = ParseMask(mask);
    ApplyMaxLength();
    // No context menu, drag or drop: they would edit around the mask.
    setContextMenuPolicy(IsMasked() ? Qt::NoContextMenu : Qt::DefaultContextMenu);
    setDragEnabled(false);
    setAcceptDrops(!IsMasked());
    SetText(value);
}

void TMaskEdit::ApplyMaxLength() {
    if (IsMasked())
        setMaxLength(kQtUnlimited);  // the mask sets the length
    else
        TEdit::ApplyMaxLength();
}

std::string TMaskEdit::Text() const {
    const std::string shown = text().toStdString();
    return IsMasked() ? MaskedTextToValue(parsed_, shown) : shown;
}

std::string TMaskEdit::EditText() const {
    return text().toStdString();
}

bool TMaskEdit::IsComplete() const {
    return MaskComplete(parsed_, EditText());
}

void TMaskEdit::SetText(const std::string& value) {
    if (!IsMasked()) {
        TEdit::SetText(value);
        return;
    }
    ChangeFromCode([&] { Show(corvana::decodeUtf8(FormatMaskText(parsed_, value)), 0); });
}

std::u32string TMaskEdit::Shown() const {
    std::u32string shown = corvana::decodeUtf8(text().toStdString());
    if (shown.size() < parsed_.size()) {
        for (std::size_t i = shown.size(); i < parsed_.size(); ++i)
            shown +=
                parsed_.positions[i].isLiteral() ? parsed_.positions[i].literal : parsed_.blank;
    }
    return shown;
}

int TMaskEdit::CursorIndex() const {
    return ToCodePointIndex(text(), cursorPosition());
}

bool TMaskEdit::SelectionRange(int& start, int& end) const {
    if (!hasSelectedText()) return false;
    const QString shown = text();
    const int qtStart = selectionStart();
    start = ToCodePointIndex(shown, qtStart);
    end = ToCodePointIndex(shown, qtStart + selectionLength());
    return end > start;
}

void TMaskEdit::ClearRange(std::u32string& shown, int start, int end) const {
    const int maskSize = static_cast<int>(parsed_.size());
    for (int i = start; i < end && i < maskSize; ++i) {
        if (!parsed_.positions[static_cast<std::size_t>(i)].isLiteral())
            shown[static_cast<std::size_t>(i)] = parsed_.blank;
    }
    // Characters beyond the mask (a longer value set from code) go away.
    if (end > maskSize) {
        const int from = std::max(start, maskSize);
        shown.erase(
            static_cast<std::size_t>(from),
            static_cast<std::size_t>(std::min<int>(end, static_cast<int>(shown.size())) - from));
    }
}

void TMaskEdit::Show(const std::u32string& shown, int cursor) {
    const QString qtText = QString::fromStdString(corvana::encodeUtf8(shown));
    {
        const corvana::FlagScope showing(showing_);
        if (qtText != text()) setText(qtText);
    }
    setCursorPosition(ToQtPos(shown, cursor));
}

char32_t TMaskEdit::WithCase(char32_t ch, MaskCase letterCase) const {
    if (letterCase == MaskCase::None) {
        if (CharCase() == TEditCharCase::UpperCase)
            letterCase = MaskCase::Upper;
        else if (CharCase() == TEditCharCase::LowerCase)
            letterCase = MaskCase::Lower;
        else
            return ch;
    }
    std::string one;
    corvana::appendUtf8(one, ch);
    const std::u32string mapped = corvana::decodeUtf8(
        letterCase == MaskCase::Upper ? corvana::upperCase(one) : corvana::foldCase(one));
    return mapped.size() == 1 ? mapped.front() : ch;
}

void TMaskEdit::InsertTyped(const std::u32string& keys) {
    if (!IsMasked()) {
        TEdit::InsertTyped(keys);
        return;
    }
    if (isReadOnly()) return;
    std::u32string shown = Shown();
    const int size = static_cast<int>(parsed_.size());
    int cursor = CursorIndex();
    int start = 0, end = 0;
    if (SelectionRange(start, end)) {
        ClearRange(shown, start, end);
        cursor = start;
    }
    bool refused = false;
    for (char32_t key : keys) {
        int at = cursor;
        bool steppedOver = false;
        while (at < size && parsed_.positions[static_cast<std::size_t>(at)].isLiteral()) {
            if (parsed_.positions[static_cast<std::size_t>(at)].literal == key) {
                cursor = at + 1;
                steppedOver = true;
                break;
            }
            ++at;
        }
        if (steppedOver) continue;
        const MaskPosition* position =
            at < size ? &parsed_.positions[static_cast<std::size_t>(at)] : nullptr;
        const char32_t ch = position ? WithCase(key, position->letterCase) : key;
        if (!position || !MaskAccepts(parsed_, static_cast<std::size_t>(at), ch)) {
            refused = true;
            continue;
        }
        shown[static_cast<std::size_t>(at)] = ch;
        cursor = at + 1;
        while (cursor < size && parsed_.positions[static_cast<std::size_t>(cursor)].isLiteral())
            ++cursor;
    }
    Show(shown, cursor);
    if (refused) QApplication::beep();
}

bool TMaskEdit::HandleEditKey(QKeyEvent* event) {
    if (!IsMasked()) return false;
    const bool backspace = event->key() == Qt::Key_Backspace;
    const bool del = event->matches(QKeySequence::Delete);
    if (backspace || del) {
        event->accept();
        if (isReadOnly()) return true;
        std::u32string shown = Shown();
        int start = 0, end = 0;
        if (SelectionRange(start, end)) {
            ClearRange(shown, start, end);
            Show(shown, start);
            return true;
        }
        const int size = static_cast<int>(parsed_.size());
        int cursor = CursorIndex();
        if (backspace) {
            int at = cursor - 1;
            while (at >= 0 && at < size &&
                   parsed_.positions[static_cast<std::size_t>(at)].isLiteral())
                --at;
            if (at < 0) return true;
            ClearRange(shown, at, at + 1);
            cursor = at;
        } else {
            int at = cursor;
            while (at < size && parsed_.positions[static_cast<std::size_t>(at)].isLiteral()) ++at;
            if (at >= static_cast<int>(shown.size())) return true;
            ClearRange(shown, at, at + 1);
        }
        Show(shown, cursor);
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        event->accept();
        if (const QClipboard* clipboard = QApplication::clipboard())
            InsertTyped(corvana::decodeUtf8(clipboard->text()
                                                .remove(QLatin1Char('\n'))
                                                .remove(QLatin1Char('\r'))
                                                .toStdString()));
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        event->accept();
        copy();
        int start = 0, end = 0;
        if (!isReadOnly() && SelectionRange(start, end)) {
            std::u32string shown = Shown();
            ClearRange(shown, start, end);
            Show(shown, start);
        }
        return true;
    }
    // Editing that would move the characters around the mask is not offered.
    for (auto key : {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::DeleteEndOfLine,
                     QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord,
                     QKeySequence::DeleteCompleteLine}) {
        if (event->matches(key)) {
            event->accept();
            return true;
        }
    }
    return false;
}

void TMaskEdit::QtTextChanged() {
    if (IsMasked() && !showing_) {
        // A change that did not come through the mask editing (QLineEdit's
        // own setText, an input method): the text is taken as a value.
        const int cursor = CursorIndex();
        Show(corvana::decodeUtf8(FormatMaskText(parsed_, text().toStdString())), cursor);
        // Shown in the mask already, the text did not change again above.
    }
    TEdit::QtTextChanged();
}

void TMaskEdit::DoExit() {
    if (IsMasked() && !MaskBlank(parsed_, EditText()) && !IsComplete())
        throw corvana::Error("Valor incompleto: preencha todas as posições obrigatórias do campo.");
    TEdit::DoExit();
}

}  // namespace corvana::ui
