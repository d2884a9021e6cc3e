#pragma once
#include <QAbstractTableModel>
#include <string>
#include <vector>

namespace corvana {
class ClientDataSet;
class Field;
}  // namespace corvana

namespace corvana::ui {

// The table of the search window: the rows of a dataset, all of them or
// those that pass the filter, with the visible fields as columns, titled by
// their display labels. Cells are read when shown, by Field::DisplayTextAt.
// The fields and the number of rows are those of the dataset when the model
// is made.
class SearchModel : public QAbstractTableModel {
public:
    SearchModel(corvana::ClientDataSet* dataSet, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The dataset row (0-based) shown at a listed row.
    int DataRow(int listRow) const;
    // Rows of the dataset.
    int Total() const { return total_; }

    // Keeps the rows whose visible fields contain `needle`, which is folded
    // (corvana::foldCase) already; an empty needle lists every row. The
    // first filtering reads every row once.
    void SetFilter(const std::string& needle);

private:
    std::string Cell(int row, int column) const;
    void BuildHaystack();

    std::vector<corvana::Field*> fields_;
    int total_ = 0;
    bool filtered_ = false;
    std::vector<int> rows_;
    bool haystackBuilt_ = false;
    std::vector<std::string> haystack_;
    mutable bool reported_ = false;
};

}  // namespace corvana::ui
