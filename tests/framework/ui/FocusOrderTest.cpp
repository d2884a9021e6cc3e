// The platform's enter/exit order, driven by real Qt focus changes on a shown,
// active window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "corvana/core/Consiste.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/Error.h"
#include "corvana/ui/QtServices.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TPanel.h"

namespace {

using corvana::ui::TEdit;
using corvana::ui::TFocusEvents;
using corvana::ui::TPanel;
using Log = std::vector<std::string>;

bool ActivateWindow(QWidget* window) {
    window->show();
    QApplication::setActiveWindow(window);
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// A window with panel P {A, B, W (a plain QLineEdit)} and C, D outside it.
class FocusOrder : public ::testing::Test {
protected:
    void SetUp() override {
        corvana::test::EnsureQApplication();
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        p = new TPanel(window.get());
        auto* inside = new QHBoxLayout(p);
        a = new TEdit(p);
        b = new TEdit(p);
        w = new QLineEdit(p);
        inside->addWidget(a);
        inside->addWidget(b);
        inside->addWidget(w);
        layout->addWidget(p);
        c = new TEdit(window.get());
        d = new TEdit(window.get());
        layout->addWidget(c);
        layout->addWidget(d);
        for (auto [events, name] : {std::pair<TFocusEvents*, const char*>{p, "P"},
                                    {a, "A"},
                                    {b, "B"},
                                    {c, "C"},
                                    {d, "D"}})
            Track(*events, name);
        ASSERT_TRUE(ActivateWindow(window.get()));
    }

    void Track(TFocusEvents& events, const std::string& name) {
        events.OnEnter = [this, name](QObject*) { log.push_back(name + ".enter"); };
        events.OnExit = [this, name](QObject*) { log.push_back(name + ".exit"); };
    }

    // Puts the focus on `widget` and forgets the events that took.
    void StartOn(QWidget* widget) {
        widget->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), widget);
        log.clear();
    }

    corvana::services::ScriptedServicesScope services;
    std::unique_ptr<QWidget> window;
    TPanel* p = nullptr;
    TEdit* a = nullptr;
    TEdit* b = nullptr;
    QLineEdit* w = nullptr;
    TEdit* c = nullptr;
    TEdit* d = nullptr;
    Log log;
};

TEST_F(FocusOrder, ActivatingTheWindowEntersItsFirstControlAndItsPanel) {
    // The window was activated in SetUp: the focus went to A, in P.
    EXPECT_EQ(QApplication::focusWidget(), a);
    EXPECT_EQ(log, (Log{"P.enter", "A.enter"}));
}

TEST_F(FocusOrder, ControlsExitBeforeTheirPanelAndPanelsEnterBeforeTheirControls) {
    StartOn(a);
    b->setFocus();  // inside P: the controls only
    EXPECT_EQ(log, (Log{"A.exit", "B.enter"}));
    log.clear();
    c->setFocus();
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "C.enter"}));
    log.clear();
    a->setFocus();
    EXPECT_EQ(log, (Log{"C.exit", "P.enter", "A.enter"}));
}

TEST_F(FocusOrder, TabFollowsTheSameOrder) {
    StartOn(a);
    QTest::keyClick(a, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), b);
    QTest::keyClick(b, Qt::Key_Tab);  // to W, a plain line edit in P
    EXPECT_EQ(QApplication::focusWidget(), w);
    QTest::keyClick(w, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), c);
    QTest::keyClick(c, Qt::Key_Backtab);
    EXPECT_EQ(log, (Log{"A.exit", "B.enter", "B.exit", "P.exit", "C.enter", "C.exit", "P.enter"}));
}

TEST_F(FocusOrder, ExitHandlerThatPutsTheFocusBackKeepsItWithoutFurtherEvents) {
    StartOn(b);
    b->OnExit = [this](QObject* sender) {
        log.push_back("B.exit");
        EXPECT_EQ(sender, b);
        b->SetFocus();
    };
    c->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_EQ(log, (Log{"B.exit"}));

    // B is still the active control: the next move leaves it normally.
    Track(*b, "B");
    log.clear();
    c->setFocus();
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "C.enter"}));
}

TEST_F(FocusOrder, ExitHandlerThatThrowsKeepsTheFocusAndShowsTheMessageOnce) {
    StartOn(b);
    b->OnExit = [this](QObject*) {
        log.push_back("B.exit");
        Consiste::MensErro("Informe o código.");
    };
    c->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_EQ(log, (Log{"B.exit"}));
    EXPECT_EQ(services.dialogs.Errors(), (std::vector<std::string>{"Informe o código."}));

    b->OnExit = [this](QObject*) {
        log.push_back("B.exit");
        throw corvana::Error("Código inválido.");
    };
    log.clear();
    QTest::keyClick(b, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_EQ(log, (Log{"B.exit"}));
    EXPECT_EQ(services.dialogs.Errors(),
              (std::vector<std::string>{"Informe o código.", "Código inválido."}));
}

// A window coming back to the front, a menu bar holding the keyboard and the
// rest of a refused click are the window system's, not moves of the user's.
TEST_F(FocusOrder, WhatTheWindowSystemDoesWithTheFocusIsNoMove) {
    StartOn(a);
    c->setFocus(Qt::ActiveWindowFocusReason);  // given back to another widget
    EXPECT_EQ(QApplication::focusWidget(), a);
    auto* bar = new QMenuBar(window.get());
    bar->addMenu("Menu");
    bar->show();
    bar->setFocus(Qt::MenuBarFocusReason);
    a->setFocus(Qt::MenuBarFocusReason);
    EXPECT_TRUE(log.empty());

    auto* button = new QPushButton("Outro", window.get());
    button->setFocusPolicy(Qt::StrongFocus);
    button->show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    a->OnExit = [this](QObject*) {
        log.push_back("A.exit");
        Consiste::MensErro("Informe o código.");
    };
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), a);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(log, (Log{"A.exit"}));
    Track(*a, "A");
    QTest::mouseClick(button, Qt::LeftButton);  // the next click is the user's own
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(QApplication::focusWidget(), button);
}

TEST_F(FocusOrder, ExitHandlerShowingARealMessageBoxStillKeepsTheFocus) {
    // The message box takes the focus to another window and gives it back
    // while the handler runs.
    corvana::ui::QtDialogs qtDialogs;
    corvana::services::SetDialogs(&qtDialogs);
    int boxes = 0;
    b->OnExit = [&](QObject*) {
        log.push_back("B.exit");
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++boxes;
                box->accept();
            }
        });
        throw corvana::Error("Código inválido.");
    };
    StartOn(b);
    c->setFocus();
    corvana::services::SetDialogs(&services.dialogs);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(window->focusWidget(), b);
    // The window manager gives the window back its activation.
    ASSERT_TRUE(ActivateWindow(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_EQ(log, (Log{"B.exit"}));
}

TEST_F(FocusOrder, PanelExitThatThrowsReturnsTheFocusInside) {
    StartOn(b);
    p->OnExit = [this](QObject*) {
        log.push_back("P.exit");
        throw corvana::EAbort();
    };
    c->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), b);
    // B had been left, so it is entered again; C never was.
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "B.enter"}));
    EXPECT_TRUE(services.dialogs.Messages().empty());
}

TEST_F(FocusOrder, PanelExitThatMovesTheFocusInsideKeepsThePlaceItChose) {
    StartOn(b);
    p->OnExit = [this](QObject*) {
        log.push_back("P.exit");
        a->SetFocus();
        throw corvana::EAbort();
    };
    c->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), a);
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "A.enter"}));
}

TEST_F(FocusOrder, HandlersThatMoveTheFocusLeaveNoStaleEvents) {
    // An exit handler sends the focus elsewhere: C is never entered.
    StartOn(b);
    b->OnExit = [this](QObject*) {
        log.push_back("B.exit");
        d->SetFocus();
    };
    c->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), d);
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "D.enter"}));

    // An enter handler moves on at once: C is left again, in order.
    Track(*b, "B");
    StartOn(b);
    c->OnEnter = [this](QObject*) {
        log.push_back("C.enter");
        a->SetFocus();
    };
    c->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), a);
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "C.enter", "C.exit", "P.enter", "A.enter"}));

    // A panel's enter handler picks the control inside: B is never entered.
    Track(*c, "C");
    StartOn(c);
    p->OnEnter = [this](QObject*) {
        log.push_back("P.enter");
        a->SetFocus();
    };
    b->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), a);
    EXPECT_EQ(log, (Log{"C.exit", "P.enter", "A.enter"}));
}

TEST_F(FocusOrder, EnterHandlerThatThrowsIsShownAndTheMoveStands) {
    StartOn(a);
    b->OnEnter = [](QObject*) { throw corvana::Error("Falhou ao entrar."); };
    b->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_EQ(services.dialogs.Errors(), (std::vector<std::string>{"Falhou ao entrar."}));
}

TEST_F(FocusOrder, PlainWidgetsRaiseNothingButPanelsFollowThem) {
    StartOn(a);
    w->setFocus();
    EXPECT_EQ(log, (Log{"A.exit"}));
    log.clear();
    c->setFocus();
    EXPECT_EQ(log, (Log{"P.exit", "C.enter"}));
    log.clear();
    w->setFocus();
    EXPECT_EQ(log, (Log{"C.exit", "P.enter"}));
}

TEST_F(FocusOrder, NestedPanelsExitInnermostFirstAndEnterOutermostFirst) {
    auto* inner = new TPanel(p);
    auto* x = new TEdit(inner);
    p->layout()->addWidget(inner);
    inner->show();
    Track(*inner, "Q");
    Track(*x, "X");
    StartOn(x);
    a->setFocus();
    EXPECT_EQ(log, (Log{"X.exit", "Q.exit", "A.enter"}));
    log.clear();
    x->setFocus();
    EXPECT_EQ(log, (Log{"A.exit", "Q.enter", "X.enter"}));
    log.clear();
    c->setFocus();
    EXPECT_EQ(log, (Log{"X.exit", "Q.exit", "P.exit", "C.enter"}));
    log.clear();
    x->setFocus();
    EXPECT_EQ(log, (Log{"C.exit", "P.enter", "Q.enter", "X.enter"}));
}

TEST_F(FocusOrder, ACellEditorCountsAsInsideItsGridAndItsPanel) {
    auto* grid = new QTableWidget(2, 2, p);
    p->layout()->addWidget(grid);
    grid->show();
    grid->setItem(0, 0, new QTableWidgetItem(QStringLiteral("x")));
    StartOn(c);
    grid->setFocus();
    EXPECT_EQ(log, (Log{"C.exit", "P.enter"}));
    log.clear();
    grid->editItem(grid->item(0, 0));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid);
    ASSERT_TRUE(grid->isAncestorOf(editor));
    a->setFocus();
    EXPECT_EQ(log, (Log{"A.enter"}));
    log.clear();
    grid->editItem(grid->item(0, 0));
    c->setFocus();
    EXPECT_EQ(log, (Log{"A.exit", "P.exit", "C.enter"}));

    // A framework edit used as a cell editor stands for the grid as well.
    auto* typed = new TEdit(grid->viewport());
    Track(*typed, "E");
    StartOn(grid);
    typed->show();
    typed->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), typed);
    EXPECT_EQ(log, (Log{}));
}

TEST_F(FocusOrder, OtherWindowsDoNotTakeTheActiveControl) {
    StartOn(b);
    QWidget other;
    auto* e = new TEdit(&other);
    new QHBoxLayout(&other);
    other.layout()->addWidget(e);
    Track(*e, "E");
    ASSERT_TRUE(ActivateWindow(&other));
    EXPECT_EQ(log, (Log{"E.enter"}));  // the other window's own first control
    log.clear();
    ASSERT_TRUE(ActivateWindow(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_TRUE(log.empty());
    c->setFocus();
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "C.enter"}));
}

TEST_F(FocusOrder, TheRestOfAMoveWaitsWhileAHandlerKeepsTheFocusInAnotherWindow) {
    QWidget other;
    auto* e = new TEdit(&other);
    new QHBoxLayout(&other);
    other.layout()->addWidget(e);
    Track(*e, "E");
    StartOn(b);
    b->OnExit = [&](QObject*) {
        log.push_back("B.exit");
        ActivateWindow(&other);
    };
    c->setFocus();
    EXPECT_EQ(log, (Log{"B.exit", "E.enter"}));
    ASSERT_TRUE(ActivateWindow(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), c);
    EXPECT_EQ(log, (Log{"B.exit", "E.enter", "P.exit", "C.enter"}));
}

TEST_F(FocusOrder, MdiChildFormsKeepTheirOwnActiveControls) {
    QWidget main;
    auto* area = new QMdiArea(&main);
    new QVBoxLayout(&main);
    main.layout()->addWidget(area);
    TEdit* edits[2][2];
    for (int form = 0; form < 2; ++form) {
        auto* child = new QWidget;
        new QVBoxLayout(child);
        for (int i = 0; i < 2; ++i) {
            edits[form][i] = new TEdit(child);
            child->layout()->addWidget(edits[form][i]);
            Track(*edits[form][i], std::string(1, char('E' + form)) + std::to_string(i));
        }
        area->addSubWindow(child)->show();
    }
    ASSERT_TRUE(ActivateWindow(&main));
    edits[1][0]->setFocus();
    log.clear();
    edits[0][0]->setFocus();  // F0 stays the active control of its form
    EXPECT_EQ(log, (Log{"E0.enter"}));
    log.clear();
    edits[0][1]->setFocus();
    EXPECT_EQ(log, (Log{"E0.exit", "E1.enter"}));
    log.clear();
    edits[1][0]->setFocus();  // back to the other form's active control
    EXPECT_EQ(log, (Log{}));
    edits[1][1]->setFocus();
    EXPECT_EQ(log, (Log{"F0.exit", "F1.enter"}));
}

TEST_F(FocusOrder, AWidgetMarkedAsAFormKeepsItsOwnActiveControl) {
    auto* embedded = new QWidget(window.get());
    embedded->setProperty(corvana::ui::kFormProperty, true);
    auto* e = new TEdit(embedded);
    new QVBoxLayout(embedded);
    embedded->layout()->addWidget(e);
    window->layout()->addWidget(embedded);
    embedded->show();
    Track(*e, "E");
    StartOn(b);
    e->setFocus();
    EXPECT_EQ(log, (Log{"E.enter"}));
    log.clear();
    c->setFocus();  // the window's own form: B is still its active control
    EXPECT_EQ(log, (Log{"B.exit", "P.exit", "C.enter"}));
}

TEST_F(FocusOrder, ComboDropDownKeepsTheControlEntered) {
    auto* combo = new corvana::ui::TComboBox(p);
    p->layout()->addWidget(combo);
    combo->show();
    combo->SetItems({"um", "dois"});
    Track(*combo, "K");
    StartOn(combo);
    combo->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }));
    EXPECT_TRUE(combo->view()->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == combo->view());
    combo->hidePopup();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == combo; }));
    EXPECT_TRUE(log.empty());
}

TEST_F(FocusOrder, FocusByCodeNeedsAnEnabledVisibleControl) {
    StartOn(a);
    EXPECT_TRUE(c->CanFocus());
    c->SetEnabled(false);
    EXPECT_FALSE(c->CanFocus());
    EXPECT_THROW(c->SetFocus(), corvana::Error);
    c->SetEnabled(true);
    p->setEnabled(false);  // a disabled container disables what it holds
    EXPECT_FALSE(b->CanFocus());
    EXPECT_TRUE(b->Enabled());  // its own flag is unchanged
    p->setEnabled(true);
    b->SetVisible(false);
    EXPECT_FALSE(b->CanFocus());
    EXPECT_THROW(b->SetFocus(), corvana::Error);
    EXPECT_EQ(log, (Log{}));
}

TEST_F(FocusOrder, DisablingTheFocusedControlMovesOnInOrder) {
    StartOn(b);
    b->SetEnabled(false);  // Qt moves the focus to the next widget (W)
    EXPECT_EQ(QApplication::focusWidget(), w);
    EXPECT_EQ(log, (Log{"B.exit"}));
}

TEST_F(FocusOrder, ADestroyedControlRaisesNothing) {
    StartOn(b);
    delete b;
    b = nullptr;
    c->setFocus();
    EXPECT_EQ(log, (Log{"P.exit", "C.enter"}));
}

TEST_F(FocusOrder, HandlersThatKeepMovingTheFocusAreCutShort) {
    StartOn(c);
    a->OnEnter = [this](QObject*) { b->SetFocus(); };
    b->OnEnter = [this](QObject*) { a->SetFocus(); };
    a->setFocus();  // returns although the handlers never agree
    QWidget* stopped = QApplication::focusWidget();
    EXPECT_TRUE(stopped == a || stopped == b);
    Track(*a, "A");
    Track(*b, "B");
    log.clear();
    d->setFocus();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ((Log{log.end() - 2, log.end()}), (Log{"P.exit", "D.enter"}));
}

}  // namespace
