#include "corvana/data/ClientDataSet.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>

#include "corvana/data/DataPacket.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Error.h"
#include "corvana/data/PackedRow.h"
#include "corvana/data/Text.h"

namespace corvana {

namespace {

enum class RecordStatus : std::uint8_t { Unchanged, Inserted, Modified };
constexpr std::uint32_t kNoOrdinal = UINT32_MAX;

// One stored row, packed. A row modified since the last merge keeps its
// values as they were then in `original`; changeSeq orders the change log.
struct Record {
    PackedRow values;
    std::unique_ptr<Row> original;
    std::uint64_t changeSeq = 0;
    std::uint32_t ordinal = kNoOrdinal;  // position at the last merge; none for inserts
    RecordStatus status = RecordStatus::Unchanged;
};

struct DeletedRecord {
    Row original;
    std::uint64_t changeSeq;
    std::uint32_t ordinal;
};

// The rows, in a gap buffer: indexed access in constant time, and inserts
// and deletes cost the distance from the previous one rather than the
// distance to the end. A grid deletes and inserts around the cursor, so a
// run of such edits over a large dataset stays linear.
class RecordList {
public:
    std::size_t size() const { return items_.size() - gapLength_; }
    Record& operator[](std::size_t i) { return items_[i < gapStart_ ? i : i + gapLength_]; }
    const Record& operator[](std::size_t i) const {
        return items_[i < gapStart_ ? i : i + gapLength_];
    }

    void assign(std::vector<Record> items) {
        items_ = std::move(items);
        gapStart_ = items_.size();
        gapLength_ = 0;
    }
    void clear() { assign({}); }

    void insert(std::size_t pos, Record record) {
        if (gapLength_ == 0) grow();
        moveGap(pos);
        items_[gapStart_] = std::move(record);
        ++gapStart_;
        --gapLength_;
    }

    void erase(std::size_t pos) {
        moveGap(pos);
        items_[gapStart_ + gapLength_] = Record{};  // frees the row's values now
        ++gapLength_;
    }

private:
    void moveGap(std::size_t pos) {
        const auto base = items_.begin();
        if (gapLength_ == 0) {
            // Nothing to move, and moving a record onto itself would empty it.
        } else if (pos < gapStart_) {
            std::move_backward(base + static_cast<std::ptrdiff_t>(pos),
                               base + static_cast<std::ptrdiff_t>(gapStart_),
                               base + static_cast<std::ptrdiff_t>(gapStart_ + gapLength_));
        } else if (pos > gapStart_) {
            std::move(base + static_cast<std::ptrdiff_t>(gapStart_ + gapLength_),
                      base + static_cast<std::ptrdiff_t>(pos + gapLength_),
                      base + static_cast<std::ptrdiff_t>(gapStart_));
        }
        gapStart_ = pos;
    }

    void grow() {
        moveGap(size());
        const std::size_t extra = std::max<std::size_t>(16, items_.size() / 2);
        items_.resize(items_.size() + extra);
        gapLength_ = extra;
    }

    std::vector<Record> items_;
    std::size_t gapStart_ = 0;
    std::size_t gapLength_ = 0;
};

[[noreturn]] void throwNotEditing() {
    throw Error("O conjunto de dados não está em modo de edição.");
}

}  // namespace

struct ClientDataSet::Store {
    RecordList rows;
    std::vector<Record> pending;  // a load's rows, until it commits
    std::vector<DeletedRecord> deleted;
    std::uint64_t nextSeq = 1;
    int changeCount = 0;

    void clear() {
        rows.clear();
        deleted.clear();
        nextSeq = 1;
        changeCount = 0;
    }
};

// A source may detach itself (or another) while being notified: iterate over
// a copy and skip whatever left meanwhile.
template <typename Fn>
void ClientDataSet::notify(Fn fn) {
    if (sources_.empty()) return;
    const std::vector<DataSource*> snapshot = sources_;
    for (DataSource* source : snapshot) {
        if (std::find(sources_.begin(), sources_.end(), source) != sources_.end()) fn(*source);
    }
}

ClientDataSet::ClientDataSet() : store_(std::make_unique<Store>()) {}

ClientDataSet::~ClientDataSet() {
    const std::vector<DataSource*> sources = std::move(sources_);
    sources_.clear();
    for (DataSource* source : sources) source->dataSetDestroyed();
}

// --- fields -------------------------------------------------------------------

Field& ClientDataSet::AddField(std::string name, FieldType type, int size, std::string displayLabel,
                               bool visible, bool fixedChar) {
    if (Active()) throw Error("Não é possível incluir campos com o conjunto de dados aberto.");
    if (trimBlanks(name).empty()) throw Error("O nome do campo não pode ser vazio.");
    if (FindField(name)) throw Error("O campo '" + name + "' já existe.");
    // Fields that came from a packet become declared ones from here on.
    fieldsFromPacket_ = false;
    auto field = std::unique_ptr<Field>(new Field(*this, FieldCount(), std::move(name), type, size,
                                                  std::move(displayLabel), visible, fixedChar));
    fields_.push_back(field.get());
    ownedFields_.push_back(std::move(field));
    return *fields_.back();
}

Field* ClientDataSet::FindField(std::string_view name) const {
    for (Field* f : fields_) {
        if (f->Name() == name) return f;
    }
    const std::string folded = foldCase(name);
    for (Field* f : fields_) {
        if (foldCase(f->Name()) == folded) return f;
    }
    return nullptr;
}

Field& ClientDataSet::FieldByName(std::string_view name) const {
    if (Field* f = FindField(name)) return *f;
    throw Error("Campo '" + std::string(name) + "' não encontrado.");
}

// --- state ------------------------------------------------------------------

void ClientDataSet::checkActive() const {
    if (!Active()) throw Error("O conjunto de dados está fechado.");
}

void ClientDataSet::checkFieldsForOpen() const {
    if (fields_.empty()) throw Error("O conjunto de dados não tem campos definidos.");
}

void ClientDataSet::resetContents() {
    store_->clear();
    buffer_.clear();
    modified_ = false;
    cursorBeforeInsert_ = -1;
    readRow_ = -1;
    cursor_ = 0;
    bof_ = eof_ = true;
}

void ClientDataSet::finishLoad(DataSetState before) {
    cursor_ = 0;
    bof_ = true;
    eof_ = store_->rows.size() == 0;
    state_ = DataSetState::Browse;
    notify([](DataSource& s) { s.dataSetLayoutChanged(); });
    if (before != state_) notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterOpen) AfterOpen(*this);
    if (AfterScroll) AfterScroll(*this);
}

void ClientDataSet::Open() {
    if (Active()) return;
    checkFieldsForOpen();
    resetContents();
    finishLoad(DataSetState::Inactive);
}

void ClientDataSet::Close() {
    if (!Active()) return;
    resetContents();
    state_ = DataSetState::Inactive;
    notify([](DataSource& s) { s.dataSetLayoutChanged(); });
    notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterClose) AfterClose(*this);
}

void ClientDataSet::SetActive(bool active) {
    if (active) {
        Open();
    } else {
        Close();
    }
}

bool ClientDataSet::IsEmpty() const {
    return RecordCount() == 0;
}

int ClientDataSet::RecordCount() const {
    return Active() ? static_cast<int>(store_->rows.size()) : 0;
}

// --- navigation -----------------------------------------------------------------

void ClientDataSet::moveCursor(int row, bool bof, bool eof) {
    const int old = cursor_;
    cursor_ = row;
    bof_ = bof;
    eof_ = eof;
    if (old != row) notify([old, row](DataSource& s) { s.dataSetCurrentChanged(old, row); });
    if (AfterScroll) AfterScroll(*this);
}

void ClientDataSet::First() {
    checkActive();
    CheckBrowseMode();
    moveCursor(0, true, IsEmpty());
}

void ClientDataSet::Last() {
    checkActive();
    CheckBrowseMode();
    const int n = RecordCount();
    moveCursor(n > 0 ? n - 1 : 0, n == 0, true);
}

void ClientDataSet::Next() {
    checkActive();
    CheckBrowseMode();
    const int n = RecordCount();
    if (cursor_ + 1 < n) {
        moveCursor(cursor_ + 1, false, false);
    } else {
        moveCursor(cursor_, n == 0, true);
    }
}

void ClientDataSet::Prior() {
    checkActive();
    CheckBrowseMode();
    const int n = RecordCount();
    if (cursor_ > 0) {
        moveCursor(cursor_ - 1, false, false);
    } else {
        moveCursor(cursor_, true, n == 0);
    }
}

bool ClientDataSet::Eof() const {
    return Active() ? eof_ : true;
}

bool ClientDataSet::Bof() const {
    return Active() ? bof_ : true;
}

int ClientDataSet::RecNo() const {
    return IsEmpty() ? 0 : cursor_ + 1;
}

void ClientDataSet::SetRecNo(int recNo) {
    checkActive();
    CheckBrowseMode();
    if (recNo < 1 || recNo > RecordCount()) {
        throw Error("O registro " + std::to_string(recNo) + " não existe no conjunto de dados.");
    }
    moveCursor(recNo - 1, false, false);
}

bool ClientDataSet::Locate(std::string_view fieldName, const Variant& value, bool caseInsensitive) {
    checkActive();
    const int column = FieldByName(fieldName).Index();
    CheckBrowseMode();
    const std::string target = caseInsensitive ? foldCase(value.toString()) : value.toString();
    const int n = RecordCount();
    for (int i = 0; i < n; ++i) {
        const PackedRow& row = store_->rows[static_cast<std::size_t>(i)].values;
        const auto c = static_cast<std::size_t>(column);
        bool match;
        if (row.kindAt(c) == Variant::Kind::String) {
            // No copy for the common case.
            match = caseInsensitive ? equalsIgnoreCase(row.textAt(c), target)  // target folded
                                    : row.textAt(c) == target;
        } else {
            const std::string text = row.at(c).toString();
            match = (caseInsensitive ? foldCase(text) : text) == target;
        }
        if (match) {
            moveCursor(i, false, false);
            return true;
        }
    }
    return false;
}

// --- editing ------------------------------------------------------------------------

void ClientDataSet::setState(DataSetState state) {
    if (state_ == state) return;
    state_ = state;
    notify([](DataSource& s) { s.dataSetStateChanged(); });
}

void ClientDataSet::CheckBrowseMode() {
    if (!Editing()) return;
    if (modified_) {
        Post();
    } else {
        Cancel();
    }
}

void ClientDataSet::Insert() {
    checkActive();
    CheckBrowseMode();
    if (BeforeInsert) BeforeInsert(*this);
    beginInsert(IsEmpty() ? 0 : cursor_);
}

void ClientDataSet::Append() {
    checkActive();
    CheckBrowseMode();
    if (BeforeInsert) BeforeInsert(*this);
    beginInsert(RecordCount());
}

void ClientDataSet::beginInsert(int position) {
    const int n = RecordCount();
    // Where the previous current row ends up once the new row is in place.
    const int oldRow = n == 0 ? -1 : (cursor_ >= position ? cursor_ + 1 : cursor_);
    cursorBeforeInsert_ = n == 0 ? -1 : cursor_;
    // The placeholder stays Unchanged, outside the log, until it is posted.
    store_->rows.insert(static_cast<std::size_t>(position), Record{});
    buffer_.assign(fields_.size(), Variant());
    modified_ = false;
    cursor_ = position;
    bof_ = eof_ = false;
    state_ = DataSetState::Insert;
    notify([position](DataSource& s) { s.dataSetRowInserted(position); });
    notify([oldRow, position](DataSource& s) { s.dataSetCurrentChanged(oldRow, position); });
    notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterInsert) AfterInsert(*this);
    if (AfterScroll) AfterScroll(*this);
}

void ClientDataSet::Edit() {
    checkActive();
    if (Editing()) return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    if (BeforeEdit) BeforeEdit(*this);
    buffer_ = store_->rows[static_cast<std::size_t>(cursor_)].values.unpack();
    modified_ = false;
    setState(DataSetState::Edit);
    if (AfterEdit) AfterEdit(*this);
}

void ClientDataSet::Post() {
    if (!Editing()) throwNotEditing();
    if (BeforePost) BeforePost(*this);  // a throw refuses the post
    if (!Editing()) return;             // the handler settled the edit itself

    Store& st = *store_;
    Record& r = st.rows[static_cast<std::size_t>(cursor_)];
    if (state_ == DataSetState::Insert) {
        r.values = PackedRow::pack(buffer_);
        r.status = RecordStatus::Inserted;
        r.changeSeq = st.nextSeq++;
        r.ordinal = kNoOrdinal;
        ++st.changeCount;
    } else if (!r.values.equals(buffer_)) {
        PackedRow values = PackedRow::pack(buffer_);
        switch (r.status) {
            case RecordStatus::Unchanged:
                r.original = std::make_unique<Row>(r.values.unpack());
                r.values = std::move(values);
                r.status = RecordStatus::Modified;
                r.changeSeq = st.nextSeq++;
                ++st.changeCount;
                break;
            case RecordStatus::Inserted:
                r.values = std::move(values);
                break;
            case RecordStatus::Modified:
                r.values = std::move(values);
                if (buffer_ == *r.original) {
                    // Edited back to its values as last merged: no longer a change.
                    r.original.reset();
                    r.status = RecordStatus::Unchanged;
                    r.changeSeq = 0;
                    --st.changeCount;
                }
                break;
        }
    }
    buffer_.clear();
    modified_ = false;
    cursorBeforeInsert_ = -1;
    state_ = DataSetState::Browse;
    const int row = cursor_;
    notify([row](DataSource& s) { s.dataSetRowChanged(row); });
    notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterPost) AfterPost(*this);
}

void ClientDataSet::Cancel() {
    if (!Editing()) return;
    if (BeforeCancel) BeforeCancel(*this);
    if (!Editing()) return;

    const bool wasInsert = state_ == DataSetState::Insert;
    const int row = cursor_;
    buffer_.clear();
    modified_ = false;
    state_ = DataSetState::Browse;
    if (wasInsert) {
        store_->rows.erase(static_cast<std::size_t>(row));
        const int n = RecordCount();
        cursor_ = std::clamp(cursorBeforeInsert_, 0, std::max(n - 1, 0));
        cursorBeforeInsert_ = -1;
        bof_ = eof_ = n == 0;
        const int now = n == 0 ? -1 : cursor_;
        notify([row](DataSource& s) { s.dataSetRowRemoved(row); });
        notify([now](DataSource& s) { s.dataSetCurrentChanged(-1, now); });
    } else {
        notify([row](DataSource& s) { s.dataSetRowChanged(row); });
    }
    notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterCancel) AfterCancel(*this);
    if (wasInsert && AfterScroll) AfterScroll(*this);
}

void ClientDataSet::Delete() {
    checkActive();
    if (state_ == DataSetState::Insert) {
        Cancel();
        return;
    }
    if (IsEmpty()) throw Error("Não há registro para excluir: o conjunto de dados está vazio.");
    if (BeforeDelete) BeforeDelete(*this);

    const DataSetState before = state_;
    buffer_.clear();  // an edit in progress is discarded with its row
    modified_ = false;

    Store& st = *store_;
    const int row = cursor_;
    Record& r = st.rows[static_cast<std::size_t>(row)];
    switch (r.status) {
        case RecordStatus::Inserted:
            --st.changeCount;  // an insert deleted leaves nothing
            break;
        case RecordStatus::Modified:
            // Keeps its place in the log and its values as last merged.
            st.deleted.push_back({std::move(*r.original), r.changeSeq, r.ordinal});
            break;
        case RecordStatus::Unchanged:
            st.deleted.push_back({r.values.unpack(), st.nextSeq++, r.ordinal});
            ++st.changeCount;
            break;
    }
    st.rows.erase(static_cast<std::size_t>(row));

    const int n = RecordCount();
    cursor_ = std::min(row, std::max(n - 1, 0));
    bof_ = eof_ = n == 0;
    state_ = DataSetState::Browse;
    const int now = n == 0 ? -1 : cursor_;
    notify([row](DataSource& s) { s.dataSetRowRemoved(row); });
    notify([now](DataSource& s) { s.dataSetCurrentChanged(-1, now); });
    if (before != state_) notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterDelete) AfterDelete(*this);
    if (AfterScroll) AfterScroll(*this);
}

// --- field access -------------------------------------------------------------------

int ClientDataSet::checkRow(int row) const {
    if (row < 0 || row >= RecordCount()) {
        throw Error("A linha " + std::to_string(row) + " não existe no conjunto de dados.");
    }
    return row;
}

Variant ClientDataSet::readCell(int row, int column) const {
    const auto c = static_cast<std::size_t>(column);
    if (Editing() && row == cursor_) return buffer_[c];
    return store_->rows[static_cast<std::size_t>(row)].values.at(c);
}

Variant ClientDataSet::readCurrent(int column) const {
    if (readRow_ >= 0) return readRow_ < RecordCount() ? readCell(readRow_, column) : Variant();
    if (Editing()) return buffer_[static_cast<std::size_t>(column)];
    if (IsEmpty()) return Variant();
    return readCell(cursor_, column);
}

Variant ClientDataSet::readOld(int column) const {
    const int row = readRow_ >= 0 ? readRow_ : cursor_;
    if (row >= RecordCount()) return Variant();
    if (state_ == DataSetState::Insert && row == cursor_) return Variant();
    const Record& r = store_->rows[static_cast<std::size_t>(row)];
    const auto c = static_cast<std::size_t>(column);
    switch (r.status) {
        case RecordStatus::Inserted:
            return Variant();
        case RecordStatus::Modified:
            return (*r.original)[c];
        case RecordStatus::Unchanged:
            break;
    }
    return r.values.at(c);
}

void ClientDataSet::writeCurrent(Field& field, Variant value) {
    if (!Editing()) throwNotEditing();
    buffer_[static_cast<std::size_t>(field.Index())] = std::move(value);
    modified_ = true;
    Field* f = &field;
    notify([f](DataSource& s) { s.dataSetFieldChanged(f); });
}

// --- packets ------------------------------------------------------------------------------

std::vector<FieldDef> ClientDataSet::fieldDefs() const {
    std::vector<FieldDef> defs;
    defs.reserve(fields_.size());
    for (const Field* f : fields_) defs.push_back(f->Def());
    return defs;
}

// Cells are trusted to fit their columns (the packet checks that when it is
// built or read); the only work per cell is for Float fields (integers
// become floats) and sized String fields (longer text is cut).
std::vector<int> ClientDataSet::columnsFor(const std::vector<FieldDef>& defs) const {
    std::vector<int> columnOf;  // packet column of each field
    if (fields_.empty() || fieldsFromPacket_) {
        for (std::size_t i = 0; i < defs.size(); ++i) columnOf.push_back(static_cast<int>(i));
        return columnOf;
    }
    for (const Field* f : fields_) {
        int column = -1;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            if (equalsIgnoreCase(defs[i].name, f->Name())) {
                column = static_cast<int>(i);
                break;
            }
        }
        if (column < 0) {
            throw Error("O campo '" + f->Name() + "' não existe no pacote de dados.");
        }
        const FieldType got = defs[static_cast<std::size_t>(column)].type;
        const bool widened = f->DataType() == FieldType::Float && got == FieldType::Integer;
        if (got != f->DataType() && !widened) {
            throw Error("O campo '" + f->Name() + "' é do tipo " + fieldTypeName(f->DataType()) +
                        " no conjunto de dados, mas do tipo " + fieldTypeName(got) +
                        " no pacote de dados.");
        }
        // A text is never cut to a field narrower than its column.
        const int size = defs[static_cast<std::size_t>(column)].size;
        if (f->DataType() == FieldType::String && size != f->Size()) {
            throw Error("O campo '" + f->Name() + "' tem tamanho " + std::to_string(f->Size()) +
                        " no conjunto de dados, mas " + std::to_string(size) +
                        " no pacote de dados.");
        }
        columnOf.push_back(column);
    }
    return columnOf;
}

namespace {

// What loading does to a cell besides copying it: an integer becomes a float
// in a Float field, a text longer than a sized String field is cut.
struct Fixup {
    std::size_t column;
    bool toFloat;
    std::size_t maxChars;
};

std::vector<Fixup> fixupsFor(const std::vector<FieldDef>& target) {
    std::vector<Fixup> fixups;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i].type == FieldType::Float) {
            fixups.push_back({i, true, 0});
        } else if (target[i].type == FieldType::String && target[i].size > 0) {
            fixups.push_back({i, false, static_cast<std::size_t>(target[i].size)});
        }
    }
    return fixups;
}

// Every row (a Row or a PackedRow) has one cell per column.
template <typename Rows>
void checkWidths(const Rows& rows, std::size_t width) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].size() != width) {
            throw Error("Pacote de dados inválido: a linha " + std::to_string(i + 1) + " tem " +
                        std::to_string(rows[i].size()) + " valores, e não " +
                        std::to_string(width) + ".");
        }
    }
}

bool tooLong(std::string_view text, std::size_t maxChars) {
    // Byte length above the limit is the cheap test; most text passes it.
    return text.size() > maxChars && utf8Length(text) > maxChars;
}

// Packs the cells cell(columnOf[0]), cell(columnOf[1]), ... with the fixups.
template <typename CellAt>
PackedRow packCells(PackedRow::Builder& builder, const std::vector<int>& columnOf,
                    const std::vector<Fixup>& fixups, CellAt cellAt) {
    std::size_t fx = 0;
    for (std::size_t c = 0; c < columnOf.size(); ++c) {
        const Variant cell = cellAt(static_cast<std::size_t>(columnOf[c]));
        const Fixup* fix = fx < fixups.size() && fixups[fx].column == c ? &fixups[fx++] : nullptr;
        if (fix && fix->toFloat && cell.kind() == Variant::Kind::Int) {
            builder.addFloat(cell.toDouble());
        } else if (fix && !fix->toFloat && cell.isString() &&
                   tooLong(cell.asString(), fix->maxChars)) {
            builder.addText(utf8Truncate(cell.asString(), fix->maxChars));
        } else {
            builder.add(cell);
        }
    }
    return builder.finish();
}

}  // namespace

// Takes the packet's fields when the dataset declares none, then the rows
// packed in store_->pending; nothing here throws.
void ClientDataSet::commitLoad(const std::vector<FieldDef>& defs) {
    if (fields_.empty() || fieldsFromPacket_) {
        bool same = defs.size() == fields_.size();
        for (std::size_t i = 0; same && i < defs.size(); ++i) same = fields_[i]->Def() == defs[i];
        if (!same) {
            fields_.clear();
            ownedFields_.clear();
            for (const FieldDef& d : defs) {
                auto field =
                    std::unique_ptr<Field>(new Field(*this, static_cast<int>(fields_.size()),
                                                     d.name, d.type, d.size, {}, true, false));
                fields_.push_back(field.get());
                ownedFields_.push_back(std::move(field));
            }
        }
        fieldsFromPacket_ = true;
    }
    std::vector<Record> records = std::move(store_->pending);
    store_->pending.clear();
    const DataSetState before = state_;
    resetContents();
    store_->rows.assign(std::move(records));
    finishLoad(before);
}

// Cells are trusted to fit their columns (the packet checks that when it is
// built or read); the only work per cell is for Float fields (integers
// become floats) and sized String fields (longer text is cut). Each row is
// packed straight from the packet's cells; a cell that is no scalar refuses
// the packet before anything changed.
void ClientDataSet::loadPacket(const DataPacket& packet) {
    if (packet.isDelta()) {
        throw Error("Um pacote de alterações (delta) não pode ser carregado como dados.");
    }
    const std::vector<FieldDef>& defs = packet.fields();
    const std::vector<int> columnOf = columnsFor(defs);
    checkWidths(packet.rows(), defs.size());
    const bool takeFields = fields_.empty() || fieldsFromPacket_;
    const std::vector<Fixup> fixups = fixupsFor(takeFields ? defs : fieldDefs());

    const auto& source = packet.rows();
    std::vector<Record> records(source.size());
    PackedRow::Builder builder;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const Row& row = source[i];
        records[i].values =
            packCells(builder, columnOf, fixups, [&row](std::size_t c) { return row[c]; });
        records[i].ordinal = static_cast<std::uint32_t>(i);
    }
    store_->pending = std::move(records);
    commitLoad(defs);
}

std::vector<PackedRow> ClientDataSet::packedForFields(PackedData& data) {
    const std::vector<FieldDef>& defs = data.fields;
    const std::vector<int> columnOf = columnsFor(defs);
    checkWidths(data.rows, defs.size());
    const bool takeFields = fields_.empty() || fieldsFromPacket_;
    const std::vector<Fixup> fixups = fixupsFor(takeFields ? defs : fieldDefs());
    bool identity = columnOf.size() == defs.size();
    for (std::size_t i = 0; identity && i < columnOf.size(); ++i)
        identity = columnOf[i] == static_cast<int>(i);

    // A row whose columns are the fields' and that needs no fixup is taken
    // as it is; the others are packed again.
    std::vector<PackedRow> packed(data.rows.size());
    PackedRow::Builder builder;
    const bool allAsTheyAre = identity && data.readyToLoad;
    for (std::size_t i = 0; i < data.rows.size(); ++i) {
        PackedRow& row = data.rows[i];
        bool asItIs = identity;
        if (allAsTheyAre) {
            packed[i] = std::move(row);
            continue;
        }
        for (std::size_t f = 0; asItIs && f < fixups.size(); ++f) {
            const Fixup& fix = fixups[f];
            const Variant::Kind kind = row.kindAt(fix.column);
            asItIs = fix.toFloat ? kind != Variant::Kind::Int
                                 : kind != Variant::Kind::String ||
                                       !tooLong(row.textAt(fix.column), fix.maxChars);
        }
        packed[i] = asItIs ? std::move(row)
                           : packCells(builder, columnOf, fixups,
                                       [&row](std::size_t c) { return row.at(c); });
    }
    data.rows = {};
    return packed;
}

void ClientDataSet::SetData(PackedData&& data) {
    std::vector<PackedRow> packed = packedForFields(data);
    std::vector<Record> records(packed.size());
    for (std::size_t i = 0; i < packed.size(); ++i) {
        records[i].values = std::move(packed[i]);
        records[i].ordinal = static_cast<std::uint32_t>(i);
    }
    store_->pending = std::move(records);
    commitLoad(data.fields);
}

namespace {

// More rows than this merged at once are told to the data sources as a new
// layout.
constexpr std::size_t kMergeRowByRow = 64;

// The key of a stored row as MergeRows orders it; nullopt for a null or
// empty key.
std::optional<std::string_view> keyOf(const PackedRow& row, std::size_t column) {
    if (row.kindAt(column) != Variant::Kind::String) return std::nullopt;
    const std::string_view key = row.textAt(column);
    if (key.empty()) return std::nullopt;
    return key;
}

}  // namespace

std::vector<int> ClientDataSet::MergeRows(std::string_view keyField, PackedData&& rows,
                                          const std::vector<std::string>& removed) {
    checkActive();
    if (state_ != DataSetState::Browse || store_->changeCount > 0)
        throw Error("O conjunto de dados tem alterações pendentes ou um registro em edição.");
    const auto key = static_cast<std::size_t>(FieldByName(keyField).Index());
    if (fields_.empty() || fieldsFromPacket_) {
        // Rows fit a packet's fields only when they are the same fields.
        bool same = rows.fields.size() == fields_.size();
        for (std::size_t i = 0; same && i < rows.fields.size(); ++i)
            same = fields_[i]->Def() == rows.fields[i];
        if (!same) throw Error("As linhas recebidas não têm os campos do conjunto de dados.");
    }
    std::vector<PackedRow> incoming = packedForFields(rows);
    for (const PackedRow& row : incoming) {
        if (!keyOf(row, key)) throw Error("Uma linha recebida não tem a chave.");
    }
    Store& st = *store_;
    {
        std::optional<std::string_view> previous;
        for (std::size_t i = 0; i < st.rows.size(); ++i) {
            const auto k = keyOf(st.rows[i].values, key);
            if (!k) continue;
            if (previous && !(*previous < *k))
                throw Error("O conjunto de dados não está na ordem da chave.");
            previous = k;
        }
    }

    // A few rows are told to the data sources one by one, so that a grid
    // keeps its place; many (an import's thousands of new guests) as one new
    // layout, which a grid takes in one go where it would take the rows one
    // insertion at a time.
    const bool rowByRow = incoming.size() + removed.size() <= kMergeRowByRow;
    auto whereSorts = [&st, key](std::string_view k) {
        std::size_t low = 0, high = st.rows.size();
        while (low < high) {
            const std::size_t mid = (low + high) / 2;
            if (*keyOf(st.rows[mid].values, key) < k)
                low = mid + 1;
            else
                high = mid;
        }
        return low;
    };

    int cursor = IsEmpty() ? -1 : cursor_;
    const int oldCursor = cursor;
    auto eraseAt = [&](std::size_t i) {
        st.rows.erase(i);
        const int row = static_cast<int>(i);
        if (cursor > row || (cursor == row && cursor == static_cast<int>(st.rows.size()))) --cursor;
        if (rowByRow) notify([row](DataSource& s) { s.dataSetRowRemoved(row); });
    };
    // Rows without a key, and those removed.
    const std::set<std::string_view> gone(removed.begin(), removed.end());
    for (std::size_t i = st.rows.size(); i-- > 0;) {
        const auto k = keyOf(st.rows[i].values, key);
        if (!k || gone.count(*k)) eraseAt(i);
    }
    // Rows sent in the key's order and all after the last row kept (an
    // import's new guests) are appended as they come.
    bool appended = true;
    {
        std::optional<std::string_view> last;
        if (st.rows.size() > 0) last = keyOf(st.rows[st.rows.size() - 1].values, key);
        for (const PackedRow& row : incoming) {
            const std::string_view k = *keyOf(row, key);
            if (last && !(*last < k)) {
                appended = false;
                break;
            }
            last = k;
        }
    }
    std::vector<int> placed;
    placed.reserve(incoming.size());
    // The keys outlive the rows moved into the dataset.
    std::vector<std::string> keys;
    if (appended && st.rows.size() == 0 && !rowByRow) {
        std::vector<Record> records(incoming.size());
        for (std::size_t r = 0; r < incoming.size(); ++r) {
            records[r].values = std::move(incoming[r]);
            placed.push_back(static_cast<int>(r));
        }
        st.rows.assign(std::move(records));
        cursor = 0;
        incoming.clear();
    } else if (appended) {
        for (PackedRow& row : incoming) {
            const int at = static_cast<int>(st.rows.size());
            Record record;
            record.values = std::move(row);
            st.rows.insert(st.rows.size(), std::move(record));
            placed.push_back(at);
            if (rowByRow) notify([at](DataSource& s) { s.dataSetRowInserted(at); });
        }
        if (cursor < 0 && st.rows.size() > 0) cursor = 0;
        incoming.clear();
    } else {
        keys.reserve(incoming.size());
        for (const PackedRow& row : incoming) keys.emplace_back(*keyOf(row, key));
    }
    // Otherwise each where its key sorts.
    for (std::size_t r = 0; r < incoming.size(); ++r) {
        const std::size_t low = whereSorts(keys[r]);
        const int at = static_cast<int>(low);
        if (low < st.rows.size() && *keyOf(st.rows[low].values, key) == keys[r]) {
            st.rows[low].values = std::move(incoming[r]);
            if (rowByRow) notify([at](DataSource& s) { s.dataSetRowChanged(at); });
        } else {
            Record record;
            record.values = std::move(incoming[r]);
            st.rows.insert(low, std::move(record));
            if (cursor >= at) ++cursor;
            if (cursor < 0) cursor = 0;
            if (rowByRow) notify([at](DataSource& s) { s.dataSetRowInserted(at); });
        }
    }
    // Where each row sent ended, once all are in.
    for (const std::string& k : keys) placed.push_back(static_cast<int>(whereSorts(k)));
    for (std::size_t i = 0; i < st.rows.size(); ++i)
        st.rows[i].ordinal = static_cast<std::uint32_t>(i);
    const int n = RecordCount();
    cursor_ = n == 0 ? 0 : std::clamp(cursor, 0, n - 1);
    bof_ = eof_ = n == 0;
    const int now = n == 0 ? -1 : cursor_;
    if (!rowByRow) notify([](DataSource& s) { s.dataSetLayoutChanged(); });
    notify([oldCursor, now](DataSource& s) { s.dataSetCurrentChanged(oldCursor, now); });
    if (AfterScroll) AfterScroll(*this);
    return placed;
}

void ClientDataSet::SetData(const DataPacket& packet) {
    loadPacket(packet);
}

void ClientDataSet::SetData(DataPacket&& packet) {
    loadPacket(packet);
}

void ClientDataSet::SetData(const Variant& value) {
    if (!value.isPacket()) throw Error("Pacote de dados inválido.");
    loadPacket(value.asPacket());
}

DataPacket ClientDataSet::Data() const {
    DataPacket packet(fieldDefs());
    if (!Active()) return packet;
    const int n = RecordCount();
    auto& rows = packet.rows();
    rows.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (state_ == DataSetState::Insert && i == cursor_) continue;  // not posted
        rows.push_back(store_->rows[static_cast<std::size_t>(i)].values.unpack());
    }
    return packet;
}

DataPacket ClientDataSet::Delta() const {
    DataPacket packet(fieldDefs(), DataPacket::Kind::Delta);
    if (!Active()) return packet;
    struct Entry {
        std::uint64_t seq;
        const Record* record;
        const DeletedRecord* deleted;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(store_->changeCount));
    const std::size_t n = store_->rows.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Record& r = store_->rows[i];
        if (r.status != RecordStatus::Unchanged) entries.push_back({r.changeSeq, &r, nullptr});
    }
    for (const DeletedRecord& d : store_->deleted) entries.push_back({d.changeSeq, nullptr, &d});
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.seq < b.seq; });

    auto& changes = packet.changes();
    changes.reserve(entries.size());
    for (const Entry& e : entries) {
        DeltaRow change;
        if (e.deleted) {
            change.status = DeltaRow::Status::Deleted;
            change.original = e.deleted->original;
        } else if (e.record->status == RecordStatus::Inserted) {
            change.status = DeltaRow::Status::Inserted;
            change.values = e.record->values.unpack();
        } else {
            change.status = DeltaRow::Status::Modified;
            change.values = e.record->values.unpack();
            change.original = *e.record->original;
        }
        changes.push_back(std::move(change));
    }
    return packet;
}

int ClientDataSet::ChangeCount() const {
    return Active() ? store_->changeCount : 0;
}

UpdateStatus ClientDataSet::UpdateStatusAt(int row) const {
    switch (store_->rows[static_cast<std::size_t>(checkRow(row))].status) {
        case RecordStatus::Inserted:
            return UpdateStatus::Inserted;
        case RecordStatus::Modified:
            return UpdateStatus::Modified;
        case RecordStatus::Unchanged:
            break;
    }
    return UpdateStatus::Unmodified;
}

void ClientDataSet::MergeChangeLog() {
    if (!Active()) return;
    CheckBrowseMode();
    Store& st = *store_;
    const std::size_t n = st.rows.size();
    std::vector<int> merged;
    for (std::size_t i = 0; i < n; ++i) {
        Record& r = st.rows[i];
        if (r.status != RecordStatus::Unchanged) merged.push_back(static_cast<int>(i));
        r.original.reset();
        r.status = RecordStatus::Unchanged;
        r.changeSeq = 0;
        r.ordinal = static_cast<std::uint32_t>(i);
    }
    st.deleted.clear();
    st.nextSeq = 1;
    st.changeCount = 0;
    for (const int row : merged) notify([row](DataSource& s) { s.dataSetRowChanged(row); });
}

void ClientDataSet::CancelUpdates() {
    if (!Active()) return;
    Cancel();
    Store& st = *store_;
    // The surviving stored rows are still in their merged order; put the
    // deleted ones back between them by their merged position.
    std::sort(st.deleted.begin(), st.deleted.end(),
              [](const DeletedRecord& a, const DeletedRecord& b) { return a.ordinal < b.ordinal; });
    std::vector<Record> restored;
    restored.reserve(st.rows.size() + st.deleted.size());
    std::size_t d = 0;
    auto restoreDeleted = [&](std::uint32_t upTo) {
        for (; d < st.deleted.size() && st.deleted[d].ordinal < upTo; ++d) {
            Record back;
            back.values = PackedRow::pack(st.deleted[d].original);
            restored.push_back(std::move(back));
        }
    };
    const std::size_t n = st.rows.size();
    for (std::size_t i = 0; i < n; ++i) {
        Record& r = st.rows[i];
        if (r.status == RecordStatus::Inserted) continue;
        restoreDeleted(r.ordinal);
        if (r.status == RecordStatus::Modified) r.values = PackedRow::pack(*r.original);
        r.original.reset();
        r.status = RecordStatus::Unchanged;
        r.changeSeq = 0;
        restored.push_back(std::move(r));
    }
    restoreDeleted(kNoOrdinal);
    for (std::size_t i = 0; i < restored.size(); ++i)
        restored[i].ordinal = static_cast<std::uint32_t>(i);

    st.rows.assign(std::move(restored));
    st.deleted.clear();
    st.nextSeq = 1;
    st.changeCount = 0;
    cursor_ = 0;
    bof_ = true;
    eof_ = st.rows.size() == 0;
    notify([](DataSource& s) { s.dataSetLayoutChanged(); });
    if (AfterScroll) AfterScroll(*this);
}

void ClientDataSet::CreateDataSet() {
    checkFieldsForOpen();
    Close();
    Open();
}

void ClientDataSet::EmptyDataSet() {
    checkActive();
    const DataSetState before = state_;
    resetContents();
    state_ = DataSetState::Browse;
    notify([](DataSource& s) { s.dataSetLayoutChanged(); });
    if (before != state_) notify([](DataSource& s) { s.dataSetStateChanged(); });
    if (AfterScroll) AfterScroll(*this);
}

// --- data sources -------------------------------------------------------------------------

void ClientDataSet::attachSource(DataSource* source) {
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
        sources_.push_back(source);
    }
}

void ClientDataSet::detachSource(DataSource* source) {
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

}  // namespace corvana
