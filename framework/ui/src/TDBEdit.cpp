#include "corvana/ui/TDBEdit.h"

#include <QKeyEvent>

#include "corvana/data/DataSource.h"
#include "corvana/data/Field.h"
#include "corvana/ui/Guard.h"

namespace corvana::ui {

using corvana::DataSetState;
using corvana::Field;

// --- TFieldDataLink ---------------------------------------------------------------

Field* TFieldDataLink::GetField() const {
    const corvana::ClientDataSet* ds = DataSet();
    return ds && !fieldName_.empty() ? ds->FindField(fieldName_) : nullptr;
}

DataSetState TFieldDataLink::State() const {
    return Source() ? Source()->State() : DataSetState::Inactive;
}

void TFieldDataLink::stateChanged() {
    if (OnStateChange) OnStateChange();
    changed();
}

void TFieldDataLink::fieldChanged(Field* field) {
    if (!field || field == GetField()) changed();
}

// --- TDBEdit -------------------------------------------------------------------------

TDBEdit::TDBEdit(QWidget* parent) : TControl<QLineEdit>(parent) {
    link_.OnDataChange = [this] {
        // A notification caused by the edit state the user's typing asked for
        // must not replace what is being typed.
        if (!enteringEdit_) refresh();
    };
    link_.OnUpdateData = [this] { UpdateData(); };
    GuardedConnect(this, &QLineEdit::textEdited, this, [this] { userEdited(); });
    refresh();
}

TDBEdit::~TDBEdit() {
    link_.OnDataChange = nullptr;
    link_.OnUpdateData = nullptr;
}

void TDBEdit::SetDataSource(corvana::DataSource* source) {
    if (link_.SetSource(source)) refresh();
}

void TDBEdit::SetDataField(std::string fieldName) {
    link_.SetFieldName(std::move(fieldName));
    refresh();
}

void TDBEdit::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    refresh();
}

void TDBEdit::refresh() {
    Field* field = GetField();
    const bool active = field && link_.Active();
    QString text;
    if (active) {
        try {
            text = QString::fromStdString(hasFocus() ? field->Text() : field->DisplayText());
        } catch (...) {
            // A get-text handler that fails leaves the control empty; the
            // message belongs to whoever shows the field in a grid or on save.
        }
    }
    // The field's size limits what is typed unless a set-text handler decides
    // what is stored.
    const bool limited = field && field->DataType() == corvana::FieldType::String &&
                         field->Size() > 0 && !field->OnSetText;
    setMaxLength(limited ? field->Size() : 32767);
    if (text != this->text()) setText(text);
    setReadOnly(readOnly_ || !active);
    modified_ = false;
}

void TDBEdit::userEdited() {
    if (isReadOnly()) return;
    if (link_.State() == DataSetState::Browse) {
        bool ok;
        {
            enteringEdit_ = true;
            ok = GuardedBool([this] { GetField()->DataSet().Edit(); });
            enteringEdit_ = false;
        }
        if (!ok) {
            refresh();
            return;
        }
    }
    modified_ = true;
    if (OnChange) OnChange(this);
}

void TDBEdit::UpdateData() {
    if (!modified_) return;
    Field* field = GetField();
    if (!field || !link_.Active()) return;
    if (link_.State() == DataSetState::Browse) field->DataSet().Edit();
    field->SetText(text().toStdString());
    refresh();
}

void TDBEdit::Reset() {
    refresh();
}

void TDBEdit::DoExit() {
    UpdateData();
    TFocusEvents::DoExit();
}

void TDBEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (GuardedBool([this] { UpdateData(); })) selectAll();
            TControl<QLineEdit>::keyPressEvent(event);
            return;
        case Qt::Key_Escape:
            if (modified_) {
                Reset();
                selectAll();
                event->accept();
                return;
            }
            break;
        default:
            break;
    }
    TControl<QLineEdit>::keyPressEvent(event);
}

void TDBEdit::focusInEvent(QFocusEvent* event) {
    if (!modified_) refresh();  // the edit text while focused (before a tab selects it)
    TControl<QLineEdit>::focusInEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent* event) {
    TControl<QLineEdit>::focusOutEvent(event);
    if (!modified_) refresh();  // back to the display text
}

}  // namespace corvana::ui
