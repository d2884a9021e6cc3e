#include "corvana/ui/SearchModel.h"

#include <QTimer>
#include <exception>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/Text.h"
#include "corvana/ui/Guard.h"

namespace corvana::ui {

SearchModel::SearchModel(corvana::ClientDataSet* dataSet, QObject* parent)
    : QAbstractTableModel(parent) {
    if (dataSet && dataSet->Active()) {
        total_ = dataSet->RecordCount();
        for (corvana::Field* field : dataSet->Fields()) {
            if (field->Visible()) fields_.push_back(field);
        }
    }
}

int SearchModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return filtered_ ? static_cast<int>(rows_.size()) : total_;
}

int SearchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fields_.size());
}

QVariant SearchModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return QString::fromStdString(Cell(DataRow(index.row()), index.column()));
}

QVariant SearchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(fields_.size()))
        return {};
    return QString::fromStdString(fields_[static_cast<std::size_t>(section)]->DisplayLabel());
}

int SearchModel::DataRow(int listRow) const {
    return filtered_ ? rows_[static_cast<std::size_t>(listRow)] : listRow;
}

void SearchModel::SetFilter(const std::string& needle) {
    beginResetModel();
    filtered_ = !needle.empty();
    rows_.clear();
    if (filtered_) {
        BuildHaystack();
        for (int row = 0; row < total_; ++row) {
            if (haystack_[static_cast<std::size_t>(row)].find(needle) != std::string::npos)
                rows_.push_back(row);
        }
    }
    endResetModel();
}

// A handler of the dataset (OnGetText) may throw while the view paints: the
// cell stays empty and the first failure is reported once the painting is
// over.
std::string SearchModel::Cell(int row, int column) const {
    try {
        return fields_[static_cast<std::size_t>(column)]->DisplayTextAt(row);
    } catch (...) {
        if (!reported_) {
            reported_ = true;
            QTimer::singleShot(0, this, [error = std::current_exception()] {
                Guarded([&] { std::rethrow_exception(error); });
            });
        }
        return {};
    }
}

// The folded text of each row's visible fields, read once.
void SearchModel::BuildHaystack() {
    if (haystackBuilt_) return;
    haystack_.resize(static_cast<std::size_t>(total_));
    std::string line;
    for (int row = 0; row < total_; ++row) {
        line.clear();
        for (std::size_t column = 0; column < fields_.size(); ++column) {
            if (column) line += '\x1f';  // a match never spans two fields
            line += Cell(row, static_cast<int>(column));
        }
        haystack_[static_cast<std::size_t>(row)] = corvana::foldCase(line);
    }
    haystackBuilt_ = true;
}

}  // namespace corvana::ui
