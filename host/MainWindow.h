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

protected:
    // Closing the host (its window or Arquivo > Sair) first closes each open
    // screen through its own close handling; the first screen that refuses
    // (a guest list whose changes the server has not accepted, kept by the
    // user) stops it, and the host stays open with the screens not closed.
    void closeEvent(QCloseEvent* event) override;

private:
    QMdiArea* mdi_;
};
