#include <algorithm>
#include <optional>
#include <unordered_set>

#include "JsonLexer.h"
#include "JsonText.h"
#include "corvana/data/Error.h"
#include "corvana/data/PackedRow.h"
#include "corvana/data/Text.h"

namespace corvana::json_text {

namespace {

[[noreturn]] void bad(const std::string& why) {
    throw Error("Pacote de dados inválido: " + why);
}

std::optional<FieldType> parseFieldType(std::string_view s) {
    if (s == "string") return FieldType::String;
    if (s == "integer") return FieldType::Integer;
    if (s == "float") return FieldType::Float;
    if (s == "boolean") return FieldType::Boolean;
    if (s == "datetime") return FieldType::DateTime;
    return std::nullopt;
}

// What the allocator spends beyond the bytes asked for a block (its header
// and the rounding), and on a shared value's control block (counts, vptr).
constexpr std::size_t kBlockOverhead = 16;
constexpr std::size_t kSharedOverhead = 16 + kBlockOverhead;
// A list whose block is at most this size loses its spare room when it
// closes. Larger blocks come straight from the system, whose pages are
// not taken until written, so their spare room costs nothing; shrinking
// them would hold two copies at once.
constexpr std::size_t kShrinkBelow = 64 * 1024;
// The common cells, without building cellProblem's answer: null, or
// exactly the column's own kind.
bool fitsAtOnce(FieldType type, Variant::Kind kind) {
    switch (type) {
        case FieldType::String:
            return kind == Variant::Kind::String || kind == Variant::Kind::Null;
        case FieldType::Float:
            return kind == Variant::Kind::Float || kind == Variant::Kind::Null;
        default:
            return false;
    }
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Streaming builder over the lexer's tokens. Every JSON value is routed
// to the innermost open context; nothing is kept but what the result needs.
//
// With a budget, it counts what the value being built holds: the blocks of
// its lists and rows at their capacity, the texts that do not fit inside a
// string, the shared boxes of lists and packets, each with the allocator's
// overhead. A growing list is counted with both its old and its new block,
// as both are held while it moves. Past the budget it raises
// MemoryLimitError before taking the block.
//
// Asked to pack an answer, the rows of a data packet that is the whole
// answer ({"$packet": ...}) go cell by cell into packed rows (PackedRow.h),
// checked and brought to their column types as they are read, and are never
// held as values. Asked to pack rows, it does the same for the rows and the
// changes of every packet in the value, which it delivers packed
// (DataPacket::isPacked).
class Reader {
public:
    enum class Mode { Variant, Packet };
    Reader(Mode mode, std::size_t budget, bool packAnswer = false, bool packRows = false)
        : mode_(mode), budget_(budget), packAnswer_(packAnswer), packRows_(packRows) {
        stack_.reserve(kMaxDepth);
    }

    Variant takeVariant() { return std::move(result_); }
    DataPacket takePacket() { return std::move(*packetResult_); }
    std::optional<PackedData> takePacked() { return std::move(packedResult_); }
    bool done() const { return finished_; }

    // --- the lexer's handler (JsonLexer.h) ---
    void null() {
        if (packRow_) {
            if (packColumn()) builder_.addNull();
            return;
        }
        scalar(Variant());
    }
    void boolean(bool b) {
        if (packRow_) return packBool(b);
        scalar(Variant(b));
    }
    void integer(std::int64_t i) {
        if (packRow_) return packInt(i);
        scalar(Variant(i));
    }
    void unsignedInteger(std::uint64_t u) {
        if (u > static_cast<std::uint64_t>(INT64_MAX))
            floating(static_cast<double>(u));
        else
            integer(static_cast<std::int64_t>(u));
    }
    void floating(double d) {
        if (packRow_) return packFloat(d);
        scalar(Variant(d));
    }
    void text(std::string_view s) {
        if (packRow_) return packText(s);
        charge(textBytes(s.size()));
        scalar(Variant(std::string(s)));
    }
    void startObject();
    void key(std::string_view k);
    void endObject();
    void startArray();
    void endArray();
    [[noreturn]] void syntaxError(std::size_t line, std::size_t column, const char* problem) {
        throw Error("JSON malformado: " + std::string(problem) + " na linha " +
                    std::to_string(line) + ", coluna " + std::to_string(column) + ".");
    }

private:
    enum class Ctx {
        VArray,
        VObject,  // Variant forms
        Packet,
        Fields,
        FieldObj,
        Rows,
        Row,  // packet envelope
        Changes,
        ChangeObj,
        ChangeRow
    };
    struct Frame {
        Ctx ctx;
        std::string key;       // pending key of an object context
        Variant::Array items;  // VArray
        Variant value;         // VObject: the tagged value read
        bool hasValue = false;
    };

    static std::size_t textBytes(std::size_t capacity) {
        static const std::size_t inlineChars = std::string().capacity();
        return capacity > inlineChars ? capacity + 1 + kBlockOverhead : 0;
    }
    template <class T>
    static std::size_t blockBytes(std::size_t count) {
        return count == 0 ? 0 : count * sizeof(T) + kBlockOverhead;
    }
    void charge(std::size_t bytes) {
        if (bytes > budget_ - used_)
            throw MemoryLimitError(
                "Os dados exigem memória demais para serem lidos; divida-os em partes menores.");
        used_ += bytes;
    }
    void release(std::size_t bytes) { used_ -= std::min(bytes, used_); }
    // Room for one more element, grown as std::vector grows but counted.
    template <class T>
    void makeRoom(std::vector<T>& v) {
        if (v.size() < v.capacity()) return;
        const std::size_t old = v.capacity();
        charge(blockBytes<T>(old == 0 ? 1 : old * 2));
        v.reserve(old == 0 ? 1 : old * 2);
        release(blockBytes<T>(old));
    }
    template <class T>
    void reserveExactly(std::vector<T>& v, std::size_t count) {
        charge(blockBytes<T>(count));
        v.reserve(count);
    }

    void push(Ctx c) {
        if (static_cast<int>(stack_.size()) >= kMaxDepth) bad("aninhamento profundo demais");
        stack_.push_back(Frame{c, {}, {}, {}, false});
    }
    Frame& top() { return stack_.back(); }
    void scalar(Variant v);
    void deliver(Variant v);  // a completed value goes to the parent context
    void beginPacket();
    void installFields();
    // Brings a row's cells from their JSON form to their column types and
    // checks them; rowNo counts from 0.
    static void normalise(const std::vector<FieldDef>& fields, Row& row, std::size_t rowNo);
    // A row's cells begin: packed when `pack` and the fields are known,
    // otherwise as values.
    void startRow(bool pack);
    // A packed row's cells: each checked against its column.
    const FieldDef* packColumn();
    const FieldDef* packColumn(FieldType want, const Variant& value);
    void packBool(bool b);
    void packInt(std::int64_t i);
    void packFloat(double d);
    void packText(std::string_view s);
    [[noreturn]] void refuseCell(const FieldDef& field, const Variant& value) const;
    DataPacket finishPacket();
    // Moves the rows and changes of a packet read with packed rows into it,
    // packing those that came as values (read before the fields).
    void packPacket(DataPacket& p);

    Mode mode_;
    std::size_t budget_;
    bool packAnswer_, packRows_;
    // Packing the rows of the packet being read, and inside one of its rows.
    bool packing_ = false, packRow_ = false;
    std::size_t rowCells_ = 0;
    PackedRow::Builder builder_;
    std::vector<PackedRow> packed_;
    // The changes of a packed delta, and the one being read.
    std::vector<PackedDeltaRow> packedChanges_;
    PackedDeltaRow packedChange_;
    bool hasValues_ = false, hasOriginal_ = false;
    bool textsFit_ = true;
    std::optional<PackedData> packedResult_;
    std::size_t used_ = 0;
    std::vector<Frame> stack_;
    bool finished_ = false;
    Variant result_;
    std::optional<DataPacket> packetResult_;

    // The packet being read (packets never nest inside packets).
    std::optional<DataPacket> packet_;
    bool sawFormat_ = false, sawVersion_ = false, sawFields_ = false;
    bool sawRows_ = false, sawChanges_ = false;
    // Rows are checked as each ends while it is still in the cache, once the
    // fields are known; rows that came before the fields at the end.
    bool fieldsClosed_ = false, lateRows_ = false;
    FieldDef field_;
    bool fieldName_ = false, fieldType_ = false;
    // The packet's fields until their list closes, and their names folded to
    // lower case: a repeated name is found at once however many fields come.
    std::vector<FieldDef> fields_;
    std::unordered_set<std::string> fieldNames_;
    Row row_;
    // Every empty list read shares one box: lists are never changed once
    // built, so nobody can tell.
    Variant emptyArray_;
    bool haveEmptyArray_ = false;
    DeltaRow change_;
    bool changeStatus_ = false;
};

void Reader::startObject() {
    if (stack_.empty()) {
        if (finished_) bad("texto após o fim do valor");
        if (mode_ == Mode::Packet) {
            beginPacket();
            return;
        }
        push(Ctx::VObject);
        return;
    }
    switch (top().ctx) {
        case Ctx::VArray:
            push(Ctx::VObject);
            return;
        case Ctx::VObject:
            if (top().key == "$packet" && !top().hasValue) {
                if (packet_) bad("pacote dentro de pacote");
                // Only a packet that is the whole answer, or the first packet
                // of rows among the elements of an answer that is an array,
                // is packed, or every packet when rows are packed.
                const bool whole =
                    packAnswer_ && !packedResult_ &&
                    (stack_.size() == 1 || (stack_.size() == 2 && stack_[0].ctx == Ctx::VArray));
                beginPacket();
                packing_ = whole || packRows_;
                return;
            }
            bad("objeto inesperado em '" + top().key + "'");
        case Ctx::Fields:
            push(Ctx::FieldObj);
            field_ = FieldDef{};
            fieldName_ = fieldType_ = false;
            return;
        case Ctx::Changes:
            push(Ctx::ChangeObj);
            change_ = DeltaRow{};
            packedChange_ = PackedDeltaRow{};
            changeStatus_ = hasValues_ = hasOriginal_ = false;
            return;
        default:
            bad("objeto inesperado");
    }
}

void Reader::key(std::string_view k) {
    Frame& f = top();
    switch (f.ctx) {
        case Ctx::VObject:
            if (f.hasValue || !f.key.empty()) bad("objeto com mais de uma chave");
            if (k != "$date" && k != "$packet" && k != "$error")
                bad("chave desconhecida '" + std::string(k) + "'");
            break;
        case Ctx::Packet:
            if (k != "format" && k != "version" && k != "kind" && k != "fields" && k != "rows" &&
                k != "changes")
                bad("chave desconhecida '" + std::string(k) + "'");
            break;
        case Ctx::FieldObj:
            if (k != "name" && k != "type" && k != "size")
                bad("chave de campo desconhecida '" + std::string(k) + "'");
            break;
        case Ctx::ChangeObj:
            if (k != "status" && k != "values" && k != "original")
                bad("chave de alteração desconhecida '" + std::string(k) + "'");
            break;
        default:
            bad("chave inesperada '" + std::string(k) + "'");
    }
    f.key.assign(k);
    return;
}

void Reader::endObject() {
    Frame f = std::move(top());
    stack_.pop_back();
    switch (f.ctx) {
        case Ctx::VObject:
            if (!f.hasValue) bad("objeto vazio não é um valor");
            deliver(std::move(f.value));
            return;
        case Ctx::Packet: {
            DataPacket p = finishPacket();
            if (packing_ && packRows_) {
                packing_ = false;
                packPacket(p);
                charge(sizeof(DataPacket) + kSharedOverhead);
                deliver(Variant(std::move(p)));
                return;
            }
            if (packing_) {
                packing_ = false;
                if (!p.isDelta()) {
                    // Rows read before the fields (never from our writers) as values.
                    std::vector<PackedRow> rows;
                    rows.reserve(p.rows().size() + packed_.size());
                    for (const Row& row : p.rows()) rows.push_back(PackedRow::pack(row));
                    for (PackedRow& row : packed_) rows.push_back(std::move(row));
                    packedResult_ =
                        PackedData{p.fields(), std::move(rows), textsFit_ && p.rows().empty()};
                    packed_ = {};
                    deliver(Variant());
                    return;
                }
            }
            if (stack_.empty() && mode_ == Mode::Packet) {
                packetResult_ = std::move(p);
                finished_ = true;
            } else {
                charge(sizeof(DataPacket) + kSharedOverhead);
                deliver(Variant(std::move(p)));
            }
            return;
        }
        case Ctx::FieldObj: {
            if (!fieldName_ || !fieldType_) bad("campo sem nome ou sem tipo");
            std::string folded(field_.name.size(), '\0');
            std::transform(field_.name.begin(), field_.name.end(), folded.begin(), lowerAscii);
            charge(sizeof(std::string) + 2 * sizeof(void*) + kBlockOverhead +
                   textBytes(folded.size()));
            if (!fieldNames_.insert(std::move(folded)).second)
                bad("campo repetido '" + field_.name + "'");
            makeRoom(fields_);
            fields_.push_back(std::move(field_));
            return;
        }
        case Ctx::ChangeObj: {
            if (!changeStatus_) bad("alteração sem status");
            if (packRows_ && fieldsClosed_) {
                const bool needValues = packedChange_.status != DeltaRow::Status::Deleted;
                const bool needOriginal = packedChange_.status != DeltaRow::Status::Inserted;
                if (needValues && !hasValues_) bad("alteração sem valores");
                if (needOriginal && !hasOriginal_) bad("alteração sem valores originais");
                if (!needValues && hasValues_) bad("exclusão com valores novos");
                if (!needOriginal && hasOriginal_) bad("inclusão com valores originais");
                makeRoom(packedChanges_);
                packedChanges_.push_back(std::move(packedChange_));
                return;
            }
            bool needValues = change_.status != DeltaRow::Status::Deleted;
            bool needOriginal = change_.status != DeltaRow::Status::Inserted;
            if (needValues == change_.values.empty() && needValues) bad("alteração sem valores");
            if (needOriginal && change_.original.empty()) bad("alteração sem valores originais");
            if (!needValues && !change_.values.empty()) bad("exclusão com valores novos");
            if (!needOriginal && !change_.original.empty()) bad("inclusão com valores originais");
            makeRoom(packet_->changes());
            packet_->changes().push_back(std::move(change_));
            return;
        }
        default:
            bad("fim de objeto inesperado");
    }
}

void Reader::startArray() {
    if (stack_.empty()) {
        if (finished_) bad("texto após o fim do valor");
        if (mode_ == Mode::Packet) bad("um pacote é um objeto JSON");
        push(Ctx::VArray);
        return;
    }
    Frame& f = top();
    switch (f.ctx) {
        case Ctx::VArray:
            push(Ctx::VArray);
            return;
        case Ctx::Packet:
            if (f.key == "fields") {
                if (sawFields_) bad("lista de campos repetida");
                sawFields_ = true;
                push(Ctx::Fields);
                return;
            }
            if (f.key == "rows") {
                if (sawRows_) bad("lista de linhas repetida");
                sawRows_ = true;
                push(Ctx::Rows);
                return;
            }
            if (f.key == "changes") {
                if (sawChanges_) bad("lista de alterações repetida");
                sawChanges_ = true;
                push(Ctx::Changes);
                return;
            }
            bad("lista inesperada em '" + f.key + "'");
        case Ctx::Rows:
            push(Ctx::Row);
            startRow(packing_);
            return;
        case Ctx::ChangeObj:
            if (f.key != "values" && f.key != "original")
                bad("lista inesperada em '" + f.key + "'");
            push(Ctx::ChangeRow);
            startRow(packRows_);
            return;
        default:
            bad("lista inesperada");
    }
}

void Reader::endArray() {
    Frame f = std::move(top());
    stack_.pop_back();
    switch (f.ctx) {
        case Ctx::VArray:
            if (f.items.empty()) {
                if (!haveEmptyArray_) {
                    charge(sizeof(Variant::Array) + kSharedOverhead);
                    emptyArray_ = Variant(Variant::Array{});
                    haveEmptyArray_ = true;
                }
                deliver(emptyArray_);
                return;
            }
            if (f.items.capacity() > f.items.size() &&
                blockBytes<Variant>(f.items.capacity()) <= kShrinkBelow) {
                const std::size_t spare = blockBytes<Variant>(f.items.capacity());
                charge(blockBytes<Variant>(f.items.size()));
                f.items.shrink_to_fit();
                release(spare);
            }
            charge(sizeof(Variant::Array) + kSharedOverhead);
            deliver(Variant(std::move(f.items)));
            return;
        case Ctx::Fields:
            installFields();
            fieldsClosed_ = true;
            return;
        case Ctx::Rows:
            return;
        case Ctx::Changes:
            return;
        case Ctx::Row:
            if (packRow_) {
                packRow_ = false;
                const std::size_t width = packet_->fields().size();
                if (rowCells_ != width)
                    bad("a linha " + std::to_string(packet_->rows().size() + packed_.size() + 1) +
                        " tem " + std::to_string(rowCells_) + " valores para " +
                        std::to_string(width) + " campos");
                PackedRow row = builder_.finish();
                charge(row.bytes() + kBlockOverhead);
                makeRoom(packed_);
                packed_.push_back(std::move(row));
                return;
            }
            if (fieldsClosed_)
                normalise(packet_->fields(), row_, packet_->rows().size());
            else
                lateRows_ = true;
            makeRoom(packet_->rows());
            packet_->rows().push_back(std::move(row_));
            row_ = Row{};
            return;
        case Ctx::ChangeRow: {
            if (packRow_) {
                packRow_ = false;
                const std::size_t width = packet_->fields().size();
                const std::size_t number = packedChanges_.size() + packet_->changes().size() + 1;
                if (rowCells_ == 0) bad("linha de alteração vazia");
                if (rowCells_ != width)
                    bad("a linha " + std::to_string(number) + " tem " + std::to_string(rowCells_) +
                        " valores para " + std::to_string(width) + " campos");
                PackedRow row = builder_.finish();
                charge(row.bytes() + kBlockOverhead);
                if (top().key == "values") {
                    packedChange_.values = std::move(row);
                    hasValues_ = true;
                } else {
                    packedChange_.original = std::move(row);
                    hasOriginal_ = true;
                }
                return;
            }
            if (!row_.empty()) {  // an empty one is refused below
                if (fieldsClosed_)
                    normalise(packet_->fields(), row_, packet_->changes().size());
                else
                    lateRows_ = true;
            }
            Frame& parent = top();
            if (parent.key == "values")
                change_.values = std::move(row_);
            else
                change_.original = std::move(row_);
            if ((parent.key == "values" ? change_.values : change_.original).empty())
                bad("linha de alteração vazia");
            row_ = Row{};
            return;
        }
        default:
            bad("fim de lista inesperado");
    }
}

void Reader::scalar(Variant v) {
    if (stack_.empty()) {
        if (finished_) bad("texto após o fim do valor");
        if (mode_ == Mode::Packet) bad("um pacote é um objeto JSON");
        result_ = std::move(v);
        finished_ = true;
        return;
    }
    Frame& f = top();
    switch (f.ctx) {
        case Ctx::Row:
        case Ctx::ChangeRow:
            makeRoom(row_);
            row_.push_back(std::move(v));
            return;
        case Ctx::VArray:
            makeRoom(f.items);
            f.items.push_back(std::move(v));
            return;
        case Ctx::VObject: {
            if (f.hasValue) bad("objeto com mais de um valor");
            if (!v.isString()) bad("'" + f.key + "' precisa de um texto");
            if (f.key == "$date") {
                auto d = DateTime::fromIso(v.asString());
                if (!d) bad("data inválida '" + v.asString() + "'");
                f.value = Variant(*d);
            } else if (f.key == "$error") {
                charge(sizeof(std::string) + kSharedOverhead + textBytes(v.asString().size()));
                f.value = Variant::serverError(v.asString());
            } else {
                bad("'$packet' precisa de um pacote");
            }
            f.hasValue = true;
            return;
        }
        case Ctx::Packet:
            if (f.key == "format") {
                if (!v.isString() || v.asString() != "corvana.datapacket")
                    bad("formato desconhecido");
                sawFormat_ = true;
            } else if (f.key == "version") {
                if (v.kind() != Variant::Kind::Int) bad("versão inválida");
                if (v.toInt() != DataPacket::kFormatVersion)
                    bad("versão " + std::to_string(v.toInt()) + " não suportada (esperada " +
                        std::to_string(DataPacket::kFormatVersion) + ")");
                sawVersion_ = true;
            } else if (f.key == "kind") {
                if (!v.isString() || (v.asString() != "data" && v.asString() != "delta"))
                    bad("tipo de pacote desconhecido");
                packet_->setKind(v.asString() == "delta" ? DataPacket::Kind::Delta
                                                         : DataPacket::Kind::Data);
            } else {
                bad("'" + f.key + "' precisa de uma lista");
            }
            return;
        case Ctx::FieldObj:
            if (f.key == "name") {
                if (!v.isString() || v.asString().empty()) bad("nome de campo inválido");
                field_.name = v.asString();
                fieldName_ = true;
            } else if (f.key == "type") {
                auto t = v.isString() ? parseFieldType(v.asString()) : std::nullopt;
                if (!t) bad("tipo de campo desconhecido");
                field_.type = *t;
                fieldType_ = true;
            } else {
                if (v.kind() != Variant::Kind::Int || v.toInt() < 0 || v.toInt() > 1000000)
                    bad("tamanho de campo inválido");
                field_.size = static_cast<int>(v.toInt());
            }
            return;
        case Ctx::ChangeObj:
            if (f.key != "status" || !v.isString()) bad("status de alteração inválido");
            if (v.asString() == "inserted")
                change_.status = DeltaRow::Status::Inserted;
            else if (v.asString() == "modified")
                change_.status = DeltaRow::Status::Modified;
            else if (v.asString() == "deleted")
                change_.status = DeltaRow::Status::Deleted;
            else
                bad("status de alteração desconhecido '" + v.asString() + "'");
            packedChange_.status = change_.status;
            changeStatus_ = true;
            return;
        default:
            bad("valor inesperado");
    }
}

void Reader::deliver(Variant v) {
    if (stack_.empty()) {
        result_ = std::move(v);
        finished_ = true;
        return;
    }
    Frame& f = top();
    if (f.ctx == Ctx::VArray) {
        makeRoom(f.items);
        f.items.push_back(std::move(v));
    } else if (f.ctx == Ctx::VObject) {
        f.value = std::move(v);
        f.hasValue = true;
    } else {
        bad("valor inesperado");
    }
}

void Reader::beginPacket() {
    push(Ctx::Packet);
    packet_.emplace();
    sawFormat_ = sawVersion_ = sawFields_ = sawRows_ = sawChanges_ = false;
    fieldsClosed_ = lateRows_ = false;
    packing_ = packRow_ = false;
    packed_.clear();
    packedChanges_.clear();
    textsFit_ = true;
    fields_.clear();
    fieldNames_.clear();
}

// The field list has closed: the packet takes it whole (DataPacket::addField
// would look for the name among all the fields before it, once per field).
void Reader::installFields() {
    fieldNames_ = {};
    if (fields_.empty()) return;
    if (!packet_->rows().empty() || !packet_->changes().empty())
        throw Error("Não é possível acrescentar o campo '" + fields_.front().name +
                    "' a um pacote com linhas.");
    const DataPacket::Kind kind = packet_->kind();
    *packet_ = DataPacket(std::move(fields_), kind);
    fields_ = {};
}

// Cells travel in their JSON form; dates as ISO texts and whole floats as
// integers.
void Reader::normalise(const std::vector<FieldDef>& fields, Row& row, std::size_t rowNo) {
    if (row.size() != fields.size())
        bad("a linha " + std::to_string(rowNo + 1) + " tem " + std::to_string(row.size()) +
            " valores para " + std::to_string(fields.size()) + " campos");
    for (std::size_t c = 0; c < fields.size(); ++c) {
        Variant& cell = row[c];
        if (fields[c].type == FieldType::DateTime && cell.isString()) {
            auto d = DateTime::fromIso(cell.asString());
            if (!d) bad("data inválida '" + cell.asString() + "' no campo " + fields[c].name);
            cell = Variant(*d);
        } else if (fields[c].type == FieldType::Float && cell.kind() == Variant::Kind::Int) {
            cell = Variant(static_cast<double>(cell.toInt()));
        }
        if (fitsAtOnce(fields[c].type, cell.kind())) continue;
        std::string problem = DataPacket::cellProblem(fields[c], cell);
        if (!problem.empty())
            bad("linha " + std::to_string(rowNo + 1) + ", campo " + fields[c].name + ": " +
                problem);
    }
}

// The column of the next cell of the row being packed; null once the row
// has all its cells (the extra ones are counted and refused at its end).
void Reader::startRow(bool pack) {
    if (pack && fieldsClosed_) {
        packRow_ = true;
        rowCells_ = 0;
        return;
    }
    row_.clear();
    reserveExactly(row_, packet_->fields().size());
}

const FieldDef* Reader::packColumn() {
    const auto& fields = packet_->fields();
    const std::size_t c = rowCells_++;
    return c < fields.size() ? &fields[c] : nullptr;
}

void Reader::refuseCell(const FieldDef& field, const Variant& value) const {
    const std::size_t number = packet_->isDelta()
                                   ? packet_->changes().size() + packedChanges_.size() + 1
                                   : packet_->rows().size() + packed_.size() + 1;
    bad("linha " + std::to_string(number) + ", campo " + field.name + ": " +
        DataPacket::cellProblem(field, value));
}

// The column of the next cell when there is one, after refusing `value`
// unless the column is of type `want`.
const FieldDef* Reader::packColumn(FieldType want, const Variant& value) {
    const FieldDef* f = packColumn();
    if (f && f->type != want) refuseCell(*f, value);
    return f;
}

void Reader::packBool(bool b) {
    if (packColumn(FieldType::Boolean, Variant(b))) builder_.addBool(b);
}

void Reader::packInt(std::int64_t i) {
    const FieldDef* f = packColumn();
    if (!f) return;
    if (f->type == FieldType::Integer)
        builder_.addInt(i);
    else if (f->type == FieldType::Float)
        builder_.addFloat(static_cast<double>(i));
    else
        refuseCell(*f, Variant(i));
}

void Reader::packFloat(double d) {
    if (packColumn(FieldType::Float, Variant(d))) builder_.addFloat(d);
}

void Reader::packText(std::string_view s) {
    const FieldDef* f = packColumn();
    if (!f) return;
    if (f->type == FieldType::String) {
        const auto size = static_cast<std::size_t>(f->size);
        if (size > 0 && s.size() > size && utf8Length(s) > size) textsFit_ = false;
        builder_.addText(s);
    } else if (f->type == FieldType::DateTime) {
        auto d = DateTime::fromIso(s);
        if (!d) bad("data inválida '" + std::string(s) + "' no campo " + f->name);
        builder_.addDateTime(*d);
    } else {
        refuseCell(*f, Variant(std::string(s)));
    }
}

DataPacket Reader::finishPacket() {
    if (!sawFormat_) bad("falta 'format'");
    if (!sawVersion_) bad("falta 'version'");
    if (!sawFields_) bad("falta 'fields'");
    DataPacket p = std::move(*packet_);
    packet_.reset();
    if (p.isDelta() ? sawRows_ : sawChanges_)
        bad(p.isDelta() ? "um delta não tem 'rows'" : "um pacote de dados não tem 'changes'");
    if (!lateRows_) return p;
    for (std::size_t i = 0; i < p.rows().size(); ++i) normalise(p.fields(), p.rows()[i], i);
    for (std::size_t i = 0; i < p.changes().size(); ++i) {
        auto& c = p.changes()[i];
        if (!c.values.empty()) normalise(p.fields(), c.values, i);
        if (!c.original.empty()) normalise(p.fields(), c.original, i);
    }
    return p;
}

void Reader::packPacket(DataPacket& p) {
    std::vector<PackedRow> rows;
    std::vector<PackedDeltaRow> changes;
    if (p.isDelta()) {
        changes.reserve(p.changes().size() + packedChanges_.size());
        for (const DeltaRow& c : p.changes()) {
            PackedDeltaRow packed{c.status, {}, {}};
            if (!c.values.empty()) packed.values = PackedRow::pack(c.values);
            if (!c.original.empty()) packed.original = PackedRow::pack(c.original);
            changes.push_back(std::move(packed));
        }
        for (PackedDeltaRow& c : packedChanges_) changes.push_back(std::move(c));
    } else {
        rows.reserve(p.rows().size() + packed_.size());
        for (const Row& row : p.rows()) rows.push_back(PackedRow::pack(row));
        for (PackedRow& row : packed_) rows.push_back(std::move(row));
    }
    packed_ = {};
    packedChanges_ = {};
    p.setPacked(std::move(rows), std::move(changes));
}

template <class R>
void run(R& reader, std::string_view text) {
    lex(text, reader);
    if (!reader.done()) throw Error("JSON malformado: texto vazio ou incompleto.");
}

}  // namespace

Variant readVariant(std::string_view text, std::size_t budget, bool packRows) {
    Reader r(Reader::Mode::Variant, budget, false, packRows);
    run(r, text);
    return r.takeVariant();
}

DataPacket readPacket(std::string_view text, std::size_t budget) {
    Reader r(Reader::Mode::Packet, budget);
    run(r, text);
    return r.takePacket();
}

std::optional<PackedData> readAnswerPacked(std::string_view text, Variant& other) {
    Reader r(Reader::Mode::Variant, kNoBudget, true);
    run(r, text);
    std::optional<PackedData> packed = r.takePacked();
    // The answer itself (null for a packet that was the whole answer); an
    // array holds null where its packet was.
    other = r.takeVariant();
    return packed;
}

}  // namespace corvana::json_text
