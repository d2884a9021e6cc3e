#include "rdm/GuestWrites.h"

#include <charconv>
#include <map>
#include <optional>

#include "RemoteDataModule.h"
#include "corvana/data/Text.h"
#include "rdm/RdmSupport.h"
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

// Branch, budget and sequence: which guest list.
struct ListKey {
    std::string branch, budget, sequence;
    auto operator<=>(const ListKey&) const = default;
};

std::string describe(const ListKey& key) {
    return "filial " + key.branch + ", orçamento " + key.budget + ", sequência " + key.sequence;
}

// A guest as a delta row carries it.
struct Guest {
    OptText branch, budget, sequence, number;
    std::array<OptText, kGuestTextColumns> texts;
    std::optional<double> quantity;

    ListKey list() const {
        return {branch.value_or(""), budget.value_or(""), sequence.value_or("")};
    }
    std::string name() const { return corvana::trimBlanks(texts[kNameColumn].value_or("")); }
    std::string label() const { return "Convidado '" + name() + "'"; }
};

// Where the guest fields are in a packet.
struct GuestLayout {
    int branch = -1, budget = -1, sequence = -1, number = -1;
    std::array<int, kGuestValueColumns.size()> values{};
};

int requireColumn(const DataPacket& packet, const char* method, const char* name, bool numeric) {
    const int index = packet.fieldIndex(name);
    if (index < 0)
        throw BadRequest(std::string(method) + ": o pacote não tem o campo " + name + ".");
    const FieldType type = packet.fields()[static_cast<std::size_t>(index)].type;
    const bool fits = numeric ? (type == FieldType::Float || type == FieldType::Integer)
                              : type == FieldType::String;
    if (!fits) {
        throw BadRequest(std::string(method) + ": o campo " + name + " deve ser do tipo " +
                         (numeric ? "float" : "string") + ", não " + corvana::fieldTypeName(type) +
                         ".");
    }
    return index;
}

GuestLayout guestLayout(const DataPacket& packet, const char* method) {
    GuestLayout layout;
    layout.branch = requireColumn(packet, method, "CDFILIAL", false);
    layout.budget = requireColumn(packet, method, "NRORCAEVENTO", false);
    layout.sequence = requireColumn(packet, method, "NRSEQORCAEVE", false);
    layout.number = requireColumn(packet, method, "NRLISTACONVOREV", false);
    for (std::size_t i = 0; i < kGuestValueColumns.size(); ++i) {
        layout.values[i] = requireColumn(packet, method, kGuestValueColumns[i].name,
                                         kGuestValueColumns[i].size == 0);
    }
    return layout;
}

// Cells were checked against their fields (validate), so a text field holds a
// string or null and the quantity a number or null.
OptText textAt(const Row& row, int index) {
    const Variant& v = row[static_cast<std::size_t>(index)];
    if (v.isNull()) return std::nullopt;
    return v.asString();
}

Guest readGuest(const Row& row, const GuestLayout& layout) {
    Guest g;
    g.branch = textAt(row, layout.branch);
    g.budget = textAt(row, layout.budget);
    g.sequence = textAt(row, layout.sequence);
    g.number = textAt(row, layout.number);
    for (std::size_t i = 0; i < kGuestTextColumns; ++i) g.texts[i] = textAt(row, layout.values[i]);
    const Variant& q = row[static_cast<std::size_t>(layout.values[kGuestTextColumns])];
    if (!q.isNull()) g.quantity = q.toDouble();
    return g;
}

// What the user must fix before anything is written: a guest without a name
// and texts longer than their columns (never cut).
void checkValues(const Guest& g) {
    if (g.name().empty())
        throw Refusal("Há um convidado sem nome na lista: informe o nome antes de gravar.");
    for (std::size_t i = 0; i < kGuestTextColumns; ++i) {
        if (!g.texts[i]) continue;
        const std::size_t length = corvana::utf8Length(*g.texts[i]);
        const auto& column = kGuestValueColumns[i];
        if (length <= static_cast<std::size_t>(column.size)) continue;
        const std::string what =
            i == static_cast<std::size_t>(kNameColumn)
                ? std::string("o nome")
                : std::string("o campo ") + column.label + " (" + column.name + ")";
        throw Refusal(g.label() + ": " + what + " tem " + std::to_string(length) +
                      " caracteres; o máximo é " + std::to_string(column.size) + ".");
    }
}

std::string guestColumnList() {
    std::string s = "CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV";
    for (const auto& c : kGuestValueColumns) s += std::string(", ") + c.name;
    return s + ", NMCHAVE, RGCHAVE, INSCCHAVE, ORDEMCHAVE";
}

// 4 key columns, 14 values, 4 server keys.
const std::string& insertSql() {
    static const std::string sql = "INSERT INTO LISTACONVOREV (" + guestColumnList() +
                                   ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                   "?, ?, ?, ?, ?, ?)";
    return sql;
}

// A line of a file that repeats a name or an R.G. of the list is skipped,
// not an error: the unique indexes decide, and changes() tells.
const std::string& importSql() {
    static const std::string sql = insertSql() + " ON CONFLICT DO NOTHING";
    return sql;
}

// Removes the stored guest only when it still holds the values the client
// last read (NULL-safe "IS" on every stored guest column).
const std::string& deleteMatchingSql() {
    static const std::string sql = [] {
        std::string s =
            "DELETE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
            "NRSEQORCAEVE = ? AND NRLISTACONVOREV = ?";
        for (const auto& c : kGuestValueColumns) s += std::string(" AND ") + c.name + " IS ?";
        return s;
    }();
    return sql;
}

void bindGuest(Statement& st, const ListKey& list, const std::string& number,
               const std::array<OptText, kGuestTextColumns>& texts,
               std::optional<double> quantity) {
    int p = 1;
    st.Bind(p++, list.branch);
    st.Bind(p++, list.budget);
    st.Bind(p++, list.sequence);
    st.Bind(p++, number);
    for (const auto& t : texts) st.Bind(p++, t);
    st.Bind(p++, quantity);
    st.Bind(p++, storage::GuestNameKey(texts[kNameColumn].value_or("")));
    st.Bind(p++, storage::GuestDocumentKey(texts[kRgColumn].value_or("")));
    st.Bind(p++, storage::GuestDocumentKey(texts[kInscriptionColumn].value_or("")));
    st.Bind(p++, storage::GuestOrderKey(texts[kOrderColumn].value_or("")));
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

void insertGuest(Statement& st, const ListKey& list, const std::string& number, const Guest& g) {
    st.Reset();
    bindGuest(st, list, number, g.texts, g.quantity);
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
    st.Bind(p++, original.branch);
    st.Bind(p++, original.budget);
    st.Bind(p++, original.sequence);
    st.Bind(p++, original.number);
    for (const auto& t : original.texts) st.Bind(p++, t);
    st.Bind(p++, original.quantity);
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

    // nullptr when the list (the budget sequence) does not exist.
    ListState* Find(const ListKey& key) {
        auto it = states_.find(key);
        if (it != states_.end()) return &it->second;
        {
            auto exists = connection_.Prepare(
                "SELECT 1 FROM ORCAEVENTOSEQ WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?");
            exists->BindAll(key.branch, key.budget, key.sequence);
            if (!exists->Step()) return nullptr;
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
            if (state.treatment.empty()) state.treatment.assign(1, '*');
        }
        return &states_.emplace(key, std::move(state)).first->second;
    }

private:
    storage::Connection& connection_;
    std::map<ListKey, ListState> states_;
};

std::string listFullText(const ListKey& key) {
    return "A lista de convidados (" + describe(key) + ") já tem o máximo de " +
           std::to_string(kLastGuestNumber) + " convidados.";
}

bool sameText(const OptText& a, const OptText& b) {
    return a == b;
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

    struct Change {
        DeltaRow::Status status;
        Guest now;       // inserted and modified
        Guest original;  // modified and deleted
    };
    std::vector<Change> changes;
    changes.reserve(delta.changes().size());
    for (const DeltaRow& row : delta.changes()) {
        Change c{row.status, {}, {}};
        if (row.status != DeltaRow::Status::Deleted) c.now = readGuest(row.values, layout);
        if (row.status != DeltaRow::Status::Inserted) c.original = readGuest(row.original, layout);
        changes.push_back(std::move(c));
    }

    try {
        for (const Change& c : changes) {
            if (c.status == DeltaRow::Status::Deleted) continue;
            checkValues(c.now);
            if (c.status == DeltaRow::Status::Modified &&
                !(sameText(c.now.branch, c.original.branch) &&
                  sameText(c.now.budget, c.original.budget) &&
                  sameText(c.now.sequence, c.original.sequence) &&
                  sameText(c.now.number, c.original.number))) {
                throw Refusal(c.now.label() +
                              ": a lista e o número de um convidado não podem ser alterados.");
            }
        }

        auto connection = db.Acquire();
        storage::Transaction tx(*connection);
        auto remove = connection->Prepare(deleteMatchingSql());
        auto insert = connection->Prepare(insertSql());

        // Deleted and modified guests leave first, each only if it is still
        // as the client read it; modified ones come back with their new
        // values under their own number. So values moved between guests in
        // one save (two guests swapping their contract orders) are checked
        // against the final list only.
        for (const Change& c : changes)
            if (c.status != DeltaRow::Status::Inserted) removeMatching(*remove, c.original);
        for (const Change& c : changes) {
            if (c.status != DeltaRow::Status::Modified) continue;
            insertGuest(*insert, c.original.list(), c.original.number.value_or(""), c.now);
        }

        ListStates lists(*connection);
        for (const Change& c : changes) {
            if (c.status != DeltaRow::Status::Inserted) continue;
            const ListKey key = c.now.list();
            ListState* list = lists.Find(key);
            if (!list)
                throw Refusal(c.now.label() + ": a lista de convidados (" + describe(key) +
                              ") não existe.");
            if (list->next > kLastGuestNumber) throw Refusal(listFullText(key));
            insertGuest(*insert, key, GuestNumberText(list->next), c.now);
            ++list->next;
        }
        tx.Commit();
    } catch (const Refusal& refusal) {
        return Variant::serverError(refusal.what());
    }
    return Variant(true);
}

Variant ImportGuests(storage::Database& db, const DataPacket& rows) {
    if (rows.isDelta())
        throw BadRequest(
            "GetImpLista espera um pacote de dados com as linhas do arquivo, não um "
            "pacote de alterações.");
    try {
        rows.validate();
    } catch (const corvana::Error& e) {
        throw BadRequest(std::string("GetImpLista: ") + e.what());
    }
    const int branchAt = requireColumn(rows, "GetImpLista", "CDFILIAL", false);
    const int budgetAt = requireColumn(rows, "GetImpLista", "NRORCAEVENTO", false);
    const int sequenceAt = requireColumn(rows, "GetImpLista", "NRSEQORCAEVE", false);
    const int rgAt = requireColumn(rows, "GetImpLista", "NRRGLISTAOREV", false);
    const int nameAt = requireColumn(rows, "GetImpLista", "NMLISTACONVOREV", false);

    DataPacket refused({StringField("NRCONTLINHA", 10), StringField("NMLISTACONVOREV", 80),
                        StringField("NRRGLISTAOREV", 20)});
    const std::size_t nameSize = static_cast<std::size_t>(kGuestValueColumns[kNameColumn].size);
    const std::size_t rgSize = static_cast<std::size_t>(kGuestValueColumns[kRgColumn].size);
    try {
        auto connection = db.Acquire();
        storage::Transaction tx(*connection);
        auto insert = connection->Prepare(importSql());
        ListStates lists(*connection);

        // The placeholders of an imported guest; the name, the R.G. and the
        // treatment change from line to line.
        std::array<OptText, kGuestTextColumns> texts;
        texts.fill(std::string(1, '*'));
        texts[5] = "N";        // IDCONVPRESEOREV
        texts[10] = "NORMAL";  // IDTIPOCONVEVEN
        texts[11] = "N";       // IDEXIBECONVCONTRAT

        const auto& all = rows.rows();
        const std::size_t count = all.size();
        ListKey key;
        ListState* list = nullptr;
        // The client sends the last line of the file first.
        for (std::size_t line = 1; line <= count; ++line) {
            const Row& row = all[count - line];
            ListKey rowKey{textAt(row, branchAt).value_or(""), textAt(row, budgetAt).value_or(""),
                           textAt(row, sequenceAt).value_or("")};
            if (!list || rowKey != key) {
                key = std::move(rowKey);
                list = lists.Find(key);
                if (!list)
                    throw Refusal("A lista de convidados (" + describe(key) +
                                  ") não existe; nada foi importado.");
            }
            const OptText nameCell = textAt(row, nameAt);
            const OptText rgCell = textAt(row, rgAt);
            const std::string name = corvana::trimBlanks(nameCell.value_or(""));
            const std::string rg = corvana::trimBlanks(rgCell.value_or(""));

            bool inserted = false;
            if (!name.empty() && corvana::utf8Length(name) <= nameSize &&
                corvana::utf8Length(rg) <= rgSize) {
                if (list->next > kLastGuestNumber) throw Refusal(listFullText(key));
                texts[0] = list->treatment;
                texts[kNameColumn] = name;
                texts[kRgColumn] = rg.empty() ? std::string("*") : rg;
                insert->Reset();
                bindGuest(*insert, key, GuestNumberText(list->next), texts, 1.0);
                inserted = insert->Execute() == 1;
                if (inserted) ++list->next;
            }
            if (!inserted) {
                refused.addRow({Variant(std::to_string(line)),
                                nameCell ? Variant(corvana::utf8Truncate(name, 80)) : Variant(),
                                rgCell ? Variant(corvana::utf8Truncate(rg, rgSize)) : Variant()});
            }
        }
        tx.Commit();
    } catch (const Refusal& refusal) {
        return Variant::serverError(refusal.what());
    }
    return Variant(std::move(refused));
}

}  // namespace evt::server::rdm
