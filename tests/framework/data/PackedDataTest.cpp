// An answer read straight into packed rows loads a dataset exactly as the
// same answer read as values does, and refuses what that refuses with the
// same message; so do a call's arguments read as the server reads them.
#include <gtest/gtest.h>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "corvana/data/PackedRow.h"

using corvana::ClientDataSet;
using corvana::DataPacket;
using corvana::FieldType;
using corvana::PackedData;
using corvana::Variant;

namespace {

const std::string kFields =
    R"("fields":[{"name":"NOME","type":"string","size":5},{"name":"QTD","type":"float","size":0},)"
    R"({"name":"DATA","type":"datetime","size":0},{"name":"ATIVO","type":"boolean","size":0},)"
    R"({"name":"ORDEM","type":"integer","size":0}],)";

std::string Answer(const std::string& rows) {
    return R"({"$packet":{"format":"corvana.datapacket","version":1,"kind":"data",)" + kFields +
           R"("rows":[)" + rows + "]}}";
}

// What each way of reading gives: the dataset's rows, or the error.
std::string ByValues(const std::string& json, ClientDataSet& ds) {
    try {
        ds.SetData(Variant::fromJson(json));
        return ds.Data().toJson();
    } catch (const corvana::Error& e) {
        return e.what();
    }
}

std::string Packed(const std::string& json, ClientDataSet& ds) {
    try {
        Variant other;
        std::optional<PackedData> rows = PackedData::fromAnswerJson(json, other);
        if (!rows) return "not a packet: " + other.toJson();
        ds.SetData(std::move(*rows));
        return ds.Data().toJson();
    } catch (const corvana::Error& e) {
        return e.what();
    }
}

TEST(PackedData, LoadsAndRefusesAsTheAnswerReadAsValues) {
    const std::string answers[] = {
        Answer(R"(["Ana",2,"2026-12-19T20:00:00",true,7],["Bruno",null,null,null,null],)"
               R"(["Conceição",2.5,"2026-01-01",false,-1])"),
        Answer(""),
        Answer(R"(["Ana",2,"2026-12-19",true])"),                   // a cell short
        Answer(R"(["Ana",2,"2026-12-19",true,7,8])"),               // a cell over
        Answer(R"(["Ana","2","2026-12-19",true,7])"),               // text in a float column
        Answer(R"(["Ana",2,"2026-02-30",true,7])"),                 // no such day
        Answer(R"(["Ana",2,"2026-12-19",1,7])"),                    // number in a boolean column
        Answer(R"(["Ana",2,"2026-12-19",true,7.5])"),               // float in an integer column
        Answer(R"(["Ana",2,"2026-12-19",true,[7]])"),               // a list in a cell
        Answer(R"(["Ana",2,"2026-12-19",true,7])").substr(0, 200),  // cut short
    };
    for (const std::string& json : answers) {
        SCOPED_TRACE(json);
        for (bool declared : {false, true}) {
            // Declared fields in another order than the packet's, and a name
            // column narrower in the packet than "Conceição": cut to 5.
            ClientDataSet byValues, packed;
            if (declared) {
                for (ClientDataSet* ds : {&byValues, &packed}) {
                    ds->AddField("ORDEM", FieldType::Integer);
                    ds->AddField("NOME", FieldType::String, 5);
                    ds->AddField("QTD", FieldType::Float);
                }
            }
            EXPECT_EQ(Packed(json, packed), ByValues(json, byValues));
        }
    }

    // Answers that are not a data packet come back as what they are.
    ClientDataSet ds;
    EXPECT_EQ(Packed(R"({"$error":"Convidado já existe."})", ds),
              "not a packet: {\"$error\":\"Convidado já existe.\"}");
    // In an array (a list's changes: version, whole or not, guests,
    // numbers removed) the first packet of rows is read packed and its place
    // holds null; the rest is read as values.
    const std::string rows = R"(["Ana",2,"2026-12-19T20:00:00",true,7])";
    const std::string inArray = "[7," + Answer(rows) + "," + Answer("") + "]";
    Variant rest;
    std::optional<PackedData> first = PackedData::fromAnswerJson(inArray, rest);
    ASSERT_TRUE(first && first->readyToLoad);
    ClientDataSet byValues;
    byValues.SetData(Variant::fromJson(Answer(rows)));
    ds.SetData(std::move(*first));
    EXPECT_EQ(ds.Data().toJson(), byValues.Data().toJson());
    EXPECT_EQ(rest.toJson(), "[7,null," + Variant::fromJson(Answer("")).toJson() + "]");
    const std::string delta =
        R"({"$packet":{"format":"corvana.datapacket","version":1,"kind":"delta",)" + kFields +
        R"("changes":[{"status":"inserted","values":["Ana",1.0,null,null,null]}]}})";
    EXPECT_EQ(Packed(delta, ds), "not a packet: " + Variant::fromJson(delta).toJson());
}

// A call's arguments read with packed rows hold the same packets as when
// read as values, deltas included, and refuse the same bodies with the same
// message; nobody reads a packed packet's rows as if it had none.
TEST(PackedData, ArgumentsReadPackedHoldAndRefuseWhatValuesDo) {
    const std::string head = R"({"$packet":{"format":"corvana.datapacket","version":1,)";
    auto delta = [&](const std::string& changes) {
        return "[" + head + R"("kind":"delta",)" + kFields + R"("changes":[)" + changes + "]}}]";
    };
    const std::string bodies[] = {
        "[\"0001\"," +
            Answer(R"(["Ana",2,"2026-12-19T20:00:00",true,7],["Bê",null,null,null,null])") + ",[" +
            Answer("") + "]]",
        // Rows before the fields, as no writer of ours sends them.
        "[" + head + R"("kind":"data","rows":[["Ana",2,null,true,7]],)" +
            kFields.substr(0, kFields.size() - 1) + "}}]",
        delta(R"({"status":"inserted","values":["Ana",1,null,null,null]},)"
              R"({"status":"modified","values":["Bia",2.5,"2026-01-01",false,1],)"
              R"("original":["Ana",1,null,null,null]},)"
              R"({"status":"deleted","original":["Cid",null,null,null,null]})"),
        delta(R"({"status":"deleted","values":["Cid",null,null,null,null]})"),
        delta(R"({"status":"modified","values":["Bia",2.5,null,false,1]})"),
        delta(R"({"status":"inserted","values":["Ana","1",null,null,null]})"),
        delta(R"({"status":"inserted","values":["Ana",1,null,null]})"),
        delta(R"({"status":"inserted","values":[]})"),
        delta(R"({"values":["Ana",1,null,null,null]})"),
    };
    auto read = [](const std::string& json, Variant::PacketRows rows) {
        try {
            return Variant::fromJson(json, std::size_t{1} << 20, rows);
        } catch (const corvana::Error& e) {
            return Variant::serverError(e.what());
        }
    };
    for (const std::string& json : bodies) {
        SCOPED_TRACE(json);
        const Variant values = read(json, Variant::PacketRows::Values);
        const Variant packed = read(json, Variant::PacketRows::Packed);
        EXPECT_EQ(packed.toJson(), values.toJson());
        EXPECT_EQ(packed, values);
        if (packed.isArray()) {
            for (const Variant& arg : packed.asArray()) {
                if (!arg.isPacket()) continue;
                const DataPacket& p = arg.asPacket();
                EXPECT_TRUE(p.isPacked());
                EXPECT_NO_THROW(p.validate());
                EXPECT_THROW((void)(p.isDelta() ? p.changes().size() : p.rows().size()),
                             corvana::Error);
            }
        }
    }
    EXPECT_TRUE(read(bodies[3], Variant::PacketRows::Packed).isError());
}

}  // namespace
