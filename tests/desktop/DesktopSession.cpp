#include "DesktopSession.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace desktop {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const fs::path kBin = EVT_BIN_DIR;

pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const fs::path& log) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (!env.count(key)) envText.push_back(entry);
    }
    for (const auto& [key, value] : env) envText.push_back(key + "=" + value);
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Decode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a command to its end; its exit code.
int RunToEnd(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const fs::path& log) {
    const pid_t pid = Spawn(argv, env, log);
    if (pid <= 0) return 127;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return Decode(status);
}

// One virtual display with a window manager for the test program.
struct Display {
    std::string name;
    std::string why;  // why there is none
    std::unique_ptr<Child> xvfb, wm;

    // One display for each kind and size, started when first asked for.
    static Display& Instance(bool windowManager, const std::string& screen) {
        static std::map<std::pair<bool, std::string>, Display> displays;
        auto [it, added] = displays.try_emplace({windowManager, screen});
        if (added) it->second = Start(windowManager, screen);
        return it->second;
    }

    // Two test programs starting at once may pick the same display number:
    // the one that loses tries again.
    static Display Start(bool windowManager, const std::string& screen) {
        Display d;
        for (int attempt = 0; attempt < 5; ++attempt) {
            d = StartOnce(windowManager, screen);
            if (d.why.empty()) break;
        }
        return d;
    }

    static Display StartOnce(bool windowManager, const std::string& screen) {
        Display d;
        const fs::path log =
            fs::temp_directory_path() / ("evt-desktop-x-" + std::to_string(getpid()) + ".log");
        int fds[2];
        if (pipe(fds) != 0) {
            d.why = "pipe";
            return d;
        }
        // Xvfb picks a free display and writes its number to the pipe.
        d.xvfb = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     screen + "x24", "-nolisten", "tcp"},
            std::map<std::string, std::string>{}, log);
        close(fds[1]);
        std::string number;
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        WaitUntil(
            [&] {
                char c;
                while (read(fds[0], &c, 1) == 1) {
                    if (c == '\n') return true;
                    number += c;
                }
                return !d.xvfb->Running();
            },
            20s);
        close(fds[0]);
        if (number.empty() || !d.xvfb->Running()) {
            d.why = "Xvfb não pôde ser iniciado (instalado? veja " + log.string() + ")";
            d.xvfb.reset();
            return d;
        }
        d.name = ":" + number;
        if (!windowManager) return d;
        d.wm =
            std::make_unique<Child>(std::vector<std::string>{"openbox"},
                                    std::map<std::string, std::string>{{"DISPLAY", d.name}}, log);
        // The window manager answers for the desktops once it runs.
        const bool managed = WaitUntil(
            [&] {
                return RunToEnd({"xdotool", "get_num_desktops"}, {{"DISPLAY", d.name}},
                                "/dev/null") == 0;
            },
            20s);
        if (!managed) d.why = "o gerenciador de janelas openbox não iniciou";
        return d;
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

// --- Child ------------------------------------------------------------------------

Child::Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             const fs::path& log)
    : pid_(Spawn(argv, env, log)) {}

Child::~Child() {
    Stop();
}

bool Child::Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = Decode(status);
        return false;
    }
    return true;
}

std::optional<int> Child::Wait(std::chrono::milliseconds limit) {
    WaitUntil([this] { return !Running(); }, limit);
    return status_;
}

void Child::Stop() {
    if (!Running()) return;
    kill(pid_, SIGTERM);
    if (!Wait(10s)) {
        kill(pid_, SIGKILL);
        Wait(10s);
    }
}

// --- Snapshot ---------------------------------------------------------------------

bool Snapshot::Enabled(const std::string& name) const {
    auto it = widgets.find(name);
    return it != widgets.end() && it->second.enabled;
}

std::string Snapshot::Text(const std::string& name) const {
    auto it = widgets.find(name);
    return it == widgets.end() ? std::string() : it->second.text;
}

// --- DesktopTest ------------------------------------------------------------------

void DesktopTest::SetUp() {
    Display& display = Display::Instance(windowManager, screen);
    if (display.name.empty() || !display.why.empty())
        GTEST_SKIP() << "sem tela virtual: " << display.why;
    static int counter = 0;
    dir = fs::temp_directory_path() /
          ("evt-desktop-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(dir);
    fs::create_directories(dir);
}

void DesktopTest::TearDown() {
    if (HasFailure() && !dir.empty()) {
        // What the user and the server saw, for the one reading the failure.
        std::cerr << "--- UI trace ---\n" << Read(dir / "ui.log");
        std::cerr << "--- host ---\n" << Read(dir / "host.log");
        for (int run = 1; run <= serverRun_; ++run)
            std::cerr << "--- server " << run << " ---\n"
                      << Read(dir / ("server-" + std::to_string(run) + ".log"));
    }
    host.reset();
    server.reset();
    std::error_code ec;
    if (!HasFailure()) fs::remove_all(dir, ec);
}

void DesktopTest::StartServer(int at) {
    const fs::path log = dir / ("server-" + std::to_string(++serverRun_) + ".log");
    server = std::make_unique<Child>(
        std::vector<std::string>{(kBin / "evt07800-server").string(), "--host", "127.0.0.1",
                                 "--port", std::to_string(at), "--db", (dir / "evt.db").string(),
                                 "--seed-demo"},
        std::map<std::string, std::string>{}, log);
    static const std::regex listening(R"(ouvindo em http://127\.0\.0\.1:(\d+))");
    std::smatch m;
    ASSERT_TRUE(WaitUntil([&] {
        const std::string text = Read(log);
        if (!std::regex_search(text, m, listening)) return !server->Running();
        port = std::stoi(m[1]);
        return true;
    })) << Read(log);
    ASSERT_TRUE(server->Running()) << Read(log);
}

void DesktopTest::StopServer() {
    server.reset();
}

void DesktopTest::StartHost(const std::vector<std::string>& values) {
    std::vector<std::string> argv = {(kBin / "evt-host").string(),
                                     "--WebURL=127.0.0.1",
                                     "--WebPort=" + std::to_string(port),
                                     "--DataDir=" + dir.string(),
                                     "--DatabaseURL=" + (dir / "evt.db").string(),
                                     "--FiliProc=0001",
                                     "--NomeFiliProc=Matriz",
                                     "--ModuFili=0",
                                     "--screen",
                                     "EVT07800"};
    argv.insert(argv.end(), values.begin(), values.end());
    host = std::make_unique<Child>(argv,
                                   std::map<std::string, std::string>{
                                       {"DISPLAY", Display::Instance(windowManager, screen).name},
                                       {"QT_QPA_PLATFORM", "xcb"},
                                       {"CORVANA_UI_TRACE", (dir / "ui.log").string()},
                                       {"CORVANA_WEBPORT", ""}},
                                   dir / "host.log");
    const std::string ready = windowManager ? "focus frmListConv." : "window Corvana Eventos";
    ASSERT_TRUE(WaitUntil([&] {
        return Read(dir / "ui.log").find(ready) != std::string::npos || !host->Running();
    })) << Read(dir / "host.log");
    ASSERT_TRUE(host->Running()) << Read(dir / "host.log");
    // Unactivated, the screen gives no sign of its own: ask until it is there.
    if (!windowManager) {
        ASSERT_TRUE(WaitUntil([&] { return Dump().widgets.count("frmListConv") == 1; }));
    }
}

void DesktopTest::LoadList() {
    const int loads = Calls("GetConvOrceve");
    Click("dbgPadrao");
    ASSERT_TRUE(WaitUntil([&] { return Calls("GetConvOrceve") == loads + 1; }));
}

std::optional<int> DesktopTest::QuitHost() {
    Key("alt+a");
    Key("s");
    return host->Wait(30s);
}

void DesktopTest::Xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_EQ(RunToEnd(argv, {{"DISPLAY", Display::Instance(windowManager, screen).name}},
                       dir / "xdotool.log"),
              0)
        << Read(dir / "xdotool.log");
}

void DesktopTest::Key(const std::string& keys) {
    std::vector<std::string> args = {"key", "--delay", "40"};
    std::istringstream in(keys);
    for (std::string key; in >> key;) args.push_back(key);
    Xdotool(args);
}

void DesktopTest::Type(const std::string& text) {
    Xdotool({"type", "--delay", "40", text});
}

void DesktopTest::ClickAt(int x, int y) {
    Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

void DesktopTest::Click(const std::string& widget) {
    const Snapshot s = Dump();
    auto it = s.widgets.find(widget);
    ASSERT_NE(it, s.widgets.end()) << widget;
    ClickAt(it->second.x + it->second.w / 2, it->second.y + it->second.h / 2);
}

void DesktopTest::ClickMenu(const std::string& title) {
    const Snapshot s = Dump();
    auto it = s.menus.find(title);
    ASSERT_NE(it, s.menus.end()) << title;
    ClickAt(it->second.x + it->second.w / 2, it->second.y + it->second.h / 2);
}

void DesktopTest::Answer(const std::string& key) {
    ASSERT_TRUE(WaitUntil([&] { return Dump().focus.rfind("QMessageBox.", 0) == 0; }))
        << "nenhuma caixa de mensagem com o foco";
    Key(key);
}

void DesktopTest::ClickCell(int row, const std::string& field) {
    const Snapshot s = Dump();
    auto c = s.columns.find(field);
    auto r = s.rows.find(row);
    ASSERT_NE(c, s.columns.end()) << field;
    ASSERT_NE(r, s.rows.end()) << "linha " << row;
    ClickAt(c->second.x + c->second.w / 2, r->second.y + r->second.h / 2);
}

Snapshot DesktopTest::Dump() {
    // A key pressed while no window has the focus (a box just closed, the
    // window manager not done yet) is lost: ask again until a new dump
    // arrives, and read the last one.
    auto ends = [this](std::string& text) {
        text = Read(dir / "ui.log");
        std::size_t n = 0;
        for (const std::string& line : Lines(text))
            if (line.rfind("end ", 0) == 0) ++n;
        return n;
    };
    std::string text;
    const std::size_t before = ends(text);
    bool done = false;
    for (int attempt = 0; attempt < 15 && !done; ++attempt) {
        Key("ctrl+alt+shift+d");
        done = WaitUntil([&] { return ends(text) > before; }, std::chrono::seconds(2));
    }
    // The last complete dump.
    std::string end;
    for (const std::string& line : Lines(text)) {
        if (line.rfind("end ", 0) == 0) end = line;
    }
    const std::string begin = "dump " + end.substr(std::min<std::size_t>(end.size(), 4));
    Snapshot s;
    EXPECT_TRUE(done) << "a janela não respondeu ao pedido de estado";
    if (!done) return s;
    bool inside = false;
    for (const std::string& line : Lines(text)) {
        if (line == begin) inside = true;
        if (!inside) continue;
        if (line == end) break;
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        auto rest = [&in] {
            std::string r;
            std::getline(in, r);
            return r.empty() ? r : r.substr(1);
        };
        if (kind == "active") {
            s.active = rest();
        } else if (kind == "focus") {
            s.focus = rest();
        } else if (kind == "box") {
            s.boxes.push_back(rest());
        } else if (kind == "widget" || kind == "menu") {
            std::string name;
            Widget w;
            if (kind == "menu") {
                // The menu's title may hold blanks: the four numbers close it.
                const std::string all = rest();
                std::smatch m;
                static const std::regex form(R"((.*) (-?\d+) (-?\d+) (\d+) (\d+)$)");
                if (!std::regex_match(all, m, form)) continue;
                s.menus.emplace(m[1], Widget{std::stoi(m[2]),
                                             std::stoi(m[3]),
                                             std::stoi(m[4]),
                                             std::stoi(m[5]),
                                             true,
                                             {}});
                continue;
            }
            int enabled = 0;
            in >> name >> w.x >> w.y >> w.w >> w.h >> enabled;
            w.enabled = enabled != 0;
            w.text = rest();
            s.widgets.emplace(name, w);
        } else if (kind == "grid") {
            std::string name;
            in >> name;
            int scrolls = 0;
            if (name != "dbgPadrao") continue;
            in >> s.gridRows >> s.gridCurrent >> scrolls >> s.gridField;
            s.gridScrolls = scrolls != 0;
        } else if (kind == "cell") {
            std::string grid;
            Snapshot::Cell cell;
            int whole = 0;
            in >> grid >> cell.row >> cell.field >> whole;
            cell.whole = whole != 0;
            cell.text = rest();
            if (grid == "dbgPadrao") s.cells.push_back(cell);
        } else if (kind == "column") {
            std::string grid, field;
            Widget w;
            in >> grid >> field >> w.x >> w.w;
            if (grid == "dbgPadrao") s.columns.emplace(field, w);
        } else if (kind == "row") {
            std::string grid;
            int r = 0;
            Widget w;
            in >> grid >> r >> w.y >> w.h;
            if (grid == "dbgPadrao") s.rows.emplace(r, w);
        }
    }
    return s;
}

std::vector<std::string> DesktopTest::Texts() {
    Dump();
    // The text lines of the last complete dump, without the widget of each.
    std::vector<std::string> texts, reading;
    for (const std::string& line : Lines(Read(dir / "ui.log"))) {
        if (line.rfind("dump ", 0) == 0) {
            reading.clear();
        } else if (line.rfind("end ", 0) == 0) {
            texts = reading;
        } else if (line.rfind("text ", 0) == 0) {
            const std::size_t blank = line.find(' ', 5);
            if (blank != std::string::npos) reading.push_back(line.substr(blank + 1));
        }
    }
    return texts;
}

std::vector<std::string> DesktopTest::Messages() const {
    std::vector<std::string> found;
    for (const std::string& line : Lines(Read(dir / "ui.log")))
        if (line.rfind("message ", 0) == 0) found.push_back(line.substr(8));
    return found;
}

int DesktopTest::Calls(const std::string& method, const std::string& module) const {
    int count = 0;
    const std::string call = "POST /evt07800." + module + "/" + method + " ";
    for (int run = 1; run <= serverRun_; ++run) {
        for (const std::string& line :
             Lines(Read(dir / ("server-" + std::to_string(run) + ".log"))))
            if (line.find(call) != std::string::npos) ++count;
    }
    return count;
}

std::pair<int, std::string> DesktopTest::PostJson(const std::string& path,
                                                  const std::string& body) {
    const fs::path answer = dir / "curl-answer.txt", log = dir / "curl.log";
    fs::remove(answer);
    fs::remove(log);
    const int rc = RunToEnd({"curl", "-s", "-o", answer.string(), "-w", "%{http_code}", "-X",
                             "POST", "-H", "Content-Type: application/json", "--data-binary", body,
                             "http://127.0.0.1:" + std::to_string(port) + path},
                            {}, log);
    const std::vector<std::string> lines = Lines(Read(log));
    int status = 0;
    if (rc == 0 && !lines.empty()) status = std::atoi(lines.back().c_str());
    return {status, Read(answer)};
}

bool DesktopTest::Screenshot(const fs::path& file) {
    fs::create_directories(file.parent_path());
    return RunToEnd({(kBin / "evt-xshot").string(), file.string()},
                    {{"DISPLAY", Display::Instance(windowManager, screen).name}},
                    dir / "xshot.log") == 0;
}

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool DesktopTest::WaitForMessage(const std::string& text, std::size_t before) {
    return WaitUntil([&] {
        std::size_t seen = 0;
        for (const std::string& m : Messages())
            if (m.find(text) != std::string::npos) ++seen;
        return seen > before;
    });
}

void DesktopTest::StartOnTheTestList() {
    StartServer();
    StartHost({"0001", "Matriz", "0000001001", "01"});
}

std::optional<std::string> DesktopTest::PlainGuestName() const {
    return Query(
        "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' AND "
        "NRSEQORCAEVE = '01' AND NMLISTACONVOREV NOT GLOB '*[^ -~]*' ORDER BY NRLISTACONVOREV "
        "LIMIT 1");
}

std::optional<std::string> DesktopTest::Query(const std::string& sql) const {
    sqlite3* db = nullptr;
    std::optional<std::string> value;
    if (sqlite3_open_v2((dir / "evt.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL)
            value = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return value;
}

void DesktopTest::Exec(const std::string& sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "evt.db").c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string why = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << why;
}

std::string DesktopTest::Read(const fs::path& file) const {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace desktop
