#pragma once

namespace corvana {

class ClientDataSet;
class DataSource;
class Field;

// Observer of a DataSource, for the views over a dataset (a grid model, a
// data-bound editor). Register it with DataSource::AddLink. Rows are 0-based
// indices of the dataset's current rows, valid at the moment of the call.
//
// A link and its source may be destroyed in either order: whichever goes
// first detaches itself from the other.
class DataLink {
public:
    DataLink() = default;
    DataLink(const DataLink&) = delete;
    DataLink& operator=(const DataLink&) = delete;
    virtual ~DataLink();

    // The source this link is registered on, or nullptr.
    DataSource* Source() const { return source_; }
    // Registers this link on `source` (on none with nullptr), leaving the
    // source it was on; false when it was on `source` already.
    bool SetSource(DataSource* source);
    // The source's dataset, or nullptr.
    ClientDataSet* DataSet() const;

    // Open, Close, SetData, EmptyDataSet, CancelUpdates, a new dataset or
    // source re-enabled: rebuild everything.
    virtual void layoutChanged() {}
    // A row was inserted at row (it is visible while still being inserted).
    virtual void rowInserted(int /*row*/) {}
    // The row that was at row is gone; later rows moved up by one.
    virtual void rowRemoved(int /*row*/) {}
    // The stored values of row changed (post, cancel of an edit).
    virtual void rowChanged(int /*row*/) {}
    // The cursor moved; -1 stands for "no row" (empty dataset, or the old
    // current row no longer exists).
    virtual void currentChanged(int /*oldRow*/, int /*newRow*/) {}
    // The source's State() changed.
    virtual void stateChanged() {}
    // A field of the current row's edit buffer was written.
    virtual void fieldChanged(Field* /*field*/) {}
    // Before the dataset moves or posts on behalf of a control that takes no
    // focus (a navigator button, a tool bar button): write into the field
    // what the view shows and has not stored yet (text typed in an editor).
    // May throw: a refused text stops the move.
    virtual void updateRecord() {}

private:
    friend class DataSource;
    DataSource* source_ = nullptr;
};

}  // namespace corvana
