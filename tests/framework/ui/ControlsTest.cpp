// The standard controls: change events, case, length, key filtering, the
// combo box's index and user changes, the number edit, the flat button and
// its menu item.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListView>
#include <QTest>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/Error.h"
#include "corvana/ui/KeyCodes.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TButtonFlat.h"

namespace {

using namespace corvana::ui;
using Texts = std::vector<std::string>;

class Controls : public ::testing::Test, corvana::test::WithQApplication {
protected:
    void SetUp() override { corvana::test::EnsureQApplication(); }
    corvana::services::ScriptedServicesScope services;
};

TEST_F(Controls, EditFiresOnChangeOnEveryChangeOfItsText) {
    TEdit edit;
    Texts changes;
    edit.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &edit);
        changes.push_back(edit.Text());
    };
    edit.SetText("José");
    edit.SetText("José");  // the same text: no change
    edit.SetText("");
    QTest::keyClicks(&edit, "ab");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(changes, (Texts{"José", "", "a", "ab", "a"}));
    EXPECT_EQ(edit.Text(), "a");
}

TEST_F(Controls, ChangeHandlerFaultReachesTheCodeThatSetTheText) {
    TEdit edit;
    edit.OnChange = [](QObject*) { throw corvana::Error("Valor recusado."); };
    EXPECT_THROW(edit.SetText("x"), corvana::Error);
    EXPECT_EQ(edit.Text(), "x");  // the change happened; the handler refused after it
    EXPECT_TRUE(services.dialogs.Messages().empty());
    // Typed by the user: the guard shows it.
    QTest::keyClicks(&edit, "y");
    EXPECT_EQ(services.dialogs.Errors(), (Texts{"Valor recusado."}));
}

TEST_F(Controls, EditCharCaseAndMaxLength) {
    TEdit edit;
    edit.SetCharCase(TEditCharCase::UpperCase);
    corvana::test::TypeText(&edit, QStringLiteral("joão"));
    EXPECT_EQ(edit.Text(), "JOÃO");
    edit.SetText("ação");
    EXPECT_EQ(edit.Text(), "AÇÃO");
    edit.SetCharCase(TEditCharCase::LowerCase);
    EXPECT_EQ(edit.Text(), "ação");  // the text there follows the new case

    TEdit code;
    code.SetMaxLength(4);
    QTest::keyClicks(&code, "123456");
    EXPECT_EQ(code.Text(), "1234");
    code.SetMaxLength(0);
    QTest::keyClicks(&code, "56");
    EXPECT_EQ(code.Text(), "123456");
    EXPECT_EQ(code.MaxLength(), 0);
}

TEST_F(Controls, KeyPressCanDiscardOrReplaceKeys) {
    TEdit edit;
    std::vector<char32_t> keys;
    edit.OnKeyPress = [&](QObject*, char32_t& key) {
        keys.push_back(key);
        if (key >= U'0' && key <= U'9')
            key = 0;  // digits refused
        else if (key == U',')
            key = U'.';
    };
    QTest::keyClicks(&edit, "a1,b2");
    EXPECT_EQ(edit.Text(), "a.b");
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(edit.Text(), "a.");
    EXPECT_EQ(keys, (std::vector<char32_t>{U'a', U'1', U',', U'b', U'2', kKeyEnter, kKeyBackspace,
                                           kKeyEscape}));

    // A handler that throws discards the key and is shown.
    edit.OnKeyPress = [](QObject*, char32_t&) { throw corvana::Error("Tecla inválida."); };
    QTest::keyClicks(&edit, "z");
    EXPECT_EQ(edit.Text(), "a.");
    EXPECT_EQ(services.dialogs.Errors(), (Texts{"Tecla inválida."}));
}

TEST_F(Controls, ReadOnlyEditIgnoresTypingEvenWhenAHandlerReplacesKeys) {
    TEdit edit;
    edit.SetReadOnly(true);
    edit.OnKeyPress = [](QObject*, char32_t& key) { key = U'x'; };
    QTest::keyClicks(&edit, "ab");
    EXPECT_EQ(edit.Text(), "");
}

TEST_F(Controls, CheckBoxClickComesFromTheUserOnly) {
    TCheckBox box("Convidado confirmado");
    int clicks = 0;
    box.OnClick = [&](QObject*) { ++clicks; };
    box.SetChecked(true);
    EXPECT_EQ(clicks, 0);
    box.show();
    QTest::mouseClick(&box, Qt::LeftButton, {}, box.rect().center());
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(box.Checked());
    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(box.Checked());
}

class ComboBox : public Controls {
protected:
    void SetUp() override {
        Controls::SetUp();
        combo.SetItems({"Almoço", "Jantar", "Coquetel"});
        combo.OnChange = [this](QObject*) { changes.push_back(combo.Text()); };
        combo.show();
    }
    TComboBox combo;
    Texts changes;
};

TEST_F(ComboBox, IndexSetByCodeFiresNothing) {
    EXPECT_EQ(combo.ItemIndex(), -1);
    combo.SetItemIndex(1);
    EXPECT_EQ(combo.Text(), "Jantar");
    EXPECT_EQ(combo.ItemIndex(), 1);
    combo.SetText("coquetel");
    EXPECT_EQ(combo.ItemIndex(), 2);
    combo.SetItemIndex(-1);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_THROW(combo.SetItemIndex(3), corvana::Error);
    EXPECT_TRUE(changes.empty());
}

TEST_F(ComboBox, PickingAnItemFiresOnChange) {
    combo.SetItemIndex(0);
    QTest::keyClick(&combo, Qt::Key_Down);  // the next item
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(changes, (Texts{"Jantar"}));

    combo.showPopup();
    QAbstractItemView* list = combo.view();
    list->setCurrentIndex(list->model()->index(2, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(combo.ItemIndex(), 2);
    EXPECT_EQ(changes, (Texts{"Jantar", "Coquetel"}));
}

TEST_F(ComboBox, TypingFiresOnChangeAndIndexFollowsTheText) {
    combo.SetItemIndex(0);
    combo.lineEdit()->selectAll();
    QTest::keyClicks(combo.lineEdit(), "Jan");
    EXPECT_EQ(combo.Text(), "Jan");  // no completion behind the user's back
    EXPECT_EQ(combo.ItemIndex(), -1);
    QTest::keyClicks(combo.lineEdit(), "tar");
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(changes, (Texts{"J", "Ja", "Jan", "Jant", "Janta", "Jantar"}));
    QTest::keyClick(combo.lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo.Items().size(), 3u);  // Enter does not add the text as an item
}

TEST_F(ComboBox, ReplacingTheItemsKeepsTheText) {
    combo.SetItemIndex(1);
    combo.SetItems({"Jantar", "Almoço"});
    EXPECT_EQ(combo.Text(), "Jantar");
    EXPECT_EQ(combo.ItemIndex(), 0);
    combo.SetText("Outro");
    combo.AddItem("Brunch");
    EXPECT_EQ(combo.Text(), "Outro");
    EXPECT_EQ(combo.ItemIndex(), -1);
    combo.SetStyle(TComboStyle::DropDownList);
    combo.SetItemIndex(2);
    EXPECT_EQ(combo.Text(), "Brunch");
    EXPECT_TRUE(changes.empty());
}

TEST_F(Controls, NumberEditShowsFixedDecimalsWithoutThousandsSeparator) {
    TNumberEdit number;
    EXPECT_EQ(number.Text(), "0");
    number.SetNumber(5000);
    EXPECT_EQ(number.Text(), "5000");
    number.SetNumber(1234567.4);
    EXPECT_EQ(number.Text(), "1234567");
    number.SetDecimals(2);
    EXPECT_EQ(number.Text(), "1234567,40");
    number.SetNumber(-0.001);
    EXPECT_EQ(number.Text(), "0,00");
    number.SetNumber(-2.5);
    EXPECT_EQ(number.Text(), "-2,50");
    EXPECT_DOUBLE_EQ(number.Number(), -2.5);

    number.SetText("2,25");
    EXPECT_DOUBLE_EQ(number.Number(), 2.25);
    number.SetText(" 3.5 ");
    EXPECT_EQ(number.Text(), "3,50");
    EXPECT_THROW(number.SetText("1.000,00"), corvana::Error);
    EXPECT_DOUBLE_EQ(number.Number(), 3.5);

    QTest::keyClicks(&number, "9");
    EXPECT_EQ(number.Text(), "3,50");  // read-only
}

TEST_F(Controls, FlatButtonMirrorsItsEnabledStateOnItsMenuItem) {
    QWidget toolbar;
    auto* button = new TButtonFlat(&toolbar);
    QAction item(QStringLiteral("Gravar"));
    int clicks = 0;
    button->OnClick = [&](QObject*) { ++clicks; };
    button->SetEnabled(false);
    button->SetMenuItem(&item);
    EXPECT_FALSE(item.isEnabled());
    button->SetEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    item.trigger();
    EXPECT_EQ(clicks, 1);

    toolbar.setEnabled(false);  // a disabled bar disables its buttons' items
    EXPECT_FALSE(item.isEnabled());
    toolbar.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());

    QAction other(QStringLiteral("Outro"));
    button->SetMenuItem(&other);
    item.setEnabled(true);
    item.trigger();  // no longer paired
    EXPECT_EQ(clicks, 1);
    button->SetEnabled(false);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_FALSE(other.isEnabled());
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
}

}  // namespace
