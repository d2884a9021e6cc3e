#pragma once
#include <QLabel>
#include <string>

#include "corvana/ui/TControl.h"
#include "corvana/ui/TDBEdit.h"

namespace corvana::ui {

// A label showing a field's display text of the current row (prefix dbt):
// empty when the dataset is closed or the field does not exist. It follows
// scrolls, posts, cancels, new layouts and the field being written.
class TDBText : public TControl<QLabel> {
    Q_OBJECT
public:
    explicit TDBText(QWidget* parent = nullptr);
    ~TDBText() override;

    void SetDataSource(corvana::DataSource* source);
    corvana::DataSource* GetDataSource() const { return link_.Source(); }
    void SetDataField(std::string fieldName);
    const std::string& DataField() const { return link_.FieldName(); }
    corvana::Field* GetField() const { return link_.GetField(); }

private:
    void refresh();

    TFieldDataLink link_;
};

}  // namespace corvana::ui
