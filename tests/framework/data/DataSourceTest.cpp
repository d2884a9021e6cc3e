#include "corvana/data/DataSource.h"

#include <gtest/gtest.h>

#include <memory>

#include "corvana/data/Error.h"

using namespace corvana;

namespace {

// Records every notification as a short line.
class RecordingLink : public DataLink {
public:
    std::vector<std::string> log;
    void layoutChanged() override { log.push_back("layout"); }
    void rowInserted(int row) override { log.push_back("inserted " + std::to_string(row)); }
    void rowRemoved(int row) override { log.push_back("removed " + std::to_string(row)); }
    void rowChanged(int row) override { log.push_back("changed " + std::to_string(row)); }
    void currentChanged(int oldRow, int newRow) override {
        log.push_back("current " + std::to_string(oldRow) + "->" + std::to_string(newRow));
    }
    void stateChanged() override { log.push_back("state"); }
    void fieldChanged(Field* field) override { log.push_back("field " + field->Name()); }
    std::vector<std::string> take() { return std::exchange(log, {}); }
};

using Lines = std::vector<std::string>;

DataPacket guests() {
    DataPacket p({{"Id", FieldType::Integer, 0}, {"Nome", FieldType::String, 30}});
    p.addRow({1, "Ana"});
    p.addRow({2, "Bia"});
    p.addRow({3, "Caio"});
    return p;
}

}  // namespace

TEST(DataSourceTest, ScriptedSequenceNotifiesLinksAndEvents) {
    ClientDataSet ds;
    DataSource source(&ds);
    RecordingLink link;
    source.AddLink(&link);
    std::vector<DataSetState> states;
    std::vector<std::string> dataChanges;
    source.OnStateChange = [&](DataSource& s) { states.push_back(s.State()); };
    source.OnDataChange = [&](DataSource&, Field* f) {
        dataChanges.push_back(f ? f->Name() : "-");
    };

    ds.SetData(guests());
    EXPECT_EQ(link.take(), (Lines{"layout", "state"}));
    ds.Next();
    EXPECT_EQ(link.take(), (Lines{"current 0->1"}));
    ds.Edit();
    ds.FieldByName("Nome").SetAsString("Bea");
    ds.Post();
    EXPECT_EQ(link.take(), (Lines{"state", "field Nome", "changed 1", "state"}));
    ds.Insert();
    EXPECT_EQ(link.take(), (Lines{"inserted 1", "current 2->1", "state"}));
    ds.Cancel();
    EXPECT_EQ(link.take(), (Lines{"removed 1", "current -1->1", "state"}));
    ds.Last();
    ds.Delete();
    EXPECT_EQ(link.take(), (Lines{"current 1->2", "removed 2", "current -1->1"}));
    ds.EmptyDataSet();
    ds.Close();
    EXPECT_EQ(link.take(), (Lines{"layout", "layout", "state"}));

    EXPECT_EQ(states, (std::vector<DataSetState>{DataSetState::Browse, DataSetState::Edit,
                                                 DataSetState::Browse, DataSetState::Insert,
                                                 DataSetState::Browse, DataSetState::Inactive}));
    // One field write; everything else is a row-level or wholesale change.
    EXPECT_EQ(std::count(dataChanges.begin(), dataChanges.end(), "Nome"), 1);
    EXPECT_EQ(dataChanges.front(), "-");
}

// Rows merged by their key: a few are told one by one (the grid keeps its
// place), many as one new layout; the cursor stays on its row either way.
TEST(DataSourceTest, MergedRowsAreToldOneByOneOrAsOneLayout) {
    auto rows = [](std::vector<int> numbers) {
        DataPacket p({{"Nr", FieldType::String, 5}, {"Nome", FieldType::String, 30}});
        for (const int n : numbers) {
            std::string nr = std::to_string(n);
            p.addRow({std::string(5 - nr.size(), '0') + nr, "Convidado " + nr});
        }
        Variant other;
        return *PackedData::fromAnswerJson(Variant(p).toJson(), other);
    };
    ClientDataSet ds;
    DataSource source(&ds);
    RecordingLink link;
    source.AddLink(&link);
    ds.SetData(rows({0, 2, 4, 6, 8}));
    ds.SetRecNo(3);  // 00004
    link.take();

    EXPECT_EQ(ds.MergeRows("Nr", rows({2, 1}), {"00006"}), (std::vector<int>{2, 1}));
    EXPECT_EQ(link.take(), (Lines{"removed 3", "changed 1", "inserted 1", "current 2->3"}));

    // Many rows all after the last (an import's): appended.
    std::vector<int> many;
    for (int n = 100; n < 200; ++n) many.push_back(n);
    EXPECT_EQ(ds.MergeRows("Nr", rows(many), {}).back(), 104);
    EXPECT_EQ(link.take(), (Lines{"layout", "current 3->3"}));
    // Many among those there: each where its key sorts.
    many = {3};
    for (int n = 300; n < 400; ++n) many.push_back(n);
    const std::vector<int> placed = ds.MergeRows("Nr", rows(many), {});
    EXPECT_EQ(link.take(), (Lines{"layout", "current 3->4"}));
    ASSERT_EQ(ds.RecordCount(), 206);
    EXPECT_EQ(placed.front(), 3);
    EXPECT_EQ(placed.back(), 205);
    EXPECT_EQ(ds.FieldByName("Nr").AsString(), "00004");
    ds.SetRecNo(7);
    EXPECT_EQ(ds.FieldByName("Nr").AsString(), "00100");

    // Into an empty dataset: taken as a load takes them.
    ClientDataSet empty;
    empty.SetData(rows({}));
    EXPECT_EQ(empty.MergeRows("Nr", rows(many), {})[100], 100);
    EXPECT_EQ(empty.RecNo(), 1);
    EXPECT_EQ(empty.FieldByName("Nr").AsString(), "00003");
}

TEST(DataSourceTest, DisabledSourceForwardsNothingUntilEnabled) {
    ClientDataSet ds;
    ds.SetData(guests());
    DataSource source;
    RecordingLink link;
    source.AddLink(&link);
    source.SetDataSet(&ds);
    EXPECT_EQ(link.take(), (Lines{"layout", "state"}));
    source.SetEnabled(false);
    EXPECT_EQ(source.State(), DataSetState::Inactive);
    EXPECT_EQ(link.take(), (Lines{"layout", "state"}));
    ds.Next();
    ds.Edit();
    EXPECT_TRUE(link.take().empty());
    source.SetEnabled(true);
    EXPECT_EQ(source.State(), DataSetState::Edit);
    EXPECT_EQ(link.take(), (Lines{"layout", "state"}));
}

TEST(DataSourceTest, LinksAndSourcesDetachWhicheverDiesFirst) {
    auto ds = std::make_unique<ClientDataSet>();
    ds->SetData(guests());
    auto source = std::make_unique<DataSource>(ds.get());

    {
        RecordingLink shortLived;
        source->AddLink(&shortLived);
        EXPECT_EQ(shortLived.DataSet(), ds.get());
    }
    EXPECT_TRUE(source->Links().empty());

    RecordingLink link;
    source->AddLink(&link);
    DataSource other(ds.get());
    other.AddLink(&link);  // moves to the other source
    EXPECT_TRUE(source->Links().empty());
    EXPECT_EQ(link.Source(), &other);
    other.RemoveLink(&link);
    source->AddLink(&link);

    source.reset();  // source first: the link and the dataset forget it
    EXPECT_EQ(link.Source(), nullptr);
    ds->Next();  // must not reach the destroyed source

    source = std::make_unique<DataSource>(ds.get());
    source->AddLink(&link);
    link.take();
    ds.reset();  // dataset first: the sources lose it and tell their links
    EXPECT_EQ(source->DataSet(), nullptr);
    EXPECT_EQ(other.DataSet(), nullptr);
    EXPECT_EQ(source->State(), DataSetState::Inactive);
    EXPECT_EQ(link.take(), (Lines{"layout", "state"}));
    EXPECT_EQ(link.DataSet(), nullptr);
}

TEST(DataSourceTest, LinkMayRemoveItselfWhileNotified) {
    ClientDataSet ds;
    ds.SetData(guests());
    DataSource source(&ds);
    struct OneShot : RecordingLink {
        void currentChanged(int, int) override {
            log.push_back("once");
            Source()->RemoveLink(this);
        }
    } oneShot;
    RecordingLink after;
    source.AddLink(&oneShot);
    source.AddLink(&after);
    ds.Next();
    ds.Next();
    EXPECT_EQ(oneShot.log, (Lines{"once"}));
    EXPECT_EQ(after.log, (Lines{"current 0->1", "current 1->2"}));
}
