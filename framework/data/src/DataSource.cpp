#include "corvana/data/DataSource.h"

#include <algorithm>

namespace corvana {

// --- DataLink ----------------------------------------------------------------

DataLink::~DataLink() {
    if (source_) source_->RemoveLink(this);
}

ClientDataSet* DataLink::DataSet() const {
    return source_ ? source_->DataSet() : nullptr;
}

bool DataLink::SetSource(DataSource* source) {
    if (source == source_) return false;
    if (source)
        source->AddLink(this);
    else
        source_->RemoveLink(this);
    return true;
}

// --- DataSource --------------------------------------------------------------

DataSource::~DataSource() {
    if (dataSet_) dataSet_->detachSource(this);
    for (DataLink* link : links_) link->source_ = nullptr;
}

void DataSource::SetDataSet(ClientDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) dataSet_->detachSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->attachSource(this);
    refreshAll();
}

DataSetState DataSource::State() const {
    return (dataSet_ && enabled_) ? dataSet_->State() : DataSetState::Inactive;
}

void DataSource::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    refreshAll();
}

void DataSource::AddLink(DataLink* link) {
    if (!link || link->source_ == this) return;
    if (link->source_) link->source_->RemoveLink(link);
    links_.push_back(link);
    link->source_ = this;
}

void DataSource::RemoveLink(DataLink* link) {
    if (!link || link->source_ != this) return;
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    link->source_ = nullptr;
}

// A link may remove itself (or another) while being notified: iterate over a
// copy and skip whatever left meanwhile.
template <typename Fn>
void DataSource::forEachLink(Fn fn) {
    const std::vector<DataLink*> snapshot = links_;
    for (DataLink* link : snapshot) {
        if (link->source_ == this) fn(*link);
    }
}

void DataSource::UpdateRecord() {
    if (State() == DataSetState::Inactive) return;
    forEachLink([](DataLink& l) { l.updateRecord(); });
}

void DataSource::dataChanged(Field* field) {
    if (OnDataChange) OnDataChange(*this, field);
}

void DataSource::checkState() {
    const DataSetState now = State();
    if (now == lastState_) return;
    lastState_ = now;
    forEachLink([](DataLink& l) { l.stateChanged(); });
    if (OnStateChange) OnStateChange(*this);
}

void DataSource::refreshAll() {
    forEachLink([](DataLink& l) { l.layoutChanged(); });
    dataChanged(nullptr);
    checkState();
}

void DataSource::dataSetLayoutChanged() {
    if (!enabled_) return;
    forEachLink([](DataLink& l) { l.layoutChanged(); });
    dataChanged(nullptr);
}

void DataSource::dataSetRowInserted(int row) {
    if (!enabled_) return;
    forEachLink([row](DataLink& l) { l.rowInserted(row); });
    dataChanged(nullptr);
}

void DataSource::dataSetRowRemoved(int row) {
    if (!enabled_) return;
    forEachLink([row](DataLink& l) { l.rowRemoved(row); });
    dataChanged(nullptr);
}

void DataSource::dataSetRowChanged(int row) {
    if (!enabled_) return;
    forEachLink([row](DataLink& l) { l.rowChanged(row); });
    dataChanged(nullptr);
}

void DataSource::dataSetCurrentChanged(int oldRow, int newRow) {
    if (!enabled_) return;
    forEachLink([oldRow, newRow](DataLink& l) { l.currentChanged(oldRow, newRow); });
    dataChanged(nullptr);
}

void DataSource::dataSetStateChanged() {
    if (!enabled_) return;
    checkState();
}

void DataSource::dataSetFieldChanged(Field* field) {
    if (!enabled_) return;
    forEachLink([field](DataLink& l) { l.fieldChanged(field); });
    dataChanged(field);
}

void DataSource::dataSetDestroyed() {
    dataSet_ = nullptr;
    refreshAll();
}

}  // namespace corvana
