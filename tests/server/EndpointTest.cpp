// The HTTP endpoint over the real evt07800.rdmListConv: the handshake, the
// answers, every kind of request that does not fit the protocol (after each
// of which the server must still answer), stopping, and the executable.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

#include "ListConvTestSupport.h"
#include "rdm/RdmListConv.h"

namespace {

using corvana::Variant;
using corvana::test::ErrorText;
using listconv_test::Delta;
using listconv_test::NewGuest;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using corvana::test::ConnectLoopback;

struct RawReply {
    int status = 0;
    std::string text;     // status line, headers and body
    bool closed = false;  // the server closed the connection after answering
};

// Sends `request` as is and reads one answer while keeping the connection
// open (a server waiting for more body would not answer), then waits up to
// 1 s for the server to close. Everything is bounded by `wait`.
RawReply RawExchange(int port, const std::string& request,
                     std::chrono::milliseconds wait = 2000ms) {
    RawReply reply;
    const int fd = ConnectLoopback(port);
    if (fd < 0 || ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
                      static_cast<ssize_t>(request.size()))
        return reply;
    const auto deadline = Clock::now() + wait;
    std::size_t expected = std::string::npos;
    char buf[4096];
    while (reply.text.size() < expected && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        const ssize_t n = ::poll(&p, 1, 100) > 0 ? ::recv(fd, buf, sizeof buf, 0) : 0;
        if (n < 0 || (n == 0 && p.revents != 0)) break;
        reply.text.append(buf, static_cast<std::size_t>(n));
        const auto end = reply.text.find("\r\n\r\n");
        const auto cl = reply.text.find("Content-Length: ");
        if (end != std::string::npos && cl < end)
            expected = end + 4 + std::stoul(reply.text.substr(cl + 16));
    }
    if (reply.text.size() >= expected && expected != std::string::npos) {
        reply.status = std::stoi(reply.text.substr(9, 3));
        pollfd p{fd, POLLIN, 0};
        reply.closed = ::poll(&p, 1, 1000) > 0 && ::recv(fd, buf, 1, 0) <= 0;
    }
    ::close(fd);
    return reply;
}

class EndpointTest : public listconv_test::ListConvTest {
protected:
    static std::string PathOf(const std::string& method) {
        return "/" + std::string(kServerName) + "/" + method;
    }

    void ExpectServing() {
        const Variant answer = Call("GetOrca", {"0001", "0000000002"});
        ASSERT_TRUE(answer.isPacket());
        EXPECT_EQ(listconv_test::Cell(answer.asPacket(), 0, "NMFANTCLIE"),
                  Variant("Buffet Aurora"));
    }
};

TEST_F(EndpointTest, HandshakeAndAnswers) {
    auto res = Raw("GET", "/evt07800.rdmListConv", "");
    ASSERT_TRUE(res) << res.error;
    ASSERT_EQ(res.status, 200);
    const auto handshake = nlohmann::json::parse(res.body);
    EXPECT_EQ(handshake["module"], kServerName);
    EXPECT_EQ(handshake["methods"].get<std::vector<std::string>>(),
              evt::server::RdmListConv(db).Methods());
    res = Raw("GET", "/evt07800.rdmOutro", "");
    EXPECT_EQ(res.status, 404);
    EXPECT_EQ(ErrorText(res.body), "Módulo remoto não hospedado: evt07800.rdmOutro");
    res = Raw("GET", "/evt07800xrdmListConv", "");  // the dots are literal
    EXPECT_EQ(res.status, 404);
    // HEAD: the handshake's headers without its body.
    res = Raw("HEAD", "/evt07800.rdmListConv", "");
    EXPECT_EQ(res.status, 200);
    EXPECT_TRUE(res.body.empty());
    EXPECT_EQ(res.Header("Content-Length"), std::to_string(handshake.dump().size()));

    ExpectServing();
    // A refusal of the module is an answer (200), for the caller's result check.
    Delta delta;
    delta.Insert(NewGuest(kList, ""));
    res = Raw("POST", PathOf("SetConvOrceve"), Variant(Variant::Array{delta.Packet()}).toJson());
    EXPECT_EQ(res.status, 200);
    EXPECT_NE(ErrorText(res.body).find("sem nome"), std::string::npos) << res.body;
}

TEST_F(EndpointTest, RequestsThatDoNotFitGetTheirStatusAndAClearMessage) {
    const std::size_t deep = 100000;
    struct Case {
        std::string method, path, body;
        int status;
        std::string fragment;
        std::string type = "application/json";
    };
    const std::vector<Case> cases = {
        {"POST", PathOf("GetOrcamento"), R"(["0001")", 400,
         "JSON malformado: o texto termina no meio de um valor na linha 1, coluna 8."},
        {"POST", PathOf("GetOrcamento"), "", 400, "Corpo da chamada inválido"},
        {"POST", PathOf("GetOrcamento"), R"(["0001"] ["0002"])", 400,
         "texto depois do fim do valor"},
        {"POST", PathOf("GetOrcamento"), "[verdadeiro]", 400, "valor desconhecido"},
        {"POST", PathOf("GetOrcamento"), R"({"filial":"0001"})", 400,
         "deve ser uma lista de argumentos"},
        {"POST", PathOf("GetOrcamento"), R"("0001")", 400, "deve ser uma lista de argumentos"},
        {"POST", PathOf("GetOrcamento"), "[\"\xff\xfe\"]", 400, "texto com UTF-8 inválido"},
        {"POST", PathOf("GetOrcamento"), std::string("[\"a\0b\"]", 7), 400,
         "caractere de controle sem escape"},
        {"POST", PathOf("GetOrcamento"), std::string(deep, '[') + std::string(deep, ']'), 400,
         "aninhamento"},
        {"POST", PathOf("GetOrcamento"), std::string(deep, '['), 400, "Corpo da chamada inválido"},
        {"POST", PathOf("GetOrca"), R"(["0001"])", 400, "espera 2 argumentos, recebeu 1"},
        {"POST", PathOf("GetOrca"), R"(["0001",["0000000002"]])", 400, "argumento 2"},
        {"POST", PathOf("GetNada"), "[]", 404, "Método desconhecido: GetNada"},
        {"POST", PathOf("getorca"), "[]", 404, "Método desconhecido: getorca"},
        {"POST", "/evt07800.rdmOutro/GetOrca", "[]", 404,
         "Módulo remoto não hospedado: evt07800.rdmOutro"},
        {"POST", PathOf("GetOrca") + "/mais", "[]", 404, "Caminho desconhecido"},
        {"GET", PathOf("GetOrca"), "", 404, "Caminho desconhecido"},
        {"PUT", PathOf("GetOrcamento"), R"(["0001"])", 405, "Método HTTP não aceito: PUT"},
        {"POST", PathOf("GetOrcamento"), R"(["0001"])", 415, "text/plain", "text/plain"},
        {"POST", PathOf("GetOrcamento"), "filial=0001", 415, "application/json",
         "application/x-www-form-urlencoded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method + " " + c.path + " " + c.body.substr(0, 40));
        // Answered at once, not after a time-out of the server's.
        auto res = Raw(c.method, c.path, c.body, c.type, 5s);
        ASSERT_TRUE(res) << res.error;
        EXPECT_EQ(res.status, c.status) << res.body;
        EXPECT_EQ(res.Header("Content-Type").rfind("application/json", 0), 0u);
        EXPECT_NE(ErrorText(res.body).find(c.fragment), std::string::npos) << res.body;
        // Wholly in Portuguese: nothing of the JSON parser's English.
        EXPECT_FALSE(std::regex_search(ErrorText(res.body),
                                       std::regex("error|syntax|unexpected|invalid|read")))
            << res.body;
    }
    ExpectServing();
}

TEST_F(EndpointTest, UnsafeBodiesAreRefusedBeforeTheyAreReadAndTheConnectionCloses) {
    limits.maxBodyBytes = 64 * 1024;
    RestartServer();
    // Headers only: a server that tried to read the body would not answer.
    const std::string head = "POST " + PathOf("GetCliente") + " HTTP/1.1\r\nHost: x\r\n";
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"Transfer-Encoding: chunked\r\n", 411, "Transfer-Encoding"},
        {"Transfer-Encoding: chunked\r\nContent-Length: 8\r\n", 411, "Transfer-Encoding"},
        {"Content-Length: 8\r\nTransfer-Encoding: chunked\r\n", 411, "Transfer-Encoding"},
        {"Content-Type: application/json\r\n", 411, "sem Content-Length"},
        {"Content-Length: 1e3\r\n", 400, "Content-Length inválido"},
        {"Content-Length: 8, 8\r\n", 400, "Content-Length inválido"},
        {"Content-Encoding: gzip\r\nContent-Length: 20\r\n", 415, "compactado"},
        // The claimed size is enough: 413 without a byte of the body.
        {"Content-Length: 10000000000\r\n", 413, "o limite é 65536 bytes"},
        {"Content-Length: 65537\r\nExpect: 100-continue\r\n", 413, "(65537 bytes)"},
    };
    for (const auto& [headers, status, fragment] : cases) {
        SCOPED_TRACE(headers);
        const RawReply r = RawExchange(port, head + headers + "\r\n");
        EXPECT_EQ(r.status, status) << r.text;
        EXPECT_NE(r.text.find(fragment), std::string::npos) << r.text;
        EXPECT_TRUE(r.closed);
        // One Connection header, saying so.
        EXPECT_NE(r.text.find("\r\nConnection: close\r\n"), std::string::npos) << r.text;
        EXPECT_EQ(r.text.find("\r\nConnection:"), r.text.rfind("\r\nConnection:")) << r.text;
    }
    // A body within the limit is read, after the 100 Continue it waits for.
    corvana::test::HttpTestClient client(port);
    auto res =
        client.Request("POST", PathOf("GetCliente"), "[\"" + std::string(60 * 1024, 'x') + "\"]",
                       {{"Content-Type", "application/json"}, {"Expect", "100-continue"}});
    EXPECT_EQ(res.status, 200) << res.body;
    // A whole chunked request is refused the same way.
    const RawReply r =
        RawExchange(port, head + "Transfer-Encoding: chunked\r\n\r\n8\r\n[\"0001\"]\r\n0\r\n\r\n");
    EXPECT_EQ(r.status, 411);
    ExpectServing();
}

TEST_F(EndpointTest, ConcurrentCallsGetTheirOwnAnswers) {
    const Variant orca = Call("GetOrca", {"0001", "0000000002"});
    const Variant budgets = Call("GetOrcamento", {"0001"});
    ASSERT_EQ(budgets.asPacket().rows().size(), 3u);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            corvana::test::HttpTestClient client(port);
            for (int i = 0; i < 30; ++i) {
                const int kind = (t + i) % 3;  // a good call of each kind, and a refused one
                const std::string body = kind == 0 ? R"(["0001","0000000002"])" : R"(["0001"])";
                auto res =
                    client.Request("POST", PathOf(kind == 1 ? "GetOrcamento" : "GetOrca"), body);
                const bool right = kind == 2
                                       ? res.status == 400
                                       : res.status == 200 && Variant::fromJson(res.body) ==
                                                                  (kind == 0 ? orca : budgets);
                wrong += right ? 0 : 1;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(EndpointTest, EachCallIsLoggedWithItsDurationAndOutcome) {
    limits.logCalls = true;
    RestartServer();
    testing::internal::CaptureStderr();
    Call("GetOrcamento", {"0001"});
    Delta delta;
    delta.Insert(NewGuest(kList, ""));
    Call("SetConvOrceve", {delta.Packet()});
    Raw("POST", PathOf("GetNada"), "[]");
    StopServer();  // the line follows the answer; stopping waits for it
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_search(
        log,
        std::regex(
            R"(POST /evt07800\.rdmListConv/GetOrcamento [0-9.]+ ms ok \(cliente 127\.0\.0\.1\)\n)")))
        << log;
    EXPECT_NE(log.find(" ms refused: Há um convidado sem nome"), std::string::npos) << log;
    EXPECT_NE(log.find(" ms 404: Método desconhecido: GetNada"), std::string::npos) << log;
}

// How long the stop takes is measured by bench_server's
// BM_StopWithIdleConnections.
TEST_F(EndpointTest, StopsWithIdleConnectionsOpenAndRestartsOnTheSamePort) {
    // Idle connections are kept far longer than the test waits: a stop that
    // waited for them to time out would not come back in time.
    limits.keepAliveTimeout = std::chrono::minutes(10);
    limits.headerTimeout = std::chrono::minutes(10);
    RestartServer();
    corvana::test::HttpTestClient idle(port);  // waits for its next request
    ASSERT_EQ(idle.Request("GET", "/evt07800.rdmListConv").status, 200);
    const int silent = ConnectLoopback(port);  // never sends one
    ASSERT_GE(silent, 0);
    // A connection opened after it is answered: the silent one was accepted
    // before.
    ExpectServing();
    const int before = port;
    auto stopping = std::async(std::launch::async, [&] { StopServer(); });
    const bool stopped = stopping.wait_for(30s) == std::future_status::ready;
    ::close(silent);
    idle.Close();
    stopping.wait();
    EXPECT_TRUE(stopped) << "the stop waited for the idle connections";
    StartServer();
    EXPECT_EQ(port, before);
    ExpectServing();
}

// Failures the real module does not produce on demand.
class FaultyModule : public evt::server::RemoteDataModule {
public:
    std::string Name() const override { return "teste.rdmFalhas"; }
    std::vector<std::string> Methods() const override { return {"Quebra", "Lixo", "Recusa"}; }
    Variant Call(const std::string& method, const std::vector<Variant>&) override {
        if (method == "Quebra") throw std::runtime_error("índice fora do limite");
        if (method == "Lixo") throw 42;
        return Variant::serverError("Recusado pelo módulo.");
    }
};

TEST_F(EndpointTest, ModuleFailuresAre500AndModulesAreHostedSideBySide) {
    evt::server::AppServer server(
        {std::make_shared<evt::server::RdmListConv>(db), std::make_shared<FaultyModule>()}, limits);
    ASSERT_TRUE(server.Bind("127.0.0.1", 0));
    server.Start();
    corvana::test::HttpTestClient client(server.Port());
    auto expect = [&](const std::string& path, int status, const std::string& fragment) {
        auto res = client.Request("POST", path, R"(["0001"])");
        EXPECT_EQ(res.status, status) << path;
        EXPECT_NE(ErrorText(res.body).find(fragment), std::string::npos) << res.body;
    };
    expect("/teste.rdmFalhas/Quebra", 500,
           "Erro interno do servidor de aplicação: índice fora do limite");
    expect("/teste.rdmFalhas/Lixo", 500, "Erro interno do servidor de aplicação");
    expect("/teste.rdmFalhas/Recusa", 200, "Recusado pelo módulo.");
    expect("/teste.rdmFalhas/GetOrcamento", 404, "Método desconhecido");
    EXPECT_EQ(client.Request("POST", PathOf("GetOrcamento"), R"(["0001"])").status, 200);

    // One server per port, one module per name.
    evt::server::AppServer second({std::make_shared<FaultyModule>()});
    EXPECT_FALSE(second.Bind("127.0.0.1", server.Port()));
    const std::vector<std::shared_ptr<evt::server::RemoteDataModule>> twice = {
        std::make_shared<FaultyModule>(), std::make_shared<FaultyModule>()};
    EXPECT_THROW(evt::server::AppServer{twice}, corvana::Error);
}

// build/bin/evt07800-server, next to this test ("" when it was not built).
std::string ServerExecutable() {
    std::error_code ec;
    const auto exe =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "evt07800-server";
    return std::filesystem::exists(exe) ? exe.string() : std::string();
}

// Starts the server with `args` in an environment without CORVANA_*
// variables; its standard error comes out of `errFd`.
pid_t SpawnServer(std::vector<std::string> args, int& errFd) {
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string_view(*e).rfind("CORVANA_", 0) != 0) envText.emplace_back(*e);
    auto pointers = [](std::vector<std::string>& text) {
        std::vector<char*> p;
        for (auto& t : text) p.push_back(t.data());
        p.push_back(nullptr);
        return p;
    };
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    pid_t pid = -1;
    args.insert(args.begin(), ServerExecutable());
    if (::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, pointers(args).data(),
                      pointers(envText).data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    errFd = fds[0];
    return pid;
}

// Runs build/bin/evt07800-server with a settings file of its own. The
// file's WebURL is where clients look for the server; the server keeps to
// loopback.
TEST(ServerExecutableTest, StartsFromTheSettingsServesAndStopsCleanlyOnSigterm) {
    const std::string exe = ServerExecutable();
    if (exe.empty()) GTEST_SKIP() << "evt07800-server não foi compilado ao lado do teste";
    std::error_code ec;
    char pattern[] = "/tmp/evt07800-exe-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/corvana.conf") << "WebURL=10.0.0.12\nDataDir=" << dir << "/dados\n";
    int errFd = -1;
    const pid_t pid =
        SpawnServer({"--config=" + dir + "/corvana.conf", "--port", "0", "--seed-demo"}, errFd);
    ASSERT_GT(pid, 0);

    std::string err;  // the server's standard error, read until `what` shows
    auto readUntil = [&](const std::regex& what, std::chrono::seconds wait) {
        std::smatch m;
        char buf[1024];
        pollfd p{errFd, POLLIN, 0};
        ssize_t n = 1;
        for (const auto end = Clock::now() + wait;
             !std::regex_search(err, m, what) && n > 0 && Clock::now() < end;)
            if (::poll(&p, 1, 200) > 0 && (n = ::read(errFd, buf, sizeof buf)) > 0)
                err.append(buf, static_cast<std::size_t>(n));
        std::regex_search(err, m, what);
        return m;
    };
    const auto started =
        readUntil(std::regex(R"(ouvindo em http://127\.0\.0\.1:(\d+) \(banco: ([^)]+)\))"), 120s);
    int status = -1;
    bool ended = false;
    if (!started.empty()) {
        EXPECT_EQ(started[2].str(), dir + "/dados/evt07800.db");  // the folder was created
        corvana::test::HttpTestClient client(std::stoi(started[1]));
        auto res = client.Request("POST", "/evt07800.rdmListConv/GetOrcamento", R"(["0001"])");
        EXPECT_TRUE(res.status == 200 && !Variant::fromJson(res.body).asPacket().rows().empty());
        ::kill(pid, SIGTERM);
        for (const auto end = Clock::now() + 30s; !ended && Clock::now() < end;) {
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(20ms);
        }
        readUntil(std::regex("encerrado"), 5s);
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ::close(errFd);
    std::filesystem::remove_all(dir, ec);
    ASSERT_FALSE(started.empty()) << err;
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_NE(err.find("GetOrcamento"), std::string::npos) << err;  // the call's log line
    EXPECT_NE(err.find("encerrado"), std::string::npos) << err;
}

// A bad option or setting ends the server with exit code 2 and a message,
// before anything is created on disk.
TEST(ServerExecutableTest, BadOptionsAndAnUnprotectedBindBeyondLoopbackEndWithCode2) {
    if (ServerExecutable().empty())
        GTEST_SKIP() << "evt07800-server não foi compilado ao lado do teste";
    char pattern[] = "/tmp/evt07800-exe-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/corvana.conf") << "DataDir=" << dir << "/dados\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", "99999"}, "Valor inválido para --port: \"99999\""},
        {{"--port", "80a"}, "Valor inválido para --port"},
        {{"--WebPort=0"}, "Valor inválido para WebPort"},
        {{"--host", "0.0.0.0", "--port", "0"}, "fora do loopback, com um token de acesso"},
        {{"--AccessToken=segredo", "--port", "0"}, "Token de acesso inválido"},
        {{"--AccessTokenFile=" + dir + "/falta", "--port", "0"}, "Não foi possível ler o token"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args.front());
        std::vector<std::string> all = args;
        all.push_back("--config=" + dir + "/corvana.conf");
        int errFd = -1;
        const pid_t pid = SpawnServer(all, errFd);
        ASSERT_GT(pid, 0);
        std::string err;
        char buf[1024];
        pollfd p{errFd, POLLIN, 0};
        for (const auto end = Clock::now() + 60s; Clock::now() < end;) {
            if (::poll(&p, 1, 200) <= 0) continue;
            const ssize_t n = ::read(errFd, buf, sizeof buf);
            if (n <= 0) break;  // the server ended
            err.append(buf, static_cast<std::size_t>(n));
        }
        ::close(errFd);
        int status = -1;
        for (const auto end = Clock::now() + 30s; Clock::now() < end;) {
            if (::waitpid(pid, &status, WNOHANG) == pid) break;
            std::this_thread::sleep_for(20ms);
        }
        if (!WIFEXITED(status)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << err;
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_EQ(err.find("segredo"), std::string::npos) << "the token repeated: " << err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/dados"));
    std::filesystem::remove_all(dir);
}

}  // namespace
