#include "corvana/ui/StdCtrls.h"

#include <QAbstractItemView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QValidator>
#include <charconv>
#include <cmath>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/KeyCodes.h"

namespace corvana::ui {

namespace {

constexpr int kQtUnlimited = 32767;  // QLineEdit's "no limit"

// Forces the case of everything that enters the edit: typed, pasted or set.
class CaseValidator : public QValidator {
public:
    explicit CaseValidator(TEdit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int& /*pos*/) const override {
        edit_->ApplyCharCase(input);
        return Acceptable;
    }

private:
    TEdit* edit_;
};

bool IsTypedText(const QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty() ||
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    for (QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) return false;
    }
    return true;
}

}  // namespace

// ---- TLabel ----

TLabel::TLabel(QWidget* parent) : QLabel(parent) {}

TLabel::TLabel(const std::string& caption, QWidget* parent)
    : QLabel(QString::fromStdString(caption), parent) {}

std::string TLabel::Caption() const {
    return text().toStdString();
}

void TLabel::SetCaption(const std::string& caption) {
    setText(QString::fromStdString(caption));
}

// ---- TEdit ----

TEdit::TEdit(QWidget* parent) : TControl<QLineEdit>(parent) {
    setValidator(new CaseValidator(this));
    connect(this, &QLineEdit::textChanged, this, [this] { Guarded([this] { QtTextChanged(); }); });
}

std::string TEdit::Text() const {
    return text().toStdString();
}

void TEdit::SetText(const std::string& text) {
    ChangeFromCode([&] { setText(QString::fromStdString(text)); });
}

void TEdit::SetMaxLength(int maxLength) {
    maxLength_ = maxLength < 0 ? 0 : maxLength;
    ApplyMaxLength();
}

void TEdit::ApplyMaxLength() {
    setMaxLength(maxLength_ == 0 || maxLength_ > kQtUnlimited ? kQtUnlimited : maxLength_);
}

void TEdit::SetCharCase(TEditCharCase charCase) {
    if (charCase == charCase_) return;
    charCase_ = charCase;
    if (charCase_ == TEditCharCase::Normal || HandlesTyping()) return;
    // The text already there takes the new case too.
    QString current = text();
    ApplyCharCase(current);
    if (current != text()) ChangeFromCode([&] { setText(current); });
}

void TEdit::ApplyCharCase(QString& text) const {
    if (charCase_ == TEditCharCase::Normal || HandlesTyping()) return;
    // The framework's case mapping (Latin letters, one character for one),
    // the same the masks and the server use.
    const std::string utf8 = text.toStdString();
    const std::string mapped =
        charCase_ == TEditCharCase::UpperCase ? corvana::upperCase(utf8) : corvana::foldCase(utf8);
    if (mapped != utf8) text = QString::fromStdString(mapped);
}

void TEdit::ChangeFromCode(const std::function<void()>& change) {
    std::exception_ptr* outer = captured_;
    std::exception_ptr mine;
    captured_ = &mine;
    try {
        change();
    } catch (...) {
        captured_ = outer;
        throw;
    }
    captured_ = outer;
    if (mine) std::rethrow_exception(mine);
}

void TEdit::QtTextChanged() {
    std::string now = Text();
    if (now == lastText_) return;
    lastText_ = std::move(now);
    if (!OnChange) return;
    if (captured_) {
        try {
            OnChange(this);
        } catch (...) {
            if (!*captured_) *captured_ = std::current_exception();
        }
    } else {
        Guarded([this] { OnChange(this); });
    }
}

bool TEdit::FilterKey(char32_t& key) {
    if (!OnKeyPress) return true;
    if (!GuardedBool([&] { OnKeyPress(this, key); })) return false;
    return key != 0;
}

void TEdit::InsertTyped(const std::u32string& keys) {
    if (!isReadOnly()) insert(QString::fromStdString(corvana::encodeUtf8(keys)));
}

void TEdit::keyPressEvent(QKeyEvent* event) {
    Guarded([&] { HandleKeyPress(event); });
}

void TEdit::HandleKeyPress(QKeyEvent* event) {
    if (const char32_t code = ControlKeyCode(event)) {
        char32_t key = code;
        if (!FilterKey(key)) {
            event->accept();
            return;
        }
        if (key != code) {
            InsertTyped(std::u32string(1, key));
            event->accept();
            return;
        }
        if (!HandleEditKey(event)) QLineEdit::keyPressEvent(event);
        return;
    }
    if (!IsTypedText(event)) {
        if (!HandleEditKey(event)) QLineEdit::keyPressEvent(event);
        return;
    }
    const std::u32string typed = corvana::decodeUtf8(event->text().toStdString());
    std::u32string keys;
    for (char32_t cp : typed) {
        char32_t key = cp;
        if (FilterKey(key)) keys += key;
    }
    event->accept();
    if (keys == typed && !HandlesTyping())
        QLineEdit::keyPressEvent(event);
    else if (!keys.empty())
        InsertTyped(keys);
}

void TEdit::inputMethodEvent(QInputMethodEvent* event) {
    Guarded([&] {
        const QString commit = event->commitString();
        if (commit.isEmpty()) {
            if (!HandlesTyping()) QLineEdit::inputMethodEvent(event);
            return;
        }
        const std::u32string typed = corvana::decodeUtf8(commit.toStdString());
        std::u32string keys;
        for (char32_t cp : typed) {
            char32_t key = cp;
            if (FilterKey(key)) keys += key;
        }
        if (keys == typed && !HandlesTyping()) {
            QLineEdit::inputMethodEvent(event);
            return;
        }
        event->accept();
        if (!keys.empty()) InsertTyped(keys);
    });
}

// ---- TCheckBox ----

TCheckBox::TCheckBox(QWidget* parent) : TControl<QCheckBox>(parent) {
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (OnClick) Guarded([this] { OnClick(this); });
    });
}

TCheckBox::TCheckBox(const std::string& caption, QWidget* parent) : TCheckBox(parent) {
    SetCaption(caption);
}

std::string TCheckBox::Caption() const {
    return text().toStdString();
}

void TCheckBox::SetCaption(const std::string& caption) {
    setText(QString::fromStdString(caption));
}

// ---- TComboBox ----

TComboBox::TComboBox(QWidget* parent) : TControl<QComboBox>(parent) {
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::activated, this,
            [this](int index) { Guarded([&] { UserPicked(index); }); });
    SetStyle(TComboStyle::DropDown);
}

void TComboBox::SetStyle(TComboStyle style) {
    const bool editable = style == TComboStyle::DropDown;
    if (editable == isEditable() && (!editable || lineEdit())) return;
    const QString text = currentText();
    setEditable(editable);
    if (editable) {
        WireEdit();
        setEditText(text);
    } else {
        setCurrentIndex(itemIndex_);
    }
}

void TComboBox::WireEdit() {
    QLineEdit* edit = lineEdit();
    if (!edit) return;
    // No inline completion: the text is what the user typed.
    setCompleter(nullptr);
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this,
            [this](const QString& text) { Guarded([&] { UserTyped(text); }); });
}

bool TComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && isEnabled() && count() > 0)
        showPopup();
    return TControl<QComboBox>::eventFilter(watched, event);
}

std::vector<std::string> TComboBox::Items() const {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i) out.push_back(itemText(i).toStdString());
    return out;
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
    const QString text = currentText();
    clear();
    QStringList list;
    for (const std::string& item : items) list << QString::fromStdString(item);
    addItems(list);
    if (isEditable()) {
        setCurrentIndex(-1);
        setEditText(text);
        itemIndex_ = MatchingItem(text);
    } else {
        itemIndex_ = -1;
        setCurrentIndex(-1);
    }
}

void TComboBox::AddItem(const std::string& item) {
    const QString text = currentText();
    const int index = currentIndex();
    addItem(QString::fromStdString(item));
    // Adding to an empty list must not pick the item.
    if (currentIndex() != index) setCurrentIndex(index);
    if (isEditable() && currentText() != text) setEditText(text);
    if (itemIndex_ < 0) itemIndex_ = isEditable() ? MatchingItem(text) : -1;
}

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= count())
        throw corvana::Error("Índice fora da lista: " + std::to_string(index) + ".");
    setCurrentIndex(index);
    if (index < 0 && isEditable()) setEditText(QString());
    itemIndex_ = index;
}

std::string TComboBox::Text() const {
    return currentText().toStdString();
}

void TComboBox::SetText(const std::string& text) {
    const QString value = QString::fromStdString(text);
    const int match = MatchingItem(value);
    if (isEditable()) {
        setEditText(value);
        itemIndex_ = match;
    } else {
        setCurrentIndex(match);
        itemIndex_ = match;
    }
}

int TComboBox::MatchingItem(const QString& text) const {
    const std::string wanted = text.toStdString();
    for (int i = 0; i < count(); ++i) {
        if (corvana::equalsIgnoreCase(itemText(i).toStdString(), wanted)) return i;
    }
    return -1;
}

void TComboBox::UserPicked(int index) {
    if (index == itemIndex_) return;  // the same item again changes nothing
    itemIndex_ = index;
    if (OnChange) OnChange(this);
}

void TComboBox::UserTyped(const QString& text) {
    itemIndex_ = MatchingItem(text);
    if (OnChange) OnChange(this);
}

// ---- TNumberEdit ----

TNumberEdit::TNumberEdit(QWidget* parent) : TEdit(parent) {
    setReadOnly(true);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TEdit::SetText(FormatNumber(number_, decimals_));
}

std::string TNumberEdit::FormatNumber(double number, int decimals) {
    if (!std::isfinite(number)) return "";
    std::string text = QString::number(number, 'f', decimals).toStdString();
    // "-0" and "-0,00" for small negatives read as zero.
    if (!text.empty() && text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    for (char& ch : text) {
        if (ch == '.') ch = ',';
    }
    return text;
}

void TNumberEdit::SetNumber(double number) {
    number_ = number;
    TEdit::SetText(FormatNumber(number_, decimals_));
}

void TNumberEdit::SetDecimals(int decimals) {
    decimals_ = decimals < 0 ? 0 : decimals;
    TEdit::SetText(FormatNumber(number_, decimals_));
}

void TNumberEdit::SetText(const std::string& text) {
    std::string s = corvana::trimBlanks(text);
    if (s.empty()) {
        SetNumber(0);
        return;
    }
    if (s.front() == '+') s.erase(0, 1);
    if (s.find(',') != std::string::npos && s.find('.') == std::string::npos) s[s.find(',')] = '.';
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        throw corvana::Error("Número inválido: \"" + text + "\".");
    SetNumber(value);
}

}  // namespace corvana::ui
