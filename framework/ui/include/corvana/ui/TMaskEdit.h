#pragma once
#include <string>

#include "corvana/core/MaskFormat.h"
#include "corvana/ui/StdCtrls.h"

// An edit with an edit mask (corvana/core/MaskFormat.h), e.g. "9999;0; " or
// "999.999.999-99;0;_".
//
// The editing is done here on a plain QLineEdit rather than with Qt's
// inputMask: Qt's mask characters mean other things (its 9 is a required
// digit, its 0 an optional one), its letter classes are not the framework's
// (accented Latin letters), and its text() is not the field value the
// screens compare. The line edit shows the mask text: every position of the
// mask, literals as they are and unfilled data positions as the blank
// character. Typing overwrites the data position at the cursor (stepping
// over literals; typing the literal that stands there steps over it), and
// only a character the position's class accepts is taken; Backspace and
// Delete clear a position instead of shifting the rest; a selection typed
// over or deleted is cleared. Paste types the clipboard's characters one by
// one. Undo is not offered.
//
// Text() is the value (MaskedTextToValue): with keep-literals 0 it holds the
// data characters only, e.g. "1" for "9999;0; " with one digit typed.
// SetText(value) lays the value into the mask (FormatMaskText). OnChange
// fires on every change of Text(), not on changes of the text shown that
// leave the value as it was. Leaving the control with some but not all of
// the required positions filled is refused (the focus stays). Without a
// mask the control is a plain TEdit.
namespace corvana::ui {

class TMaskEdit : public TEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget* parent = nullptr);

    const std::string& EditMask() const { return mask_; }
    // Keeps the value: it is laid into the new mask.
    void SetEditMask(const std::string& mask);
    bool IsMasked() const { return !parsed_.empty(); }

    std::string Text() const override;
    void SetText(const std::string& value) override;
    // The text shown, literals and blanks included.
    std::string EditText() const;
    // True when every required position is filled (always without a mask).
    bool IsComplete() const;

protected:
    bool HandlesTyping() const override { return IsMasked(); }
    void InsertTyped(const std::u32string& keys) override;
    bool HandleEditKey(QKeyEvent* event) override;
    void QtTextChanged() override;
    void ApplyMaxLength() override;
    void DoExit() override;

private:
    std::u32string Shown() const;
    // Cursor and selection in code points.
    int CursorIndex() const;
    bool SelectionRange(int& start, int& end) const;
    void ClearRange(std::u32string& shown, int start, int end) const;
    // Shows `shown` with the cursor at code point `cursor`.
    void Show(const std::u32string& shown, int cursor);
    char32_t WithCase(char32_t ch, MaskCase letterCase) const;

    std::string mask_;
    MaskSpec parsed_;
    bool showing_ = false;
};

}  // namespace corvana::ui
