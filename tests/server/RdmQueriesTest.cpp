// The read methods over HTTP: answer fields (names, types, sizes, order),
// rows, ordering and the "no row" cases.
#include <algorithm>

#include "ListConvTestSupport.h"

using namespace listconv_test;

namespace {

FieldDef S(const char* name, int size) {
    return {name, FieldType::String, size};
}
FieldDef F(const char* name) {
    return {name, FieldType::Float, 0};
}

const std::vector<FieldDef> kBudgetFields = {S("NRORCAEVENTO", 10),
                                             S("NMFANTCLIE", 50),
                                             S("NMTPSERVEVEN", 30),
                                             S("NMTIPOEVENTO", 30),
                                             {"DTEVENTO", FieldType::DateTime, 0},
                                             F("QTCONVORCEVE")};
using Texts = std::vector<std::string>;

}  // namespace

TEST_F(ListConvTest, BudgetsOfABranchInNumberOrder) {
    const DataPacket first = Call("GetOrcamento", {"0001"}).asPacket();
    EXPECT_EQ(first.fields(), std::vector<FieldDef>{S("NRORCAEVENTO", 10)});
    EXPECT_EQ(Column(first, "NRORCAEVENTO"), (Texts{"0000000001", "0000000002", "0000000003"}));
    EXPECT_EQ(Column(Call("GetOrcamento", {"0002"}).asPacket(), "NRORCAEVENTO"),
              Texts{"0000000009"});
    const DataPacket none = Call("GetOrcamento", {"0009"}).asPacket();
    EXPECT_EQ(none.fields(), first.fields());
    EXPECT_TRUE(none.rows().empty());
}

TEST_F(ListConvTest, BudgetAndSequenceSummaries) {
    const DataPacket budget = Call("GetOrca", {"0001", "0000000002"}).asPacket();
    EXPECT_EQ(budget.fields(), kBudgetFields);
    ASSERT_EQ(budget.rows().size(), 1u);
    EXPECT_EQ(budget.rows()[0],
              (Row{"0000000002", "Buffet Aurora", "Casamento completo", "Casamento",
                   corvana::DateTime{2026, 12, 19, 20, 0, 0, 0}, 95.0}));
    // Without a resulting copy the lowest sequence counts, though stored last.
    EXPECT_EQ(Cell(Call("GetOrca", {"0001", "0000000001"}).asPacket(), 0, "QTCONVORCEVE"),
              Variant(50.0));
    const DataPacket bare = Call("GetOrca", {"0001", "0000000003"}).asPacket();
    EXPECT_TRUE(Cell(bare, 0, "QTCONVORCEVE").isNull());
    EXPECT_TRUE(Cell(bare, 0, "NMFANTCLIE").isNull());
    EXPECT_TRUE(Call("GetOrca", {"0001", "0000000099"}).asPacket().rows().empty());
    EXPECT_TRUE(Call("GetOrca", {"0001", "0000000009"}).asPacket().rows().empty());  // of 0002

    const DataPacket seq = Call("GetSequencial", {"0001", "0000000002", "01"}).asPacket();
    auto fields = kBudgetFields;
    fields.push_back(S("CDFILIAL", 4));
    fields.push_back(S("NRSEQORCAEVE", 2));
    EXPECT_EQ(seq.fields(), fields);
    ASSERT_EQ(seq.rows().size(), 1u);
    EXPECT_EQ(Cell(seq, 0, "QTCONVORCEVE"), Variant(80.0));  // its own, not the result's
    EXPECT_EQ(Cell(seq, 0, "CDFILIAL"), Variant("0001"));
    EXPECT_EQ(Cell(seq, 0, "NRSEQORCAEVE"), Variant("01"));
    EXPECT_TRUE(Call("GetSequencial", {"0001", "0000000002", "03"}).asPacket().rows().empty());
    EXPECT_TRUE(Call("GetSequencial", {"0001", "0000000003", "01"}).asPacket().rows().empty());
}

TEST_F(ListConvTest, GuestListWithTheLinkedClientInNumberOrder) {
    AddGuests(
        {NewGuest(
             kList, "Carla Dias",
             {{"CDCLIENTELISTCONV", "000011"}, {"NRTELCONVEVEN", Variant()}, {"QUANTIDADE", 2.0}}),
         NewGuest(kList, "Ana Souza"), NewGuest(kOtherSequence, "Bruno Lima")});
    const DataPacket list = Guests(kList);
    EXPECT_EQ(list.fields(), GuestFields());
    EXPECT_EQ(Column(list, "NMLISTACONVOREV"), (Texts{"Carla Dias", "Ana Souza"}));
    EXPECT_EQ(list.rows()[0], (Row{"Sr.",    "000011",
                                   "*",      "Carla Dias",
                                   "*",      "N",
                                   "*",      Variant(),
                                   "*",      "*",
                                   "NORMAL", "N",
                                   "*",      "Buffet Aurora",
                                   "J",      "11222333000181",
                                   "0001",   "0000000002",
                                   "00001",  2.0,
                                   "01"}));
    EXPECT_EQ(Cell(list, 0, "QUANTIDADE").kind(), Variant::Kind::Float);
    for (const char* client : {"NMFANTCLIE", "IDTPIJURCLIE", "NRINSJURCLIE"})
        EXPECT_TRUE(Cell(list, 1, client).isNull()) << client;
    EXPECT_EQ(Cell(list, 1, "NRLISTACONVOREV"), Variant("00002"));
    EXPECT_EQ(Column(Guests(kOtherSequence), "NRLISTACONVOREV"), Texts{"00001"});
    EXPECT_TRUE(Guests({"0001", "0000000002", "07"}).rows().empty());

    // The endpoint's answer is written straight from the query: the same
    // text as the answer built as values, nulls, floats and accents alike.
    evt::server::RdmListConv rdm(db);
    for (const std::vector<Variant>& args :
         {std::vector<Variant>{kList.branch, kList.budget, kList.sequence},
          std::vector<Variant>{"0001", "0000005000", "01"},
          std::vector<Variant>{"0001", "x", "01"}}) {
        const auto written = rdm.CallJson("GetConvOrceve", args);
        EXPECT_EQ(written.text, rdm.Call("GetConvOrceve", args).toJson());
        EXPECT_FALSE(written.refusal);
    }
}

TEST_F(ListConvTest, ClientsAndTheirAddressRecords) {
    const std::vector<FieldDef> fields = {S("CDCLIENTE", 21), S("NRINSJURCLIE", 20),
                                          S("IDTPIJURCLIE", 1), S("NMFANTCLIE", 50)};
    const DataPacket all = Call("GetCliente", {"T"}).asPacket();
    EXPECT_EQ(all.fields(), fields);
    const Texts names = Column(all, "NMFANTCLIE");
    EXPECT_EQ(names.size(), 3u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    const DataPacket one = Call("GetCliente", {"11222333000181"}).asPacket();
    ASSERT_EQ(one.rows().size(), 1u);
    EXPECT_EQ(one.rows()[0], (Row{"000011", "11222333000181", "J", "Buffet Aurora"}));
    // Only the stored form matches; the empty text finds nobody.
    EXPECT_TRUE(Call("GetCliente", {"11.222.333/0001-81"}).asPacket().rows().empty());
    EXPECT_EQ(Call("GetCliente", {""}).asPacket(), DataPacket(fields));

    const DataPacket addresses = Call("GetEndeClie", {"000011"}).asPacket();
    EXPECT_EQ(
        addresses.fields(),
        (std::vector<FieldDef>{F("ORDEM"), S("IDTPENDECLIE", 1), S("NRTELECLIE", 25),
                               S("DSEMAILCLIE", 50), S("NRCELULARCLI", 25), S("CDCLIENTE", 21)}));
    EXPECT_EQ(Column(addresses, "DSEMAILCLIE"),
              (Texts{"contato@aurora.com.br", "entrega@aurora.com.br"}));
    EXPECT_EQ(Cell(addresses, 1, "ORDEM").kind(), Variant::Kind::Float);
    EXPECT_TRUE(Call("GetEndeClie", {"000010"}).asPacket().rows().empty());
}

TEST_F(ListConvTest, NameAndRgChecksLeaveTheGuestItselfOut) {
    AddGuests({NewGuest(kList, "José da Silva", {{"NRRGLISTAOREV", "12.345.678-9"}}),
               NewGuest(kList, "Maria Souza"),
               NewGuest(kList, "Pedro Lima", {{"NRRGLISTAOREV", ""}}),
               NewGuest(kOtherSequence, "Rita Lopes")});
    const std::vector<FieldDef> nameFields{S("CDFILIAL", 4), S("NMLISTACONVOREV", 50),
                                           S("NRORCAEVENTO", 10)};
    const std::vector<FieldDef> rgFields{S("CDFILIAL", 4), S("NRORCAEVENTO", 10),
                                         S("NMLISTACONVOREV", 80)};
    auto check = [&](const std::string& name, const std::string& guest, const std::string& rg) {
        const Variant v = Call("GetVd_Nome", {"0001", "0000000002", name, guest, rg, "01"});
        EXPECT_EQ(v.arraySize(), 2u);
        return v;
    };
    // Nobody found: an element is a packet of its fields without rows, never null.
    auto nobody = [&](const Variant& element, const std::vector<FieldDef>& fields) {
        return element.isPacket() && element.asPacket() == DataPacket(fields);
    };
    const Variant byName = check(" josé DA SILVA ", "99999", "*");
    ASSERT_TRUE(byName[0].isPacket());
    EXPECT_EQ(byName[0].asPacket().fields(), nameFields);
    EXPECT_EQ(byName[0].asPacket().rows(),
              (std::vector<Row>{{"0001", "José da Silva", "0000000002"}}));
    EXPECT_TRUE(nobody(byName[1], rgFields));  // no R.G. given
    // Accents count no more than case.
    EXPECT_EQ(Column(check("JOSE DA SILVA", "99999", "*")[0].asPacket(), "NMLISTACONVOREV"),
              Texts{"José da Silva"});
    EXPECT_TRUE(nobody(check("JOSÉ DA SILVA", "00001", "*")[0], nameFields));  // the guest itself
    EXPECT_TRUE(nobody(check("Rita Lopes", "99999", "*")[0], nameFields));     // another list

    const Variant byRg = check("Novo Convidado", "99999", "123456789");  // without the mask
    EXPECT_TRUE(nobody(byRg[0], nameFields));
    ASSERT_TRUE(byRg[1].isPacket());
    EXPECT_EQ(byRg[1].asPacket().fields(), rgFields);
    EXPECT_EQ(Column(byRg[1].asPacket(), "NMLISTACONVOREV"), Texts{"José da Silva"});
    EXPECT_TRUE(nobody(check("José da Silva", "00001", "12.345.678-9")[1], rgFields));
    // "*" and "" are no R.G., though guests carry them.
    EXPECT_TRUE(nobody(check("X", "99999", "*")[1], rgFields));
    EXPECT_TRUE(nobody(check("X", "99999", "")[1], rgFields));
}

TEST_F(ListConvTest, InscriptionAndContractOrderChecks) {
    AddGuests({NewGuest(kList, "Zélia Andrade",
                        {{"NRINSJURCLILISCONV", "529.982.247-25"}, {"NRORDEMEXIBCONTRAT", "1"}}),
               NewGuest(kList, "Maria Souza")});
    auto free = [&](const std::string& inscription, const std::string& guest,
                    const char* seq = "01") {
        const Variant v = Call("GetInscJCad", {"0001", "0000000002", seq, inscription, guest});
        EXPECT_EQ(v.kind(), Variant::Kind::Bool);
        return v.toBool();
    };
    EXPECT_FALSE(free("52998224725", "99999"));
    EXPECT_FALSE(free("52998224725", "00002"));
    EXPECT_TRUE(free("52998224725", "00001"));        // the bearer itself
    EXPECT_TRUE(free("52998224725", "99999", "02"));  // another list
    EXPECT_TRUE(free("", "99999"));
    EXPECT_TRUE(free("*", "99999"));  // Maria's placeholder is no inscription

    auto order = [&](const std::string& value, const std::string& previousName,
                     const char* seq = "01") {
        return Call("GetVdOrdem", {"0001", "0000000002", seq, value, previousName}).asString();
    };
    EXPECT_EQ(order("1", "Maria Souza"), "EXISTE");
    EXPECT_EQ(order("01", ""), "EXISTE");  // "01" and "1" are one order
    EXPECT_EQ(order("1", " ZÉLIA ANDRADE "), "");
    EXPECT_EQ(order("2", "Maria Souza"), "");
    EXPECT_EQ(order("*", "Maria Souza"), "");
    EXPECT_EQ(order("", "Maria Souza"), "");
    EXPECT_EQ(order("1", "Maria Souza", "02"), "");
}
