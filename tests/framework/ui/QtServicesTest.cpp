// The Qt services: message boxes, the search window and its model (filtering,
// picking, large lists), the file filter form, the busy panel and the wait
// cursor.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/ui/QtServices.h"
#include "corvana/ui/SearchModel.h"

namespace {

using corvana::FieldType;
using corvana::Variant;
using namespace corvana::ui;

class QtServices : public ::testing::Test, corvana::test::WithQApplication {
protected:
    corvana::services::ScriptedServicesScope services;
};

// Runs `drive` on the next modal widget once the event loop of its exec()
// is running.
void WhenModal(std::function<void(QWidget*)> drive) {
    QTimer::singleShot(0, [drive = std::move(drive)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        drive(modal);
    });
}

TEST_F(QtServices, MessageBoxesHaveTheirTitlesIconsAndSimNao) {
    QtDialogs dialogs;
    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Erro"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text(), QStringLiteral("Código inválido."));
        box->accept();
    });
    dialogs.ShowError("Código inválido.");

    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Informação"));
        box->accept();
    });
    dialogs.ShowInformation("Gravado.");

    // Não is the default: Enter answers it.
    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(box->buttons().size(), 2);
        EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Não"));
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(dialogs.Confirm("Excluir o convidado?"));
    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == QStringLiteral("Sim")) b->click();
        }
    });
    EXPECT_TRUE(dialogs.Confirm("Excluir o convidado?"));
    WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.Confirm("Excluir o convidado?"));
}

class SearchList : public QtServices {
protected:
    void SetUp() override {
        dataSet.AddField("CODI", FieldType::String, 4, "Código");
        dataSet.AddField("NOME", FieldType::String, 40, "Nome do convidado");
        dataSet.AddField("INTERNO", FieldType::Integer, 0, "", false);
        corvana::DataPacket packet({{"CODI", FieldType::String, 4},
                                    {"NOME", FieldType::String, 40},
                                    {"INTERNO", FieldType::Integer, 0}});
        packet.addRow({Variant("0001"), Variant("JOÃO DA SILVA"), Variant(7)});
        packet.addRow({Variant("0002"), Variant("Maria Aparecida"), Variant(8)});
        packet.addRow({Variant("0003"), Variant("joana d'arc"), Variant(9)});
        packet.addRow({Variant("0004"), Variant("Conceição"), Variant(10)});
        dataSet.SetData(packet);
    }
    corvana::ClientDataSet dataSet;
    corvana::DataSource source{&dataSet};
};

TEST_F(SearchList, ListsTheVisibleFieldsUnderTheirLabels) {
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado.");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Convidados"));
    EXPECT_EQ(window.ColumnTitles(),
              (QStringList{QStringLiteral("Código"), QStringLiteral("Nome do convidado")}));
    EXPECT_EQ(window.RowCount(), 4);
    EXPECT_EQ(window.CellText(1, 1), QStringLiteral("Maria Aparecida"));
    EXPECT_FALSE(window.ShowsEmptyText());
    EXPECT_EQ(window.OkButton()->text(), QStringLiteral("Confirmar"));
}

TEST_F(SearchList, FilterIgnoresCaseAccentedLettersIncluded) {
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado.");
    window.SetFilterText(QStringLiteral("joÃo"));
    ASSERT_EQ(window.RowCount(), 1);
    EXPECT_EQ(window.RecNoAt(0), 1);
    window.SetFilterText(QStringLiteral("CONCEIÇÃO"));
    ASSERT_EQ(window.RowCount(), 1);
    EXPECT_EQ(window.RecNoAt(0), 4);
    window.SetFilterText(QStringLiteral("jo"));
    EXPECT_EQ(window.RowCount(), 2);               // João, joana
    window.SetFilterText(QStringLiteral("0003"));  // any visible field
    ASSERT_EQ(window.RowCount(), 1);
    EXPECT_EQ(window.RecNoAt(0), 3);
    window.SetFilterText(QStringLiteral("10"));  // hidden fields are not searched
    EXPECT_EQ(window.RowCount(), 0);
    EXPECT_FALSE(window.OkButton()->isEnabled());
    window.SetFilterText(QString());
    EXPECT_EQ(window.RowCount(), 4);
}

// Collects what QAbstractItemModelTester reports (category qt.modeltest).
class ModelTestReports {
public:
    ModelTestReports() { previous_ = qInstallMessageHandler(&Collect); }
    ~ModelTestReports() { qInstallMessageHandler(previous_); }
    static QStringList& Seen() {
        static QStringList seen;
        return seen;
    }

private:
    static void Collect(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (context.category && QByteArray(context.category).startsWith("qt.modeltest"))
            Seen() << text;
    }
    QtMessageHandler previous_;
};

TEST_F(SearchList, ModelPassesTheItemModelTesterWhileFiltering) {
    ModelTestReports reports;
    ModelTestReports::Seen().clear();
    SearchModel model(&dataSet, nullptr);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(model.columnCount(), 2);  // the hidden field is no column
    model.SetFilter("jo");
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.DataRow(1), 2);
    EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole), QStringLiteral("joana d'arc"));
    model.SetFilter("zzz");
    EXPECT_EQ(model.rowCount(), 0);
    model.SetFilter("");
    EXPECT_EQ(model.rowCount(), 4);

    SearchModel closed(nullptr, nullptr);
    QAbstractItemModelTester closedTester(&closed,
                                          QAbstractItemModelTester::FailureReportingMode::Warning);
    closed.SetFilter("x");
    EXPECT_EQ(closed.rowCount(), 0);
    EXPECT_TRUE(ModelTestReports::Seen().isEmpty())
        << ModelTestReports::Seen().join(QLatin1Char('\n')).toStdString();
}

TEST_F(SearchList, AcceptPicksTheCurrentListedRow) {
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado.");
    window.SetFilterText(QStringLiteral("ar"));  // Maria Aparecida, joana d'arc
    ASSERT_EQ(window.RowCount(), 2);
    window.SetCurrentRow(1);
    window.accept();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.PickedRecNo(), 3);

    SearchWindow none(&dataSet, "Convidados|x");
    none.SetFilterText(QStringLiteral("zzz"));
    none.accept();  // nothing listed: stays open
    EXPECT_EQ(none.PickedRecNo(), 0);
    EXPECT_NE(none.result(), QDialog::Accepted);
}

TEST_F(SearchList, EnterInTheFilterBoxPicksTheFirstMatch) {
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado.");
    window.show();
    window.FilterBox()->setFocus();
    QTest::keyClicks(window.FilterBox(), "maria");
    QTest::keyClick(window.FilterBox(), Qt::Key_Return);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.PickedRecNo(), 2);
}

TEST_F(SearchList, DownInTheFilterBoxMovesThroughTheList) {
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado.");
    window.show();
    EXPECT_EQ(window.CurrentRow(), 0);
    QTest::keyClick(window.FilterBox(), Qt::Key_Down);
    QTest::keyClick(window.FilterBox(), Qt::Key_Down);
    EXPECT_EQ(window.CurrentRow(), 2);
}

TEST_F(SearchList, CellsUseTheFieldsDisplayText) {
    dataSet.FieldByName("NOME").OnGetText = [](corvana::Field&, std::string& text, bool display) {
        if (display) text = "Sr(a). " + text;
    };
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado.");
    EXPECT_EQ(window.CellText(1, 1), QStringLiteral("Sr(a). Maria Aparecida"));
    window.SetFilterText(QStringLiteral("sr(a). joão"));
    EXPECT_EQ(window.RowCount(), 1);
}

TEST_F(SearchList, AnEmptyListShowsTheTextAfterTheBar) {
    dataSet.EmptyDataSet();
    SearchWindow window(&dataSet, "Convidados|Nenhum convidado na lista.");
    EXPECT_TRUE(window.ShowsEmptyText());
    EXPECT_EQ(window.EmptyText(), QStringLiteral("Nenhum convidado na lista."));
    EXPECT_FALSE(window.OkButton()->isEnabled());
    SearchWindow closed(nullptr, "Convidados");
    EXPECT_TRUE(closed.ShowsEmptyText());
}

TEST_F(SearchList, SearchServicePositionsTheDatasetOnThePick) {
    QtSearchDialog search;
    WhenModal([](QWidget* w) {
        auto* window = qobject_cast<SearchWindow*>(w);
        ASSERT_NE(window, nullptr);
        window->SetFilterText(QStringLiteral("joana"));
        window->accept();
    });
    EXPECT_TRUE(search.Pesquisar(source, "Convidados|Nenhum.", false, true));
    EXPECT_EQ(dataSet.RecNo(), 3);

    WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_FALSE(search.Pesquisar(source, "Convidados|Nenhum.", false, true));
    EXPECT_EQ(dataSet.RecNo(), 3);
}

TEST_F(QtServices, SearchOverAHundredThousandRows) {
    corvana::ClientDataSet dataSet;
    dataSet.AddField("CODI", FieldType::Integer, 0, "Código");
    dataSet.AddField("NOME", FieldType::String, 40, "Nome");
    corvana::DataPacket packet({{"CODI", FieldType::Integer, 0}, {"NOME", FieldType::String, 40}});
    constexpr int kRows = 100000;
    for (int i = 1; i <= kRows; ++i)
        packet.addRow({Variant(i), Variant("Convidado " + std::to_string(i))});
    dataSet.SetData(std::move(packet));

    SearchWindow window(&dataSet, "Convidados|Nenhum.");
    window.show();
    EXPECT_EQ(window.RowCount(), kRows);
    window.SetFilterText(QStringLiteral("99999"));
    ASSERT_EQ(window.RowCount(), 1);  // "99999", and no other row holds it
    window.SetFilterText(QStringLiteral("convidado 5000"));
    EXPECT_EQ(window.RowCount(), 11);  // 5000 and 50000-50009
    window.SetCurrentRow(10);
    window.accept();
    EXPECT_EQ(window.PickedRecNo(), 50009);
}

TEST_F(QtServices, FileFilterInQtsForm) {
    EXPECT_EQ(ToQtFileFilter("Descrição (*.txt)|*.txt"), QStringLiteral("Descrição (*.txt)"));
    EXPECT_EQ(ToQtFileFilter("Texto|*.txt|Todos (*.*)|*.*"),
              QStringLiteral("Texto (*.txt);;Todos (*.*)"));
    EXPECT_EQ(ToQtFileFilter("Planilhas (*.xls;*.xlsx)|*.xls;*.xlsx"),
              QStringLiteral("Planilhas (*.xls *.xlsx)"));
    // Parentheses that are not patterns stay in the description.
    EXPECT_EQ(ToQtFileFilter("Planilhas (Excel)|*.xls"),
              QStringLiteral("Planilhas (Excel) (*.xls)"));
    EXPECT_EQ(ToQtFileFilter("|*.csv"), QStringLiteral("*.csv (*.csv)"));
    EXPECT_EQ(ToQtFileFilter(""), QString());
    EXPECT_EQ(ToQtFileFilter("Texto|*.txt|"), QStringLiteral("Texto (*.txt)"));
}

TEST_F(QtServices, BusyPanelNestsAndShowsTheInnermostKind) {
    QWidget form;
    form.resize(600, 400);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QtBusyIndicator busy;
    busy.Activate(&form, corvana::services::kBusyLoading);
    ASSERT_NE(busy.Panel(), nullptr);
    QWidget* panel = busy.Panel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->parentWidget(), &form);
    EXPECT_EQ(panel->geometry().center(), form.rect().center());
    EXPECT_EQ(busy.Text(), QStringLiteral("Carregando dados..."));
    EXPECT_EQ(panel->findChild<QLabel*>()->text(), QStringLiteral("Carregando dados..."));

    busy.Activate(&form, corvana::services::kBusySaving);
    EXPECT_EQ(busy.Depth(), 2);
    EXPECT_EQ(busy.Panel(), panel);  // one panel for the nest
    EXPECT_EQ(busy.Text(), QStringLiteral("Gravando dados..."));
    busy.Deactivate();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(busy.Text(), QStringLiteral("Carregando dados..."));
    busy.Deactivate();
    EXPECT_FALSE(busy.Active());
    EXPECT_EQ(busy.Panel(), nullptr);
    busy.Deactivate();  // unbalanced: ignored
    EXPECT_EQ(busy.Depth(), 0);
    EXPECT_EQ(QtBusyIndicator::TextFor(3), QStringLiteral("Aguarde..."));

    // Through the service facade, and a form that goes away while busy.
    corvana::services::SetBusyIndicator(&busy);
    {
        auto* other = new QWidget;
        other->show();
        corvana::services::BusyScope scope(other, 6);
        EXPECT_TRUE(busy.Active());
        delete other;
    }
    EXPECT_FALSE(busy.Active());
    corvana::services::SetBusyIndicator(&services.busy);
}

TEST_F(QtServices, BusyPanelDropsInputToTheWindowsUnderIt) {
    QWidget form;
    auto* button = new QPushButton(QStringLiteral("Gravar"), &form);
    auto* edit = new QLineEdit(&form);
    edit->move(0, 40);
    form.resize(600, 400);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

    QtBusyIndicator busy;
    busy.Activate(&form, corvana::services::kBusySaving);
    QLineEdit later;  // a window of the call, opened while busy
    later.show();
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClicks(edit, "abc");
    QTest::keyClicks(&later, "ok");
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(later.text(), QStringLiteral("ok"));

    busy.Deactivate();
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClicks(edit, "abc");
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

// A dialog open over the form (the screen's own modal window) would hide
// the panel: it goes over that dialog.
TEST_F(QtServices, BusyPanelGoesOverAModalWindowOpenOverTheForm) {
    QWidget form;
    form.resize(600, 400);
    form.show();
    QWidget dialog(&form, Qt::Dialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.resize(420, 150);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QtBusyIndicator busy;
    busy.Activate(&form, corvana::services::kBusySaving);
    ASSERT_NE(busy.Panel(), nullptr);
    EXPECT_EQ(busy.Panel()->parentWidget(), &dialog);
    EXPECT_TRUE(busy.Panel()->isVisible());
    busy.Deactivate();
}

TEST_F(QtServices, SaveDialogGivesANameWithoutExtensionTheFiltersOne) {
    QTemporaryDir folder;
    WhenModal([](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("recusados");
        QTest::keyClick(name, Qt::Key_Return);
    });
    const std::optional<std::string> chosen = QtSaveFileDialog().Execute(
        "Arquivos CSV (*.csv)|*.csv", (folder.path() + "/registros.csv").toStdString());
    EXPECT_EQ(chosen, (folder.path() + "/recusados.csv").toStdString());
}

TEST_F(QtServices, WaitCursorIsBalanced) {
    QtWaitCursor cursor;
    corvana::services::SetWaitCursor(&cursor);
    {
        corvana::services::WaitCursorScope outer;
        corvana::services::WaitCursorScope inner;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    cursor.SetWait();
    cursor.SetWait();
    cursor.SetDefault();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(cursor.IsWait());
    corvana::services::SetWaitCursor(&services.cursor);
}

}  // namespace
