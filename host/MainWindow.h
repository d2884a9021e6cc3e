#pragma once
#include <QMainWindow>

class QMdiArea;

// The host's main window: the MDI area where screens open, the menu that
// opens them, and a status bar with the user's branch and the server.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();
    QMdiArea* mdiArea() const { return mdi_; }

    // Opens the guest list screen with the user's branch (no budget).
    void openGuestList();

private:
    QMdiArea* mdi_;
};
