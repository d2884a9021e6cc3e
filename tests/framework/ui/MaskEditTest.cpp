// The masked edit: typing filtered by the mask, the value in Text(), the text
// shown, OnChange on value changes, and the refusal to leave half-filled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/ui/TMaskEdit.h"

namespace {

using corvana::ui::TMaskEdit;
using Texts = std::vector<std::string>;

class MaskEdit : public ::testing::Test, corvana::test::WithQApplication {
protected:
    void SetUp() override {
        corvana::test::EnsureQApplication();
        edit.OnChange = [this](QObject*) { changes.push_back(edit.Text()); };
    }
    void Home() { edit.setCursorPosition(0); }

    corvana::services::ScriptedServicesScope services;
    TMaskEdit edit;
    Texts changes;
};

TEST_F(MaskEdit, CodeMaskGivesTheDigitsTypedAsValue) {
    edit.SetEditMask("9999;0; ");
    EXPECT_EQ(edit.EditText(), "    ");
    Home();
    QTest::keyClicks(&edit, "1");
    EXPECT_EQ(edit.Text(), "1");
    EXPECT_EQ(edit.EditText(), "1   ");
    QTest::keyClicks(&edit, "a-x");  // letters and signs refused
    EXPECT_EQ(edit.EditText(), "1   ");
    QTest::keyClicks(&edit, "234");
    QTest::keyClicks(&edit, "5");  // the mask is full
    EXPECT_EQ(edit.Text(), "1234");
    EXPECT_EQ(changes, (Texts{"1", "12", "123", "1234"}));
}

TEST_F(MaskEdit, SetTextLaysTheValueIntoTheMask) {
    edit.SetEditMask("9999;0; ");
    edit.SetText("0001");
    EXPECT_EQ(edit.EditText(), "0001");
    EXPECT_EQ(edit.Text(), "0001");
    edit.SetText("0001");  // same value: no change
    edit.SetText("");
    EXPECT_EQ(edit.EditText(), "    ");
    EXPECT_EQ(changes, (Texts{"0001", ""}));
}

TEST_F(MaskEdit, LiteralsAreShownSkippedAndLeftOutOfTheValue) {
    edit.SetEditMask("999.999.999-99;0;_");
    EXPECT_EQ(edit.EditText(), "___.___.___-__");
    Home();
    QTest::keyClicks(&edit, "123.456");  // a typed literal steps over its place
    QTest::keyClicks(&edit, "78901");
    EXPECT_EQ(edit.EditText(), "123.456.789-01");
    EXPECT_EQ(edit.Text(), "12345678901");
    EXPECT_EQ(changes.size(), 11u);  // one per digit, none for the literal

    edit.SetText("98765432100");
    EXPECT_EQ(edit.EditText(), "987.654.321-00");
}

TEST_F(MaskEdit, BackspaceDeleteAndSelectionClearPositions) {
    edit.SetEditMask("99/99/9999;0;_");
    edit.SetText("25122026");
    edit.setCursorPosition(3);                  // after the first "/"
    QTest::keyClick(&edit, Qt::Key_Backspace);  // clears the "2" before the "/"
    EXPECT_EQ(edit.EditText(), "2_/12/2026");
    EXPECT_EQ(edit.cursorPosition(), 1);
    QTest::keyClicks(&edit, "4");
    EXPECT_EQ(edit.EditText(), "24/12/2026");
    EXPECT_EQ(edit.cursorPosition(), 3);  // past the literal

    edit.setCursorPosition(2);
    QTest::keyClick(&edit, Qt::Key_Delete);  // on the literal: clears the next data position
    EXPECT_EQ(edit.EditText(), "24/_2/2026");

    edit.setSelection(6, 4);
    QTest::keyClicks(&edit, "27");
    EXPECT_EQ(edit.EditText(), "24/_2/27__");
    EXPECT_EQ(edit.Text(), "24227");
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.EditText(), "__/__/____");
    EXPECT_EQ(edit.Text(), "");
}

TEST_F(MaskEdit, CaseSwitchesAndAccentedLetters) {
    edit.SetEditMask(">LLL<ll;0;_");
    Home();
    corvana::test::TypeText(&edit, QStringLiteral("ção1DE"));
    EXPECT_EQ(edit.Text(), "ÇÃOde");
}

TEST_F(MaskEdit, KeepLiteralsMaskKeepsThemInTheValue) {
    edit.SetEditMask("99/99;1;_");
    Home();
    QTest::keyClicks(&edit, "123");
    EXPECT_EQ(edit.Text(), "12/3");
    edit.SetText("07/11");
    EXPECT_EQ(edit.EditText(), "07/11");
}

TEST_F(MaskEdit, PasteTypesTheClipboardThroughTheMask) {
    edit.SetEditMask("999.999.999-99;0;_");
    QApplication::clipboard()->setText(QStringLiteral("123.456.789-01"));
    Home();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.Text(), "12345678901");
}

TEST_F(MaskEdit, KeyPressSeesTheKeysBeforeTheMask) {
    edit.SetEditMask("9999;0; ");
    edit.OnKeyPress = [](QObject*, char32_t& key) {
        if (key == U'o')
            key = U'0';  // a letter O typed for a zero
        else if (key == U'5')
            key = 0;
    };
    Home();
    QTest::keyClicks(&edit, "1o5");
    EXPECT_EQ(edit.Text(), "10");
}

TEST_F(MaskEdit, ChangingTheMaskKeepsTheValueAndRemovingItLeavesAPlainEdit) {
    edit.SetEditMask("9999;0; ");
    edit.SetText("12");
    changes.clear();
    edit.SetEditMask("99-99;0;_");
    EXPECT_EQ(edit.EditText(), "12-__");
    EXPECT_EQ(edit.Text(), "12");
    EXPECT_TRUE(changes.empty());
    edit.SetEditMask("");
    EXPECT_EQ(edit.EditText(), "12");
    QTest::keyClicks(&edit, "ab");
    EXPECT_EQ(edit.Text(), "12ab");
}

TEST_F(MaskEdit, TextSetThroughQLineEditIsTakenAsAValue) {
    edit.SetEditMask("999.999;0;_");
    edit.setText(QStringLiteral("123456"));
    EXPECT_EQ(edit.EditText(), "123.456");
    EXPECT_EQ(changes, (Texts{"123456"}));
}

TEST_F(MaskEdit, LeavingWithRequiredPositionsHalfFilledIsRefused) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* date = new TMaskEdit(&window);
    auto* next = new TMaskEdit(&window);
    layout->addWidget(date);
    layout->addWidget(next);
    date->SetEditMask("00/00/0000;1;_");
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    date->setFocus();
    date->setCursorPosition(0);
    QTest::keyClicks(date, "2512");
    next->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), date);
    EXPECT_EQ(services.dialogs.Errors().size(), 1u);

    date->SetText("");  // left blank it may go
    next->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), next);
    date->SetText("25/12/2026");
    date->setFocus();
    next->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), next);
    EXPECT_EQ(services.dialogs.Errors().size(), 1u);
}

}  // namespace
