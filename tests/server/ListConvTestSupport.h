#pragma once
// Shared by the tests of evt07800.rdmListConv: a server over a few branches,
// clients and budgets, and builders for the guest rows and deltas a screen
// sends.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ServerFixture.h"
#include "corvana/data/DataPacket.h"
#include "guestrecord/GuestRecord.h"

namespace listconv_test {

using corvana::DataPacket;
using corvana::DeltaRow;
using corvana::FieldDef;
using corvana::FieldType;
using corvana::Row;
using corvana::Variant;
using Values = std::initializer_list<std::pair<const char*, Variant>>;

struct ListId {
    std::string branch, budget, sequence;
};

// The fields of the guest packet, in the order GetConvOrceve answers them.
inline std::vector<FieldDef> GuestFields() {
    return evt::guestrecord::PacketFields();
}

// A database as a server of schema version `version` left it, for the tests
// of an upgrade: branch 0001 with budget 0000000007 and its `sequences`,
// then `guests`, the LISTACONVOREV rows in that version's columns.
inline void WriteOlderDatabase(const std::string& location, int version,
                               std::initializer_list<const char*> sequences,
                               const std::string& guests) {
    std::string sql =
        "INSERT INTO FILIAL VALUES ('0001', 'Matriz');"
        "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO) VALUES ('0001', '0000000007');";
    for (const char* sequence : sequences)
        sql += std::string("INSERT INTO ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) ") +
               "VALUES ('0001', '0000000007', '" + sequence + "');";
    evt::server::storage::Database::OpenOptions options;
    options.schemaVersion = version;
    evt::server::storage::Database::Open(location, options)->Acquire()->ExecuteScript(sql + guests);
}

inline Row With(Row row, Values values) {
    const DataPacket probe(GuestFields());
    for (const auto& [field, value] : values)
        row[static_cast<std::size_t>(probe.requireField(field))] = value;
    return row;
}

// A new guest as a screen sends it: the placeholders, the name, treatment
// "Sr.", quantity 1 and the list key from `list`; no list number yet, nothing
// of a client.
inline Row NewGuest(const ListId& list, const std::string& name, Values values = {}) {
    Row row;
    for (const evt::guestrecord::Field& f : evt::guestrecord::kFields)
        row.push_back(f.placeholder.empty() ? Variant() : Variant(std::string(f.placeholder)));
    row = With(std::move(row), {{"IDTPTRATCONVESPEC", "Sr."},
                                {"NMLISTACONVOREV", name},
                                {"QUANTIDADE", 1.0},
                                {"CDFILIAL", list.branch},
                                {"NRORCAEVENTO", list.budget},
                                {"NRSEQORCAEVE", list.sequence}});
    return With(std::move(row), values);
}

inline const Variant& Cell(const DataPacket& p, std::size_t row, const std::string& field) {
    return p.rows().at(row).at(static_cast<std::size_t>(p.requireField(field)));
}

inline std::vector<std::string> Column(const DataPacket& p, const std::string& field) {
    std::vector<std::string> values;
    for (std::size_t r = 0; r < p.rows().size(); ++r)
        values.push_back(Cell(p, r, field).toString());
    return values;
}

class Delta {
public:
    Delta& Insert(Row values) { return Add({DeltaRow::Status::Inserted, std::move(values), {}}); }
    Delta& Modify(Row original, Row values) {
        return Add({DeltaRow::Status::Modified, std::move(values), std::move(original)});
    }
    Delta& Delete(Row original) {
        return Add({DeltaRow::Status::Deleted, {}, std::move(original)});
    }
    Variant Packet() const { return Variant(packet_); }

private:
    Delta& Add(DeltaRow change) {
        packet_.addChange(std::move(change));
        return *this;
    }
    DataPacket packet_{GuestFields(), DataPacket::Kind::Delta};
};

// A server over branches 0001 and 0002, three clients and these budgets:
//   0001/0000000002 sequences 01 (80 planned) and 02 (the resulting copy, 95)
//   0001/0000000001 sequences 01 (50) and 02 (60), no resulting copy
//   0001/0000000003 no sequence, no client
//   0002/0000000009 sequence 01
class ListConvTest : public ServerFixture {
protected:
    const ListId kList{"0001", "0000000002", "01"};
    const ListId kOtherSequence{"0001", "0000000002", "02"};

    void SetUp() override {
        ServerFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec(
            "INSERT INTO FILIAL VALUES ('0001', 'Matriz'), ('0002', 'Filial Centro');"
            "INSERT INTO CLIENTE VALUES ('000010', '52998224725', 'F', 'Zélia Andrade'),"
            " ('000011', '11222333000181', 'J', 'Buffet Aurora'),"
            " ('000012', '39053344705', 'F', 'Álvaro Costa');"
            "INSERT INTO ENDECLIE VALUES ('000011', 2, 'E', '(11) 3333-2222', "
            "'entrega@aurora.com.br', '(11) 98888-2222'), ('000011', 1, 'C', '(11) 3333-1111', "
            "'contato@aurora.com.br', '(11) 98888-1111');"
            "INSERT INTO ORCAEVENTO VALUES ('0001', '0000000002', '000011', 'Casamento completo',"
            " 'Casamento', '2026-12-19T20:00:00'), ('0001', '0000000001', '000010', "
            "'Baile completo', 'Baile de Debutante', '2027-03-06T21:30:00'), ('0001', "
            "'0000000003', NULL, 'Recepção', 'Bodas de Ouro', '2026-08-01T19:00:00'), ('0002', "
            "'0000000009', '000012', 'Recepção', 'Casamento', '2026-10-10T20:00:00');"
            "INSERT INTO ORCAEVENTOSEQ VALUES ('0001', '0000000002', '01', 80, 'N'),"
            " ('0001', '0000000002', '02', 95, 'S'), ('0001', '0000000001', '02', 60, 'N'),"
            " ('0001', '0000000001', '01', 50, 'N'), ('0002', '0000000009', '01', 10, 'S');");
    }

    // Straight on the database, as another program or another user would.
    void Exec(const std::string& sql) { db->Acquire()->ExecuteScript(sql); }
    long long Count(const std::string& sql) {
        auto connection = db->Acquire();
        auto st = connection->Prepare(sql);
        return st->Step() ? st->Int(0) : -1;
    }

    DataPacket Guests(const ListId& l) {
        return Call("GetConvOrceve", {l.branch, l.budget, l.sequence}).asPacket();
    }
    void Save(const Delta& delta) {
        const Variant answer = Call("SetConvOrceve", {delta.Packet()});
        ASSERT_EQ(answer, Variant(true)) << answer.toJson();
    }
    // The refusal text of a save ("" when it was accepted).
    std::string Refusal(const Delta& delta) {
        const Variant answer = Call("SetConvOrceve", {delta.Packet()});
        return answer.isError() ? answer.errorMessage() : std::string();
    }
    void AddGuests(std::initializer_list<Row> rows) {
        Delta delta;
        for (const Row& r : rows) delta.Insert(r);
        Save(delta);
    }
};

}  // namespace listconv_test
