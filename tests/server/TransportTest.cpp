// The endpoint's defences, tried as an attacker would on the loopback:
// stalled and trickling clients, oversized headers, too many connections,
// calls without the access token, and TLS. Deadlines are set short here and
// every wait on the server is a condition with a generous bound.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

#include <filesystem>

#include "ServerFixture.h"
#include "support/TestCertificate.h"

namespace {

using corvana::Variant;
using corvana::test::ErrorText;
using corvana::test::HttpReply;
using corvana::test::HttpTestClient;
using namespace std::chrono_literals;

constexpr auto kBound = 30s;  // far beyond any deadline set below
const std::string kHandshake = "/evt07800.rdmListConv";

// Sends `request` as is on a connection of its own and reads one answer.
struct Exchange {
    HttpReply reply;
    bool closed = false;  // the server closed the connection after it
};
Exchange SendRaw(int port, const std::string& request) {
    HttpTestClient client(port);
    Exchange e;
    if (!client.Send(request)) return e;
    e.reply = client.Read(kBound);
    e.closed = client.WaitClosed(kBound);
    return e;
}

class TransportTest : public ServerFixture {
protected:
    bool Serving(HttpTestClient& client) { return client.Request("GET", kHandshake).status == 200; }
};

TEST_F(TransportTest, StalledClientsNeitherBlockCallsNorOutliveTheHeaderDeadline) {
    limits.headerTimeout = 1s;
    limits.maxConnectionsPerAddress = 100;
    RestartServer();
    std::vector<std::unique_ptr<HttpTestClient>> stalled;
    for (int i = 0; i < 40; ++i) {
        auto& c = stalled.emplace_back(std::make_unique<HttpTestClient>(port));
        ASSERT_TRUE(c->Connect()) << c->LastError();
        // Half a header, or nothing at all.
        if (i % 2 == 0) {
            ASSERT_TRUE(c->Send("POST " + kHandshake + "/GetOrcamento HTTP/1.1\r\nHost: x\r\nCon"));
        }
    }
    EXPECT_TRUE(Call("GetOrcamento", {"0001"}).isPacket());
    for (auto& c : stalled) EXPECT_TRUE(c->WaitClosed(kBound));
}

TEST_F(TransportTest, TricklingBodiesAndIdleConnectionsAreCut) {
    limits.bodyTimeout = 1s;
    limits.minTransferRate = 1024;
    limits.keepAliveTimeout = 1s;
    RestartServer();
    // 1,000 bytes claimed, one sent every 100 ms: cut long before the end.
    HttpTestClient trickle(port);
    ASSERT_TRUE(trickle.Send("POST " + kHandshake +
                             "/GetCliente HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n"));
    bool cut = false;
    for (int sent = 0; sent < 1000 && !cut; ++sent)
        cut = !trickle.Send("[", 1s) || trickle.WaitClosed(100ms);
    EXPECT_TRUE(cut) << "the whole body was taken byte by byte";

    // A kept-alive connection that goes quiet after a call.
    HttpTestClient idle(port);
    ASSERT_TRUE(Serving(idle));
    EXPECT_TRUE(idle.WaitClosed(kBound));
    HttpTestClient next(port);
    EXPECT_TRUE(Serving(next));
}

TEST_F(TransportTest, OversizedHeadersAre431AndTheConnectionCloses) {
    const std::string line = "GET " + kHandshake + " HTTP/1.1\r\nHost: x\r\n";
    std::string manyFields;
    for (int i = 0; i < 101; ++i) manyFields += "X-Campo-" + std::to_string(i) + ": v\r\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {line + "X-Grande: " + std::string(9000, 'a') + "\r\n\r\n", "o limite é 8192 bytes"},
        {line + std::string(64 * 1024, 'b'), "o limite é 8192 bytes"},  // a header without end
        {"GET /" + std::string(10000, 'c') + " HTTP/1.1\r\n\r\n", "o limite é 8192 bytes"},
        {line + manyFields + "\r\n",
         "Campos de cabeçalho demais na chamada (102); o limite é 100."},
    };
    for (const auto& [request, fragment] : cases) {
        SCOPED_TRACE(request.substr(0, 60));
        const Exchange e = SendRaw(port, request);
        EXPECT_EQ(e.reply.status, 431) << e.reply.error;
        EXPECT_NE(ErrorText(e.reply.body).find(fragment), std::string::npos) << e.reply.body;
        EXPECT_EQ(e.reply.Count("Connection"), 1u);
        EXPECT_EQ(e.reply.Header("Connection"), "close");
        EXPECT_TRUE(e.closed);
    }
    // 100 fields are fine.
    manyFields.erase(manyFields.find("X-Campo-99"));
    HttpTestClient client(port);
    ASSERT_TRUE(client.Send(line + manyFields + "\r\n"));
    EXPECT_EQ(client.Read().status, 200);
}

TEST_F(TransportTest, ConnectionsAreBoundedPerClientAddressAndInAll) {
    limits.maxConnectionsPerAddress = 2;
    limits.maxConnections = 4;
    RestartServer();
    // A connection from `from` that was served; the server drops the count
    // of a closed connection when it sees the close, so a limit just freed
    // may take a moment.
    auto served = [&](const char* from) {
        for (const auto end = std::chrono::steady_clock::now() + kBound;
             std::chrono::steady_clock::now() < end;) {
            auto c = std::make_unique<HttpTestClient>(port);
            c->From(from);
            if (Serving(*c)) return c;
            c->WaitClosed(100ms);
        }
        return std::unique_ptr<HttpTestClient>();
    };
    std::vector<std::unique_ptr<HttpTestClient>> open;
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(open.emplace_back(served("127.0.0.1")));
    // A third from the same address: 503, said at once, and closed.
    HttpTestClient third(port);
    const HttpReply refused = third.Request("GET", kHandshake);
    EXPECT_EQ(refused.status, 503);
    EXPECT_NE(ErrorText(refused.body).find("Conexões demais deste endereço"), std::string::npos)
        << refused.body;
    EXPECT_EQ(refused.Header("Connection"), "close");
    EXPECT_TRUE(third.WaitClosed(kBound));
    // Other addresses up to the server's limit; past it, closed without a word.
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(open.emplace_back(served("127.0.0.2")));
    HttpTestClient fifth(port);
    fifth.From("127.0.0.3");
    EXPECT_FALSE(fifth.Request("GET", kHandshake));
    EXPECT_TRUE(fifth.WaitClosed(kBound));
    // One goes: its address may connect again.
    open.front()->Close();
    EXPECT_TRUE(served("127.0.0.1"));
}

TEST_F(TransportTest, BodiesInFlightAreBoundedInAll) {
    limits.maxBodyBytesInFlight = 100;
    RestartServer();
    const std::string path = kHandshake + "/GetCliente";
    const std::string body = "[\"" + std::string(76, 'x') + "\"]";  // 80 bytes
    // One body of 80 bytes under way (taken into account once the server
    // asks for it)...
    HttpTestClient first(port);
    ASSERT_TRUE(first.Send("POST " + path +
                           " HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
                           "Content-Length: 80\r\nExpect: 100-continue\r\n\r\n"));
    ASSERT_TRUE(first.ReadContinue());
    // ...leaves no room for another, refused before its body is read.
    HttpTestClient second(port);
    const HttpReply busy = second.Request("POST", path, body);
    EXPECT_EQ(busy.status, 503);
    EXPECT_NE(ErrorText(busy.body).find("ocupado com outras chamadas"), std::string::npos);
    EXPECT_EQ(busy.Header("Connection"), "close");
    // Once the first is answered, there is room again.
    ASSERT_TRUE(first.Send(body));
    EXPECT_EQ(first.Read().status, 200);
    HttpTestClient third(port);
    EXPECT_EQ(third.Request("POST", path, body).status, 200);
}

// A module that answers with what it was given.
class EchoModule : public evt::server::RemoteDataModule {
public:
    std::string Name() const override { return "teste.rdmEco"; }
    std::vector<std::string> Methods() const override { return {"Eco"}; }
    Variant Call(const std::string&, const std::vector<Variant>& args) override {
        return Variant(Variant::Array(args));
    }
};

class AccessTest : public ::testing::Test {
protected:
    static constexpr const char* kToken = "token-correto-0123456789";

    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("evt-access-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        if (server) server->Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void Start(evt::server::ServerAccess access, evt::server::ServerLimits limits = {}) {
        limits.logCalls = false;
        server = std::make_unique<evt::server::AppServer>(
            corvana::test::ServerModules{std::make_shared<EchoModule>()}, limits, access);
        ASSERT_TRUE(server->Bind("127.0.0.1", 0));
        server->Start();
    }

    static HttpTestClient::Headers WithToken(const std::string& authorization) {
        return {{"Content-Type", "application/json"}, {"Authorization", authorization}};
    }

    std::filesystem::path dir;
    std::unique_ptr<evt::server::AppServer> server;
};

TEST_F(AccessTest, TheTokenIsRequiredOnEveryRequestAndNeverLogged) {
    evt::server::ServerLimits limits;
    testing::internal::CaptureStderr();
    {
        evt::server::AppServer logged({std::make_shared<EchoModule>()}, limits, {kToken, {}, {}});
        ASSERT_TRUE(logged.Bind("127.0.0.1", 0));
        logged.Start();
        const int port = logged.Port();
        const std::vector<std::tuple<std::string, std::string, HttpTestClient::Headers>> refused = {
            {"GET", "/teste.rdmEco", {}},
            {"POST", "/teste.rdmEco/Eco", WithToken("Bearer token-errado-0123456789")},
            {"POST", "/teste.rdmEco/Eco", WithToken(std::string("Basic ") + kToken)},
            {"POST", "/teste.rdmEco/Eco", WithToken(std::string("Bearer ") + kToken + "x")}};
        for (const auto& [verb, path, headers] : refused) {
            SCOPED_TRACE(verb + " " + path);
            HttpTestClient client(port);
            const HttpReply r =
                client.Request(verb, path, verb == "POST" ? "[\"dados\"]" : "", headers);
            EXPECT_EQ(r.status, 401);
            EXPECT_EQ(ErrorText(r.body).rfind("Acesso negado: ", 0), 0u) << r.body;
            EXPECT_EQ(r.body.find("Eco"), std::string::npos) << "no detail of the module";
            EXPECT_EQ(r.body.find("dados"), std::string::npos);
            EXPECT_EQ(r.Header("Connection"), "close");
            EXPECT_EQ(r.Header("WWW-Authenticate"), "Bearer");
            EXPECT_TRUE(client.WaitClosed(kBound));
        }
        // With the token: answered, and the connection kept for the next call.
        HttpTestClient client(port);
        const auto headers = WithToken(std::string("Bearer ") + kToken);
        EXPECT_EQ(client.Request("GET", "/teste.rdmEco", "", headers).status, 200);
        const HttpReply echo = client.Request("POST", "/teste.rdmEco/Eco", "[\"dados\"]", headers);
        EXPECT_EQ(echo.status, 200);
        EXPECT_EQ(echo.body, "[\"dados\"]");
        logged.Stop();
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("401: Acesso negado: o servidor de aplicação exige o token de acesso"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("401: Acesso negado: token de acesso inválido. (cliente 127.0.0.1)"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("0123456789"), std::string::npos) << "a token in the log:\n" << log;

    // Beyond loopback only with a token.
    evt::server::AppServer open({std::make_shared<EchoModule>()});
    EXPECT_THROW(open.Bind("0.0.0.0", 0), evt::server::ServerConfigError);
    EXPECT_THROW(evt::server::AppServer::CheckAccess("::", {}), evt::server::ServerConfigError);
    EXPECT_NO_THROW(evt::server::AppServer::CheckAccess("localhost", {}));
    EXPECT_NO_THROW(evt::server::AppServer::CheckAccess("0.0.0.0", {kToken, {}, {}}));
}

TEST_F(AccessTest, TlsRoundTripAndNothingInTheClear) {
    const auto cert = corvana::test::MakeTestCertificate((dir / "servidor").string());
    evt::server::ServerLimits limits;
    limits.headerTimeout = 1s;  // the handshake's deadline too
    Start({kToken, cert.certificateFile, cert.keyFile}, limits);
    ASSERT_TRUE(server->Tls());
    const int port = server->Port();

    HttpTestClient tls(port);
    tls.UseTls(cert.certificateFile);
    const auto headers = WithToken(std::string("Bearer ") + kToken);
    EXPECT_EQ(tls.Request("GET", "/teste.rdmEco", "", headers).status, 200) << tls.LastError();
    const HttpReply echo = tls.Request("POST", "/teste.rdmEco/Eco", "[\"dados\"]", headers);
    EXPECT_EQ(echo.status, 200);
    EXPECT_EQ(echo.body, "[\"dados\"]");
    EXPECT_EQ(tls.Request("POST", "/teste.rdmEco/Eco", "[1]").status, 401);

    // Plain HTTP gets no answer; a client that never starts the handshake is
    // cut at its deadline.
    HttpTestClient plain(port);
    EXPECT_FALSE(plain.Request("GET", "/teste.rdmEco", "", headers));
    HttpTestClient silent(port);
    ASSERT_TRUE(silent.Connect());
    EXPECT_TRUE(silent.WaitClosed(kBound));

    // Unusable certificate settings stop the server before it starts.
    const auto other = corvana::test::MakeTestCertificate((dir / "outro").string());
    using evt::server::ServerConfigError;
    const corvana::test::ServerModules modules{std::make_shared<EchoModule>()};
    EXPECT_THROW(evt::server::AppServer(modules, {}, {kToken, cert.certificateFile, {}}),
                 ServerConfigError);
    EXPECT_THROW(evt::server::AppServer(modules, {}, {kToken, cert.certificateFile, other.keyFile}),
                 ServerConfigError);
    EXPECT_THROW(
        evt::server::AppServer(modules, {}, {kToken, (dir / "nada.crt").string(), cert.keyFile}),
        ServerConfigError);
}

// What a TLS client can negotiate: each TLS 1.2 suite OpenSSL knows, offered
// alone; the server's order when several are offered; TLS 1.3; and the
// HSTS header of an HTTPS answer.
TEST_F(AccessTest, TlsOffersOnlyTheIntermediateProfile) {
    const auto cert = corvana::test::MakeTestCertificate((dir / "servidor").string());
    Start({kToken, cert.certificateFile, cert.keyFile});
    const int port = server->Port();

    // The suite and version agreed for a client limited to `maxVersion`
    // offering `suites`; empty when the handshake fails.
    auto negotiate = [port](int maxVersion, const char* suites) -> std::string {
        std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                              SSL_CTX_free);
        SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
        SSL_CTX_set_security_level(ctx.get(), 0);
        if (maxVersion == TLS1_2_VERSION && SSL_CTX_set_cipher_list(ctx.get(), suites) != 1)
            return "?";
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<uint16_t>(port));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string agreed;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) {
            SSL* ssl = SSL_new(ctx.get());
            SSL_set_fd(ssl, fd);
            if (SSL_connect(ssl) == 1)
                agreed = std::string(SSL_get_version(ssl)) + " " + SSL_get_cipher_name(ssl);
            SSL_free(ssl);
        }
        ::close(fd);
        return agreed;
    };

    std::set<std::string> accepted;
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> all(SSL_CTX_new(TLS_client_method()),
                                                          SSL_CTX_free);
    SSL_CTX_set_security_level(all.get(), 0);
    SSL_CTX_set_cipher_list(all.get(), "ALL:COMPLEMENTOFALL:@SECLEVEL=0");
    STACK_OF(SSL_CIPHER)* known = SSL_CTX_get_ciphers(all.get());
    int tried = 0;
    for (int i = 0; i < sk_SSL_CIPHER_num(known); ++i) {
        const SSL_CIPHER* suite = sk_SSL_CIPHER_value(known, i);
        if (std::string(SSL_CIPHER_get_version(suite)) == "TLSv1.3") continue;
        ++tried;
        const std::string agreed = negotiate(TLS1_2_VERSION, SSL_CIPHER_get_name(suite));
        if (!agreed.empty() && agreed != "?") accepted.insert(agreed);
    }
    EXPECT_GT(tried, 30);
    // The test certificate's key is an EC one: the ECDSA half of the list.
    EXPECT_EQ(accepted, (std::set<std::string>{"TLSv1.2 ECDHE-ECDSA-AES128-GCM-SHA256",
                                               "TLSv1.2 ECDHE-ECDSA-AES256-GCM-SHA384",
                                               "TLSv1.2 ECDHE-ECDSA-CHACHA20-POLY1305"}));
    EXPECT_EQ(negotiate(TLS1_2_VERSION,
                        "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-ECDSA-AES256-GCM-SHA384:"
                        "ECDHE-ECDSA-AES128-GCM-SHA256"),
              "TLSv1.2 ECDHE-ECDSA-AES128-GCM-SHA256");
    EXPECT_EQ(negotiate(TLS1_3_VERSION, nullptr).rfind("TLSv1.3 TLS_", 0), 0u);
    EXPECT_EQ(negotiate(TLS1_1_VERSION, "ALL"), "");

    HttpTestClient https(port);
    https.UseTls(cert.certificateFile);
    const HttpReply r =
        https.Request("GET", "/teste.rdmEco", "", WithToken(std::string("Bearer ") + kToken));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.Header("Strict-Transport-Security"), "max-age=63072000");
}

}  // namespace
