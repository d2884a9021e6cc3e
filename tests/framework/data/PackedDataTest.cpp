// An answer read straight into packed rows loads a dataset exactly as the
// same answer read as values does, and refuses what that refuses with the
// same message.
#include <gtest/gtest.h>

#include "corvana/data/ClientDataSet.h"
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
    const std::string twoPackets = "[" + Answer("") + "," + Answer("") + "]";
    EXPECT_EQ(Packed(twoPackets, ds), "not a packet: " + Variant::fromJson(twoPackets).toJson());
    const std::string delta =
        R"({"$packet":{"format":"corvana.datapacket","version":1,"kind":"delta",)" + kFields +
        R"("changes":[{"status":"inserted","values":["Ana",1.0,null,null,null]}]}})";
    EXPECT_EQ(Packed(delta, ds), "not a packet: " + Variant::fromJson(delta).toJson());
}

}  // namespace
