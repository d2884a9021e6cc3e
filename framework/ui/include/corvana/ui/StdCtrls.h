#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "corvana/ui/TControl.h"

class QKeyEvent;
class QInputMethodEvent;

// The standard controls of the screens. Texts are UTF-8. Handlers receive
// the control as sender. A change event raised by a change made from code
// (SetText, SetNumber) reaches the code that made it: an exception thrown
// by the handler propagates out of SetText. Changes made by the user run
// their handlers through the exception guard.
namespace corvana::ui {

class TLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLabel(QWidget* parent = nullptr);
    explicit TLabel(const std::string& caption, QWidget* parent = nullptr);

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // The control that its accelerator (&) focuses.
    QWidget* FocusControl() const { return buddy(); }
    void SetFocusControl(QWidget* control) { setBuddy(control); }
};

enum class TEditCharCase { Normal, UpperCase, LowerCase };

// A one-line edit. OnChange fires on every change of Text(), typed or set
// from code (SetText fires it when the text differs). OnKeyPress receives
// each typed character, and Enter, Backspace and Escape as kKeyEnter,
// kKeyBackspace and kKeyEscape (corvana/ui/KeyCodes.h); a handler sets the
// key to 0 to discard it, or to another character to type that one instead.
class TEdit : public TControl<QLineEdit> {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent = nullptr);

    virtual std::string Text() const;
    virtual void SetText(const std::string& text);

    // In characters; 0: unlimited.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int maxLength);
    // Upper or lower case forces the case of the text, typed, pasted or set.
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase charCase);
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }

    std::function<void(QObject* sender)> OnChange;
    std::function<void(QObject* sender, char32_t& key)> OnKeyPress;

    // The text forced to CharCase (for the case validator).
    void ApplyCharCase(QString& text) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

    // Hooks of derived edits (TMaskEdit).
    // True when typed characters go to InsertTyped even when no handler
    // changed them.
    virtual bool HandlesTyping() const { return false; }
    // Types the characters (already through OnKeyPress) at the cursor.
    virtual void InsertTyped(const std::u32string& keys);
    // An editing key other than a typed character; true when handled.
    virtual bool HandleEditKey(QKeyEvent* /*event*/) { return false; }
    // Qt's text changed. The default raises OnChange when Text() changed.
    virtual void QtTextChanged();
    // QLineEdit's maximum length for MaxLength().
    virtual void ApplyMaxLength();

    // Runs a change made from code: an exception of OnChange raised during
    // it is rethrown here, after the change.
    void ChangeFromCode(const std::function<void()>& change);

private:
    void HandleKeyPress(QKeyEvent* event);
    // Runs OnKeyPress; false when the key was discarded (or the handler threw).
    bool FilterKey(char32_t& key);

    int maxLength_ = 0;
    TEditCharCase charCase_ = TEditCharCase::Normal;
    std::string lastText_;
    std::exception_ptr* captured_ = nullptr;
};

// A check box; OnClick fires when the user toggles it (not on SetChecked).
class TCheckBox : public TControl<QCheckBox> {
    Q_OBJECT
public:
    explicit TCheckBox(QWidget* parent = nullptr);
    explicit TCheckBox(const std::string& caption, QWidget* parent = nullptr);

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked) { setChecked(checked); }

    std::function<void(QObject* sender)> OnClick;
};

enum class TComboStyle {
    DropDown,      // an edit field and a list
    DropDownList,  // a list only
};

// A drop-down list with an edit field. ItemIndex is the item shown, -1 when
// the text matches no item. Changes made from code (SetItemIndex, SetText,
// SetItems) fire nothing; OnChange fires for the user's changes only: picking
// an item or typing in the edit field.
class TComboBox : public TControl<QComboBox> {
    Q_OBJECT
public:
    explicit TComboBox(QWidget* parent = nullptr);

    TComboStyle Style() const {
        return isEditable() ? TComboStyle::DropDown : TComboStyle::DropDownList;
    }
    void SetStyle(TComboStyle style);

    std::vector<std::string> Items() const;
    // Replaces the items; the text stays and ItemIndex follows it.
    void SetItems(const std::vector<std::string>& items);
    void AddItem(const std::string& item);
    void ClearItems() { SetItems({}); }

    int ItemIndex() const { return itemIndex_; }
    // -1 clears the text; an index outside the list raises corvana::Error.
    void SetItemIndex(int index);
    std::string Text() const;
    void SetText(const std::string& text);

    std::function<void(QObject* sender)> OnChange;

protected:
    // A click anywhere on an editable box opens its list, as on a box that
    // takes no typing; the click still places the cursor.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WireEdit();
    void UserPicked(int index);
    void UserTyped(const QString& text);
    int MatchingItem(const QString& text) const;

    int itemIndex_ = -1;
};

// A read-only edit that shows a number with a fixed count of decimals, a
// comma as decimal separator and no thousands separator ("5000", "2,50").
class TNumberEdit : public TEdit {
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    double Number() const { return number_; }
    void SetNumber(double number);
    int Decimals() const { return decimals_; }
    void SetDecimals(int decimals);
    // Reads a number ("5000", "2,5", "2.5"; blank is 0) and shows it;
    // anything else raises corvana::Error.
    void SetText(const std::string& text) override;

    // The text shown for a number.
    static std::string FormatNumber(double number, int decimals);

private:
    double number_ = 0;
    int decimals_ = 0;
};

}  // namespace corvana::ui
