#pragma once
#include <functional>
#include <vector>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataLink.h"

namespace corvana {

class Field;

// Connects a dataset to its views. The dataset notifies every data source
// bound to it of each change; the source forwards the notification to its
// links and raises its own events. A disabled source forwards nothing and
// reports the Inactive state; enabling it again asks its links to rebuild.
//
// A dataset and a source may be destroyed in either order.
class DataSource {
public:
    DataSource() = default;
    explicit DataSource(ClientDataSet* dataSet) { SetDataSet(dataSet); }
    ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    ClientDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(ClientDataSet* dataSet);
    // The dataset's state; Inactive without a dataset or when disabled.
    DataSetState State() const;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // A link belongs to one source at a time: adding it here removes it from
    // any other. Null pointers and repeated adds are ignored.
    void AddLink(DataLink* link);
    void RemoveLink(DataLink* link);
    const std::vector<DataLink*>& Links() const { return links_; }
    // Asks every link to store what its control shows and has not written
    // yet (DataLink::updateRecord); the first refusal propagates.
    void UpdateRecord();

    // Raised when State() changes.
    std::function<void(DataSource&)> OnStateChange;
    // Raised when the data shown changes: field is the field written in the
    // edit buffer, or nullptr for a scroll, a row change or a wholesale change.
    std::function<void(DataSource&, Field* field)> OnDataChange;

private:
    friend class ClientDataSet;

    // Called by the dataset.
    void dataSetLayoutChanged();
    void dataSetRowInserted(int row);
    void dataSetRowRemoved(int row);
    void dataSetRowChanged(int row);
    void dataSetCurrentChanged(int oldRow, int newRow);
    void dataSetStateChanged();
    void dataSetFieldChanged(Field* field);
    void dataSetDestroyed();

    template <typename Fn>
    void forEachLink(Fn fn);
    void dataChanged(Field* field);
    void refreshAll();
    void checkState();

    ClientDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    DataSetState lastState_ = DataSetState::Inactive;
    std::vector<DataLink*> links_;
};

}  // namespace corvana
