#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Field.h"
#include "corvana/data/PackedRow.h"
#include "corvana/data/Variant.h"

namespace corvana {

class DataSource;

enum class DataSetState { Inactive, Browse, Edit, Insert };

// True in Edit and Insert, the states with an edit buffer.
constexpr bool IsEditing(DataSetState state) {
    return state == DataSetState::Edit || state == DataSetState::Insert;
}

// Where a row stands against the change log: as at the last merge (or load),
// modified since then, or inserted since then.
enum class UpdateStatus { Unmodified, Modified, Inserted };

// The in-memory table of a screen: rows loaded from a data packet of the
// application server, a cursor, an edit buffer and a change log that is sent
// back as a delta.
//
// Rows are numbered from 0 in the public row-level API (Field::ValueAt, the
// DataLink notifications) and from 1 in RecNo, as the screens expect.
//
// The change log works like a delta: a row inserted and then edited stays one
// insert with its latest values; a row inserted and then deleted leaves
// nothing; a modified row keeps its values as last merged however often it is
// edited, and a row edited back to exactly those values leaves the log again;
// a deleted row is logged with its values as last merged. Changes are listed
// in the order the rows were first changed.
//
// A row being inserted is visible (it counts in RecordCount and has an index)
// but is neither in Data() nor in the change log until it is posted.
//
// Neither copyable nor movable: fields and data sources point at it.
class ClientDataSet {
public:
    using Event = std::function<void(ClientDataSet&)>;

    ClientDataSet();
    ~ClientDataSet();
    ClientDataSet(const ClientDataSet&) = delete;
    ClientDataSet& operator=(const ClientDataSet&) = delete;

    // --- fields -------------------------------------------------------------
    // Declares a persistent field; raises while the dataset is open and when
    // the name is empty or already used. An empty label means the name.
    Field& AddField(std::string name, FieldType type, int size = 0, std::string displayLabel = {},
                    bool visible = true, bool fixedChar = false);
    const std::vector<Field*>& Fields() const { return fields_; }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    // Case-insensitive; FieldByName raises when missing, FindField gives nullptr.
    Field& FieldByName(std::string_view name) const;
    Field* FindField(std::string_view name) const;

    // --- state ---------------------------------------------------------------
    DataSetState State() const { return state_; }
    bool Active() const { return state_ != DataSetState::Inactive; }
    // In edit or insert state.
    bool Editing() const { return IsEditing(state_); }
    // Opens an inactive dataset empty, from its fields (raises without fields).
    void Open();
    // Discards the rows, the change log and any edit in progress.
    void Close();
    void SetActive(bool active);
    bool IsEmpty() const;     // true when closed
    int RecordCount() const;  // 0 when closed

    // --- navigation ------------------------------------------------------------
    // Each first settles an edit in progress (CheckBrowseMode); a refused post
    // propagates and the cursor stays. AfterScroll follows every call.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    int RecNo() const;  // 1-based; 0 when closed or empty
    void SetRecNo(int recNo);
    // Moves to the first row whose field's text equals the text of value
    // (whole value). caseInsensitive compares through foldCase. Returns false
    // and leaves the cursor where it was when no row matches.
    bool Locate(std::string_view fieldName, const Variant& value, bool caseInsensitive = false);

    // --- editing -----------------------------------------------------------------
    void Insert();  // new empty row at the cursor
    void Append();  // new empty row at the end
    // Puts the current row in edit; on an empty dataset it inserts instead.
    void Edit();
    // Stores the edit buffer. A BeforePost that throws refuses the post: the
    // state and the buffer stay as they were.
    void Post();
    // Discards the edit buffer; a row being inserted is removed.
    void Cancel();
    // Deletes the current row (in insert state it cancels the insert; in edit
    // state the edit is discarded); raises on an empty dataset.
    void Delete();
    // In edit or insert state: posts when the buffer was modified, cancels
    // otherwise.
    void CheckBrowseMode();
    // True when a field was written since Edit or Insert.
    bool Modified() const { return modified_; }

    // --- packets -------------------------------------------------------------------
    // Replaces the contents, opens the dataset, clears the change log and puts
    // the cursor on the first row (any edit in progress is dropped). Fires
    // AfterOpen and AfterScroll each time.
    //
    // Every declared field needs a packet column of the same name (compared
    // case-insensitively) and type, except that an Integer column fills a
    // Float field, and a String field a column of its own size; otherwise
    // corvana::Error names the field and what differs, and the dataset is
    // left as it was. Columns without a field are dropped. A dataset without
    // declared fields takes the packet's columns as its fields (and replaces
    // them when a later packet has other columns). Text longer than its
    // column's size (which a packet does not check) is cut. A delta is
    // refused.
    //
    // Cells are not checked again for their column types (a packet checks
    // them when built or read); a cell that is a list, a packet or a server
    // error is refused. Rows are stored packed, one block each.
    void SetData(const DataPacket& packet);
    void SetData(DataPacket&& packet);
    // The value must hold a packet.
    void SetData(const Variant& value);
    // Rows packed as they were read (PackedData::fromAnswerJson): loaded as
    // the packet would be, each row that needs no change taken as it is.
    void SetData(PackedData&& data);
    // Applies rows a server sent in place of those of the same key, for a
    // dataset kept in the order of a key field's text (a list brought up to
    // date by its changes instead of loaded again): rows whose key is null or
    // empty (added here and saved before the server gave them a key) and
    // rows of the keys in `removed` go; each of `rows` takes the place of the
    // row of its key, or goes where its key sorts. Rows are taken as SetData
    // takes them. The cursor stays on its row when the row stays. Answers
    // where each of `rows` is now (0-based, in the order given). Data
    // sources are told of each row when few change, of a new layout when
    // many do.
    //
    // Needs browse state and an empty change log, and the dataset in the
    // key's order with each key once; otherwise, or when the rows do not fit
    // the fields, raises corvana::Error with nothing changed.
    std::vector<int> MergeRows(std::string_view keyField, PackedData&& rows,
                               const std::vector<std::string>& removed);
    // The current rows with pending changes applied (not an unposted buffer).
    DataPacket Data() const;
    // The change log as a delta packet.
    DataPacket Delta() const;
    int ChangeCount() const;
    // Whether row (0-based, as Field::ValueAt) has a change in the change
    // log. A row being inserted is Unmodified until it is posted. Raises for
    // a row outside the dataset.
    UpdateStatus UpdateStatusAt(int row) const;
    // The current rows become the stored ones; the change log is emptied.
    // An edit in progress is settled first (CheckBrowseMode). Every row that
    // had a change is then notified as changed, so that views showing the
    // pending changes drop their marks.
    void MergeChangeLog();
    // Restores the rows of the last merge (or load), in their order, and puts
    // the cursor on the first row; an edit in progress is cancelled.
    void CancelUpdates();
    // Opens empty from the fields (closing first when open).
    void CreateDataSet();
    // Removes every row and the change log (an edit in progress is dropped);
    // stays open.
    void EmptyDataSet();

    // --- events ------------------------------------------------------------------
    Event BeforeInsert, AfterInsert;
    Event BeforeEdit, AfterEdit;
    Event BeforePost, AfterPost;
    Event BeforeCancel, AfterCancel;
    Event BeforeDelete, AfterDelete;
    Event AfterScroll;
    Event AfterOpen, AfterClose;

private:
    friend class Field;
    friend class DataSource;
    struct Store;

    // Field access.
    Variant readCell(int row, int column) const;
    Variant readCurrent(int column) const;
    Variant readOld(int column) const;
    void writeCurrent(Field& field, Variant value);
    int checkRow(int row) const;

    // Rows and cursor.
    void checkActive() const;
    void checkFieldsForOpen() const;
    void resetContents();
    void finishLoad(DataSetState before);
    void moveCursor(int row, bool bof, bool eof);
    void beginInsert(int position);
    void setState(DataSetState state);
    std::vector<FieldDef> fieldDefs() const;
    void loadPacket(const DataPacket& packet);
    // The packet column of each field; raises when the fields do not fit.
    std::vector<int> columnsFor(const std::vector<FieldDef>& defs) const;
    // The rows of `data` as stored rows of the fields (SetData's packing).
    std::vector<PackedRow> packedForFields(PackedData& data);
    void commitLoad(const std::vector<FieldDef>& defs);

    // Data sources.
    void attachSource(DataSource* source);
    void detachSource(DataSource* source);
    template <typename Fn>
    void notify(Fn fn);

    std::vector<std::unique_ptr<Field>> ownedFields_;
    std::vector<Field*> fields_;
    bool fieldsFromPacket_ = false;

    DataSetState state_ = DataSetState::Inactive;
    std::unique_ptr<Store> store_;
    int cursor_ = 0;
    bool bof_ = true;
    bool eof_ = true;
    Row buffer_;
    bool modified_ = false;
    int cursorBeforeInsert_ = -1;
    int readRow_ = -1;  // row that field reads go to while DisplayTextAt runs

    std::vector<DataSource*> sources_;
};

}  // namespace corvana
