#pragma once
#include <QLineEdit>
#include <functional>
#include <string>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataLink.h"
#include "corvana/ui/TControl.h"

namespace corvana {
class DataSource;
class Field;
}  // namespace corvana

namespace corvana::ui {

// The link of a data-bound control to one field (by name) of a data
// source's dataset. The field is looked up on every use, so a dataset that
// takes new fields from a packet is followed. Its callbacks run inside the
// dataset's operations and must not throw.
class TFieldDataLink : public corvana::DataLink {
public:
    // What the control shows may have changed: another row, a new layout, a
    // post or cancel, the field written.
    std::function<void()> OnDataChange;
    // The source's state changed (OnDataChange follows).
    std::function<void()> OnStateChange;
    // Store what the control shows and has not written yet (may throw).
    std::function<void()> OnUpdateData;

    void SetFieldName(std::string name) { fieldName_ = std::move(name); }
    const std::string& FieldName() const { return fieldName_; }
    // The field, or nullptr (no source, no dataset, no such field).
    corvana::Field* GetField() const;
    // The source's state (Inactive without a source or when disabled).
    corvana::DataSetState State() const;
    bool Active() const { return State() != corvana::DataSetState::Inactive; }
    bool Editing() const { return corvana::IsEditing(State()); }

private:
    void layoutChanged() override { changed(); }
    void rowInserted(int) override { changed(); }
    void rowRemoved(int) override { changed(); }
    void rowChanged(int) override { changed(); }
    void currentChanged(int, int) override { changed(); }
    void stateChanged() override;
    void fieldChanged(corvana::Field* field) override;
    void updateRecord() override {
        if (OnUpdateData) OnUpdateData();
    }
    void changed() {
        if (OnDataChange) OnDataChange();
    }

    std::string fieldName_;
};

// A line edit bound to a field of the current row (prefix dbe). It shows the
// field's display text, and its edit text while it has the focus. The first
// change typed puts the dataset in edit state; the text is stored through
// Field::SetText (so through the field's set-text handler) on Enter and when
// the focus leaves the control (a refusal keeps the focus here). Esc brings
// back the field's text. A move to another row, a post or cancel, a new
// layout or the field written from code show the field again, forgetting
// text typed and not stored.
//
// The control is read-only while ReadOnly is set, without a field or with
// the dataset closed. It takes at most the field's size in characters, unless
// the field has a set-text handler (which then decides what is stored).
class TDBEdit : public TControl<QLineEdit> {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget* parent = nullptr);
    ~TDBEdit() override;

    void SetDataSource(corvana::DataSource* source);
    corvana::DataSource* GetDataSource() const { return link_.Source(); }
    void SetDataField(std::string fieldName);
    const std::string& DataField() const { return link_.FieldName(); }
    corvana::Field* GetField() const { return link_.GetField(); }

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    // True while typed text waits to be stored.
    bool Modified() const { return modified_; }
    // Stores the typed text in the field (nothing when none was typed).
    // Raises what the field or the dataset raises; the text stays. A screen
    // calls it before posting from a button that takes no focus.
    void UpdateData();
    // Shows the field's text again, forgetting typed text.
    void Reset();

    // The user changed the text.
    std::function<void(QObject* sender)> OnChange;

    // Stores the typed text before OnExit; a refusal keeps the focus.
    void DoExit() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void refresh();
    void userEdited();

    TFieldDataLink link_;
    bool readOnly_ = false;
    bool modified_ = false;
    bool enteringEdit_ = false;
};

}  // namespace corvana::ui
