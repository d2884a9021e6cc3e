#include "corvana/data/Field.h"

#include <gtest/gtest.h>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/Error.h"

using namespace corvana;

namespace {

class FieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ds.AddField("Nome", FieldType::String, 5, "Nome do hóspede");
        ds.AddField("Valor", FieldType::Float);
        ds.AddField("Qtde", FieldType::Integer);
        ds.AddField("Data", FieldType::DateTime);
        DataPacket p({{"Nome", FieldType::String, 5},
                      {"Valor", FieldType::Float, 0},
                      {"Qtde", FieldType::Integer, 0},
                      {"Data", FieldType::DateTime, 0}});
        p.addRow({"Ana", 10.5, 1, Variant()});
        p.addRow({"Bia", 20.0, 2, Variant()});
        p.addRow({"Caio", Variant(), 3, Variant()});
        ds.SetData(std::move(p));
    }
    Field& nome() { return ds.FieldByName("Nome"); }
    Field& valor() { return ds.FieldByName("Valor"); }

    ClientDataSet ds;
};

}  // namespace

TEST_F(FieldTest, WritingOutsideEditStateIsRefused) {
    try {
        nome().SetAsString("Zé");
        FAIL() << "write in browse state was accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "O conjunto de dados não está em modo de edição.");
    }
    EXPECT_EQ(nome().AsString(), "Ana");
}

TEST_F(FieldTest, ReadsFollowTheEditBuffer) {
    ds.Edit();
    nome().SetAsString("Zé");
    EXPECT_EQ(nome().AsString(), "Zé");
    EXPECT_EQ(nome().ValueAt(0), Variant("Zé"));  // current row reads the buffer
    EXPECT_EQ(nome().ValueAt(1), Variant("Bia"));
    ds.Cancel();
    EXPECT_EQ(nome().AsString(), "Ana");
    EXPECT_THROW(nome().ValueAt(3), Error);
    EXPECT_THROW(nome().ValueAt(-1), Error);
}

TEST_F(FieldTest, StringLongerThanSizeIsCutByCharacters) {
    ds.Edit();
    nome().SetAsString("ÁÉÍÓÚÇ");
    EXPECT_EQ(nome().AsString(), "ÁÉÍÓÚ");
    nome().SetValue(Variant("Conceição"));
    EXPECT_EQ(nome().AsString(), "Conce");
    nome().SetAsString("ção");
    EXPECT_EQ(nome().AsString(), "ção");
}

TEST_F(FieldTest, FloatTextAcceptsCommaOrDotAndRejectsGarbage) {
    ds.Edit();
    valor().SetAsString("2,5");
    EXPECT_DOUBLE_EQ(valor().AsFloat(), 2.5);
    EXPECT_EQ(valor().AsString(), "2,5");
    valor().SetAsString(" 1234.75 ");
    EXPECT_DOUBLE_EQ(valor().AsFloat(), 1234.75);
    valor().SetAsString("");
    EXPECT_TRUE(valor().IsNull());
    EXPECT_EQ(valor().AsString(), "");
    EXPECT_DOUBLE_EQ(valor().AsFloat(), 0.0);

    valor().SetAsFloat(7.25);
    for (const char* bad : {"abc", "1,2,3", "1.234,5", "2,5x", "inf"}) {
        try {
            valor().SetAsString(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' não é um valor numérico válido.");
        }
    }
    EXPECT_DOUBLE_EQ(valor().AsFloat(), 7.25);  // a refused text leaves the value
}

TEST_F(FieldTest, OtherTypesConvertOrRefuse) {
    Field& qtde = ds.FieldByName("Qtde");
    Field& data = ds.FieldByName("Data");
    ds.Edit();
    qtde.SetAsString("42");
    EXPECT_EQ(qtde.AsInteger(), 42);
    qtde.SetValue(3.0);
    EXPECT_EQ(qtde.Value().kind(), Variant::Kind::Int);
    EXPECT_THROW(qtde.SetAsString("1,5"), Error);
    EXPECT_THROW(qtde.SetValue(2.5), Error);
    valor().SetValue(4);
    EXPECT_EQ(valor().Value().kind(), Variant::Kind::Float);

    data.SetAsString("07/12/2026 19:44");
    EXPECT_EQ(data.AsString(), "07/12/2026 19:44:00");
    data.SetAsString("2026-12-07");
    EXPECT_EQ(data.AsString(), "07/12/2026");
    EXPECT_THROW(data.SetAsString("31/02/2026"), Error);
    EXPECT_THROW(nome().SetValue(Variant(Variant::Array{1, 2})), Error);
    nome().Clear();
    EXPECT_TRUE(nome().IsNull());
}

TEST_F(FieldTest, OldValueInEachSituation) {
    // Stored and unchanged, including while an edit is not yet posted.
    EXPECT_EQ(nome().OldValue(), Variant("Ana"));
    ds.Edit();
    nome().SetAsString("Zé");
    EXPECT_EQ(nome().OldValue(), Variant("Ana"));
    ds.Post();
    // Modified since the last merge, even when edited again.
    EXPECT_EQ(nome().OldValue(), Variant("Ana"));
    ds.Edit();
    nome().SetAsString("Zeca");
    ds.Post();
    EXPECT_EQ(nome().OldValue(), Variant("Ana"));
    ds.MergeChangeLog();
    EXPECT_EQ(nome().OldValue(), Variant("Zeca"));

    // Being inserted, then inserted and not merged, then merged.
    ds.Append();
    nome().SetAsString("Novo");
    EXPECT_TRUE(nome().OldValue().isNull());
    ds.Post();
    EXPECT_TRUE(nome().OldValue().isNull());
    ds.MergeChangeLog();
    EXPECT_EQ(nome().OldValue(), Variant("Novo"));
}

TEST_F(FieldTest, TextHandlers) {
    valor().OnGetText = [](Field& f, std::string& text, bool display) {
        if (display && !f.IsNull()) text = "R$ " + text;
    };
    EXPECT_EQ(valor().Text(), "10,5");
    EXPECT_EQ(valor().DisplayText(), "R$ 10,5");

    ds.Edit();
    valor().SetText("3,5");  // no OnSetText: parsed as number
    EXPECT_DOUBLE_EQ(valor().AsFloat(), 3.5);
    valor().OnSetText = [](Field& f, const std::string& text) {
        f.SetAsFloat(text == "dez" ? 10 : 0);
    };
    valor().SetText("dez");
    EXPECT_DOUBLE_EQ(valor().AsFloat(), 10.0);
}

TEST_F(FieldTest, DisplayTextAtRunsHandlerAgainstThatRow) {
    std::vector<std::string> seen;
    valor().OnGetText = [&](Field& f, std::string& text, bool display) {
        // Sibling reads must see the painted row, not the cursor's.
        ClientDataSet& d = f.DataSet();
        seen.push_back(d.FieldByName("Nome").AsString() + ":" + f.AsString());
        text = d.FieldByName("Nome").AsString() + (display ? " / " : " - ") + text;
    };
    ds.Last();
    EXPECT_EQ(valor().DisplayTextAt(0), "Ana / 10,5");
    EXPECT_EQ(valor().DisplayTextAt(1), "Bia / 20");
    EXPECT_EQ(valor().DisplayTextAt(2), "Caio / ");
    EXPECT_EQ(seen, (std::vector<std::string>{"Ana:10,5", "Bia:20", "Caio:"}));
    EXPECT_EQ(ds.RecNo(), 3);  // the cursor did not move
    EXPECT_EQ(nome().AsString(), "Caio");

    // A handler that throws still ends the redirection.
    valor().OnGetText = [](Field&, std::string&, bool) { throw Error("falhou"); };
    EXPECT_THROW(valor().DisplayTextAt(0), Error);
    EXPECT_EQ(nome().AsString(), "Caio");
    valor().OnGetText = nullptr;
    EXPECT_EQ(valor().DisplayTextAt(0), "10,5");
}
