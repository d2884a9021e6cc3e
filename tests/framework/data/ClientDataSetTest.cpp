#include "corvana/data/ClientDataSet.h"

#include <gtest/gtest.h>

#include <random>

#include "corvana/data/Error.h"

using namespace corvana;

namespace {

DataPacket guests(std::initializer_list<const char*> names) {
    DataPacket p({{"Id", FieldType::Integer, 0}, {"Nome", FieldType::String, 30}});
    int id = 0;
    for (const char* n : names) p.addRow({++id, n});
    return p;
}

void declareGuestFields(ClientDataSet& ds) {
    ds.AddField("Id", FieldType::Integer);
    ds.AddField("Nome", FieldType::String, 30);
}

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "(nenhum erro)";
}

std::string currentName(ClientDataSet& ds) {
    return ds.FieldByName("Nome").AsString();
}

}  // namespace

TEST(ClientDataSetTest, FieldsAreFoundCaseInsensitively) {
    ClientDataSet ds;
    ds.AddField("Descrição", FieldType::String, 10);
    EXPECT_EQ(&ds.FieldByName("DESCRIÇÃO"), ds.Fields()[0]);
    EXPECT_EQ(ds.FindField("outro"), nullptr);
    EXPECT_EQ(errorOf([&] { ds.FieldByName("Outro"); }), "Campo 'Outro' não encontrado.");
    EXPECT_THROW(ds.AddField("descrição", FieldType::String), Error);
    ds.Open();
    EXPECT_THROW(ds.AddField("Novo", FieldType::Integer), Error);
}

TEST(ClientDataSetTest, OpenCloseAndEmptyStates) {
    ClientDataSet ds;
    EXPECT_THROW(ds.Open(), Error);  // no fields to open with
    declareGuestFields(ds);
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_EQ(ds.RecNo(), 0);
    EXPECT_TRUE(ds.FieldByName("Nome").IsNull());
    EXPECT_THROW(ds.First(), Error);

    ds.Open();
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Eof() && ds.Bof());
    EXPECT_EQ(errorOf([&] { ds.Delete(); }),
              "Não há registro para excluir: o conjunto de dados está vazio.");

    EXPECT_FALSE(ds.Editing());
    ds.Edit();  // on an empty dataset, Edit inserts
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    EXPECT_TRUE(ds.Editing());
    ds.FieldByName("Nome").SetAsString("Ana");
    ds.Post();
    EXPECT_FALSE(ds.Editing());
    EXPECT_EQ(ds.RecordCount(), 1);
    ds.SetActive(false);
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    ds.CreateDataSet();
    EXPECT_TRUE(ds.Active());
    EXPECT_TRUE(ds.IsEmpty());
}

TEST(ClientDataSetTest, NavigationVisitsRowsAndSetsBofEof) {
    ClientDataSet ds;
    ds.SetData(guests({"Ana", "Bia", "Caio"}));
    EXPECT_EQ(ds.RecNo(), 1);
    std::vector<std::string> seen;
    for (ds.First(); !ds.Eof(); ds.Next()) seen.push_back(currentName(ds));
    EXPECT_EQ(seen, (std::vector<std::string>{"Ana", "Bia", "Caio"}));
    EXPECT_EQ(ds.RecNo(), 3);  // Next at the end stays on the last row

    ds.Last();
    EXPECT_TRUE(ds.Eof());
    ds.Prior();
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(currentName(ds), "Bia");
    ds.Prior();
    ds.Prior();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(currentName(ds), "Ana");

    ds.SetRecNo(2);
    EXPECT_EQ(currentName(ds), "Bia");
    EXPECT_THROW(ds.SetRecNo(4), Error);
    EXPECT_EQ(ds.RecNo(), 2);
}

TEST(ClientDataSetTest, LocateComparesWholeValuesAndFoldsAccents) {
    ClientDataSet ds;
    ds.SetData(guests({"Ana", "JOSÉ", "José Carlos", "josé"}));
    ds.Last();
    EXPECT_FALSE(ds.Locate("Nome", "jos"));
    EXPECT_EQ(ds.RecNo(), 4);  // a miss leaves the cursor
    EXPECT_TRUE(ds.Locate("nome", "josé", true));
    EXPECT_EQ(ds.RecNo(), 2);  // first match
    EXPECT_TRUE(ds.Locate("Nome", "josé"));
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_FALSE(ds.Locate("Nome", "JOSE", true));  // accents still count
    EXPECT_TRUE(ds.Locate("Id", 3));
    EXPECT_EQ(currentName(ds), "José Carlos");
    EXPECT_THROW(ds.Locate("Sobrenome", "x"), Error);
}

TEST(ClientDataSetTest, InsertPositionsAndCancel) {
    ClientDataSet ds;
    declareGuestFields(ds);
    ds.Open();
    ds.Insert();
    EXPECT_EQ(ds.RecNo(), 1);
    ds.FieldByName("Nome").SetAsString("Bia");
    ds.Post();
    ds.Insert();  // before the current row
    ds.FieldByName("Nome").SetAsString("Ana");
    ds.Post();
    ds.Append();
    EXPECT_EQ(ds.RecNo(), 3);
    ds.FieldByName("Nome").SetAsString("Caio");
    ds.Post();
    std::vector<std::string> names;
    const DataPacket data = ds.Data();
    for (const Row& r : data.rows()) names.push_back(r[1].toString());
    EXPECT_EQ(names, (std::vector<std::string>{"Ana", "Bia", "Caio"}));

    ds.SetRecNo(2);
    ds.Append();
    EXPECT_EQ(ds.RecordCount(), 4);  // the row being inserted is visible
    ds.Delete();                     // in insert state: cancels
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(currentName(ds), "Bia");
}

TEST(ClientDataSetTest, NavigationPostsModifiedAndCancelsUntouchedEdits) {
    ClientDataSet ds;
    ds.SetData(guests({"Ana", "Bia"}));
    ds.Append();
    ds.Prior();  // untouched insert: cancelled
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(ds.RecordCount(), 2);

    ds.First();
    ds.Edit();
    ds.FieldByName("Nome").SetAsString("Ana Maria");
    EXPECT_TRUE(ds.Modified());
    ds.Next();  // modified edit: posted
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(ds.ChangeCount(), 1);

    ds.Insert();
    ds.FieldByName("Nome").SetAsString("Caio");
    EXPECT_TRUE(ds.Locate("Nome", "Ana Maria"));  // Locate settles the insert too
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.ChangeCount(), 2);
}

TEST(ClientDataSetTest, RefusedPostKeepsStateAndTypedValues) {
    ClientDataSet ds;
    ds.SetData(guests({"Ana", "Bia"}));
    ds.BeforePost = [](ClientDataSet& d) {
        if (d.FieldByName("Nome").AsString().empty()) throw Error("Informe o nome.");
    };
    ds.Append();
    ds.FieldByName("Id").SetAsInteger(7);
    EXPECT_EQ(errorOf([&] { ds.Post(); }), "Informe o nome.");
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    EXPECT_EQ(ds.FieldByName("Id").AsInteger(), 7);

    // Navigation posts first; a refusal keeps the cursor and the buffer too.
    EXPECT_THROW(ds.First(), Error);
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(ds.FieldByName("Id").AsInteger(), 7);

    ds.FieldByName("Nome").SetAsString("Caio");
    ds.Post();
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(ds.ChangeCount(), 1);

    ds.Edit();
    ds.FieldByName("Nome").SetAsString("");
    EXPECT_THROW(ds.Post(), Error);
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_TRUE(ds.Editing());
    EXPECT_EQ(ds.FieldByName("Id").AsInteger(), 7);
}

TEST(ClientDataSetTest, ThrowingAfterEventsComeAfterTheLocalChange) {
    ClientDataSet ds;
    ds.SetData(guests({"Ana", "Bia"}));
    ds.AfterPost = [](ClientDataSet&) { throw Error("after post"); };
    ds.AfterDelete = [](ClientDataSet&) { throw Error("after delete"); };
    ds.Edit();
    ds.FieldByName("Nome").SetAsString("Ana Maria");
    EXPECT_THROW(ds.Post(), Error);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(currentName(ds), "Ana Maria");
    EXPECT_THROW(ds.Delete(), Error);
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.ChangeCount(), 1);
}

TEST(ClientDataSetTest, EventsFireAroundOperations) {
    ClientDataSet ds;
    ds.SetData(guests({"Ana"}));
    std::vector<std::string> log;
    auto rec = [&log](const char* name) {
        return [&log, name](ClientDataSet&) { log.push_back(name); };
    };
    ds.BeforeInsert = rec("BeforeInsert");
    ds.AfterInsert = rec("AfterInsert");
    ds.BeforePost = rec("BeforePost");
    ds.AfterPost = rec("AfterPost");
    ds.BeforeCancel = rec("BeforeCancel");
    ds.AfterCancel = rec("AfterCancel");
    ds.BeforeEdit = rec("BeforeEdit");
    ds.AfterEdit = rec("AfterEdit");
    ds.BeforeDelete = rec("BeforeDelete");
    ds.AfterDelete = rec("AfterDelete");
    ds.AfterScroll = rec("AfterScroll");
    ds.AfterClose = rec("AfterClose");
    ds.Append();
    ds.FieldByName("Nome").SetAsString("Bia");
    ds.Post();
    ds.Edit();
    ds.Cancel();
    ds.Delete();
    ds.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "AfterInsert", "AfterScroll",
                                             "BeforePost", "AfterPost", "BeforeEdit", "AfterEdit",
                                             "BeforeCancel", "AfterCancel", "BeforeDelete",
                                             "AfterDelete", "AfterScroll", "AfterClose"}));
}

TEST(ClientDataSetTest, SetDataChecksPacketAgainstDeclaredFields) {
    ClientDataSet ds;
    ds.AddField("Id", FieldType::Integer);
    ds.AddField("Valor", FieldType::Float);
    ds.AddField("Nome", FieldType::String, 4);

    DataPacket good({{"NOME", FieldType::String, 4},
                     {"Extra", FieldType::Boolean, 0},
                     {"valor", FieldType::Integer, 0},
                     {"ID", FieldType::Integer, 0}});
    good.addRow({"Conceição", true, 3, 1});
    ds.SetData(good);
    EXPECT_EQ(ds.FieldCount(), 3);                         // the extra column is ignored
    EXPECT_EQ(ds.FieldByName("Nome").AsString(), "Conc");  // longer than its column
    EXPECT_EQ(ds.FieldByName("Valor").Value().kind(), Variant::Kind::Float);
    EXPECT_EQ(ds.FieldByName("Valor").AsString(), "3");
    EXPECT_EQ(ds.Data().fields().size(), 3u);

    DataPacket missing({{"Id", FieldType::Integer, 0}, {"Nome", FieldType::String, 4}});
    EXPECT_EQ(errorOf([&] { ds.SetData(missing); }),
              "O campo 'Valor' não existe no pacote de dados.");
    DataPacket wrongType({{"Id", FieldType::String, 0},
                          {"Valor", FieldType::Float, 0},
                          {"Nome", FieldType::String, 4}});
    EXPECT_EQ(errorOf([&] { ds.SetData(wrongType); }),
              std::string("O campo 'Id' é do tipo ") + fieldTypeName(FieldType::Integer) +
                  " no conjunto de dados, mas do tipo " + fieldTypeName(FieldType::String) +
                  " no pacote de dados.");
    // A column of another size is refused, wider or narrower: its texts are
    // never cut to the field.
    for (int size : {50, 3}) {
        DataPacket wrongSize({{"Id", FieldType::Integer, 0},
                              {"Valor", FieldType::Float, 0},
                              {"Nome", FieldType::String, size}});
        wrongSize.addRow({2, 1.5, "Ana"});
        EXPECT_EQ(errorOf([&] { ds.SetData(wrongSize); }),
                  "O campo 'Nome' tem tamanho 4 no conjunto de dados, mas " + std::to_string(size) +
                      " no pacote de dados.");
    }
    DataPacket delta({{"Id", FieldType::Integer, 0}}, DataPacket::Kind::Delta);
    EXPECT_THROW(ds.SetData(delta), Error);
    EXPECT_EQ(errorOf([&] { ds.SetData(Variant()); }), "Pacote de dados inválido.");
    EXPECT_EQ(errorOf([&] { ds.SetData(Variant("texto")); }), "Pacote de dados inválido.");

    // A refused packet leaves the previous contents.
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName("Nome").AsString(), "Conc");
}

TEST(ClientDataSetTest, DatasetWithoutFieldsTakesThemFromThePacket) {
    ClientDataSet ds;
    ds.SetData(Variant(guests({"Ana", "Bia"})));
    ASSERT_EQ(ds.FieldCount(), 2);
    EXPECT_EQ(ds.Fields()[1]->Name(), "Nome");
    EXPECT_EQ(ds.Fields()[1]->Size(), 30);
    Field* nome = ds.Fields()[1];
    ds.SetData(guests({"Caio"}));  // same columns: same Field objects
    EXPECT_EQ(ds.Fields()[1], nome);
    EXPECT_EQ(currentName(ds), "Caio");

    DataPacket other({{"Codigo", FieldType::String, 3}});
    other.addRow({"X1"});
    ds.SetData(other);
    ASSERT_EQ(ds.FieldCount(), 1);
    EXPECT_EQ(ds.FieldByName("codigo").AsString(), "X1");
}

// The same on 100,000 rows, timed: bench_datapacket's
// BM_LoadAndDeleteEveryOtherRow.
TEST(ClientDataSetTest, DeletingEveryOtherRowFromTheFrontKeepsTheRestInOrder) {
    constexpr int kRows = 2000;
    constexpr int kColumns = 21;
    std::vector<FieldDef> defs;
    for (int c = 0; c < kColumns; ++c) {
        defs.push_back({"C" + std::to_string(c),
                        c % 3 == 0 ? FieldType::String : FieldType::Integer, c % 3 == 0 ? 40 : 0});
    }
    DataPacket p(defs);
    p.rows().reserve(kRows);
    for (int r = 0; r < kRows; ++r) {
        Row row;
        row.reserve(kColumns);
        for (int c = 0; c < kColumns; ++c) {
            row.push_back(c % 3 == 0 ? Variant("linha " + std::to_string(r)) : Variant(r + c));
        }
        p.rows().push_back(std::move(row));
    }

    ClientDataSet ds;
    ds.SetData(std::move(p));
    ASSERT_EQ(ds.RecordCount(), kRows);
    // Every other row from the front, as a grid's multi-row delete does.
    for (int i = 0; i < kRows / 2; ++i) {
        ds.Delete();
        ds.Next();
    }
    EXPECT_EQ(ds.RecordCount(), kRows / 2);
    EXPECT_EQ(ds.ChangeCount(), kRows / 2);
    ds.First();
    EXPECT_EQ(ds.FieldByName("C0").AsString(), "linha 1");
    EXPECT_EQ(ds.Fields()[1]->ValueAt(kRows / 2 - 1), Variant(kRows - 1 + 1));
}

TEST(ClientDataSetTest, RandomEditsMatchASimpleModel) {
    // Inserts, deletes and moves all over the table, checked step by step
    // against a plain vector of ids.
    ClientDataSet ds;
    DataPacket p({{"Id", FieldType::Integer, 0}});
    std::vector<int> model;
    for (int i = 0; i < 200; ++i) {
        p.addRow({i});
        model.push_back(i);
    }
    ds.SetData(p);
    Field& id = ds.FieldByName("Id");
    std::mt19937 rng(20240611);
    int cursor = 0;
    int nextId = 1000;
    for (int step = 0; step < 3000; ++step) {
        const int n = static_cast<int>(model.size());
        switch (rng() % 5) {
            case 0:
            case 1: {
                const bool append = rng() % 2 == 0;
                append ? ds.Append() : ds.Insert();
                const int at = append || n == 0 ? n : cursor;
                id.SetAsInteger(nextId);
                ds.Post();
                model.insert(model.begin() + at, nextId++);
                cursor = at;
                break;
            }
            case 2:
                if (n == 0) break;
                ds.Delete();
                model.erase(model.begin() + cursor);
                cursor = std::min(cursor, std::max(static_cast<int>(model.size()) - 1, 0));
                break;
            default:
                if (n == 0) break;
                cursor = static_cast<int>(rng() % static_cast<unsigned>(n));
                ds.SetRecNo(cursor + 1);
        }
        ASSERT_EQ(ds.RecordCount(), static_cast<int>(model.size())) << "step " << step;
        if (!model.empty()) {
            ASSERT_EQ(id.AsInteger(), model[static_cast<std::size_t>(cursor)]) << "step " << step;
        }
    }
    for (std::size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(id.ValueAt(static_cast<int>(i)), Variant(model[i]));
    }
    ds.CancelUpdates();
    ASSERT_EQ(ds.RecordCount(), 200);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(id.ValueAt(i), Variant(i));
}
