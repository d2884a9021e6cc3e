#include "corvana/ui/GridModel.h"

#include <QBrush>
#include <QMetaObject>

#include "corvana/core/Services.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Guard.h"

namespace corvana::ui {

using corvana::ClientDataSet;
using corvana::DataSetState;
using corvana::Field;
using corvana::FieldType;

namespace {

// Rows whose change the change log still holds: not accepted by the server
// yet when a screen sends each change at once.
const QColor kPendingColor(255, 228, 160);
constexpr const char* kPendingMark = "!";
constexpr const char* kPendingTip = "Alteração pendente: ainda não gravada no servidor.";

}  // namespace

// Receives the dataset's notifications for the model. Every notification is
// bracketed so that views can tell the dataset is busy (Notifying) and learn
// when the model and the dataset agree again (Notified).
class GridModel::Link : public corvana::DataLink {
public:
    explicit Link(GridModel& model) : model_(model) {}

    void layoutChanged() override {
        run([this] { model_.onLayout(); });
    }
    void rowInserted(int row) override {
        run([this, row] { model_.onRowInserted(row); });
    }
    void rowRemoved(int row) override {
        run([this, row] { model_.onRowRemoved(row); });
    }
    void rowChanged(int row) override {
        run([this, row] { model_.onRowChanged(row); });
    }
    void currentChanged(int, int newRow) override {
        run([this, newRow] { model_.onCurrentChanged(newRow); });
    }
    void stateChanged() override {
        run([this] { model_.onStateChanged(); });
    }
    void fieldChanged(Field*) override {
        run([this] { model_.onFieldChanged(); });
    }
    void updateRecord() override {
        if (model_.OnUpdateRecord) model_.OnUpdateRecord();
    }

private:
    template <class Fn>
    void run(Fn fn) {
        ++model_.notifying_;
        fn();
        if (--model_.notifying_ == 0) emit model_.Notified();
    }

    GridModel& model_;
};

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent), link_(std::make_unique<Link>(*this)) {}

GridModel::~GridModel() = default;

corvana::DataSource* GridModel::GetDataSource() const {
    return link_->Source();
}

ClientDataSet* GridModel::DataSet() const {
    return link_->DataSet();
}

void GridModel::SetDataSource(corvana::DataSource* source) {
    if (!link_->SetSource(source)) return;
    reset();
    emit StateChanged();
    emit Notified();
}

bool GridModel::IsActive() const {
    const corvana::DataSource* source = link_->Source();
    return source && source->DataSet() && source->State() != DataSetState::Inactive;
}

int GridModel::sourceRowCount() const {
    return IsActive() ? DataSet()->RecordCount() : 0;
}

int GridModel::CurrentRow() const {
    if (!IsActive()) return -1;
    const int recNo = DataSet()->RecNo();
    return recNo > 0 ? recNo - 1 : -1;
}

// --- columns -------------------------------------------------------------------

void GridModel::SetColumns(std::vector<TColumn> columns) {
    beginResetModel();
    persistent_ = !columns.empty();
    columns_ = std::move(columns);
    rebuildColumns();
    endResetModel();
}

void GridModel::rebuildColumns() {
    ClientDataSet* ds = DataSet();
    if (!persistent_) {
        columns_.clear();
        if (IsActive()) {
            for (Field* f : ds->Fields()) {
                if (!f->Visible()) continue;
                TColumn column;
                column.FieldName = f->Name();
                columns_.push_back(std::move(column));
            }
        }
    }
    viewColumns_.clear();
    fields_.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!columns_[i].Visible) continue;
        viewColumns_.push_back(static_cast<int>(i));
        fields_.push_back(ds ? ds->FindField(columns_[i].FieldName) : nullptr);
    }
}

int GridModel::ListIndexOf(int viewColumn) const {
    if (viewColumn < 0 || viewColumn >= static_cast<int>(viewColumns_.size())) return -1;
    return viewColumns_[static_cast<std::size_t>(viewColumn)];
}

int GridModel::ViewColumnOf(int listIndex) const {
    for (std::size_t i = 0; i < viewColumns_.size(); ++i) {
        if (viewColumns_[i] == listIndex) return static_cast<int>(i);
    }
    return -1;
}

int GridModel::ViewColumnOf(const Field* field) const {
    if (!field) return -1;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i] == field) return static_cast<int>(i);
    }
    return -1;
}

const TColumn* GridModel::ColumnAt(int viewColumn) const {
    const int i = ListIndexOf(viewColumn);
    return i < 0 ? nullptr : &columns_[static_cast<std::size_t>(i)];
}

Field* GridModel::FieldAt(int viewColumn) const {
    // Without a source the fields may be gone with their dataset.
    if (!link_->Source() || viewColumn < 0 || viewColumn >= static_cast<int>(fields_.size())) {
        return nullptr;
    }
    return fields_[static_cast<std::size_t>(viewColumn)];
}

// --- editing ---------------------------------------------------------------------

void GridModel::StoreText(int row, int column, const std::string& text) {
    Field* field = FieldAt(column);
    if (!field) throw corvana::Error("A coluna não está ligada a um campo do conjunto de dados.");
    if (!IsActive()) throw corvana::Error("O conjunto de dados está fechado.");
    ClientDataSet* ds = DataSet();
    if (row != CurrentRow()) ds->SetRecNo(row + 1);
    if (ds->State() == DataSetState::Browse) ds->Edit();
    field->SetText(text);
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.row() >= rows_) return false;
    return GuardedBool(
        [&] { StoreText(index.row(), index.column(), value.toString().toStdString()); });
}

// --- reading ---------------------------------------------------------------------

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(viewColumns_.size());
}

int GridModel::datasetRow(int viewRow) const {
    if (pendingInsert_ >= 0 && viewRow >= pendingInsert_) return viewRow + 1;
    if (pendingRemove_ >= 0 && viewRow >= pendingRemove_) {
        return viewRow == pendingRemove_ ? -1 : viewRow - 1;
    }
    return viewRow;
}

bool GridModel::IsPending(int viewRow) const {
    if (!IsActive() || viewRow < 0 || viewRow >= rows_) return false;
    const int row = datasetRow(viewRow);
    if (row < 0 || row >= DataSet()->RecordCount()) return false;
    return DataSet()->UpdateStatusAt(row) != corvana::UpdateStatus::Unmodified;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) return {};
    if (role == Qt::BackgroundRole || role == Qt::ToolTipRole) {
        if (!IsPending(index.row())) return {};
        if (role == Qt::BackgroundRole) return QBrush(kPendingColor);
        return QString::fromUtf8(kPendingTip);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole) return {};
    Field* field = FieldAt(index.column());
    if (!field || !IsActive()) return {};
    if (role == Qt::TextAlignmentRole) {
        const FieldType type = field->DataType();
        const bool number = type == FieldType::Integer || type == FieldType::Float;
        return QVariant::fromValue(
            Qt::Alignment(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft)));
    }
    const int row = datasetRow(index.row());
    if (row < 0 || row >= DataSet()->RecordCount()) return {};
    try {
        if (role == Qt::EditRole && row == CurrentRow())
            return QString::fromStdString(field->Text());
        return QString::fromStdString(field->DisplayTextAt(row));
    } catch (const std::exception& e) {
        reportReadError(e.what());
    } catch (...) {
        reportReadError("Erro inesperado.");
    }
    return {};
}

// A get-text handler that fails would fail for every painted cell: the view
// shows the cell empty and the first message since the last reset is shown
// once the painting is over.
void GridModel::reportReadError(const std::string& message) const {
    if (readErrorShown_) return;
    readErrorShown_ = true;
    QMetaObject::invokeMethod(
        const_cast<GridModel*>(this),
        [message] { Guarded([&] { corvana::services::Dialogs().ShowError(message); }); },
        Qt::QueuedConnection);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical && (role == Qt::BackgroundRole || role == Qt::ToolTipRole)) {
        if (!IsPending(section)) return {};
        if (role == Qt::BackgroundRole) return QBrush(kPendingColor);
        return QString::fromUtf8(kPendingTip);
    }
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        const TColumn* column = ColumnAt(section);
        if (!column) return {};
        if (!column->Title.empty()) return QString::fromStdString(column->Title);
        if (const Field* field = FieldAt(section))
            return QString::fromStdString(field->DisplayLabel());
        return QString::fromStdString(column->FieldName);
    }
    if (section < 0 || section >= rows_) return {};
    const corvana::DataSource* source = link_->Source();
    if (section != indicatorRow_ || !source) {
        return IsPending(section) ? QString(kPendingMark) : QString();
    }
    switch (source->State()) {
        case DataSetState::Edit:
            return QStringLiteral("I");
        case DataSetState::Insert:
            return QStringLiteral("*");
        default:
            return QStringLiteral("▶");
    }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (FieldAt(index.column()) && IsActive()) f |= Qt::ItemIsEditable;
    return f;
}

// --- notifications ------------------------------------------------------------

void GridModel::reset() {
    beginResetModel();
    rebuildColumns();
    rows_ = sourceRowCount();
    pendingInsert_ = pendingRemove_ = -1;
    indicatorRow_ = CurrentRow();
    readErrorShown_ = false;
    endResetModel();
}

void GridModel::onLayout() {
    reset();
}

void GridModel::onRowInserted(int row) {
    const int count = sourceRowCount();
    if (count != rows_ + 1 || row < 0 || row > rows_) {
        reset();
        return;
    }
    pendingInsert_ = row;
    beginInsertRows(QModelIndex(), row, row);
    rows_ = count;
    pendingInsert_ = -1;
    if (indicatorRow_ >= row) ++indicatorRow_;
    endInsertRows();
}

void GridModel::onRowRemoved(int row) {
    const int count = sourceRowCount();
    if (count != rows_ - 1 || row < 0 || row >= rows_) {
        reset();
        return;
    }
    pendingRemove_ = row;
    beginRemoveRows(QModelIndex(), row, row);
    rows_ = count;
    pendingRemove_ = -1;
    if (indicatorRow_ == row) {
        indicatorRow_ = -1;
    } else if (indicatorRow_ > row) {
        --indicatorRow_;
    }
    endRemoveRows();
}

void GridModel::onRowChanged(int row) {
    refreshRow(row);
    // Its change may have entered or left the change log: the mark follows.
    if (row >= 0 && row < rows_) emit headerDataChanged(Qt::Vertical, row, row);
    refreshIndicator(CurrentRow());
}

void GridModel::onCurrentChanged(int newRow) {
    refreshIndicator(CurrentRow());
    emit CursorMoved(newRow);
}

void GridModel::onStateChanged() {
    // Closing or disabling the source arrives here too; a layout notification
    // normally precedes it, but the row count is what must hold.
    if (sourceRowCount() != rows_ || (!persistent_ && !IsActive() && !columns_.empty())) {
        reset();
    } else {
        refreshIndicator(CurrentRow());
    }
    emit StateChanged();
}

void GridModel::onFieldChanged() {
    refreshRow(CurrentRow());
}

void GridModel::refreshRow(int row) {
    const int columns = columnCount();
    if (row < 0 || row >= rows_ || columns == 0) return;
    emit dataChanged(index(row, 0), index(row, columns - 1),
                     {Qt::DisplayRole, Qt::EditRole, Qt::BackgroundRole, Qt::ToolTipRole});
}

void GridModel::refreshIndicator(int row) {
    const int old = indicatorRow_;
    indicatorRow_ = row >= 0 && row < rows_ ? row : -1;
    if (old >= 0 && old < rows_ && old != indicatorRow_) {
        emit headerDataChanged(Qt::Vertical, old, old);
    }
    if (indicatorRow_ >= 0) emit headerDataChanged(Qt::Vertical, indicatorRow_, indicatorRow_);
}

}  // namespace corvana::ui
