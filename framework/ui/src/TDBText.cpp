#include "corvana/ui/TDBText.h"

#include "corvana/data/DataSource.h"
#include "corvana/data/Field.h"

namespace corvana::ui {

TDBText::TDBText(QWidget* parent) : TControl<QLabel>(parent) {
    setTextFormat(Qt::PlainText);
    link_.OnDataChange = [this] { refresh(); };
}

TDBText::~TDBText() {
    link_.OnDataChange = nullptr;
}

void TDBText::SetDataSource(corvana::DataSource* source) {
    if (link_.SetSource(source)) refresh();
}

void TDBText::SetDataField(std::string fieldName) {
    link_.SetFieldName(std::move(fieldName));
    refresh();
}

void TDBText::refresh() {
    QString text;
    const corvana::Field* field = GetField();
    if (field && link_.Active()) {
        try {
            text = QString::fromStdString(field->DisplayText());
        } catch (...) {
            // A failing get-text handler leaves the label empty.
        }
    }
    if (text != this->text()) setText(text);
}

}  // namespace corvana::ui
