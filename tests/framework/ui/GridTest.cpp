// The data grid driven as a user drives it: real key and mouse events on a
// shown, active window over a guest list.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "GuestDataFixture.h"
#include "corvana/ui/KeyCodes.h"
#include "corvana/ui/TDBGrid.h"

namespace {

using namespace guest_data_test;
using corvana::ui::kKeyEnter;
using corvana::ui::TDBGrid;

DataPacket Guests(int count) {
    DataPacket packet({{"CODIGO", FieldType::Integer, 0},
                       {"NOME", FieldType::String, 30},
                       {"SITUACAO", FieldType::String, 1},
                       {"CONVITE", FieldType::String, 10}});
    packet.rows().reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        packet.rows().push_back(
            {Variant(i), Variant("Convidado " + std::to_string(i)), Variant("P"), Variant()});
    }
    return packet;
}

// A guest list: CODIGO, NOME, SITUACAO (a pick list of Confirmado/Pendente,
// stored as C/P) and CONVITE (with a "..." button), three rows.
class GridTest : public GuestDataFixture {
protected:
    void SetUp() override {
        GuestDataFixture::SetUp();
        Field& situacao = ds.AddField("SITUACAO", FieldType::String, 1, "Situação");
        ds.AddField("CONVITE", FieldType::String, 10, "Convite");
        situacao.OnGetText = [](Field& f, std::string& text, bool) {
            text = f.AsString() == "C" ? "Confirmado" : f.AsString() == "P" ? "Pendente" : "";
        };
        situacao.OnSetText = [](Field& f, const std::string& text) {
            if (text != "Confirmado" && text != "Pendente")
                throw corvana::Error("Situação inválida.");
            f.SetAsString(text.substr(0, 1));
        };
        ds.SetData(Guests(3));

        auto* layout = NewWindow();
        grid = new TDBGrid(window.get());
        layout->addWidget(grid);
        grid->SetDataSource(&source);
        TColumn pick = Col("SITUACAO");
        pick.PickList = {"Confirmado", "Pendente"};
        TColumn ellipsis = Col("CONVITE");
        ellipsis.EllipsisButton = true;
        grid->SetColumns({Col("CODIGO"), Col("NOME"), pick, ellipsis});
        window->resize(640, 360);
        ShowWindow();
        grid->setFocus();
    }

    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(grid, Qt::Key(key), mods);
    }
    void Type(const char* text) { QTest::keyClicks(grid, QString::fromUtf8(text)); }
    void Click(int row, int column) {
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }
    void On(const char* fieldName) { grid->SetSelectedField(&ds.FieldByName(fieldName)); }
    std::string Text(const char* fieldName) { return ds.FieldByName(fieldName).AsString(); }
    int Row() const { return grid->currentIndex().row(); }
    QLineEdit* EditorLine() const {
        QWidget* editor = grid->CellEditor();
        if (auto* line = qobject_cast<QLineEdit*>(editor)) return line;
        return editor ? editor->findChild<QLineEdit*>() : nullptr;
    }

    TDBGrid* grid = nullptr;
};

TEST_F(GridTest, FollowsTheCursorAndMovesItWithoutFeedback) {
    int scrolls = 0;
    ds.AfterScroll = [&scrolls](ClientDataSet&) { ++scrolls; };
    EXPECT_EQ(Row(), 0);
    ds.Last();
    EXPECT_EQ(Row(), 2);
    Key(Qt::Key_Up);
    EXPECT_EQ(ds.RecNo(), 2);
    Click(0, 1);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(Row(), 0);
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("NOME"));
    EXPECT_EQ(scrolls, 3);  // one per move, none echoed back

    grid->SetSelectedIndex(3);  // an index of the column list
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("CONVITE"));
    EXPECT_EQ(grid->SelectedIndex(), 3);

    ds.Close();
    EXPECT_EQ(grid->SelectedField(), nullptr);
    EXPECT_FALSE(grid->currentIndex().isValid());
}

TEST_F(GridTest, TypingEditsTheCellAndEnterStoresItAndMovesOn) {
    On("NOME");
    Type("Zeca");
    ASSERT_NE(EditorLine(), nullptr);
    EXPECT_EQ(EditorLine()->text(), "Zeca");  // the first key replaced the old text
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_EQ(Text("NOME"), "Convidado 1");  // not stored before the cell is left

    Key(Qt::Key_Return);
    EXPECT_EQ(Text("NOME"), "Zeca");
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("SITUACAO"));
    EXPECT_EQ(grid->CellEditor(), nullptr);

    // Esc cancels the row.
    Key(Qt::Key_Escape);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(Text("NOME"), "Convidado 1");
}

TEST_F(GridTest, OnKeyPressSeesEveryKeyFirstAndCanDiscardOrReplaceIt) {
    std::u32string keys;
    grid->OnKeyPress = [&](QObject* sender, char32_t& key) {
        EXPECT_EQ(sender, grid);
        keys += key;
        if (grid->SelectedField()->Name() != "NOME") return;
        if (key >= U'0' && key <= U'9') key = 0;  // no digits in a name
        if (key == U'x') key = U'X';
    };
    On("NOME");
    Type("a");  // opens the editor, which takes the focus and the next keys
    QWidget* editor = QApplication::focusWidget();
    ASSERT_EQ(editor, EditorLine());
    QTest::keyClicks(editor, "1bx");
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(Text("NOME"), "ab");
    EXPECT_EQ(keys, U"a1bx\b\r");

    // Digits pass in another column; a discarded Enter does not move on.
    On("CODIGO");
    Type("42");
    grid->OnKeyPress = [](QObject*, char32_t& key) {
        if (key == kKeyEnter) key = 0;
    };
    Key(Qt::Key_Return);
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("CODIGO"));
    ASSERT_NE(EditorLine(), nullptr);
    EXPECT_EQ(EditorLine()->text(), "42");

    // Escape is the grid's own: it cancels the row where every key is discarded.
    grid->OnKeyPress = [](QObject*, char32_t& key) { key = 0; };
    Key(Qt::Key_Escape);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
}

TEST_F(GridTest, ColExitRunsAfterTheCellIsStoredOnTheColumnLeft) {
    std::vector<std::string> seen;
    grid->OnColExit = [&](QObject*) {
        seen.push_back("exit " + grid->SelectedField()->Name() + "=" +
                       grid->SelectedField()->Text());
    };
    grid->OnColEnter = [&](QObject*) { seen.push_back("enter " + grid->SelectedField()->Name()); };
    On("NOME");
    seen.clear();
    Type("Novo");
    Click(0, 2);  // the mouse, with the editor open
    EXPECT_EQ(seen, (std::vector<std::string>{"exit NOME=Novo", "enter SITUACAO"}));
    seen.clear();
    On("NOME");
    Type("Nova");
    Key(Qt::Key_Tab);
    EXPECT_EQ(seen, (std::vector<std::string>{"exit SITUACAO=Pendente", "enter NOME",
                                              "exit NOME=Nova", "enter SITUACAO"}));

    // An exit handler that throws keeps the user in the column.
    seen.clear();
    grid->OnColExit = [](QObject*) { throw corvana::EAbort(); };
    Key(Qt::Key_Right);
    Click(0, 3);
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("SITUACAO"));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(services.dialogs.Errors().empty());  // EAbort is silent
}

TEST_F(GridTest, PickListEditorStoresTheChosenWordThroughSetText) {
    On("SITUACAO");
    Key(Qt::Key_F2);
    auto* combo = qobject_cast<QComboBox*>(grid->CellEditor());
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), "Confirmado");
    EXPECT_EQ(combo->currentText(), "Pendente");  // the field's edit text

    combo->showPopup();
    QAbstractItemView* list = combo->view();
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(Text("SITUACAO"), "C");  // stored at once, through the set-text handler
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_EQ(combo->currentText(), "Confirmado");

    // A word the handler refuses is shown and not stored.
    Type("Talvez");
    Key(Qt::Key_Return);
    EXPECT_EQ(services.dialogs.Errors(), std::vector<std::string>{"Situação inválida."});
    EXPECT_EQ(Text("SITUACAO"), "C");
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("SITUACAO"));
}

TEST_F(GridTest, TheEditorTakesAtMostTheFieldsSizeInCharacters) {
    // NOME takes 30 characters; one outside the BMP counts once.
    const QString clef = QString::fromUcs4(U"\U0001D11E", 1);
    const QString full = "a" + QString(28, QChar('b')) + clef;
    On("NOME");
    Type("a");
    QWidget* editor = QApplication::focusWidget();
    QTest::keyClicks(editor, QString(28, QChar('b')));
    QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, clef, Qt::NoModifier);
    QTest::keyClicks(editor, "cd");
    EXPECT_EQ(EditorLine()->text(), full);
    // A paste that would pass the limit is refused whole, not cut.
    EditorLine()->setText("Zeca");
    QApplication::clipboard()->setText(QString(27, QChar('x')));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(EditorLine()->text(), "Zeca");
    EditorLine()->setText(full);
    Key(Qt::Key_Return);
    EXPECT_EQ(Text("NOME"), full.toStdString());

    // A pick list takes its words, longer than the one-letter code they
    // are stored as.
    ASSERT_EQ(grid->SelectedField(), &ds.FieldByName("SITUACAO"));
    Type("Confirmado");
    Key(Qt::Key_Return);
    EXPECT_EQ(Text("SITUACAO"), "C");
    // The ellipsis column's editor keeps to its field's ten characters.
    Type("CONVITE-0042");
    EXPECT_EQ(EditorLine()->text(), "CONVITE-00");
    EXPECT_TRUE(services.dialogs.Errors().empty());
}

TEST_F(GridTest, EditButtonClickOnlyOnTheEllipsisColumn) {
    int clicks = 0;
    grid->OnEditButtonClick = [&](QObject* sender) {
        EXPECT_EQ(sender, grid);
        EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("CONVITE"));
        ++clicks;
        ds.Edit();
        ds.FieldByName("CONVITE").SetText("CV-" + std::to_string(clicks));
    };
    On("CONVITE");
    Key(Qt::Key_F2);
    auto* button = grid->CellEditor() ? grid->CellEditor()->findChild<QToolButton*>() : nullptr;
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "...");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(EditorLine()->text(), "CV-1");  // the editor shows what the handler stored

    Key(Qt::Key_Escape);
    On("NOME");
    Key(Qt::Key_F2);
    ASSERT_NE(grid->CellEditor(), nullptr);
    EXPECT_EQ(grid->CellEditor()->findChild<QToolButton*>(), nullptr);
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(clicks, 1);

    Key(Qt::Key_Escape);
    On("CONVITE");
    Key(Qt::Key_Return, Qt::ControlModifier);  // also without an open editor
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(Text("CONVITE"), "CV-2");
}

TEST_F(GridTest, LeavingTheGridStoresTheCellAndARefusalKeepsTheFocus) {
    auto* outside = new QLineEdit(window.get());
    window->layout()->addWidget(outside);
    outside->show();
    On("NOME");
    Type("Rui");
    outside->setFocus();
    EXPECT_EQ(Text("NOME"), "Rui");
    EXPECT_EQ(grid->CellEditor(), nullptr);

    ds.FieldByName("NOME").OnSetText = [](Field&, const std::string&) {
        throw corvana::Error("Nome bloqueado.");
    };
    grid->FocusField(&ds.FieldByName("NOME"));
    EXPECT_TRUE(grid->hasFocus());
    Type("Zoe");
    outside->setFocus();
    EXPECT_EQ(services.dialogs.Errors(), std::vector<std::string>{"Nome bloqueado."});
    EXPECT_EQ(QApplication::focusWidget(), grid);
    ASSERT_NE(EditorLine(), nullptr);
    EXPECT_EQ(EditorLine()->text(), "Zoe");

    // What a tool button (no focus) does before saving.
    ds.FieldByName("NOME").OnSetText = nullptr;
    grid->UpdateData();
    EXPECT_EQ(Text("NOME"), "Zoe");
}

TEST_F(GridTest, LeavingARowPostsIt) {
    On("NOME");
    Type("Ana");
    Key(Qt::Key_Down);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(Row(), 1);
    EXPECT_EQ(grid->CellEditor(), nullptr);
    EXPECT_EQ(ds.FieldByName("NOME").DisplayTextAt(0), "Ana");
    EXPECT_EQ(ds.ChangeCount(), 1);

    Type("Bia");
    Click(2, 0);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(ds.FieldByName("NOME").DisplayTextAt(1), "Bia");
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("CODIGO"));
}

TEST_F(GridTest, RefusedPostKeepsTheUserOnTheRowWithOneMessagePerAttempt) {
    int posts = 0;
    bool refuse = true;
    ds.BeforePost = [&](ClientDataSet&) {
        ++posts;
        if (refuse) throw corvana::Error("Informe o RG do convidado.");
    };
    const auto errors = [this] { return services.dialogs.Errors().size(); };
    On("NOME");
    Type("Ana");

    Key(Qt::Key_Down);
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(errors(), 1u);
    EXPECT_EQ(Row(), 0);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_EQ(Text("NOME"), "Ana");
    ASSERT_NE(EditorLine(), nullptr);
    EXPECT_EQ(EditorLine()->text(), "Ana");

    Click(2, 1);
    EXPECT_EQ(errors(), 2u);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(errors(), 3u);
    // A drag over other rows is one attempt.
    const QPoint start = grid->visualRect(grid->model()->index(2, 1)).center();
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(grid->viewport(), grid->visualRect(grid->model()->index(1, 1)).center());
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                        grid->visualRect(grid->model()->index(1, 1)).center());
    EXPECT_EQ(errors(), 4u);
    EXPECT_EQ(posts, 4);
    EXPECT_EQ(Row(), 0);
    EXPECT_EQ(Text("NOME"), "Ana");

    // The usual refusal: send the user to the column to fix.
    ds.BeforePost = [&](ClientDataSet&) {
        grid->SetSelectedField(&ds.FieldByName("CONVITE"));
        throw corvana::Error("Informe o convite.");
    };
    Key(Qt::Key_Down);
    EXPECT_EQ(errors(), 5u);
    EXPECT_EQ(Row(), 0);
    EXPECT_EQ(grid->SelectedField(), &ds.FieldByName("CONVITE"));

    refuse = false;
    ds.BeforePost = [&](ClientDataSet&) { ++posts; };
    Key(Qt::Key_Down);
    EXPECT_EQ(errors(), 5u);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(Row(), 1);
    EXPECT_EQ(ds.FieldByName("NOME").DisplayTextAt(0), "Ana");
}

TEST_F(GridTest, InsertAppendCancelAndDeleteKeys) {
    ds.SetRecNo(2);
    Key(Qt::Key_Insert);
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(Row(), 1);
    EXPECT_EQ(grid->model()->headerData(1, Qt::Vertical).toString(), "*");
    Key(Qt::Key_Escape);
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(Row(), 1);

    // Down on the last row appends; a blank new row is not followed by another.
    ds.Last();
    Key(Qt::Key_Down);
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.State(), DataSetState::Insert);
    EXPECT_EQ(Row(), 3);
    Key(Qt::Key_Down);
    EXPECT_EQ(ds.RecordCount(), 4);
    On("NOME");
    Type("Novo");
    Key(Qt::Key_Down);  // posts the typed row, then appends
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(ds.FieldByName("NOME").DisplayTextAt(3), "Novo");
    Key(Qt::Key_Escape);
    EXPECT_EQ(ds.RecordCount(), 4);

    services.dialogs.ExpectConfirm(false);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(ds.RecordCount(), 4);
    services.dialogs.ExpectConfirm(true);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(services.dialogs.Messages().front().text, "Confirma exclusão?");
    EXPECT_TRUE(services.dialogs.Unexpected().empty());

    // Read-only: nothing opens, nothing is inserted.
    grid->SetReadOnly(true);
    Type("z");
    Key(Qt::Key_Insert);
    EXPECT_EQ(grid->CellEditor(), nullptr);
    EXPECT_EQ(ds.RecordCount(), 3);
    grid->SetReadOnly(false);

    ds.EmptyDataSet();  // an empty dataset gets no row from Down
    Key(Qt::Key_Down);
    EXPECT_EQ(ds.RecordCount(), 0);
}

// Each cell's text is drawn from a layout made once for its text and width;
// the grid looks as the style's own item painting draws it: short texts and
// texts cut at a narrow column, numbers to the right, the current cell, a
// row whose change was not sent, and again after a text and a width change.
TEST_F(GridTest, CellsLookAsTheStyleDrawsThem) {
    QStyledItemDelegate plain;
    auto expectAsTheStyle = [&](const char* step) {
        const QImage ours = grid->viewport()->grab().toImage();
        QAbstractItemDelegate* own = grid->itemDelegate();
        grid->setItemDelegate(&plain);
        const QImage style = grid->viewport()->grab().toImage();
        grid->setItemDelegate(own);
        EXPECT_TRUE(ours == style) << step;
    };
    grid->setColumnWidth(1, 90);
    ds.SetRecNo(2);
    ds.Edit();
    ds.FieldByName("NOME").SetValue("Convidada de Nome Bem Comprido");
    ds.Post();
    ds.SetRecNo(1);
    expectAsTheStyle("carga");

    ds.Edit();
    ds.FieldByName("NOME").SetValue("Outro Nome");
    ds.Post();
    ds.MergeChangeLog();
    expectAsTheStyle("texto alterado");
    grid->setColumnWidth(1, 240);
    expectAsTheStyle("coluna mais larga");
}

TEST_F(GridTest, LoadsAHundredThousandRowsAndScrollsToTheEnd) {
    ds.SetData(Guests(100000));
    ASSERT_EQ(grid->model()->rowCount(), 100000);
    EXPECT_EQ(Row(), 0);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(ds.RecNo(), 100000);
    EXPECT_EQ(Row(), 99999);
    EXPECT_EQ(grid->verticalScrollBar()->value(), grid->verticalScrollBar()->maximum());
    const QModelIndex last = grid->model()->index(99999, 1);
    EXPECT_TRUE(grid->viewport()->rect().intersects(grid->visualRect(last)));
    EXPECT_EQ(last.data().toString(), "Convidado 100000");

    Key(Qt::Key_PageUp);
    EXPECT_LT(ds.RecNo(), 100000);
    EXPECT_EQ(Row(), ds.RecNo() - 1);
}

// The current row stays whole in view when the grid's room shrinks: a
// horizontal scroll bar that a new layout brings, a smaller window.
TEST_F(GridTest, TheCurrentRowStaysInViewWhenTheRoomShrinks) {
    ds.SetData(Guests(300));
    ds.Last();
    QApplication::processEvents();
    auto whole = [this] {
        return grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex()));
    };
    ASSERT_TRUE(whole());
    window->resize(window->width(), window->height() - 25);
    QApplication::processEvents();
    EXPECT_TRUE(whole());
}

}  // namespace
