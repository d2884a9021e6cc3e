#include "rdm/GuestWrites.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>
#include <vector>

#include "RemoteDataModule.h"
#include "corvana/data/Text.h"
#include "guestrecord/GuestRecord.h"
#include "guestrecord/GuestRules.h"
#include "rdm/RdmSupport.h"
#include "storage/GuestTable.h"
#include "storage/ListLock.h"
#include "storage/ListVersion.h"
#include "storage/NameFold.h"
#include "storage/Schema.h"

namespace evt::server::rdm {

namespace {

using corvana::DataPacket;
using corvana::DeltaRow;
using corvana::FieldType;
using corvana::Row;
using corvana::Variant;
using storage::DatabaseError;
using storage::Statement;

using OptText = std::optional<std::string>;

namespace record = evt::guestrecord;

// The fields of the guest packet that the writes read, by their index.
constexpr std::size_t kBranch = record::IndexOf("CDFILIAL");
constexpr std::size_t kBudget = record::IndexOf("NRORCAEVENTO");
constexpr std::size_t kSequence = record::IndexOf("NRSEQORCAEVE");
constexpr std::size_t kNumber = record::IndexOf("NRLISTACONVOREV");
constexpr std::size_t kTreatment = record::IndexOf("IDTPTRATCONVESPEC");
constexpr std::size_t kName = record::IndexOf("NMLISTACONVOREV");
constexpr std::size_t kRg = record::IndexOf("NRRGLISTAOREV");
constexpr std::size_t kInscription = record::IndexOf("NRINSJURCLILISCONV");
constexpr std::size_t kOrder = record::IndexOf("NRORDEMEXIBCONTRAT");
constexpr std::size_t kQuantity = record::IndexOf("QUANTIDADE");

// A guest's place (its list, then its number) and what is stored with it
// besides (storage/GuestTable.h).
constexpr auto kPlace = storage::kGuestPlace;
static_assert(kPlace == std::array<std::size_t, 4>{kBranch, kBudget, kSequence, kNumber});
constexpr auto kValues = storage::kGuestValues;

constexpr bool IsText(std::size_t field) {
    return record::kFields[field].type == FieldType::String;
}

// Branch, budget and sequence: which guest list.
struct ListKey {
    std::string branch, budget, sequence;
    auto operator<=>(const ListKey&) const = default;
};

// Opens a write transaction over the lists given and locks them
// (storage/ListLock.h): writers of other lists go on meanwhile.
void lockLists(storage::Connection& connection, const std::set<ListKey>& lists) {
    std::vector<storage::ListLockId> ids;
    ids.reserve(lists.size());
    for (const ListKey& key : lists) ids.emplace_back(key.branch, key.budget, key.sequence);
    storage::LockLists(connection, ids);
}

constexpr auto kListWrite = storage::Connection::TransactionMode::WriteByKey;

// The guest version of each list a unit of work writes to, raised once the
// lists are locked (storage/ListVersion.h): every guest it writes is stamped
// with it. A list that does not exist has none; nothing can be written to it.
class GuestVersions {
public:
    GuestVersions(storage::Connection& connection, const std::set<ListKey>& lists) {
        for (const ListKey& key : lists) {
            if (auto version =
                    storage::RaiseGuestVersion(connection, key.branch, key.budget, key.sequence))
                versions_.emplace(key, *version);
        }
    }
    std::int64_t Of(const ListKey& key) const {
        const auto it = versions_.find(key);
        return it == versions_.end() ? 0 : it->second;
    }

private:
    std::map<ListKey, std::int64_t> versions_;
};

std::string describe(const ListKey& key) {
    return "filial " + key.branch + ", orçamento " + key.budget + ", sequência " + key.sequence;
}

// A guest as a delta row carries it: the texts of its place and of its
// stored fields by their index in the guest packet (the client's fields are
// not read), and its quantity.
struct Guest : storage::GuestValues {
    ListKey list() const {
        return {texts[kBranch].value_or(""), texts[kBudget].value_or(""),
                texts[kSequence].value_or("")};
    }
    std::string name() const { return corvana::trimBlanks(texts[kName].value_or("")); }
    // A control character of the name, which cannot be stored, is shown as
    // U+FFFD: the message that refuses it is still a text to show.
    std::string label() const { return "Convidado '" + corvana::showControlChars(name()) + "'"; }
};

// Where each field of the guest packet is in a packet (-1 for those not
// read).
using GuestLayout = std::array<int, record::kFieldCount>;

int requireColumn(const DataPacket& packet, const char* method, std::string_view name,
                  bool numeric) {
    const int index = packet.fieldIndex(name);
    if (index < 0)
        throw BadRequest(std::string(method) + ": o pacote não tem o campo " + std::string(name) +
                         ".");
    const FieldType type = packet.fields()[static_cast<std::size_t>(index)].type;
    const bool fits = numeric ? (type == FieldType::Float || type == FieldType::Integer)
                              : type == FieldType::String;
    if (!fits) {
        throw BadRequest(std::string(method) + ": o campo " + std::string(name) +
                         " deve ser do tipo " + (numeric ? "float" : "string") + ", não " +
                         corvana::fieldTypeName(type) + ".");
    }
    return index;
}

GuestLayout guestLayout(const DataPacket& packet, const char* method) {
    GuestLayout layout;
    layout.fill(-1);
    auto require = [&](std::size_t field) {
        layout[field] = requireColumn(packet, method, record::kFields[field].name, !IsText(field));
    };
    for (std::size_t field : kPlace) require(field);
    for (std::size_t field : kValues) require(field);
    return layout;
}

// Cells were checked against their fields (validate), so a text field holds a
// string or null and the quantity a number or null.
// A call's packets arrive packed (the router reads them so); a packet built
// in the server's own code holds values.
OptText textAt(const Row& row, int index) {
    const Variant& v = row[static_cast<std::size_t>(index)];
    if (v.isNull()) return std::nullopt;
    return v.asString();
}

OptText textAt(const corvana::PackedRow& row, int index) {
    const auto i = static_cast<std::size_t>(index);
    if (row.kindAt(i) == Variant::Kind::Null) return std::nullopt;
    return std::string(row.textAt(i));
}

Variant cellAt(const Row& row, int index) {
    return row[static_cast<std::size_t>(index)];
}

Variant cellAt(const corvana::PackedRow& row, int index) {
    return row.at(static_cast<std::size_t>(index));
}

template <class R>
Guest readGuest(const R& row, const GuestLayout& layout) {
    Guest g;
    for (std::size_t field : kPlace) g.texts[field] = textAt(row, layout[field]);
    for (std::size_t field : kValues) {
        if (IsText(field)) g.texts[field] = textAt(row, layout[field]);
    }
    const Variant q = cellAt(row, layout[kQuantity]);
    if (!q.isNull()) g.quantity = q.toDouble();
    return g;
}

// A text as it is stored: in NFC and, for the name and the R.G., as a
// person sees it (Unicode's blanks plain, its invisible characters removed,
// no blanks at the edges: storage::VisibleText, guestrecord::PlainText).
std::string storedText(std::size_t field, std::string_view text) {
    return storage::ComposedText(record::IsPlainText(field)
                                     ? record::PlainText(storage::VisibleText(text))
                                     : std::string(text));
}

// The values of a guest to be written, in their stored form. The original
// values of a delta row are never changed: they must match the stored row.
Guest toStoredForm(Guest g) {
    for (std::size_t field : kValues) {
        if (IsText(field) && g.texts[field]) g.texts[field] = storedText(field, *g.texts[field]);
    }
    return g;
}

// What the user must fix before anything is written: a control character in
// a text, a guest without a name, texts longer than their columns (never
// cut) and a quantity out of its range.
void checkValues(const Guest& g) {
    for (std::size_t field : kValues) {
        if (!IsText(field) || !g.texts[field]) continue;
        if (corvana::hasControlChar(*g.texts[field]))
            throw Refusal(g.label() + ": " + record::ControlCharacterRule(record::kFields[field]));
        if (storage::HasDirectionControl(*g.texts[field]))
            throw Refusal(g.label() + ": " + record::DirectionControlRule(record::kFields[field]));
    }
    if (g.name().empty())
        throw Refusal("Há um convidado sem nome na lista: informe o nome antes de gravar.");
    if (g.quantity && !record::QuantityInRange(*g.quantity))
        throw Refusal(g.label() + ": " + record::QuantityRule());
    for (std::size_t field : kValues) {
        if (!IsText(field) || !g.texts[field]) continue;
        const std::size_t length = corvana::utf8Length(*g.texts[field]);
        const record::Field& column = record::kFields[field];
        if (length <= static_cast<std::size_t>(column.size)) continue;
        const std::string what = field == kName ? std::string("o nome")
                                                : "o campo " + std::string(column.label) + " (" +
                                                      std::string(column.name) + ")";
        throw Refusal(g.label() + ": " + what + " tem " + std::to_string(length) +
                      " caracteres; o máximo é " + std::to_string(column.size) + ".");
    }
}

// The place, the values and the server's keys, in the order bindGuest binds
// them.
const std::string& insertSql() {
    return storage::GuestInsertSql();
}

// An imported guest: the placeholders and a quantity of one. The list, the
// number, the treatment, the name and the R.G. change from line to line.
const Guest& importedGuest() {
    static const Guest guest = [] {
        Guest g;
        for (std::size_t field : kValues) {
            const std::string_view placeholder = record::kFields[field].placeholder;
            if (!placeholder.empty()) g.texts[field] = std::string(placeholder);
        }
        g.quantity = 1.0;
        return g;
    }();
    return guest;
}

std::string sqlLiteral(const OptText& text) {
    if (!text) return "NULL";
    std::string quoted = "'";
    for (char c : *text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

// The quantity an imported guest takes, as SQL and COPY write a number.
const OptText& importedQuantityText() {
    static const OptText text = [] {
        const auto& q = importedGuest().quantity;
        if (!q) return OptText();
        char number[32];
        const auto end = std::to_chars(number, number + sizeof number, *q).ptr;
        return OptText(std::string(number, end));
    }();
    return text;
}

// The keys every imported guest takes for its inscription and contract order
// (from the placeholders: none).
const OptText& importedInscriptionKey() {
    static const OptText key =
        storage::GuestDocumentKey(importedGuest().texts[kInscription].value_or(""));
    return key;
}
const OptText& importedOrderKey() {
    static const OptText key = storage::GuestOrderKey(importedGuest().texts[kOrder].value_or(""));
    return key;
}

// The import's insert of one line (columns as insertSql): what is the same on
// every line is written in the statement, so that a line binds only its nine
// values: the list and the number (?1 to ?4), the treatment, the name, the
// R.G. and their two keys (?5 to ?9), and the list's version (?10). A line that repeats a name or
// an R.G. of the list is skipped, not an error: the unique indexes decide, and changes() tells.
const std::string& importSql() {
    static const std::string sql = [] {
        const Guest& g = importedGuest();
        std::string columns, values;
        auto add = [&](std::string_view name, const std::string& value) {
            columns += (columns.empty() ? "" : ", ") + std::string(name);
            values += (values.empty() ? "" : ", ") + value;
        };
        int parameter = 0;
        auto next = [&] { return "?" + std::to_string(++parameter); };
        for (std::size_t field : kPlace) add(record::kFields[field].name, next());
        for (std::size_t field : kValues) {
            const std::string_view name = record::kFields[field].name;
            if (field == kTreatment || field == kName || field == kRg)
                add(name, next());
            else if (IsText(field))
                add(name, sqlLiteral(g.texts[field]));
            else
                add(name, importedQuantityText().value_or("NULL"));
        }
        add("NMCHAVE", next());
        add("RGCHAVE", next());
        add("INSCCHAVE", sqlLiteral(importedInscriptionKey()));
        add("ORDEMCHAVE", sqlLiteral(importedOrderKey()));
        add(storage::kGuestVersionColumn, next());
        return "INSERT INTO LISTACONVOREV (" + columns + ") VALUES (" + values +
               ") ON CONFLICT DO NOTHING";
    }();
    return sql;
}

// Removes the stored guest only when it still holds the values the client
// last read (NULL-safe "IS NOT DISTINCT FROM" on every stored guest column).
const std::string& deleteMatchingSql() {
    static const std::string sql = [] {
        std::string s = "DELETE FROM LISTACONVOREV WHERE ";
        for (std::size_t field : kPlace) {
            if (field != kPlace.front()) s += " AND ";
            s += std::string(record::kFields[field].name) + " = ?";
        }
        for (std::size_t field : kValues)
            s += " AND " + std::string(record::kFields[field].name) + " IS NOT DISTINCT FROM ?";
        return s;
    }();
    return sql;
}

// Binds the values of the guest from parameter p on, in the order of
// kValues; answers the next parameter.
int bindValues(Statement& st, int p, const Guest& g) {
    for (std::size_t field : kValues) {
        if (IsText(field)) {
            st.Bind(p++, g.texts[field]);
        } else {
            st.Bind(p++, g.quantity);
        }
    }
    return p;
}

// The guest's values under the list and number given (insertSql).
void bindGuest(Statement& st, const ListKey& list, const std::string& number, const Guest& g,
               std::int64_t version) {
    storage::BindGuestInsert(st, {list.branch, list.budget, list.sequence, number}, g, version);
}

bool mentions(const std::string& detail, const char* index, const char* column) {
    return detail.find(index) != std::string::npos || detail.find(column) != std::string::npos;
}

// The rule behind a violated unique index. SQLite names the index's columns,
// another backend may name the index: both are recognised.
std::string uniqueRuleText(const std::string& detail) {
    if (mentions(detail, "UX_LISTACONVOREV_NOME", "NMCHAVE"))
        return "nome já cadastrado nesta lista.";
    if (mentions(detail, "UX_LISTACONVOREV_RG", "RGCHAVE"))
        return "R.G. já cadastrado nesta lista.";
    if (mentions(detail, "UX_LISTACONVOREV_INSC", "INSCCHAVE"))
        return "inscrição já cadastrada nesta lista.";
    if (mentions(detail, "UX_LISTACONVOREV_ORDEM", "ORDEMCHAVE"))
        return "ordem de contrato já definida para outro convidado.";
    return "número na lista já usado por outro convidado. Recarregue a lista.";
}

void insertGuest(Statement& st, const ListKey& list, const std::string& number, const Guest& g,
                 std::int64_t version) {
    st.Reset();
    bindGuest(st, list, number, g, version);
    try {
        st.Execute();
    } catch (const DatabaseError& e) {
        if (e.kind() == DatabaseError::Kind::Unique)
            throw Refusal(g.label() + ": " + uniqueRuleText(e.detail()));
        if (e.kind() == DatabaseError::Kind::ForeignKey)
            throw Refusal(g.label() + ": a lista de convidados (" + describe(list) +
                          ") não existe.");
        throw;
    }
}

void removeMatching(Statement& st, const Guest& original) {
    st.Reset();
    int p = 1;
    for (std::size_t field : kPlace) st.Bind(p++, original.texts[field]);
    bindValues(st, p, original);
    if (st.Execute() == 0) {
        throw Refusal(original.label() +
                      " foi alterado ou excluído por outro usuário. Recarregue a lista.");
    }
}

// What a unit of work knows about each list it writes to: the next free
// list number and, for imports, the treatment new guests take.
struct ListState {
    int next = 1;
    std::string treatment;
};

class ListStates {
public:
    explicit ListStates(storage::Connection& connection) : connection_(connection) {}

    // nullptr when the list (the budget sequence) does not exist. Asked
    // again, the same answer without a query.
    ListState* Find(const ListKey& key) {
        auto it = states_.find(key);
        if (it != states_.end()) return it->second ? &*it->second : nullptr;
        {
            auto exists = connection_.Prepare(
                "SELECT 1 FROM ORCAEVENTOSEQ WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?");
            exists->BindAll(key.branch, key.budget, key.sequence);
            if (!exists->Step()) {
                states_.emplace(key, std::nullopt);
                return nullptr;
            }
        }
        ListState state;
        {
            // List numbers are five digits, zero padded: the text maximum is
            // the numeric one, read straight from the primary key.
            auto last = connection_.Prepare(
                "SELECT MAX(NRLISTACONVOREV) FROM LISTACONVOREV WHERE CDFILIAL = ? AND "
                "NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
            last->BindAll(key.branch, key.budget, key.sequence);
            if (last->Step() && !last->IsNull(0)) {
                const std::string text = last->Text(0);
                int value = 0;
                std::from_chars(text.data(), text.data() + text.size(), value);
                state.next = value + 1;
            }
        }
        {
            auto first = connection_.Prepare(
                "SELECT IDTPTRATCONVESPEC FROM LISTACONVOREV WHERE CDFILIAL = ? AND "
                "NRORCAEVENTO = ? AND NRSEQORCAEVE = ? ORDER BY NRLISTACONVOREV LIMIT 1");
            first->BindAll(key.branch, key.budget, key.sequence);
            if (first->Step()) state.treatment = corvana::trimBlanks(first->Text(0));
            if (state.treatment.empty()) state.treatment = record::kFields[kTreatment].placeholder;
        }
        return &*states_.emplace(key, std::move(state)).first->second;
    }

private:
    storage::Connection& connection_;
    std::map<ListKey, std::optional<ListState>> states_;
};

// Writes an import's accepted lines. On SQLite each line is one insert and
// the unique indexes tell which lines are skipped (ON CONFLICT DO NOTHING and
// the changes it made). On PostgreSQL a statement per line, or per few
// hundred lines, costs more than storing them: which lines are skipped is
// decided before they are sent, from the list's keys read once, and the rest
// go in one COPY. Both decide alike: the import holds the write lock, so no
// other writer changes the list meanwhile, and the only rules an imported
// line can break are the name's and the R.G.'s (it has no inscription or
// contract order, and a number past the list's last). The unique indexes stay
// the database's guard: a line they refuse all the same refuses the import.
class ImportWriter {
public:
    explicit ImportWriter(storage::Connection& connection)
        : connection_(connection), copying_(connection.CanCopy()) {
        if (!copying_) single_.emplace(connection.Prepare(importSql()));
    }

    // Reads what the writer needs of a list before the first line is
    // written (nothing else runs on the connection during a copy).
    void Prepare(const ListKey& list) {
        if (copying_) keysOf(list);
    }

    // Writes the line, or streams it; false when the list already holds its
    // name or its R.G. (or an earlier line of the file did).
    bool Write(const ListKey& list, const std::string& number, const std::string& treatment,
               const std::string& name, const std::string& rg, std::int64_t version) {
        std::string nameKey = storage::GuestNameKey(name);
        std::optional<std::string> rgKey = storage::GuestDocumentKey(rg);
        if (!copying_) {
            // The texts live until the reset that ends the line's run, so
            // SQLite reads them where they are instead of copying each.
            auto& st = **single_;
            int p = 1;
            for (const std::string* text : {&list.branch, &list.budget, &list.sequence, &number,
                                            &treatment, &name, &rg, &std::as_const(nameKey)})
                st.BindKeptText(p++, *text);
            if (rgKey)
                st.BindKeptText(p++, *rgKey);
            else
                st.BindNull(p++);
            st.Bind(p, version);
            struct ResetAfterRun {
                storage::Statement& st;
                ~ResetAfterRun() { st.Reset(); }
            } resetAfterRun{st};
            return st.Execute() == 1;
        }
        Keys& keys = keysOf(list);
        if (keys.names.count(nameKey) || (rgKey && keys.rgs.count(*rgKey))) return false;
        guarded([&] {
            if (!copy_)
                copy_ = connection_.CopyInto("LISTACONVOREV", storage::GuestInsertColumns());
            storage::CopyIn& row = *copy_;
            for (const std::string* part : {&list.branch, &list.budget, &list.sequence, &number})
                row.Cell(*part);
            const Guest& g = importedGuest();
            for (std::size_t field : kValues) {
                if (field == kTreatment)
                    row.Cell(treatment);
                else if (field == kName)
                    row.Cell(name);
                else if (field == kRg)
                    row.Cell(rg);
                else if (IsText(field))
                    row.Cell(g.texts[field]);
                else
                    row.Cell(importedQuantityText());
            }
            row.Cell(nameKey);
            row.Cell(rgKey);
            row.Cell(importedInscriptionKey());
            row.Cell(importedOrderKey());
            row.Cell(std::to_string(version));
            row.EndRow();
        });
        keys.names.insert(std::move(nameKey));
        if (rgKey) keys.rgs.insert(std::move(*rgKey));
        ++sent_;
        return true;
    }

    // Ends the copy: every line streamed must be stored.
    void Finish() {
        if (!copy_) return;
        std::int64_t stored = 0;
        guarded([&] { stored = copy_->Finish(); });
        copy_.reset();
        if (stored != sent_) throw Refusal(kChangedText);
    }

private:
    static constexpr const char* kChangedText =
        "A lista de convidados mudou durante a importação; nada foi importado. Tente novamente.";

    struct Keys {
        std::unordered_set<std::string> names, rgs;
    };
    // A line the unique indexes refuse during the copy refuses the import.
    template <class F>
    static void guarded(F&& work) {
        try {
            work();
        } catch (const DatabaseError& e) {
            if (e.kind() == DatabaseError::Kind::Unique) throw Refusal(kChangedText);
            throw;
        }
    }

    Keys& keysOf(const ListKey& list) {
        auto it = keys_.find(list);
        if (it != keys_.end()) return it->second;
        Keys keys;
        auto st = connection_.Prepare(
            "SELECT NMCHAVE, RGCHAVE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? "
            "AND NRSEQORCAEVE = ?");
        st->BindAll(list.branch, list.budget, list.sequence);
        while (st->Step()) {
            keys.names.insert(st->Text(0));
            if (!st->IsNull(1)) keys.rgs.insert(st->Text(1));
        }
        return keys_.emplace(list, std::move(keys)).first->second;
    }

    storage::Connection& connection_;
    bool copying_;
    std::optional<storage::StatementHandle> single_;
    std::map<ListKey, Keys> keys_;
    std::unique_ptr<storage::CopyIn> copy_;
    std::int64_t sent_ = 0;
};

std::string listFullText(const ListKey& key) {
    return "A lista de convidados (" + describe(key) + ") já tem o máximo de " +
           std::to_string(kLastGuestNumber) + " convidados.";
}

// The version of every list a save or an import wrote to is raised in its
// transaction (docs/reception.md): a station then takes the whole list again.
void raiseVersions(storage::Connection& connection, const std::set<ListKey>& lists) {
    for (const ListKey& key : lists)
        storage::RaiseListVersion(connection, key.branch, key.budget, key.sequence, true);
}

bool sameText(const OptText& a, const OptText& b) {
    return a == b;
}

// --- GetImpPlanilha: the rows of a spreadsheet, each with its verdict ---------

// A refused row: the reason's code (what a program reads) and its text (what
// the user reads).
struct RowRefusal {
    std::string code, text;
};

// The fields a spreadsheet row may give, as the packet names them: the
// guest's stored fields of docs/import.md's columns. QUANTIDADE travels as
// the text of the cell, checked here.
constexpr std::size_t kPhone = record::IndexOf("NRTELCONVEVEN");
constexpr std::size_t kCell = record::IndexOf("NRCELCONVEVEN");
constexpr std::size_t kEmail = record::IndexOf("DSEMAILCONVEVEN");
constexpr std::size_t kCondition = record::IndexOf("IDCONDICAOCONVEV");
constexpr std::size_t kType = record::IndexOf("IDTIPOCONVEVEN");
constexpr std::size_t kContract = record::IndexOf("IDEXIBECONVCONTRAT");
constexpr std::array<std::size_t, 10> kSheetTexts = {
    kName, kRg, kInscription, kPhone, kCell, kEmail, kCondition, kType, kContract, kOrder};

// A coded field's code for `text`: the word the guest list shows or the
// stored code, compared without case and accents ("noiva", "NOIVA", "Sim",
// "s"); none when it is neither.
template <std::size_t N>
std::optional<std::string> codeOf(const std::array<record::Code, N>& codes,
                                  const std::string& text) {
    const std::string folded = storage::FoldName(text);
    for (const record::Code& c : codes) {
        if (folded == storage::FoldName(c.word) || folded == storage::FoldName(c.code))
            return std::string(c.code);
    }
    return std::nullopt;
}

// An inscription as the list keeps it: a CPF (11 digits) or a CNPJ (14), its
// mask ("123.456.789-01", "12.345.678/0001-90") dropped.
std::optional<std::string> inscriptionDigits(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c != '.' && c != '-' && c != '/' && c != ' ') {
            return std::nullopt;
        }
    }
    if (digits.size() != 11 && digits.size() != 14) return std::nullopt;
    return digits;
}

// The quantity a cell gives: a whole or decimal number ("3", "2,0", "2.5")
// from 0 to 99,999.
std::optional<double> quantityOf(const std::string& text) {
    std::string number = text;
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() ||
        !record::QuantityInRange(value))
        return std::nullopt;
    return value;
}

// The keys of a list that its unique indexes compare, and the file's line
// that took each one first (0 for the list's own guests).
struct SheetKeys {
    std::map<std::string, long> names, rgs, inscriptions, orders;
};

SheetKeys readListKeys(storage::Connection& connection, const ListKey& list) {
    SheetKeys keys;
    auto st = connection.Prepare(
        "SELECT NMCHAVE, RGCHAVE, INSCCHAVE, ORDEMCHAVE FROM LISTACONVOREV WHERE CDFILIAL = ? "
        "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
    st->BindAll(list.branch, list.budget, list.sequence);
    while (st->Step()) {
        keys.names.emplace(st->Text(0), 0);
        if (!st->IsNull(1)) keys.rgs.emplace(st->Text(1), 0);
        if (!st->IsNull(2)) keys.inscriptions.emplace(st->Text(2), 0);
        if (!st->IsNull(3)) keys.orders.emplace(st->Text(3), 0);
    }
    return keys;
}

// A row of the spreadsheet judged: the guest it would add, or why not.
struct SheetRow {
    std::string line;
    Guest guest;
    std::optional<RowRefusal> refusal;
};

// The checks of one row on its own (not against the list), in the order the
// user fixes them; fills the guest's stored values.
std::optional<RowRefusal> checkSheetRow(const std::array<OptText, record::kFieldCount>& cells,
                                        const OptText& quantityCell, Guest& g) {
    for (std::size_t field : kSheetTexts) {
        if (!cells[field]) continue;
        const record::Field& column = record::kFields[field];
        const std::string stored = storedText(field, *cells[field]);
        if (corvana::hasControlChar(stored))
            return RowRefusal{"CARACTERE_CONTROLE", record::ControlCharacterRule(column)};
        if (storage::HasDirectionControl(stored))
            return RowRefusal{"DIRECAO_TEXTO", record::DirectionControlRule(column)};
        // Blank cells keep the field's placeholder.
        if (!corvana::trimBlanks(stored).empty()) g.texts[field] = stored;
    }
    if (g.name().empty()) return RowRefusal{"NOME_VAZIO", "nome vazio."};
    const std::size_t nameLength = corvana::utf8Length(*g.texts[kName]);
    const std::size_t nameSize = static_cast<std::size_t>(record::kFields[kName].size);
    if (nameLength > nameSize)
        return RowRefusal{"NOME_LONGO", "nome com mais de " + std::to_string(nameSize) +
                                            " caracteres (" + std::to_string(nameLength) + ")."};
    if (cells[kInscription] && !corvana::trimBlanks(*cells[kInscription]).empty()) {
        const auto digits = inscriptionDigits(corvana::trimBlanks(*cells[kInscription]));
        if (!digits)
            return RowRefusal{"INSCRICAO_INVALIDA",
                              "inscrição inválida: um CPF tem 11 dígitos e um CNPJ 14."};
        g.texts[kInscription] = *digits;
    }
    if (quantityCell && !corvana::trimBlanks(*quantityCell).empty()) {
        const auto quantity = quantityOf(corvana::trimBlanks(*quantityCell));
        if (!quantity)
            return RowRefusal{"QUANTIDADE_INVALIDA",
                              "quantidade inválida: " + record::QuantityRule()};
        g.quantity = quantity;
    }
    if (cells[kCondition] && g.texts[kCondition] != record::kFields[kCondition].placeholder) {
        const auto code = codeOf(record::kConditions, *g.texts[kCondition]);
        if (!code)
            return RowRefusal{"CONDICAO_INVALIDA",
                              "condição inválida: Noivo, Noiva, Debutante, Representante ou "
                              "vazia."};
        g.texts[kCondition] = *code;
    }
    if (cells[kType] && g.texts[kType] != record::kFields[kType].placeholder) {
        const auto code = codeOf(record::kTypes, *g.texts[kType]);
        if (!code) return RowRefusal{"TIPO_INVALIDO", "tipo inválido: Normal ou Especial."};
        g.texts[kType] = *code;
    }
    if (cells[kContract] && g.texts[kContract] != record::kFields[kContract].placeholder) {
        const auto code = codeOf(record::kYesNo, *g.texts[kContract]);
        if (!code) return RowRefusal{"CONTRATO_INVALIDO", "contrato inválido: Sim ou Não."};
        g.texts[kContract] = *code;
    }
    if (cells[kOrder] && g.texts[kOrder] != record::kFields[kOrder].placeholder) {
        const std::string& order = *g.texts[kOrder];
        if (order.empty() || order.size() > 2 ||
            !std::all_of(order.begin(), order.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return RowRefusal{"ORDEM_INVALIDA", "ordem no contrato inválida: um número de 1 a 99."};
    }
    for (std::size_t field : kSheetTexts) {
        if (!g.texts[field]) continue;
        const std::size_t length = corvana::utf8Length(*g.texts[field]);
        const record::Field& column = record::kFields[field];
        if (length > static_cast<std::size_t>(column.size))
            return RowRefusal{"CAMPO_LONGO", "o campo " + std::string(column.label) + " tem " +
                                                 std::to_string(length) +
                                                 " caracteres; o máximo é " +
                                                 std::to_string(column.size) + "."};
    }
    return std::nullopt;
}

// A key of the row already on the list, or taken by an earlier line of the
// file; else the row's keys are taken.
std::optional<RowRefusal> checkSheetKeys(SheetKeys& keys, const Guest& g, long line) {
    struct Key {
        std::map<std::string, long>* taken;
        std::optional<std::string> value;
        const char* listCode;
        const char* listText;
        const char* fileCode;
        const char* fileText;
    };
    const Key all[] = {
        {&keys.names, storage::GuestNameKey(g.texts[kName].value_or("")), "NOME_NA_LISTA",
         "nome já na lista.", "NOME_REPETIDO", "nome repetido no arquivo"},
        {&keys.rgs, storage::GuestDocumentKey(g.texts[kRg].value_or("")), "RG_NA_LISTA",
         "R.G. já na lista.", "RG_REPETIDO", "R.G. repetido no arquivo"},
        {&keys.inscriptions, storage::GuestDocumentKey(g.texts[kInscription].value_or("")),
         "INSCRICAO_NA_LISTA", "inscrição já na lista.", "INSCRICAO_REPETIDA",
         "inscrição repetida no arquivo"},
        {&keys.orders, storage::GuestOrderKey(g.texts[kOrder].value_or("")), "ORDEM_NA_LISTA",
         "ordem no contrato já definida para outro convidado.", "ORDEM_REPETIDA",
         "ordem no contrato repetida no arquivo"},
    };
    for (const Key& k : all) {
        if (!k.value) continue;
        const auto found = k.taken->find(*k.value);
        if (found == k.taken->end()) continue;
        if (found->second == 0) return RowRefusal{k.listCode, k.listText};
        return RowRefusal{k.fileCode, std::string(k.fileText) + " (linha " +
                                          std::to_string(found->second) + ")."};
    }
    for (const Key& k : all)
        if (k.value) k.taken->emplace(*k.value, line);
    return std::nullopt;
}

}  // namespace

Variant ApplyGuestDelta(storage::Database& db, const DataPacket& delta) {
    if (!delta.isDelta())
        throw BadRequest(
            "SetConvOrceve espera um pacote de alterações (delta), não um pacote "
            "de dados.");
    try {
        delta.validate();
    } catch (const corvana::Error& e) {
        throw BadRequest(std::string("SetConvOrceve: ") + e.what());
    }
    const GuestLayout layout = guestLayout(delta, "SetConvOrceve");

    // Each pass reads the guests it needs from the packet rather than all of
    // them being held for the call: a packet read packed holds about its
    // JSON, the guests read from it several times that.
    const std::size_t count = delta.rowCount();
    auto statusAt = [&delta](std::size_t i) {
        return delta.isPacked() ? delta.packedChanges()[i].status : delta.changes()[i].status;
    };
    auto nowAt = [&delta, &layout](std::size_t i) {
        return toStoredForm(delta.isPacked() ? readGuest(delta.packedChanges()[i].values, layout)
                                             : readGuest(delta.changes()[i].values, layout));
    };
    auto originalAt = [&delta, &layout](std::size_t i) {
        return delta.isPacked() ? readGuest(delta.packedChanges()[i].original, layout)
                                : readGuest(delta.changes()[i].original, layout);
    };
    using Status = DeltaRow::Status;

    try {
        for (std::size_t i = 0; i < count; ++i) {
            if (statusAt(i) == Status::Deleted) continue;
            const Guest now = nowAt(i);
            checkValues(now);
            if (statusAt(i) == Status::Modified) {
                const Guest original = originalAt(i);
                if (!std::all_of(kPlace.begin(), kPlace.end(), [&](std::size_t field) {
                        return sameText(now.texts[field], original.texts[field]);
                    }))
                    throw Refusal(now.label() +
                                  ": a lista e o número de um convidado não podem ser alterados.");
            }
        }

        // The lists the save writes to: of the new values for a guest
        // inserted, of the original ones otherwise (a guest never changes
        // lists); each is locked before anything of it is read.
        std::set<ListKey> written;
        auto listOf = [&layout](const auto& row) {
            return ListKey{textAt(row, layout[kBranch]).value_or(""),
                           textAt(row, layout[kBudget]).value_or(""),
                           textAt(row, layout[kSequence]).value_or("")};
        };
        for (std::size_t i = 0; i < count; ++i) {
            const bool inserted = statusAt(i) == Status::Inserted;
            if (delta.isPacked()) {
                const auto& change = delta.packedChanges()[i];
                written.insert(listOf(inserted ? change.values : change.original));
            } else {
                const auto& change = delta.changes()[i];
                written.insert(listOf(inserted ? change.values : change.original));
            }
        }

        auto connection = db.Acquire();
        storage::Transaction tx(*connection, kListWrite);
        lockLists(*connection, written);
        const GuestVersions versions(*connection, written);
        auto remove = connection->Prepare(deleteMatchingSql());
        auto insert = connection->Prepare(insertSql());

        // Deleted and modified guests leave first, each only if it is still
        // as the client read it; modified ones come back with their new
        // values under their own number. So values moved between guests in
        // one save (two guests swapping their contract orders) are checked
        // against the final list only.
        for (std::size_t i = 0; i < count; ++i) {
            if (statusAt(i) == Status::Inserted) continue;
            const Guest original = originalAt(i);
            removeMatching(*remove, original);
            if (statusAt(i) != Status::Deleted) continue;
            const ListKey key = original.list();
            storage::RecordRemovedGuest(*connection, key.branch, key.budget, key.sequence,
                                        original.texts[kNumber].value_or(""), versions.Of(key));
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (statusAt(i) != Status::Modified) continue;
            const Guest original = originalAt(i);
            insertGuest(*insert, original.list(), original.texts[kNumber].value_or(""), nowAt(i),
                        versions.Of(original.list()));
        }

        ListStates lists(*connection);
        for (std::size_t i = 0; i < count; ++i) {
            if (statusAt(i) != Status::Inserted) continue;
            const Guest now = nowAt(i);
            const ListKey key = now.list();
            ListState* list = lists.Find(key);
            if (!list)
                throw Refusal(now.label() + ": a lista de convidados (" + describe(key) +
                              ") não existe.");
            if (list->next > kLastGuestNumber) throw Refusal(listFullText(key));
            insertGuest(*insert, key, GuestNumberText(list->next), now, versions.Of(key));
            ++list->next;
        }
        raiseVersions(*connection, written);
        tx.Commit();
    } catch (const Refusal& refusal) {
        return Variant::serverError(refusal.what());
    }
    return Variant(true);
}

namespace {

// The rows an import sends: a data packet whose cells fit its fields.
void requireRows(const DataPacket& rows, const char* method, const char* what) {
    if (rows.isDelta())
        throw BadRequest(std::string(method) + " espera um pacote de dados com as linhas " + what +
                         ", não um pacote de alterações.");
    try {
        rows.validate();
    } catch (const corvana::Error& e) {
        throw BadRequest(std::string(method) + ": " + e.what());
    }
}

}  // namespace

Variant ImportGuests(storage::Database& db, const DataPacket& rows) {
    requireRows(rows, "GetImpLista", "do arquivo");
    const int branchAt = requireColumn(rows, "GetImpLista", "CDFILIAL", false);
    const int budgetAt = requireColumn(rows, "GetImpLista", "NRORCAEVENTO", false);
    const int sequenceAt = requireColumn(rows, "GetImpLista", "NRSEQORCAEVE", false);
    const int rgAt = requireColumn(rows, "GetImpLista", "NRRGLISTAOREV", false);
    const int nameAt = requireColumn(rows, "GetImpLista", "NMLISTACONVOREV", false);

    DataPacket refused({StringField("NRCONTLINHA", 10), StringField("NMLISTACONVOREV", 80),
                        StringField("NRRGLISTAOREV", 20)});
    const std::size_t nameSize = static_cast<std::size_t>(record::kFields[kName].size);
    const std::size_t rgSize = static_cast<std::size_t>(record::kFields[kRg].size);
    const std::string rgPlaceholder(record::kFields[kRg].placeholder);
    auto importAll = [&](const auto& all) {
        const std::size_t count = all.size();
        // The client sends the last line of the file first.
        auto listAt = [&](std::size_t line) {
            const auto& row = all[count - line];
            return ListKey{textAt(row, branchAt).value_or(""), textAt(row, budgetAt).value_or(""),
                           textAt(row, sequenceAt).value_or("")};
        };
        // The lists the file names, locked and looked up before the first
        // line is written; one that does not exist refuses the file when its
        // first line is reached, as it would line by line.
        std::set<ListKey> named;
        const ListKey* last = nullptr;
        for (std::size_t line = 1; line <= count; ++line) {
            ListKey rowKey = listAt(line);
            if (last && rowKey == *last) continue;
            last = &*named.insert(std::move(rowKey)).first;
        }
        auto connection = db.Acquire();
        storage::Transaction tx(*connection, kListWrite);
        lockLists(*connection, named);
        const GuestVersions versions(*connection, named);
        ImportWriter writer(*connection);
        ListStates lists(*connection);
        for (const ListKey& key : named)
            if (lists.Find(key)) writer.Prepare(key);

        ListKey key;
        ListState* list = nullptr;
        for (std::size_t line = 1; line <= count; ++line) {
            const auto& row = all[count - line];
            ListKey rowKey = listAt(line);
            if (!list || rowKey != key) {
                key = std::move(rowKey);
                list = lists.Find(key);
                if (!list)
                    throw Refusal("A lista de convidados (" + describe(key) +
                                  ") não existe; nada foi importado.");
            }
            const OptText nameCell = textAt(row, nameAt);
            const OptText rgCell = textAt(row, rgAt);
            const std::string name = storedText(kName, nameCell.value_or(""));
            const std::string rg = storedText(kRg, rgCell.value_or(""));

            bool inserted = false;
            if (!name.empty() && corvana::utf8Length(name) <= nameSize &&
                corvana::utf8Length(rg) <= rgSize && !corvana::hasControlChar(name) &&
                !corvana::hasControlChar(rg) && !storage::HasDirectionControl(name) &&
                !storage::HasDirectionControl(rg)) {
                if (list->next > kLastGuestNumber) throw Refusal(listFullText(key));
                const std::string& storedRg = rg.empty() ? rgPlaceholder : rg;
                inserted = writer.Write(key, GuestNumberText(list->next), list->treatment, name,
                                        storedRg, versions.Of(key));
                if (inserted) ++list->next;
            }
            if (!inserted) {
                auto shown = [](const std::string& text, std::size_t size) {
                    return Variant(corvana::showControlChars(corvana::utf8Truncate(text, size)));
                };
                refused.addRow({Variant(std::to_string(line)),
                                nameCell ? shown(name, 80) : Variant(),
                                rgCell ? shown(rg, rgSize) : Variant()});
            }
        }
        writer.Finish();
        raiseVersions(*connection, named);
        tx.Commit();
    };
    try {
        if (rows.isPacked())
            importAll(rows.packedRows());
        else
            importAll(rows.rows());
    } catch (const Refusal& refusal) {
        return Variant::serverError(refusal.what());
    }
    return Variant(std::move(refused));
}

Variant ImportSheet(storage::Database& db, const std::string& branch, const std::string& budget,
                    const std::string& sequence, const DataPacket& rows, bool dryRun) {
    requireRows(rows, "GetImpPlanilha", "da planilha");
    const int lineAt = requireColumn(rows, "GetImpPlanilha", "NRCONTLINHA", false);
    requireColumn(rows, "GetImpPlanilha", "NMLISTACONVOREV", false);
    // The other columns are optional: a spreadsheet gives what it has.
    std::array<int, record::kFieldCount> at;
    at.fill(-1);
    for (std::size_t field : kSheetTexts) {
        if (rows.fieldIndex(record::kFields[field].name) >= 0)
            at[field] = requireColumn(rows, "GetImpPlanilha", record::kFields[field].name, false);
    }
    const int quantityAt = rows.fieldIndex("QUANTIDADE") >= 0
                               ? requireColumn(rows, "GetImpPlanilha", "QUANTIDADE", false)
                               : -1;

    DataPacket verdicts({StringField("NRCONTLINHA", 10), StringField("IDRESULTADO", 1),
                         StringField("CDMOTIVO", 20), StringField("DSMOTIVO", 120)});
    const ListKey key{branch, budget, sequence};
    try {
        auto connection = db.Acquire();
        // A dry run reads one snapshot; an import holds the list's lock, so
        // that what it checks is what it writes against.
        storage::Transaction tx(*connection,
                                dryRun ? storage::Connection::TransactionMode::Read : kListWrite);
        std::optional<GuestVersions> versions;
        if (!dryRun) {
            lockLists(*connection, {key});
            versions.emplace(*connection, std::set<ListKey>{key});
        }
        ListStates lists(*connection);
        ListState* list = lists.Find(key);
        if (!list)
            throw Refusal("A lista de convidados (" + describe(key) +
                          ") não existe; nada foi importado.");
        SheetKeys keys = readListKeys(*connection, key);
        std::optional<storage::StatementHandle> insert;
        if (!dryRun) insert.emplace(connection->Prepare(insertSql()));

        // One row judged: added (and, but for a dry run, inserted) or refused.
        auto judge = [&](const auto& row) {
            const std::string line = textAt(row, lineAt).value_or("");
            long lineNumber = 0;
            std::from_chars(line.data(), line.data() + line.size(), lineNumber);
            std::array<OptText, record::kFieldCount> cells;
            for (std::size_t field : kSheetTexts)
                if (at[field] >= 0) cells[field] = textAt(row, at[field]);
            const OptText quantityCell = quantityAt >= 0 ? textAt(row, quantityAt) : OptText();

            Guest g = importedGuest();
            g.texts[kTreatment] = list->treatment;
            std::optional<RowRefusal> refusal = checkSheetRow(cells, quantityCell, g);
            if (!refusal) refusal = checkSheetKeys(keys, g, lineNumber > 0 ? lineNumber : 1);
            if (!refusal && list->next > kLastGuestNumber)
                refusal = RowRefusal{"LISTA_CHEIA", "a lista já tem o máximo de " +
                                                        std::to_string(kLastGuestNumber) +
                                                        " convidados."};
            if (refusal) {
                verdicts.addRow({Variant(line), Variant("R"), Variant(refusal->code),
                                 Variant(corvana::utf8Truncate(refusal->text, 120))});
                return;
            }
            if (insert)
                insertGuest(**insert, key, GuestNumberText(list->next), g, versions->Of(key));
            ++list->next;
            verdicts.addRow(
                {Variant(line), Variant("A"), Variant(std::string()), Variant(std::string())});
        };
        // The endpoint reads a call's rows packed; a packet built in the
        // server's own process holds them as values.
        if (rows.isPacked()) {
            for (const corvana::PackedRow& row : rows.packedRows()) judge(row);
        } else {
            for (const Row& row : rows.rows()) judge(row);
        }
        if (!dryRun) {
            raiseVersions(*connection, {key});
            tx.Commit();
        }
    } catch (const Refusal& refusal) {
        return Variant::serverError(refusal.what());
    }
    return Variant(std::move(verdicts));
}

}  // namespace evt::server::rdm

namespace evt::server::rdm {

std::string AddDoorGuest(storage::Connection& connection, const std::string& branch,
                         const std::string& budget, const std::string& sequence,
                         const std::string& name, const std::string& rg, int people) {
    const ListKey key{branch, budget, sequence};
    Guest g = importedGuest();
    g.texts[kName] = name;
    if (!corvana::trimBlanks(rg).empty()) g.texts[kRg] = rg;
    g.texts[record::IndexOf("IDCONVPRESEOREV")] = "S";
    g.quantity = static_cast<double>(people);
    g = toStoredForm(std::move(g));
    ListStates lists(connection);
    ListState* list = lists.Find(key);
    if (!list) throw Refusal("A lista de convidados (" + describe(key) + ") não existe.");
    g.texts[kTreatment] = list->treatment;
    checkValues(g);
    if (list->next > kLastGuestNumber) throw Refusal(listFullText(key));
    const std::string number = GuestNumberText(list->next);
    const GuestVersions versions(connection, {key});
    auto insert = connection.Prepare(insertSql());
    insertGuest(*insert, key, number, g, versions.Of(key));
    return number;
}

}  // namespace evt::server::rdm
