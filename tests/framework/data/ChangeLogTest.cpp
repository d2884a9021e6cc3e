#include <gtest/gtest.h>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/Error.h"

using namespace corvana;
using S = DeltaRow::Status;

namespace {

// Three guests, ids 1..3; each test changes them and checks the exact delta.
class ChangeLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ds.AddField("Id", FieldType::Integer);
        ds.AddField("Nome", FieldType::String, 20);
        DataPacket p({{"Id", FieldType::Integer, 0}, {"Nome", FieldType::String, 20}});
        p.addRow({1, "Ana"});
        p.addRow({2, "Bia"});
        p.addRow({3, "Caio"});
        ds.SetData(p);
    }
    void edit(int recNo, const char* nome) {
        ds.SetRecNo(recNo);
        ds.Edit();
        ds.FieldByName("Nome").SetAsString(nome);
        ds.Post();
    }
    void append(int id, const char* nome) {
        ds.Append();
        ds.FieldByName("Id").SetAsInteger(id);
        ds.FieldByName("Nome").SetAsString(nome);
        ds.Post();
    }
    // The delta, checked against ChangeCount on the way.
    std::vector<DeltaRow> delta() {
        DataPacket d = ds.Delta();
        EXPECT_TRUE(d.isDelta());
        EXPECT_EQ(static_cast<int>(d.changes().size()), ds.ChangeCount());
        return d.changes();
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        const DataPacket data = ds.Data();
        for (const Row& r : data.rows()) out.push_back(r[1].toString());
        return out;
    }

    ClientDataSet ds;
};

DeltaRow ins(Row v) {
    return {S::Inserted, std::move(v), {}};
}
DeltaRow mod(Row v, Row o) {
    return {S::Modified, std::move(v), std::move(o)};
}
DeltaRow del(Row o) {
    return {S::Deleted, {}, std::move(o)};
}

}  // namespace

TEST_F(ChangeLogTest, InsertThenEditStaysOneInsertWithLatestValues) {
    append(4, "Davi");
    edit(4, "Davi Souza");
    edit(4, "Davi S.");
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{ins({4, "Davi S."})}));
}

TEST_F(ChangeLogTest, InsertThenDeleteLeavesNothing) {
    append(4, "Davi");
    edit(4, "Davi Souza");
    ds.Delete();
    EXPECT_TRUE(delta().empty());
    EXPECT_EQ(ds.RecordCount(), 3);
}

TEST_F(ChangeLogTest, ModifiedTwiceKeepsOriginals) {
    edit(2, "Beatriz");
    edit(2, "Bea");
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{mod({2, "Bea"}, {2, "Bia"})}));
}

TEST_F(ChangeLogTest, ModifiedThenDeletedLogsOriginals) {
    edit(2, "Beatriz");
    ds.Delete();
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{del({2, "Bia"})}));
}

TEST_F(ChangeLogTest, DeleteDuringEditLogsStoredValuesNotTheBuffer) {
    ds.SetRecNo(3);
    ds.Edit();
    ds.FieldByName("Nome").SetAsString("Digitado");
    ds.Delete();
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{del({3, "Caio"})}));
}

TEST_F(ChangeLogTest, MergeMakesCurrentValuesTheNewOriginals) {
    edit(1, "Ana Maria");
    append(4, "Davi");
    ds.MergeChangeLog();
    EXPECT_TRUE(delta().empty());
    edit(1, "Aninha");
    edit(4, "Davi S.");
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{mod({1, "Aninha"}, {1, "Ana Maria"}),
                                              mod({4, "Davi S."}, {4, "Davi"})}));
}

TEST_F(ChangeLogTest, UpdateStatusTellsEachRowsPlaceInTheLog) {
    edit(2, "Beatriz");
    append(4, "Davi");
    ds.Insert();  // not in the log until posted
    EXPECT_EQ(ds.UpdateStatusAt(ds.RecNo() - 1), UpdateStatus::Unmodified);
    ds.Cancel();
    EXPECT_EQ(ds.UpdateStatusAt(0), UpdateStatus::Unmodified);
    EXPECT_EQ(ds.UpdateStatusAt(1), UpdateStatus::Modified);
    EXPECT_EQ(ds.UpdateStatusAt(3), UpdateStatus::Inserted);
    edit(2, "Bia");  // back to its merged values
    EXPECT_EQ(ds.UpdateStatusAt(1), UpdateStatus::Unmodified);
    EXPECT_THROW(ds.UpdateStatusAt(4), Error);
    ds.MergeChangeLog();
    EXPECT_EQ(ds.UpdateStatusAt(3), UpdateStatus::Unmodified);
}

TEST_F(ChangeLogTest, EditedBackToOriginalLeavesTheLog) {
    edit(1, "Ana Maria");
    edit(1, "Ana");
    EXPECT_TRUE(delta().empty());
    // Unchanged Post records nothing either.
    ds.Edit();
    ds.FieldByName("Nome").SetAsString("Ana");
    ds.Post();
    EXPECT_TRUE(delta().empty());
}

TEST_F(ChangeLogTest, CancelledInsertAndEditRecordNothing) {
    ds.SetRecNo(2);
    ds.Insert();
    ds.FieldByName("Nome").SetAsString("Temp");
    EXPECT_EQ(ds.RecordCount(), 4);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.FieldByName("Nome").AsString(), "Bia");  // back where it was

    ds.Edit();
    ds.FieldByName("Nome").SetAsString("Outra");
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName("Nome").AsString(), "Bia");
    EXPECT_TRUE(delta().empty());
    EXPECT_EQ(names(), (std::vector<std::string>{"Ana", "Bia", "Caio"}));
}

TEST_F(ChangeLogTest, DeltaListsRowsInOrderOfFirstChange) {
    edit(3, "Caio X");
    append(4, "Davi");
    ds.SetRecNo(1);
    ds.Delete();
    edit(2, "Caio Y");  // row 3 is now the second; already logged
    edit(1, "Bia X");
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{mod({3, "Caio Y"}, {3, "Caio"}), ins({4, "Davi"}),
                                              del({1, "Ana"}), mod({2, "Bia X"}, {2, "Bia"})}));
}

TEST_F(ChangeLogTest, CancelUpdatesRestoresMergedRowsInOrder) {
    ds.SetRecNo(2);
    ds.Delete();
    edit(2, "Caio X");  // Caio
    ds.SetRecNo(1);
    ds.Insert();
    ds.FieldByName("Nome").SetAsString("Zeca");
    ds.Post();
    ds.Last();
    ds.Delete();  // Caio X: logged with its original
    ds.CancelUpdates();
    EXPECT_EQ(names(), (std::vector<std::string>{"Ana", "Bia", "Caio"}));
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(ds.RecNo(), 1);
    // The restored rows are the merged state: further changes log against it.
    edit(3, "C");
    EXPECT_EQ(delta(), (std::vector<DeltaRow>{mod({3, "C"}, {3, "Caio"})}));
}

TEST_F(ChangeLogTest, DataAppliesChangesAndReloadingClearsTheLog) {
    edit(1, "Ana Maria");
    append(4, "Davi");
    ds.Append();  // not posted: not part of the data
    ds.FieldByName("Nome").SetAsString("Pendente");
    EXPECT_EQ(names(), (std::vector<std::string>{"Ana Maria", "Bia", "Caio", "Davi"}));
    ds.Cancel();

    DataPacket snapshot = ds.Data();
    ds.SetData(snapshot);
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"Ana Maria", "Bia", "Caio", "Davi"}));
    ds.Delete();
    ds.EmptyDataSet();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_TRUE(ds.Delta().changes().empty());
}
