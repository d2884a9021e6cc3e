#pragma once
#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvana {
class ClientDataSet;
class DataSource;
class Field;
}  // namespace corvana

namespace corvana::ui {

// A column of a data grid, bound to a field by name. Every member has its
// default, so that a column is written with designated initializers naming
// only what differs ({.FieldName = "NMFILIAL", .Width = 200}).
struct TColumn {
    std::string FieldName;
    // A hidden column stays in the grid's column list but has no view column.
    bool Visible = true;
    // Width in pixels at 96 dpi for the platform's original 8-point font;
    // the grid scales it to its own font (never narrower). -1 takes it from
    // the field's size (or its type).
    int Width = -1;
    // Words offered by a drop-down editor; the chosen one is stored through
    // the field's SetText (and so through its set-text handler).
    std::vector<std::string> PickList{};
    // The cell editor shows a "..." button that raises OnEditButtonClick.
    bool EllipsisButton = false;
    // Column title; empty takes the field's DisplayLabel.
    std::string Title{};
    // Texts the column shows whole (its widest masked values): with them, or
    // with a pick list, and no Width, the column is as wide as the widest of
    // these texts, the pick list's words and its title.
    std::vector<std::string> Samples{};
    // A share of the width that the other columns leave in the grid: such
    // columns take all of it between them, by their shares, and none goes
    // below its Width (its floor). Without room for the floors, the grid
    // scrolls.
    int Stretch = 0;
};

// The item model of a data grid over a DataSource: one row per row of the
// dataset, one column per visible grid column.
//
// Nothing is read at load: a cell is read (Field::DisplayTextAt, get-text
// handlers included) only when the view asks for it, so a dataset of any size
// costs the same to show. The dataset's notifications map to the model's:
// an inserted row (Insert/Append) appears at once, a cancelled insert or a
// deleted row is removed, a posted or cancelled edit and a written field
// refresh their row, and a new layout (Open, Close, SetData, EmptyDataSet,
// CancelUpdates, another dataset) resets the model.
//
// Without persistent columns (SetColumns with an empty list) the model shows
// one column per visible field of the open dataset. Persistent columns are
// bound to their fields by name whenever the layout changes; a column whose
// field does not exist shows empty cells and cannot be edited.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    void SetDataSource(corvana::DataSource* source);
    corvana::DataSource* GetDataSource() const;
    // The source's dataset, or nullptr.
    corvana::ClientDataSet* DataSet() const;
    // True while the source delivers rows (it has an open dataset and is
    // enabled).
    bool IsActive() const;

    // Persistent columns; an empty list returns to the default columns.
    void SetColumns(std::vector<TColumn> columns);
    bool HasPersistentColumns() const { return persistent_; }
    // The grid's columns: the persistent ones (hidden ones included) or one
    // per visible field of the open dataset.
    const std::vector<TColumn>& Columns() const { return columns_; }

    // Mapping between view columns and the column list.
    int ListIndexOf(int viewColumn) const;
    int ViewColumnOf(int listIndex) const;  // -1 for a hidden column
    int ViewColumnOf(const corvana::Field* field) const;
    const TColumn* ColumnAt(int viewColumn) const;
    corvana::Field* FieldAt(int viewColumn) const;

    // The dataset's cursor as a model row; -1 without rows.
    int CurrentRow() const;
    // True when the row's change is still in the dataset's change log (not
    // merged yet: for a screen that saves each change at once, not accepted
    // by the server). A row being inserted is not pending until posted.
    bool IsPending(int row) const;

    // Stores text in the cell's field through Field::SetText: the dataset
    // first moves to row when it is elsewhere and enters edit state when it
    // is browsing. Raises whatever the dataset or the field's handlers raise.
    void StoreText(int row, int column, const std::string& text);

    // QAbstractItemModel.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole: the field's display text (DisplayTextAt, get-text handlers
    // run). EditRole: the same, except for the current row, where it is the
    // field's edit text (Field::Text). BackgroundRole and ToolTipRole mark
    // the rows with a pending change (IsPending), in the cells and in the
    // row header alike.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Horizontal: the column titles. Vertical: the record indicator of the
    // current row ("▶" browsing, "I" editing, "*" inserting), and "!" on
    // the other rows with a pending change.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // StoreText through the exception guard: a refusal is shown and gives false.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // True while a notification of the dataset is being turned into model
    // signals; views must not call back into the dataset meanwhile.
    bool Notifying() const { return notifying_ > 0; }

    // Asked before the dataset moves or posts for a control that takes no
    // focus (DataSource::UpdateRecord): the view stores its open editor.
    std::function<void()> OnUpdateRecord;

signals:
    // The dataset's cursor moved to row (-1: no row).
    void CursorMoved(int row);
    // The data source's state changed.
    void StateChanged();
    // A notification of the dataset was fully handled: the model and the
    // dataset agree again.
    void Notified();

private:
    class Link;
    friend class Link;

    // The dataset's notifications.
    void onLayout();
    void onRowInserted(int row);
    void onRowRemoved(int row);
    void onRowChanged(int row);
    void onCurrentChanged(int newRow);
    void onStateChanged();
    void onFieldChanged();

    int sourceRowCount() const;
    void rebuildColumns();
    void reset();
    void refreshRow(int row);
    void refreshIndicator(int row);
    // The dataset row shown at view row, while an insert or removal is being
    // announced (the dataset has already changed, the views not yet); -1 for
    // the row being removed.
    int datasetRow(int viewRow) const;
    void reportReadError(const std::string& message) const;

    std::unique_ptr<Link> link_;
    std::vector<TColumn> columns_;
    std::vector<int> viewColumns_;         // list index of each view column
    std::vector<corvana::Field*> fields_;  // field of each view column (may be null)
    bool persistent_ = false;
    int rows_ = 0;
    int indicatorRow_ = -1;
    int pendingInsert_ = -1;
    int pendingRemove_ = -1;
    int notifying_ = 0;
    mutable bool readErrorShown_ = false;
};

}  // namespace corvana::ui
