// TNetConnection against the real application server (the endpoint over
// evt07800.rdmListConv and an SQLite file), started and stopped under it.
#include "corvana/net/TNetConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>

#include "../../server/ListConvTestSupport.h"
#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"
#include "rdm/RdmListConv.h"
#include "support/ErrorOf.h"
#include "support/HttpTestPeer.h"
#include "support/TestCertificate.h"

namespace {

using corvana::TNetConnection;
using corvana::Variant;
using namespace std::chrono_literals;

using corvana::test::ErrorOf;

class TNetConnectionTest : public listconv_test::ListConvTest {
protected:
    std::unique_ptr<TNetConnection> conn;

    void SetUp() override {
        ListConvTest::SetUp();
        conn = std::make_unique<TNetConnection>(kServerName);
        conn->SetHost("127.0.0.1");
        conn->SetPort(port);
    }
    void TearDown() override {
        conn.reset();
        Corvana::ResetSettings();
        ListConvTest::TearDown();
    }
    std::string Unreachable() const {
        return "Não foi possível conectar ao servidor de aplicação em 127.0.0.1:" +
               std::to_string(port) + ".";
    }
    void ExpectBudget(const Variant& answer) {
        ASSERT_TRUE(answer.isPacket());
        EXPECT_EQ(listconv_test::Cell(answer.asPacket(), 0, "NMFANTCLIE"),
                  Variant("Buffet Aurora"));
    }
};

TEST_F(TNetConnectionTest, ACallWithoutServerNamesHostAndPortAndTheNextServerIsReached) {
    StopServer();
    EXPECT_EQ(ErrorOf([&] { conn->Call("GetOrca", {"0001", "0000000002"}); }), Unreachable());
    EXPECT_FALSE(conn->Connected());
    StartServer();  // on the same port
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
    EXPECT_TRUE(conn->Connected());

    // The server goes away under an open connection, then comes back.
    StopServer();
    EXPECT_EQ(ErrorOf([&] { conn->Call("GetOrca", {"0001", "0000000002"}); }), Unreachable());
    EXPECT_FALSE(conn->Connected());
    StartServer();
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
}

TEST_F(TNetConnectionTest, ThrowExceptionDecidesWhetherAFailedConnectRaises) {
    StopServer();
    conn->SetThrowException(false);
    EXPECT_NO_THROW(conn->SetConnected(true));
    EXPECT_FALSE(conn->Connected());
    EXPECT_EQ(conn->LastError(), Unreachable());
    // A call cannot go on without a server: it raises whatever the setting.
    EXPECT_EQ(ErrorOf([&] { conn->Call("GetOrcamento", {"0001"}); }), Unreachable());
    conn->SetThrowException(true);
    EXPECT_EQ(ErrorOf([&] { conn->SetConnected(true); }), Unreachable());
    EXPECT_FALSE(conn->Connected());

    StartServer();
    conn->SetConnected(true);
    EXPECT_TRUE(conn->Connected());
    EXPECT_EQ(conn->Methods(), evt::server::RdmListConv(db).Methods());
    conn->SetConnected(false);
    EXPECT_FALSE(conn->Connected());
}

TEST_F(TNetConnectionTest, BeforeConnectRunsBeforeEachConnectAndSetsHostAndPort) {
    conn->SetPort(1);  // wrong until the event sets it
    int runs = 0;
    conn->BeforeConnect = [&](TNetConnection& c) {
        ++runs;
        c.SetHost("127.0.0.1");
        c.SetPort(port);
    };
    conn->Open();
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
    conn->Call("GetOrcamento", {"0001"});
    EXPECT_EQ(runs, 1);  // calls on an open connection do not reconnect
    conn->Close();
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
    EXPECT_EQ(runs, 2);
    conn->SetPort(port + 1);  // changing the address closes the connection
    EXPECT_FALSE(conn->Connected());

    // Without the event, host and port come from the settings in force.
    Corvana::SetWebURL("127.0.0.1");
    Corvana::SetWebPort(port);
    TNetConnection fromSettings(kServerName);
    Corvana::ResetSettings();
    fromSettings.Open();
    EXPECT_TRUE(fromSettings.Connected());
}

TEST_F(TNetConnectionTest, TheHandshakeRefusesAServerThatDoesNotHostTheModule) {
    conn->SetServerName("evt07800.rdmOutro");
    const std::string message = ErrorOf([&] { conn->Open(); });
    EXPECT_NE(message.find("em 127.0.0.1:" + std::to_string(port) +
                           " não hospeda o módulo remoto evt07800.rdmOutro"),
              std::string::npos)
        << message;
    EXPECT_FALSE(conn->Connected());
    conn->SetThrowException(false);
    conn->Open();
    EXPECT_EQ(conn->LastError(), message);
    EXPECT_FALSE(conn->Connected());
}

TEST_F(TNetConnectionTest, RefusalsAreAnswersAndProtocolFaultsRaiseTheServersMessage) {
    listconv_test::Delta delta;
    delta.Insert(listconv_test::NewGuest(kList, ""));
    const Variant refused = conn->Call("SetConvOrceve", {delta.Packet()});
    ASSERT_TRUE(refused.isError());
    EXPECT_NE(refused.errorMessage().find("sem nome"), std::string::npos);
    // The caller's result check is what raises it.
    EXPECT_EQ(ErrorOf([&] { Consiste::CheckResultServ(refused, false); }), refused.errorMessage());

    EXPECT_EQ(ErrorOf([&] { conn->Call("GetNada", {}); }), "Método desconhecido: GetNada");
    EXPECT_EQ(ErrorOf([&] { conn->Call("GetOrca", {"0001"}); }),
              "GetOrca espera 2 argumentos, recebeu 1.");
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
}

// How long each call takes (no stall on delayed acknowledgements) is
// measured by bench_server's BM_KeptAliveCall.
TEST_F(TNetConnectionTest, KeptAliveCallsEachGetTheirAnswer) {
    int answered = 0;
    for (int i = 0; i < 50; ++i) {
        const Variant answer = conn->Call("GetOrcamento", {"0001"});
        if (answer.isPacket() && !answer.asPacket().rows().empty()) ++answered;
    }
    EXPECT_EQ(answered, 50);
    EXPECT_TRUE(conn->Connected());
}

TEST_F(TNetConnectionTest, SilentOrWrongServersRaiseWithinTheTimeOut) {
    // A port that accepts (the kernel's backlog) but never answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    conn->SetPort(ntohs(addr.sin_port));
    // The answer time-out set, not the default of two minutes, ends the
    // wait: the refusal comes long before the default would.
    conn->SetReadTimeout(300ms);
    auto opening = std::async(std::launch::async, [&] { return ErrorOf([&] { conn->Open(); }); });
    ASSERT_EQ(opening.wait_for(30s), std::future_status::ready);
    const std::string message = opening.get();
    EXPECT_NE(message.find(":" + std::to_string(ntohs(addr.sin_port)) + " não respondeu"),
              std::string::npos)
        << message;
    ::close(fd);

    // An HTTP server that answers something else than the protocol, then
    // one that does not speak HTTP at all.
    corvana::test::HttpTestPeer html(
        [](const auto&) { return corvana::test::HttpTestPeer::Reply::Html("<html/>"); });
    conn->SetPort(html.Port());
    EXPECT_EQ(ErrorOf([&] { conn->Open(); }),
              "Resposta inválida do servidor de aplicação em 127.0.0.1:" +
                  std::to_string(html.Port()) + " ao pedido de conexão.");
    corvana::test::HttpTestPeer garbage(
        [](const auto&) { return corvana::test::HttpTestPeer::Reply::Raw("SSH-2.0-x\r\n"); });
    conn->SetPort(garbage.Port());
    EXPECT_NE(ErrorOf([&] { conn->Open(); }).find("Resposta ilegível"), std::string::npos);
    EXPECT_FALSE(conn->Connected());
}

// The server may end a kept-alive connection between two calls (its idle
// time-out) or just as a call goes out: the call is not lost, it goes on a new
// connection, once.
TEST_F(TNetConnectionTest, AKeptAliveConnectionTheServerEndedIsOpenedAgainOnce) {
    using Peer = corvana::test::HttpTestPeer;
    enum class Mode { Keep, CloseAfterAnswer, DropOnKeptAlive, DropEveryCall };
    std::atomic<Mode> mode = Mode::Keep;
    Peer peer([&](const Peer::Seen& seen) {
        if (seen.request.method() == boost::beast::http::verb::get)
            return Peer::Handshake(kServerName, "\"GetOrca\"");
        if (mode == Mode::CloseAfterAnswer) return Peer::Reply::Json("1").ThenClose();
        if (mode == Mode::DropOnKeptAlive && seen.index > 1) return Peer::Reply::Drop();
        if (mode == Mode::DropEveryCall) return Peer::Reply::Drop();
        return Peer::Reply::Json("2");
    });
    conn->SetPort(peer.Port());

    conn->Open();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(conn->Call("GetOrca", {"0001", "1"}), Variant(2));
    EXPECT_EQ(peer.Connections(), 1);
    mode = Mode::CloseAfterAnswer;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(conn->Call("GetOrca", {"0001", "1"}), Variant(1));
    EXPECT_EQ(peer.Connections(), 3);  // the kept-alive one, then one per closed call

    conn->Close();
    mode = Mode::DropOnKeptAlive;  // the handshake's connection ends under the call
    const int before = peer.Connections();
    EXPECT_EQ(conn->Call("GetOrca", {"0001", "1"}), Variant(2));
    EXPECT_EQ(peer.Connections(), before + 2);
    EXPECT_EQ(peer.Requests().back().request.body(), R"(["0001","1"])");

    // A call no connection answers is sent twice, not forever.
    mode = Mode::DropEveryCall;
    const auto sent = peer.Requests().size();
    EXPECT_EQ(ErrorOf([&] {
                  conn->Call("GetOrca", {"0001", "1"});
              }),
              "O servidor de aplicação em 127.0.0.1:" + std::to_string(peer.Port()) +
                  " não respondeu à chamada GetOrca (tempo esgotado ou conexão interrompida).");
    EXPECT_EQ(peer.Requests().size(), sent + 2);
    EXPECT_FALSE(conn->Connected());
}

// Every request carries the access token in force when the connection was
// made; a server that refuses it raises "Acesso negado" with the server's text,
// which never shows the token, even when the server repeats it.
TEST_F(TNetConnectionTest, TheAccessTokenGoesWithEveryRequestAndARefusalNamesNoSecret) {
    using Peer = corvana::test::HttpTestPeer;
    const std::string accepted = "token-de-acesso-0123456789";
    std::atomic<bool> refuseCalls = false;
    Peer peer([&](const Peer::Seen& seen) {
        const std::string given(seen.request[boost::beast::http::field::authorization]);
        if (given != "Bearer " + accepted)
            return Peer::Reply::Json(R"({"$error":"Token recusado: )" + given + R"("})", 401);
        if (seen.request.method() == boost::beast::http::verb::get)
            return Peer::Handshake(kServerName);
        if (refuseCalls) return Peer::Reply::Json(R"({"$error":"Token revogado."})", 401);
        return Peer::Reply::Json("true");
    });
    conn->SetPort(peer.Port());
    const auto tokenFile = dir + "/token";
    std::ofstream(tokenFile) << accepted << "\nsegunda linha\n";
    Corvana::SetAccessTokenFile(tokenFile);
    conn->Open();
    EXPECT_EQ(conn->Call("GetOrca", {"0001", "1"}), Variant(true));
    EXPECT_EQ(peer.Requests().size(), 2u);

    Corvana::SetAccessToken("outro-token-0123456789-xyz");  // wins over the file
    conn->Close();
    const std::string denied = ErrorOf([&] { conn->Open(); });
    EXPECT_EQ(denied, "Acesso negado pelo servidor de aplicação: Token recusado: Bearer ***");
    EXPECT_FALSE(conn->Connected());
    Corvana::SetAccessToken("");
    Corvana::SetAccessTokenFile("");
    EXPECT_EQ(ErrorOf([&] { conn->Open(); }),
              "Acesso negado pelo servidor de aplicação: Token recusado: ");

    // Revoked while connected: the call raises, and the next one connects again.
    Corvana::SetAccessTokenFile(tokenFile);
    conn->Open();
    refuseCalls = true;
    EXPECT_EQ(ErrorOf([&] {
                  conn->Call("GetOrca", {"0001", "1"});
              }),
              "Acesso negado pelo servidor de aplicação: Token revogado.");
    EXPECT_FALSE(conn->Connected());
}

// Over HTTPS the server's certificate is checked during the TLS handshake,
// before the handshake request and its token go out: the chain against
// TLSCAFile or the system's store, and the name the client reaches the
// server by. Both ends must agree on TLS.
TEST_F(TNetConnectionTest, OverTlsTheServersCertificateAndNameAreCheckedBeforeAnyRequest) {
    const auto good =
        corvana::test::MakeTestCertificate(dir + "/servidor", "IP:127.0.0.1,DNS:localhost");
    const auto other = corvana::test::MakeTestCertificate(dir + "/outro", "DNS:outro.exemplo");
    const std::string token = "token-de-acesso-tls-0123456789";
    const auto startTls = [&](const corvana::test::TestCertificate& cert) {
        auto server = std::make_unique<evt::server::AppServer>(
            corvana::test::ServerModules{std::make_shared<evt::server::RdmListConv>(db)},
            corvana::test::QuietLimits(),
            evt::server::ServerAccess{token, cert.certificateFile, cert.keyFile});
        EXPECT_TRUE(server->Bind("127.0.0.1", 0));
        server->Start();
        return server;
    };
    const auto server = startTls(good);
    const auto otherServer = startTls(other);
    const std::string at = "127.0.0.1:" + std::to_string(server->Port());
    Corvana::SetWebTLS(true);
    Corvana::SetTLSCAFile(good.certificateFile);
    Corvana::SetAccessToken(token);

    conn->SetPort(server->Port());
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
    conn->SetHost("localhost");  // by name: the name is in the certificate too
    ExpectBudget(conn->Call("GetOrca", {"0001", "0000000002"}));
    conn->SetHost("127.0.0.1");

    Corvana::SetTLSCAFile("");  // the system's store does not know it
    EXPECT_EQ(ErrorOf([&] { conn->Open(); }),
              "Certificado do servidor de aplicação em " + at +
                  " recusado: emitido por uma autoridade que o sistema não reconhece (informe o "
                  "certificado da autoridade em TLSCAFile).");
    EXPECT_FALSE(conn->Connected());

    Corvana::SetTLSCAFile(other.certificateFile);  // trusted, but for another name
    conn->SetPort(otherServer->Port());
    EXPECT_EQ(
        ErrorOf([&] { conn->Open(); }),
        "Certificado do servidor de aplicação em 127.0.0.1:" + std::to_string(otherServer->Port()) +
            " recusado: emitido para outro nome de servidor, não para 127.0.0.1.");

    // One end without TLS: the fixture's plain server, and a plain client.
    Corvana::SetTLSCAFile(good.certificateFile);
    conn->SetPort(port);
    EXPECT_NE(ErrorOf([&] { conn->Open(); }).find("Falha na conexão segura (TLS)"),
              std::string::npos);
    Corvana::SetWebTLS(false);
    conn->SetPort(server->Port());
    EXPECT_EQ(ErrorOf([&] { conn->Open(); }),
              "O servidor de aplicação em " + at +
                  " não respondeu ao pedido de conexão (tempo esgotado ou conexão interrompida).");
    EXPECT_FALSE(conn->Connected());
}

TEST_F(TNetConnectionTest, AnAnswerOverTheSizeLimitIsATransportFailure) {
    using Peer = corvana::test::HttpTestPeer;
    Peer peer([&](const Peer::Seen& seen) {
        if (seen.request.method() == boost::beast::http::verb::get)
            return Peer::Handshake(kServerName);
        return Peer::Reply::Raw(
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
            "Content-Length: 600000000\r\n\r\n[1,");
    });
    conn->SetPort(peer.Port());
    EXPECT_EQ(ErrorOf([&] {
                  conn->Call("GetOrca", {"0001", "1"});
              }),
              "A resposta do servidor de aplicação em 127.0.0.1:" + std::to_string(peer.Port()) +
                  " à chamada GetOrca excede o limite de 512 MiB.");
    EXPECT_FALSE(conn->Connected());
}

}  // namespace
