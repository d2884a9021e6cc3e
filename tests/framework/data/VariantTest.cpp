#include <gtest/gtest.h>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"

using corvana::DataPacket;
using corvana::DateTime;
using corvana::Variant;

namespace {

DataPacket smallPacket() {
    DataPacket p({{"NOME", corvana::FieldType::String, 10}, {"QTD", corvana::FieldType::Float, 0}});
    p.addRow({Variant("Ana"), Variant(2.5)});
    p.addRow({Variant(), Variant(3.0)});
    return p;
}

// The arguments of an import as the screen sends them: one packet of
// `lines` file lines, last line first.
Variant importArgs(int lines) {
    DataPacket p({{"CDFILIAL", corvana::FieldType::String, 4},
                  {"NRORCAEVENTO", corvana::FieldType::String, 10},
                  {"NRSEQORCAEVE", corvana::FieldType::String, 2},
                  {"NRRGLISTAOREV", corvana::FieldType::String, 20},
                  {"NMLISTACONVOREV", corvana::FieldType::String, 80}});
    for (int i = lines; i > 0; --i)
        p.addRow({"0001", "0000005001", "01", i % 3 ? std::to_string(10000000 + i) : "",
                  "Convidada Número " + std::to_string(i)});
    return Variant(Variant::Array{Variant(std::move(p))});
}

std::string repeated(const std::string& item, std::size_t bytes) {
    std::string out = "[" + item;
    while (out.size() + item.size() + 2 <= bytes) out += "," + item;
    return out + "]";
}

}  // namespace

TEST(Variant, StandardTextConversion) {
    EXPECT_EQ(Variant().toString(), "");
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_EQ(Variant(42).toString(), "42");
    EXPECT_EQ(Variant(2.5).toString(), "2,5");
    EXPECT_EQ(Variant(150.0).toString(), "150");
    EXPECT_EQ(Variant("José").toString(), "José");
    EXPECT_EQ(Variant(DateTime{2026, 12, 7, 19, 44, 0, 0}).toString(), "07/12/2026 19:44:00");
    EXPECT_EQ(Variant(DateTime{2026, 12, 7, 0, 0, 0, 0}).toString(), "07/12/2026");
}

TEST(Variant, KindsWithoutTextRaiseClearErrors) {
    Variant arr(Variant::Array{Variant("a"), Variant("b")});
    EXPECT_THROW(arr.toString(), corvana::Error);
    EXPECT_THROW(Variant(smallPacket()).toString(), corvana::Error);
    EXPECT_THROW(Variant::serverError("falhou").toString(), corvana::Error);
    try {
        arr.toString();
    } catch (const corvana::Error& e) {
        EXPECT_NE(std::string(e.what()).find("lista"), std::string::npos);
    }
}

TEST(Variant, ArrayIndexingFromZeroAndOutOfRange) {
    Variant arr(Variant::Array{Variant("0001"), Variant("Matriz"), Variant("ABC")});
    EXPECT_EQ(arr.arraySize(), 3u);
    EXPECT_EQ(arr[0].toString(), "0001");
    EXPECT_EQ(arr[2].toString(), "ABC");
    EXPECT_THROW(arr[3], corvana::Error);
    EXPECT_THROW(Variant("texto")[0], corvana::Error);
}

TEST(Variant, NumbersReadWithCommaOrDot) {
    EXPECT_DOUBLE_EQ(Variant("2,5").toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(Variant(" 2.5 ").toDouble(), 2.5);
    EXPECT_THROW(Variant("2,5x").toDouble(), corvana::Error);
    EXPECT_THROW(Variant("").toDouble(), corvana::Error);
    EXPECT_EQ(Variant(2.6).toInt(), 3);
}

TEST(Variant, EqualityAcrossIntAndFloatButNotText) {
    EXPECT_EQ(Variant(2), Variant(2.0));
    EXPECT_NE(Variant(2), Variant("2"));
    EXPECT_NE(Variant(), Variant(""));
    EXPECT_EQ(Variant(smallPacket()), Variant(smallPacket()));
}

TEST(Variant, JsonRoundTripOfEveryKind) {
    std::vector<Variant> values = {
        Variant(),
        Variant(false),
        Variant(std::int64_t{-9007199254740993}),
        Variant(2.0),
        Variant(0.1),
        Variant(1e300),
        Variant("aspas \" barra \\ nova\nlinha \x01 e acentos ção"),
        Variant(DateTime{2026, 2, 28, 23, 59, 59, 123}),
        Variant(Variant::Array{Variant(1), Variant::Array{Variant("x")}, Variant()}),
        Variant(smallPacket()),
        Variant::serverError("Nome já cadastrado."),
    };
    for (const auto& v : values) {
        SCOPED_TRACE(v.toJson());
        Variant back = Variant::fromJson(v.toJson());
        EXPECT_EQ(back.kind(), v.kind());
        EXPECT_EQ(back, v);
    }
}

TEST(Variant, FloatsKeepTheirKindThroughJson) {
    EXPECT_EQ(Variant(3.0).toJson(), "3.0");
    EXPECT_EQ(Variant::fromJson("3.0").kind(), Variant::Kind::Float);
    EXPECT_EQ(Variant::fromJson("3").kind(), Variant::Kind::Int);
}

TEST(Variant, InvalidUtf8IsWrittenAsReplacementCharacter) {
    Variant v(
        std::string("a\xff\xfe"
                    "b"));
    Variant back = Variant::fromJson(v.toJson());
    EXPECT_EQ(back.asString(),
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b");
}

TEST(Variant, MalformedJsonGivesClearErrors) {
    const char* bad[] = {
        "",                             // nothing
        "[1, 2",                        // cut short
        "{\"$date\": \"2026-02-30\"}",  // impossible day
        "{\"$date\": 5}",               // date not a text
        "{\"other\": 1}",               // untagged object
        "{\"$date\": \"2026-01-01\", \"$error\": \"x\"}",
        "[1] [2]",   // trailing value
        "\"\xff\"",  // not UTF-8
        "{\"$packet\": {\"format\": \"corvana.datapacket\"}}",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(Variant::fromJson(text), corvana::Error);
    }
}

TEST(Variant, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    std::string deep(200000, '[');
    EXPECT_THROW(Variant::fromJson(deep), corvana::Error);
    std::string ok = std::string(30, '[') + std::string(30, ']');
    EXPECT_NO_THROW(Variant::fromJson(ok));
}

TEST(DateTime, IsoFormsAndRejections) {
    auto d = DateTime::fromIso("2026-12-07 19:44");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->toIso(), "2026-12-07T19:44:00");
    EXPECT_TRUE(DateTime::fromIso("2024-02-29"));
    EXPECT_FALSE(DateTime::fromIso("2023-02-29"));
    EXPECT_FALSE(DateTime::fromIso("2026-12-07T25:00"));
    EXPECT_FALSE(DateTime::fromIso("07/12/2026"));
    EXPECT_FALSE(DateTime::fromIso("2026-12-07T10:00:00.5"));
}

TEST(Variant, MemoryBudgetRefusesWhatWouldHoldMoreThanIt) {
    // Eight times its JSON is room for an import...
    const Variant import = importArgs(2000);
    const std::string text = import.toJson();
    const std::size_t budget = 8 * text.size();
    EXPECT_EQ(Variant::fromJson(text, budget), import);
    // ...but not for four times the lines, nor for as much JSON of values
    // that take far more memory than text: small numbers, empty lists,
    // nested lists, a packet's one-letter rows.
    const std::string past[] = {
        importArgs(8000).toJson(),
        repeated("7", text.size()),
        repeated("[]", text.size()),
        repeated(std::string(60, '[') + std::string(60, ']'), text.size()),
        R"([{"$packet":{"format":"corvana.datapacket","version":1,"kind":"data",)"
        R"("fields":[{"name":"A","type":"string","size":1}],"rows":)" +
            repeated("[\"a\"]", text.size()) + "}}]",
    };
    for (const std::string& json : past) {
        SCOPED_TRACE(json.substr(0, 80));
        try {
            Variant::fromJson(json, budget);
            ADD_FAILURE() << "read within the budget";
        } catch (const corvana::MemoryLimitError& e) {
            EXPECT_STREQ(e.what(),
                         "Os dados exigem memória demais para serem lidos; divida-os em partes "
                         "menores.");
        }
    }
}
