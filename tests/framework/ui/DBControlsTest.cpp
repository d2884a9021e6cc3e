// The data-bound edit, label and navigator over a guest list, on a shown,
// active window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "GuestDataFixture.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TDBEdit.h"
#include "corvana/ui/TDBNavigator.h"
#include "corvana/ui/TDBText.h"

namespace {

using namespace guest_data_test;
using corvana::ui::TDBEdit;
using corvana::ui::TDBNavigator;
using corvana::ui::TDBText;
using corvana::ui::TNavigateBtn;

// NOME displays with a title and edits bare; an empty name is refused.
class DBControlsTest : public GuestDataFixture {
protected:
    void SetUp() override {
        GuestDataFixture::SetUp();
        Field& nome = ds.FieldByName("NOME");
        nome.OnGetText = [](Field& f, std::string& text, bool display) {
            if (display && !f.IsNull()) text = "Sr(a). " + text;
        };
        nome.OnSetText = [this](Field& f, const std::string& text) {
            stored.push_back(text);
            if (text.empty()) throw corvana::Error("Informe o nome.");
            f.SetAsString(text);
        };
        DataPacket packet({{"CODIGO", FieldType::Integer, 0}, {"NOME", FieldType::String, 30}});
        for (int i = 1; i <= 3; ++i)
            packet.rows().push_back({Variant(i), Variant("Convidado " + std::to_string(i))});
        ds.SetData(std::move(packet));

        auto* layout = NewWindow();
        dbe = new TDBEdit(window.get());
        dbt = new TDBText(window.get());
        dbn = new TDBNavigator(window.get());
        other = new corvana::ui::TEdit(window.get());
        for (QWidget* w : std::vector<QWidget*>{dbe, dbt, dbn, other}) layout->addWidget(w);
        dbe->SetDataSource(&source);
        dbe->SetDataField("NOME");
        dbt->SetDataSource(&source);
        dbt->SetDataField("NOME");
        dbn->SetDataSource(&source);
        ShowWindow();
        other->setFocus();
    }

    std::string Nome() { return ds.FieldByName("NOME").AsString(); }
    bool Enabled(TNavigateBtn button) { return dbn->Button(button)->isEnabled(); }

    std::vector<std::string> stored;
    TDBEdit* dbe = nullptr;
    TDBText* dbt = nullptr;
    TDBNavigator* dbn = nullptr;
    corvana::ui::TEdit* other = nullptr;
};

TEST_F(DBControlsTest, TextAndEditFollowTheCursorEditsAndLayout) {
    EXPECT_EQ(dbt->text(), "Sr(a). Convidado 1");
    EXPECT_EQ(dbe->text(), "Sr(a). Convidado 1");
    ds.Next();
    EXPECT_EQ(dbt->text(), "Sr(a). Convidado 2");
    EXPECT_EQ(dbe->text(), "Sr(a). Convidado 2");

    ds.Edit();
    ds.FieldByName("NOME").SetText("Bia");
    EXPECT_EQ(dbt->text(), "Sr(a). Bia");
    EXPECT_EQ(dbe->text(), "Sr(a). Bia");
    ds.Cancel();
    EXPECT_EQ(dbt->text(), "Sr(a). Convidado 2");
    ds.Append();
    EXPECT_EQ(dbt->text(), "");
    ds.Cancel();

    source.SetEnabled(false);
    EXPECT_EQ(dbt->text(), "");
    EXPECT_TRUE(dbe->isReadOnly());
    source.SetEnabled(true);
    EXPECT_EQ(dbt->text(), "Sr(a). Convidado 2");
    EXPECT_FALSE(dbe->isReadOnly());

    ds.Close();
    EXPECT_EQ(dbt->text(), "");
    EXPECT_EQ(dbe->text(), "");
    EXPECT_TRUE(dbe->isReadOnly());
}

TEST_F(DBControlsTest, EditTypesIntoTheFieldOnEnterAndEscBringsItBack) {
    dbe->setFocus();
    EXPECT_EQ(dbe->text(), "Convidado 1");  // the edit text while focused
    dbe->selectAll();
    QTest::keyClicks(dbe, "Bia");
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_TRUE(dbe->Modified());
    EXPECT_EQ(Nome(), "Convidado 1");
    QTest::keyClick(dbe, Qt::Key_Return);
    EXPECT_EQ(Nome(), "Bia");
    EXPECT_EQ(stored, std::vector<std::string>{"Bia"});

    QTest::keyClicks(dbe, "xx");
    QTest::keyClick(dbe, Qt::Key_Escape);
    EXPECT_EQ(dbe->text(), "Bia");
    EXPECT_FALSE(dbe->Modified());

    ds.Post();
    ds.Next();  // scrolling shows the next row's edit text
    EXPECT_EQ(dbe->text(), "Convidado 2");

    dbe->SetReadOnly(true);
    QTest::keyClicks(dbe, "z");
    EXPECT_EQ(dbe->text(), "Convidado 2");
    EXPECT_EQ(ds.State(), DataSetState::Browse);
}

TEST_F(DBControlsTest, EditStoresOnExitAndARefusalKeepsTheFocus) {
    dbe->setFocus();
    dbe->selectAll();
    QTest::keyClicks(dbe, "Ana");
    other->setFocus();
    EXPECT_EQ(Nome(), "Ana");
    EXPECT_EQ(dbe->text(), "Sr(a). Ana");

    dbe->setFocus();
    dbe->selectAll();
    QTest::keyClick(dbe, Qt::Key_Backspace);
    other->setFocus();
    EXPECT_EQ(services.dialogs.Errors(), std::vector<std::string>{"Informe o nome."});
    EXPECT_EQ(QApplication::focusWidget(), dbe);
    EXPECT_EQ(dbe->text(), "");
    EXPECT_EQ(Nome(), "Ana");
}

TEST_F(DBControlsTest, NavigatorEnablesByPositionAndMovesTheCursor) {
    EXPECT_FALSE(Enabled(TNavigateBtn::nbFirst));
    EXPECT_FALSE(Enabled(TNavigateBtn::nbPrior));
    EXPECT_TRUE(Enabled(TNavigateBtn::nbNext));
    EXPECT_TRUE(Enabled(TNavigateBtn::nbLast));
    EXPECT_FALSE(dbn->Button(TNavigateBtn::nbRefresh)->isVisibleTo(dbn));

    QTest::mouseClick(dbn->Button(TNavigateBtn::nbNext), Qt::LeftButton);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_TRUE(Enabled(TNavigateBtn::nbPrior));
    EXPECT_EQ(dbt->text(), "Sr(a). Convidado 2");
    QTest::mouseClick(dbn->Button(TNavigateBtn::nbLast), Qt::LeftButton);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_FALSE(Enabled(TNavigateBtn::nbNext));
    EXPECT_FALSE(Enabled(TNavigateBtn::nbLast));

    // Typed text is stored (the edit's exit) before the move; a refused post
    // is shown once and the cursor stays.
    ds.BeforePost = [](ClientDataSet&) { throw corvana::Error("Lista encerrada."); };
    dbe->setFocus();
    dbe->selectAll();
    QTest::keyClicks(dbe, "Caio");
    QTest::mouseClick(dbn->Button(TNavigateBtn::nbFirst), Qt::LeftButton);
    EXPECT_EQ(services.dialogs.Errors(), std::vector<std::string>{"Lista encerrada."});
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(Nome(), "Caio");

    std::vector<TNavigateBtn> clicks;
    dbn->OnClick = [&clicks](QObject*, TNavigateBtn b) { clicks.push_back(b); };
    dbn->SetShowRefresh(true);
    EXPECT_FALSE(Enabled(TNavigateBtn::nbRefresh));  // not while editing
    ds.Cancel();
    EXPECT_TRUE(Enabled(TNavigateBtn::nbRefresh));
    QTest::mouseClick(dbn->Button(TNavigateBtn::nbRefresh), Qt::LeftButton);
    EXPECT_EQ(clicks, std::vector<TNavigateBtn>{TNavigateBtn::nbRefresh});

    ds.Close();
    for (auto b : {TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext,
                   TNavigateBtn::nbLast, TNavigateBtn::nbRefresh}) {
        EXPECT_FALSE(Enabled(b));
    }
}

}  // namespace
