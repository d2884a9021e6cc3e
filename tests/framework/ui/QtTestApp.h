#pragma once
#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QtGlobal>

// The one QApplication of the UI test executable. Any test that needs Qt
// widgets calls EnsureQApplication() first (in SetUp, or at the top of the
// test); the first call creates the application, later calls return it.
// Without QT_QPA_PLATFORM in the environment the tests run offscreen. The
// application is never destroyed: widgets of one test may outlive it only
// until the process ends.
namespace corvana::test {

inline QApplication& EnsureQApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_framework_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A base for test fixtures whose members are widgets: the application
// exists before they are constructed.
struct WithQApplication {
    WithQApplication() { EnsureQApplication(); }
};

// Types `text` into `widget` as key presses; unlike QTest::keyClicks it
// also takes characters outside ASCII (accented letters).
inline void TypeText(QWidget* widget, const QString& text) {
    for (QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

}  // namespace corvana::test
