// What an administrator reads of a running server: its log at the level
// asked for (LogLevel), and GET /metrics, the Prometheus text behind the
// access token like every call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ListConvTestSupport.h"
#include "support/ServerProcess.h"

namespace {

using namespace listconv_test;
using corvana::test::HttpTestClient;
using testing::HasSubstr;
using testing::Not;

class AdminEndpoint : public ListConvTest {
protected:
    // The answer's value of a sample line ("name{labels}"), -1 when missing.
    static double Sample(const std::string& text, const std::string& series) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            if (line.starts_with(series + " ")) return std::stod(line.substr(series.size() + 1));
        return -1;
    }
};

TEST_F(AdminEndpoint, TheLogSaysWhatItsLevelAsks) {
    limits.logCalls = true;
    struct Case {
        evt::server::LogLevel level;
        bool calls, refusals;
    };
    for (const Case c : {Case{evt::server::LogLevel::Calls, true, true},
                         Case{evt::server::LogLevel::Refusals, false, true},
                         Case{evt::server::LogLevel::Errors, false, false}}) {
        limits.logLevel = c.level;
        RestartServer();
        testing::internal::CaptureStderr();
        Call("GetOrcamento", {"0001"});
        Call("SetConvOrceve", {Delta().Insert(NewGuest(kList, "")).Packet()});
        Raw("POST", "/evt07800.rdmListConv/GetNada", "[]");
        StopServer();  // the line follows the answer; stopping waits for it
        const std::string log = testing::internal::GetCapturedStderr();
        SCOPED_TRACE(log);
        const std::regex ok(
            R"(evt07800-server: POST /evt07800\.rdmListConv/GetOrcamento [0-9.]+ ms ok \(cliente 127\.0\.0\.1\)\n)");
        EXPECT_EQ(std::regex_search(log, ok), c.calls);
        EXPECT_EQ(log.find(" ms refused: Há um convidado sem nome") != std::string::npos,
                  c.refusals);
        EXPECT_EQ(log.find(" ms 404: Método desconhecido: GetNada (cliente 127.0.0.1)") !=
                      std::string::npos,
                  c.refusals);
    }
    // A level it does not know stops the program's start.
    const auto bad = corvana::test::RunProgram(
        {EVT_SERVER_BIN, "--db", dir + "/outro.db", "--port", "0", "--LogLevel=tudo"});
    EXPECT_EQ(bad.exitCode, 2) << bad.output;
    EXPECT_THAT(bad.output, HasSubstr("Valor inválido para LogLevel: \"tudo\""));
}

TEST_F(AdminEndpoint, MetricsAnswerBehindTheTokenInThePrometheusText) {
    StopServer();
    evt::server::AppServer::Access access;
    access.token = "metricas-0123456789abcdef";
    auto quiet = limits;
    quiet.maxBodyBytes = 4096;
    evt::server::AppServer server({std::make_shared<evt::server::RdmListConv>(db)}, quiet, access);
    server.SetGauges([this] {
        return std::vector<evt::server::Gauge>{
            {"evt07800_database_sessions_in_use", "em uso", double(db->SessionsInUse())},
            {"evt07800_database_sessions_idle", "ociosas", double(db->SessionsIdle())}};
    });
    ASSERT_TRUE(server.Bind("127.0.0.1", 0));
    server.Start();
    HttpTestClient client(server.Port());
    const HttpTestClient::Headers auth = {{"Authorization", "Bearer " + access.token},
                                          {"Content-Type", "application/json"}};
    auto post = [&](const std::string& method, const std::string& body) {
        return client.Request("POST", "/evt07800.rdmListConv/" + method, body, auth).status;
    };
    EXPECT_EQ(post("GetOrcamento", R"(["0001"])"), 200);
    EXPECT_EQ(post("GetOrcamento", R"(["0002"])"), 200);
    EXPECT_EQ(post("GetOrca", R"(["0001"])"), 400);
    EXPECT_EQ(post("SetConvOrceve",
                   Variant(Variant::Array{Delta().Insert(NewGuest(kList, "")).Packet()}).toJson()),
              200);
    EXPECT_EQ(post("GetNada", "[]"), 404);
    EXPECT_EQ(post("GetOrcamento", "[\"" + std::string(5000, 'x') + "\"]"), 413);

    EXPECT_EQ(HttpTestClient(server.Port()).Request("GET", "/metrics").status, 401);
    HttpTestClient other(server.Port());
    const auto answer = other.Request("GET", "/metrics", "", {auth[0]});
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(answer.Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const std::string& text = answer.body;
    SCOPED_TRACE(text);
    EXPECT_EQ(Sample(text, R"(evt07800_calls_total{method="GetOrcamento"})"), 3);
    EXPECT_EQ(Sample(text, R"(evt07800_refusals_total{method="GetOrcamento"})"), 1);
    EXPECT_EQ(Sample(text, R"(evt07800_refusals_total{method="GetOrca"})"), 1);
    EXPECT_EQ(Sample(text, R"(evt07800_refusals_total{method="SetConvOrceve"})"), 1);
    // A made-up path adds no name of its own.
    EXPECT_EQ(Sample(text, R"(evt07800_calls_total{method="outro"})"), 1);
    EXPECT_EQ(Sample(text, R"(evt07800_calls_total{method="metrics"})"), 1);  // the 401
    EXPECT_EQ(Sample(text, R"(evt07800_call_duration_seconds_count{method="GetOrcamento"})"), 3);
    EXPECT_EQ(
        Sample(text, R"(evt07800_call_duration_seconds_bucket{method="GetOrcamento",le="+Inf"})"),
        3);
    EXPECT_GE(
        Sample(text, R"(evt07800_call_duration_seconds_bucket{method="GetOrcamento",le="10"})"),
        Sample(text, R"(evt07800_call_duration_seconds_bucket{method="GetOrcamento",le="0.001"})"));
    EXPECT_GT(Sample(text, R"(evt07800_call_duration_seconds_sum{method="GetOrcamento"})"), 0);
    EXPECT_EQ(Sample(text, R"(evt07800_limits_hit_total{limit="MaxBodyBytes"})"), 1);
    EXPECT_GE(Sample(text, "evt07800_open_connections"), 1);
    EXPECT_EQ(Sample(text, "evt07800_database_sessions_in_use"), 0);
    EXPECT_GE(Sample(text, "evt07800_database_sessions_idle"), 1);
    // Every line is a comment or a sample of the text format.
    const std::regex line(
        R"((# (HELP|TYPE) [a-z_0-9]+ .*)|([a-z_0-9]+(\{[a-z]+="[^"]*"(,[a-z]+="[^"]*")*\})? -?[0-9.]+(e[-+][0-9]+)?))");
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) EXPECT_TRUE(std::regex_match(l, line)) << "[" << l << "]";
    server.Stop();
}

// systemctl reload: SIGHUP reads AccessTokenFile again; a file that no
// longer holds a token leaves the one in force.
TEST_F(AdminEndpoint, SighupReadsTheTokenFileAgain) {
    const std::string file = dir + "/token";
    std::ofstream(file) << "token-antigo-0123456789\n";
    corvana::test::BackgroundProgram server(
        {EVT_SERVER_BIN, "--db", dir + "/outro.db", "--port", "0", "--AccessTokenFile=" + file},
        dir + "/servidor.log");
    const int p = server.ServerPort();
    ASSERT_GT(p, 0) << server.Log();
    auto status = [&](const std::string& token) {
        return HttpTestClient(p)
            .Request("GET", "/evt07800.rdmListConv", "", {{"Authorization", "Bearer " + token}})
            .status;
    };
    EXPECT_EQ(status("token-antigo-0123456789"), 200);
    std::ofstream(file) << "token-novo-9876543210\n";
    ::kill(server.Pid(), SIGHUP);
    EXPECT_NE(server.WaitFor("token de acesso relido de"), "") << server.Log();
    EXPECT_EQ(status("token-antigo-0123456789"), 401);
    EXPECT_EQ(status("token-novo-9876543210"), 200);
    std::ofstream(file) << "curto\n";
    ::kill(server.Pid(), SIGHUP);
    EXPECT_NE(server.WaitFor("O token anterior continua valendo"), "") << server.Log();
    EXPECT_EQ(status("token-novo-9876543210"), 200);
    EXPECT_EQ(server.Stop(), 0) << server.Log();
}

}  // namespace
