#include <gtest/gtest.h>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"

using corvana::DataPacket;
using corvana::DeltaRow;
using corvana::FieldType;
using corvana::Variant;

namespace {

std::vector<corvana::FieldDef> guestFields() {
    return {{"NMLISTACONVOREV", FieldType::String, 50},
            {"QUANTIDADE", FieldType::Float, 0},
            {"DTEVENTO", FieldType::DateTime, 0},
            {"ATIVO", FieldType::Boolean, 0},
            {"ORDEM", FieldType::Integer, 0}};
}

std::string expectError(const std::string& json) {
    try {
        DataPacket::fromJson(json);
    } catch (const corvana::Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no error for " << json;
    return {};
}

const char* kHeader =
    R"({"format":"corvana.datapacket","version":1,"kind":"data",)"
    R"("fields":[{"name":"A","type":"string","size":5},{"name":"B","type":"float","size":0}],)";

}  // namespace

TEST(DataPacket, ListPacketRoundTrip) {
    DataPacket p(guestFields());
    p.addRow({Variant("José da Silva"), Variant(1.5),
              Variant(corvana::DateTime{2026, 5, 1, 20, 0, 0, 0}), Variant(true), Variant(3)});
    p.addRow({Variant(), Variant(), Variant(), Variant(), Variant()});
    DataPacket back = DataPacket::fromJson(p.toJson());
    EXPECT_EQ(back, p);
    EXPECT_EQ(back.fieldIndex("nmlistaconvorev"), 0);
    EXPECT_EQ(back.rows()[0][2].kind(), Variant::Kind::DateTime);
}

TEST(DataPacket, DeltaRoundTripKeepsStatusAndOriginals) {
    DataPacket d(guestFields(), DataPacket::Kind::Delta);
    Variant n;
    d.addChange({DeltaRow::Status::Inserted, {Variant("Ana"), n, n, n, n}, {}});
    d.addChange({DeltaRow::Status::Modified,
                 {Variant("Bia"), Variant(2.0), n, n, n},
                 {Variant("Beatriz"), Variant(2.0), n, n, n}});
    d.addChange({DeltaRow::Status::Deleted, {}, {Variant("Caio"), n, n, n, n}});
    DataPacket back = DataPacket::fromJson(d.toJson());
    ASSERT_TRUE(back.isDelta());
    EXPECT_EQ(back, d);
    EXPECT_EQ(back.changes()[1].original[0].asString(), "Beatriz");
}

TEST(DataPacket, IntegerValuesInFloatColumnsBecomeFloats) {
    DataPacket p = DataPacket::fromJson(std::string(kHeader) + R"("rows":[["x",3]]})");
    EXPECT_EQ(p.rows()[0][1].kind(), Variant::Kind::Float);
}

TEST(DataPacket, RowsAndCellsMustFitTheFields) {
    DataPacket p(guestFields());
    EXPECT_THROW(p.addRow({Variant("só um")}), corvana::Error);
    EXPECT_THROW(p.addRow({Variant(1), Variant(), Variant(), Variant(), Variant()}),
                 corvana::Error);
    EXPECT_NE(expectError(std::string(kHeader) + R"("rows":[["x"]]})").find("linha 1"),
              std::string::npos);
    EXPECT_NE(expectError(std::string(kHeader) + R"("rows":[["x",1],[2,1]]})").find("campo A"),
              std::string::npos);
}

TEST(DataPacket, MalformedEnvelopesGiveClearErrors) {
    const std::string cases[] = {
        R"({"format":"corvana.datapacket","version":2,"kind":"data","fields":[],"rows":[]})",
        R"({"format":"outro","version":1,"kind":"data","fields":[],"rows":[]})",
        R"({"version":1,"kind":"data","fields":[],"rows":[]})",
        R"({"format":"corvana.datapacket","version":1,"kind":"data","rows":[]})",
        R"({"format":"corvana.datapacket","version":1,"kind":"data",)"
        R"("fields":[{"name":"A","type":"blob"}],"rows":[]})",
        R"({"format":"corvana.datapacket","version":1,"kind":"data",)"
        R"("fields":[{"name":"A","type":"string"},{"name":"A","type":"string"}],"rows":[]})",
        R"({"format":"corvana.datapacket","version":1,"kind":"data",)"
        R"("fields":[],"rows":[],"extra":1})",
        R"({"format":"corvana.datapacket","version":1,"kind":"delta","fields":[],"rows":[]})",
        R"({"format":"corvana.datapacket","version":1,"kind":"delta",)"
        R"("fields":[{"name":"A","type":"string"}],"changes":[{"status":"deleted"}]})",
        R"({"format":"corvana.datapacket","version":1,"kind":"delta",)"
        R"("fields":[{"name":"A","type":"string"}],"changes":[{"status":"moved","values":["x"]}]})",
        std::string(kHeader) + R"("rows":[[["nested"],1]]})",
        std::string(kHeader) + R"("rows":[["x",1]])",
        "[]",
        "nada",
    };
    for (const auto& json : cases) {
        SCOPED_TRACE(json);
        std::string msg = expectError(json);
        EXPECT_FALSE(msg.empty());
    }
}

// Each field's name is checked against all before it, by a set: a packet
// of many fields cannot keep the reader busy for hours.
TEST(DataPacket, ManyFieldsReadAndARepeatedNameIsFoundInAnyCase) {
    std::string fields = R"({"format":"corvana.datapacket","version":1,"kind":"data","fields":[)";
    for (int i = 0; i < 30000; ++i)
        fields += R"({"name":"Campo)" + std::to_string(i) + R"(","type":"string","size":5},)";
    const DataPacket p =
        DataPacket::fromJson(fields + R"({"name":"Último","type":"string"}],"rows":[]})");
    ASSERT_EQ(p.fields().size(), 30001u);
    EXPECT_EQ(p.fieldIndex("campo29999"), 29999);
    EXPECT_EQ(expectError(fields + R"({"name":"CAMPO123","type":"string"}],"rows":[]})"),
              "Pacote de dados inválido: campo repetido 'CAMPO123'");
}

TEST(DataPacket, FieldLookupIsCaseInsensitive) {
    DataPacket p(guestFields());
    EXPECT_EQ(p.requireField("quantidade"), 1);
    EXPECT_EQ(p.fieldIndex("NAO_EXISTE"), -1);
    EXPECT_THROW(p.requireField("NAO_EXISTE"), corvana::Error);
}
