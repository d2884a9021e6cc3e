// Calls that do not fit (argument counts and kinds, unknown methods) and
// hostile or odd texts in every argument, over HTTP.
#include <algorithm>

#include "ListConvTestSupport.h"

using namespace listconv_test;

namespace {

// Every method with valid arguments addressing the test list (a packet
// argument is null here).
const std::vector<std::pair<std::string, std::vector<Variant>>> kCalls = {
    {"GetOrcamento", {"0001"}},
    {"GetOrca", {"0001", "0000000002"}},
    {"GetSequencial", {"0001", "0000000002", "01"}},
    {"GetConvOrceve", {"0001", "0000000002", "01"}},
    {"SetConvOrceve", {Variant()}},
    {"GetVd_Nome", {"0001", "0000000002", "Ana Souza", "99999", "111", "01"}},
    {"GetCliente", {"52998224725"}},
    {"GetEndeClie", {"000011"}},
    {"GetInscJCad", {"0001", "0000000002", "01", "52998224725", "99999"}},
    {"GetVdOrdem", {"0001", "0000000002", "01", "1", "Ana Souza"}},
    {"GetImpLista", {Variant()}},
    {"GetImpPlanilha", {"0001", "0000000002", "01", Variant(), "S"}}};

// The arguments a method takes beyond those above, which callers may leave
// out: GetConvOrceve's list version.
std::size_t OptionalCount(const std::string& method) {
    return method == "GetConvOrceve" ? 1 : 0;
}

}  // namespace

class BadInputTest : public ListConvTest {
protected:
    // "HTTP <status>: <message>" of a refused call; "" when it went through.
    std::string Refused(const std::string& method, std::vector<Variant> args) {
        try {
            Call(method, std::move(args));
        } catch (const corvana::Error& e) {
            return e.what();
        }
        return {};
    }
};

TEST_F(BadInputTest, WrongArgumentCountsAndKindsAreRefusedNamingTheMethod) {
    for (const auto& [method, args] : kCalls) {
        const std::size_t n = args.size();
        const std::size_t most = n + OptionalCount(method);
        for (std::size_t count : {n - 1, most + 1}) {
            EXPECT_EQ(Refused(method, std::vector<Variant>(count, Variant("0001"))),
                      "HTTP 400: " + method + " espera " + std::to_string(n) +
                          (most > n ? " a " + std::to_string(most) : std::string()) +
                          (most == 1 ? " argumento" : " argumentos") + ", recebeu " +
                          std::to_string(count) + ".");
        }
        for (std::size_t i = 0; i < n; ++i) {
            const bool packet = args[i].isNull();
            // Null is not the empty text; a text is not a packet.
            for (const Variant& wrong : {Variant(), Variant(7), Variant(1.5), Variant(true),
                                         packet ? Variant("texto") : Delta().Packet()}) {
                auto bad = args;
                // The other packet arguments hold a packet, so that the
                // argument refused is the one named.
                for (std::size_t j = 0; j < n; ++j)
                    if (j != i && args[j].isNull()) bad[j] = Delta().Packet();
                bad[i] = wrong;
                const std::string text = Refused(method, bad);
                EXPECT_EQ(
                    text.rfind(
                        "HTTP 400: " + method + ": o argumento " + std::to_string(i + 1) + " (", 0),
                    0u)
                    << text;
            }
        }
    }
    // The list version: a whole number from 0, or null.
    for (const Variant& wrong : {Variant("3"), Variant(-1), Variant(1.5), Variant(true)}) {
        const std::string text = Refused("GetConvOrceve", {"0001", "0000000002", "01", wrong});
        EXPECT_EQ(text.rfind("HTTP 400: GetConvOrceve: o argumento 4 (versão)", 0), 0u) << text;
    }
    for (const Variant& right : {Variant(), Variant(0), Variant(12)})
        EXPECT_EQ(Refused("GetConvOrceve", {"0001", "0000000002", "01", right}), "");
    EXPECT_NE(Refused("DropTables", {}).find("HTTP 404"), std::string::npos);
    evt::server::RdmListConv module(db);
    EXPECT_THROW(module.Call("getorca", {"0001", "0000000002"}), evt::server::UnknownMethod);
    EXPECT_EQ(module.Methods().size(), kCalls.size());
}

TEST_F(BadInputTest, SqlInAnyTextArgumentIsJustText) {
    AddGuests(
        {NewGuest(kList, "Ana Souza", {{"NRRGLISTAOREV", "111"}, {"NRORDEMEXIBCONTRAT", "1"}}),
         NewGuest(kList, "Bruno Lima")});
    const DataPacket before = Guests(kList);
    const std::vector<std::string> attacks = {"'; DROP TABLE LISTACONVOREV; --", "0001' OR '1'='1",
                                              "\" OR \"\"=\"", "'); DELETE FROM CLIENTE; --",
                                              "*' UNION SELECT name FROM sqlite_master --"};
    for (const auto& [method, args] : kCalls) {
        if (std::any_of(args.begin(), args.end(), [](const Variant& a) { return a.isNull(); }))
            continue;
        for (std::size_t i = 0; i < args.size(); ++i) {
            for (const auto& attack : attacks) {
                auto hostile = args;
                hostile[i] = attack;
                Variant answer;
                ASSERT_NO_THROW(answer = Call(method, hostile)) << method << " " << i;
                EXPECT_FALSE(answer.isError()) << method << ": " << answer.toJson();
                if (answer.isPacket() && i == 0) {  // nothing matches the text as a key
                    EXPECT_TRUE(answer.asPacket().rows().empty()) << method;
                }
            }
        }
    }
    EXPECT_EQ(Guests(kList), before);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM CLIENTE"), 3);
    EXPECT_EQ(Count(corvana::test::OnPostgres()
                        ? "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = "
                          "current_schema() AND table_name <> 'schema_version'"
                        : "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'"),
              11);

    AddGuests({NewGuest(kList, attacks[0])});  // stored and found verbatim
    const Variant same = Call("GetVd_Nome", {"0001", "0000000002", attacks[0], "99999", "*", "01"});
    ASSERT_TRUE(same[0].isPacket());
    EXPECT_EQ(Cell(same[0].asPacket(), 0, "NMLISTACONVOREV"), Variant(attacks[0]));
}

TEST_F(BadInputTest, OddTextsAnswerWithoutHarm) {
    AddGuests({NewGuest(kList, "Ana Souza")});
    for (const std::string& text :
         {std::string("a\0b", 3), std::string(100000, 'z'), std::string("\x01\x02\x7f"),
          std::string("🎉 convidado 🎉"), std::string("   "), std::string("%_%")}) {
        EXPECT_TRUE(Call("GetCliente", {text}).asPacket().rows().empty());
        EXPECT_TRUE(Call("GetOrca", {text, text}).asPacket().rows().empty());
        const Variant names = Call("GetVd_Nome", {"0001", "0000000002", text, text, text, "01"});
        EXPECT_TRUE(names[0].asPacket().rows().empty() && names[1].asPacket().rows().empty());
        EXPECT_EQ(Call("GetVdOrdem", {"0001", "0000000002", "01", text, text}).asString(), "");
        EXPECT_TRUE(Call("GetInscJCad", {"0001", "0000000002", "01", text, text}).toBool());
    }
    EXPECT_EQ(Guests(kList).rows().size(), 1u);
}
