// The grid's item model over a data source: Qt's model contract through a
// whole editing session, reading on demand, columns, and storing text.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <memory>
#include <set>
#include <string>

#include "GuestDataFixture.h"
#include "corvana/ui/GridModel.h"

namespace {

using namespace guest_data_test;
using corvana::ui::GridModel;

DataPacket Guests(int count, const std::string& prefix = "Convidado ") {
    DataPacket packet({{"CODIGO", FieldType::Integer, 0},
                       {"NOME", FieldType::String, 30},
                       {"RG", FieldType::String, 12}});
    for (int i = 1; i <= count; ++i) {
        packet.rows().push_back(
            {Variant(i), Variant(prefix + std::to_string(i)), Variant("RG" + std::to_string(i))});
    }
    return packet;
}

class GridModelTest : public GuestDataFixture {
protected:
    void SetUp() override {
        GuestDataFixture::SetUp();
        ds.AddField("RG", FieldType::String, 12, "RG", /*visible=*/false);
    }

    QString Cell(int row, int column, int role = Qt::DisplayRole) const {
        return model.data(model.index(row, column), role).toString();
    }

    GridModel model;
};

TEST_F(GridModelTest, KeepsQtsModelContractThroughAnEditingSession) {
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetDataSource(&source);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    ds.SetData(Guests(5));  // open
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(model.rowCount(), 5);
    ASSERT_EQ(model.columnCount(), 2);  // RG is not visible
    EXPECT_EQ(Cell(4, 1), "Convidado 5");
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "▶");

    ds.SetRecNo(3);
    ds.Insert();  // the new row shows at once, at the cursor
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(model.rowCount(), 6);
    EXPECT_EQ(Cell(2, 1), "");
    EXPECT_EQ(Cell(3, 1), "Convidado 3");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "*");

    ds.FieldByName("NOME").SetText("Novo");  // the row is refreshed as it is typed
    EXPECT_EQ(Cell(2, 1), "Novo");
    changed.clear();
    ds.Post();
    ASSERT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last()[0].toModelIndex().row(), 2);
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "▶");

    ds.Edit();
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "I");
    ds.FieldByName("NOME").SetText("Outro");
    EXPECT_EQ(Cell(2, 1), "Outro");
    ds.Cancel();  // an edit cancelled shows the stored values again
    EXPECT_EQ(Cell(2, 1), "Novo");

    ds.Append();
    EXPECT_EQ(model.rowCount(), 7);
    ds.Cancel();  // a cancelled insert goes away
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.rowCount(), 6);

    ds.SetRecNo(1);
    ds.Delete();
    EXPECT_EQ(removed.count(), 2);
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(Cell(0, 1), "Convidado 2");

    ds.SetData(Guests(3, "Outro "));  // a new load resets
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(Cell(2, 1), "Outro 3");

    ds.Close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);  // default columns need an open dataset
}

TEST_F(GridModelTest, ReadsCellsOnlyWhenAskedAndEditsWithTheEditText) {
    int reads = 0;
    ds.FieldByName("NOME").OnGetText = [&reads](corvana::Field&, std::string& text, bool display) {
        ++reads;
        text = (display ? "Sr. " : "") + text;
    };
    model.SetDataSource(&source);
    ds.SetData(Guests(100000));
    EXPECT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(reads, 0);  // nothing is read per row at load

    EXPECT_EQ(Cell(99999, 1), "Sr. Convidado 100000");
    EXPECT_EQ(reads, 1);
    // The current row edits with the edit text; other rows only display.
    EXPECT_EQ(Cell(0, 1, Qt::EditRole), "Convidado 1");
    EXPECT_EQ(Cell(1, 1, Qt::EditRole), "Sr. Convidado 2");
    EXPECT_EQ(model.data(model.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                  Qt::AlignRight,
              Qt::AlignRight);
}

TEST_F(GridModelTest, PersistentColumnsTitlesAndMissingFields) {
    model.SetDataSource(&source);
    TColumn hidden = Col("CODIGO");
    hidden.Visible = false;
    TColumn nome = Col("nome");
    nome.Title = "Convidado";
    model.SetColumns({Col("RG"), hidden, nome, Col("EMAIL")});

    // Columns exist before the dataset opens; a hidden one has no view column.
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "RG");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Convidado");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "EMAIL");
    EXPECT_EQ(model.ViewColumnOf(1), -1);
    EXPECT_EQ(model.ViewColumnOf(2), 1);
    EXPECT_EQ(model.ListIndexOf(2), 3);
    EXPECT_EQ(model.ViewColumnOf(&ds.FieldByName("NOME")), 1);

    ds.SetData(Guests(2));
    EXPECT_EQ(Cell(1, 0), "RG2");  // a field hidden by default can be shown by a column
    EXPECT_EQ(Cell(1, 1), "Convidado 2");
    EXPECT_EQ(Cell(1, 2), "");
    EXPECT_TRUE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(0, 2)) & Qt::ItemIsEditable);

    model.SetColumns({});  // back to one column per visible field
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Código");
}

TEST_F(GridModelTest, SetDataStoresThroughSetTextAndShowsARefusalOnce) {
    model.SetDataSource(&source);
    ds.SetData(Guests(3));
    std::string received;
    ds.FieldByName("NOME").OnSetText = [&received](corvana::Field& field, const std::string& text) {
        if (text.empty()) throw corvana::Error("Informe o nome do convidado.");
        received = text;
        field.SetAsString(text + "!");
    };

    // Another row: the cursor moves there, the row enters edit state.
    EXPECT_TRUE(model.setData(model.index(1, 1), "Maria"));
    EXPECT_EQ(received, "Maria");
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_EQ(Cell(1, 1), "Maria!");

    EXPECT_FALSE(model.setData(model.index(1, 1), ""));
    EXPECT_EQ(services.dialogs.Errors(), std::vector<std::string>{"Informe o nome do convidado."});
    EXPECT_EQ(ds.FieldByName("NOME").AsString(), "Maria!");
    EXPECT_EQ(ds.State(), DataSetState::Edit);

    // A column without a field stores nothing.
    model.SetColumns({Col("NOME"), Col("EMAIL")});
    EXPECT_FALSE(model.setData(model.index(1, 1), "x"));
    EXPECT_EQ(services.dialogs.Errors().size(), 2u);
}

TEST_F(GridModelTest, MarksTheRowsWithAPendingChangeUntilTheLogIsMerged) {
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetDataSource(&source);
    ds.SetData(Guests(4));
    auto marked = [this](int row) {
        const bool cell = model.data(model.index(row, 1), Qt::BackgroundRole).isValid();
        EXPECT_EQ(model.headerData(row, Qt::Vertical, Qt::BackgroundRole).isValid(), cell) << row;
        return cell;
    };
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);

    ds.SetRecNo(2);
    ds.Edit();
    ds.FieldByName("NOME").SetText("Editada");
    EXPECT_FALSE(marked(1));  // not posted yet
    ds.Post();
    EXPECT_TRUE(marked(1));
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "▶");  // the cursor's indicator stays
    ds.Append();
    ds.FieldByName("NOME").SetText("Nova");
    EXPECT_FALSE(marked(4));
    ds.Post();
    EXPECT_TRUE(marked(4));
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "!");
    EXPECT_FALSE(marked(0));
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(model.data(model.index(4, 0), Qt::ToolTipRole).toString().isEmpty());

    changed.clear();
    headers.clear();
    ds.MergeChangeLog();  // accepted: the marks go, and the views are told
    for (int row = 0; row < model.rowCount(); ++row) EXPECT_FALSE(marked(row)) << row;
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "");
    std::set<int> refreshed, refreshedHeaders;
    for (const auto& signal : changed) refreshed.insert(signal[0].toModelIndex().row());
    for (const auto& signal : headers) refreshedHeaders.insert(signal[1].toInt());
    EXPECT_EQ(refreshed, (std::set<int>{1, 4}));
    EXPECT_EQ(refreshedHeaders, (std::set<int>{1, 4}));
}

TEST_F(GridModelTest, OutlivesItsDataSetAndItsSource) {
    auto other = std::make_unique<ClientDataSet>();
    auto otherSource = std::make_unique<corvana::DataSource>(other.get());
    other->SetData(Guests(2));  // fields taken from the packet
    model.SetDataSource(otherSource.get());
    ASSERT_EQ(model.rowCount(), 2);
    other.reset();  // the dataset first: the model empties
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);

    ds.SetData(Guests(2));
    otherSource->SetDataSet(&ds);
    ASSERT_EQ(model.rowCount(), 2);
    otherSource.reset();  // then a source: nothing it led to is read again
    EXPECT_FALSE(model.data(model.index(1, 1)).isValid());
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "");
    EXPECT_FALSE(model.flags(model.index(1, 1)) & Qt::ItemIsEditable);
    EXPECT_EQ(model.GetDataSource(), nullptr);
}

}  // namespace
