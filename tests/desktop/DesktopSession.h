#pragma once
// The desktop tier: the real evt-host and evt07800-server, as separate
// processes, in a real X window (Xvfb with the openbox window manager),
// driven with xdotool as a user would. What the tests see is what a user and
// an administrator see: the host's UI trace (CORVANA_UI_TRACE: focus,
// message boxes, and dumps of the window on Ctrl+Alt+Shift+D), the server's
// log of calls and the database file.
//
// Each test gets its own display, server, database and host. When Xvfb
// cannot start here, the test is skipped with a line that says so.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace desktop {

// Polls `ready` until it holds or a generous limit passes.
bool WaitUntil(const std::function<bool()>& ready,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

// A child process with its output in a file.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
          const std::filesystem::path& log);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    bool Running();
    // The exit code (128 + signal when killed); nothing when it has not ended
    // within `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit);
    // SIGTERM, then SIGKILL if it does not end.
    void Stop();

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct Widget {
    int x = 0, y = 0, w = 0, h = 0;
    bool enabled = false;
    std::string text;
};

// One dump of the host's window.
struct Snapshot {
    std::string active;
    std::string focus;  // "<form>.<widget>"
    std::vector<std::string> boxes;
    std::map<std::string, Widget> widgets;  // the first of each name
    std::map<std::string, Widget> menus;
    int gridRows = -1, gridCurrent = -1;    // dbgPadrao
    std::map<std::string, Widget> columns;  // dbgPadrao's, by field (x, w)
    std::map<int, Widget> rows;             // dbgPadrao's first visible rows (y, h)
    bool gridScrolls = false;               // dbgPadrao has a horizontal scroll bar
    std::string gridField;                  // dbgPadrao's current column
    struct Cell {
        int row = 0;
        std::string field, text;
        bool whole = false;
    };
    std::vector<Cell> cells;  // dbgPadrao's cells of those rows

    bool Enabled(const std::string& name) const;
    std::string Text(const std::string& name) const;
};

class DesktopTest : public ::testing::Test {
protected:
    // A test that must see a window the window system has not activated
    // (as on a display without a window manager) clears it before SetUp.
    bool windowManager = true;
    // The size of the virtual screen, set before SetUp.
    std::string screen = "1300x760";

    void SetUp() override;
    void TearDown() override;

    // The application server on `port` (0: any free one) over the test's
    // database, seeded with the demonstration data on first start.
    void StartServer(int port = 0);
    void StopServer();
    // The host with the guest list screen on these launch values; returns
    // when the screen has taken the focus (without a window manager: when
    // the host's window is shown).
    void StartHost(const std::vector<std::string>& values);
    // The server, and the host on the guest list of branch 0001, budget
    // 0000001001, sequence 01.
    void StartOnTheTestList();
    // Ends the host as a user does (Arquivo > Sair) and gives its exit code.
    std::optional<int> QuitHost();
    // Leaves the filter panel for the grid with a click, as a user does, and
    // returns once the list was loaded.
    void LoadList();

    // --- the user -------------------------------------------------------------
    // Keys one after the other: "Tab", "ctrl+a", "Tab Tab Return".
    void Key(const std::string& keys);
    void Type(const std::string& text);
    void ClickAt(int x, int y);
    void Click(const std::string& widget);  // the centre of a named widget
    void ClickMenu(const std::string& title);
    // Answers the message box on screen with a key once the box has the
    // focus (a key sent while the window manager still activates it is lost).
    void Answer(const std::string& key);
    // A cell of the guest grid: visible row r, the column of `field`.
    void ClickCell(int row, const std::string& field);

    // --- what the user and the administrator see --------------------------------
    Snapshot Dump();
    // Every text of the active window in a new dump (UiTrace's text lines):
    // its title, its widgets' texts and tool tips, the column titles and
    // rows of its lists; for windows whose widgets have no names (Qt's
    // dialogs).
    std::vector<std::string> Texts();
    // The messages shown so far ("Erro|Orçamento não cadastrado.").
    std::vector<std::string> Messages() const;
    // How many times the server was asked `method` of a module so far.
    int Calls(const std::string& method, const std::string& module = "rdmListConv") const;
    // A station's call to the server (docs/reception.md): POST of a JSON
    // body to `path`; the HTTP status and the body answered.
    std::pair<int, std::string> PostJson(const std::string& path, const std::string& body);
    // The whole screen saved as a PNG picture; false when it could not be.
    bool Screenshot(const std::filesystem::path& file);
    // Waits for the message box that shows `text` (shown once more than now).
    bool WaitForMessage(const std::string& text, std::size_t before);
    // A value of the database (first column of the first row), or nothing.
    std::optional<std::string> Query(const std::string& sql) const;
    // The first guest of the test list whose name is plain ASCII (it reads
    // the same in every encoding a file may have), or nothing.
    std::optional<std::string> PlainGuestName() const;
    // Runs a statement on the database as another program would.
    void Exec(const std::string& sql) const;

    std::filesystem::path dir;
    int port = 0;
    std::unique_ptr<Child> server;
    std::unique_ptr<Child> host;

private:
    std::string Read(const std::filesystem::path& file) const;
    void Xdotool(const std::vector<std::string>& args);
    int serverRun_ = 0;
};

}  // namespace desktop
