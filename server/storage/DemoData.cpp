#include "storage/DemoData.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "storage/Database.h"
#include "storage/GuestTable.h"
#include "storage/Schema.h"

namespace evt::server::storage {

namespace {

// splitmix64: small, fast and the same on every platform (the standard
// distributions are not), so the demonstration data never changes.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number from 0 to n - 1.
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T, std::size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(N)))];
    }

private:
    std::uint64_t state_;
};

constexpr std::array<const char*, 30> kMaleNames = {
    "João",   "José",     "Antônio", "Francisco", "Carlos",   "Paulo",   "Pedro",  "Lucas",
    "Luiz",   "Marcos",   "Gabriel", "Rafael",    "Daniel",   "Marcelo", "Bruno",  "Eduardo",
    "Felipe", "Raimundo", "Rodrigo", "Sérgio",    "Fábio",    "André",   "Márcio", "Otávio",
    "Caio",   "Vinícius", "Gustavo", "Thiago",    "Henrique", "Ícaro"};
constexpr std::array<const char*, 30> kFemaleNames = {
    "Maria",    "Ana",     "Francisca", "Antônia", "Adriana",  "Juliana", "Márcia",  "Fernanda",
    "Patrícia", "Aline",   "Sandra",    "Camila",  "Amanda",   "Bruna",   "Jéssica", "Letícia",
    "Júlia",    "Luciana", "Vanessa",   "Mariana", "Gabriela", "Beatriz", "Larissa", "Débora",
    "Cecília",  "Helena",  "Lívia",     "Sônia",   "Vitória",  "Élida"};
constexpr std::array<const char*, 40> kSurnames = {
    "Silva",    "Santos",     "Oliveira",  "Souza",     "Rodrigues", "Ferreira", "Alves",
    "Pereira",  "Lima",       "Gomes",     "Costa",     "Ribeiro",   "Martins",  "Carvalho",
    "Almeida",  "Lopes",      "Soares",    "Fernandes", "Vieira",    "Barbosa",  "Rocha",
    "Dias",     "Nascimento", "Andrade",   "Moreira",   "Nunes",     "Marques",  "Machado",
    "Mendes",   "Freitas",    "Cardoso",   "Ramos",     "Gonçalves", "Araújo",   "Castro",
    "Teixeira", "Brandão",    "Conceição", "Assunção",  "Magalhães"};
constexpr std::array<const char*, 10> kTradeKinds = {
    "Buffet", "Cerimonial", "Espaço",  "Salão", "Recepções",
    "Festas", "Decorações", "Eventos", "Doces", "Flores"};
constexpr std::array<const char*, 20> kTradeNames = {
    "Aurora",        "Estrela",  "Primavera",     "Jardim Imperial", "Bela Vista",
    "Santa Luzia",   "Girassol", "Lua Cheia",     "Pérola",          "Esmeralda",
    "Copacabana",    "Ipanema",  "Águia Dourada", "Três Corações",   "São Jorge",
    "Boa Esperança", "Cristal",  "Villa Rica",    "Mar Azul",        "Solar"};
constexpr std::array<const char*, 6> kMailHosts = {"gmail.com",  "hotmail.com", "yahoo.com.br",
                                                   "uol.com.br", "outlook.com", "terra.com.br"};
constexpr std::array<int, 12> kAreaCodes = {11, 21, 31, 41, 51, 61, 71, 81, 85, 27, 48, 62};

// Plain ASCII for e-mail addresses: the accented letters of the name lists
// lose their accents, blanks go.
std::string mailPart(const std::string& text) {
    static const std::array<std::pair<const char*, char>, 24> accents = {{
        {"á", 'a'}, {"à", 'a'}, {"â", 'a'}, {"ã", 'a'}, {"é", 'e'}, {"ê", 'e'},
        {"í", 'i'}, {"ó", 'o'}, {"ô", 'o'}, {"õ", 'o'}, {"ú", 'u'}, {"ç", 'c'},
        {"Á", 'a'}, {"À", 'a'}, {"Â", 'a'}, {"Ã", 'a'}, {"É", 'e'}, {"Ê", 'e'},
        {"Í", 'i'}, {"Ó", 'o'}, {"Ô", 'o'}, {"Õ", 'o'}, {"Ú", 'u'}, {"Ç", 'c'},
    }};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [from, to] : accents) {
            const std::string_view f(from);
            if (text.compare(i, f.size(), f) == 0) {
                out.push_back(to);
                i += f.size();
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        const char c = text[i++];
        if (c >= 'A' && c <= 'Z')
            out.push_back(static_cast<char>(c - 'A' + 'a'));
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out.push_back(c);
    }
    return out;
}

std::string digits(Random& rng, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s.push_back(static_cast<char>('0' + rng.Below(10)));
    return s;
}

// Check digit of the CPF/CNPJ kind: weighted sum modulo 11.
char checkDigit(const std::string& base, const std::vector<int>& weights) {
    int sum = 0;
    for (std::size_t i = 0; i < base.size(); ++i) sum += (base[i] - '0') * weights[i];
    const int r = sum % 11;
    return static_cast<char>('0' + (r < 2 ? 0 : 11 - r));
}

std::string makeCpf(Random& rng) {
    std::string base;
    do {
        base = digits(rng, 9);
    } while (std::all_of(base.begin(), base.end(), [&](char c) { return c == base[0]; }));
    base.push_back(checkDigit(base, {10, 9, 8, 7, 6, 5, 4, 3, 2}));
    base.push_back(checkDigit(base, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
    return base;
}

std::string makeCnpj(Random& rng) {
    std::string base = digits(rng, 8) + "0001";
    base.push_back(checkDigit(base, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}));
    base.push_back(checkDigit(base, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}));
    return base;
}

// The draws are taken one statement at a time: the order in which a call's
// arguments are evaluated is the compiler's choice, the data must not be.
// Telephones are stored as the guest list's grid stores what is typed in
// them, digits only ("5121724552"); the grid shows them laid out.
std::string phone(Random& rng, int area) {
    const int first = rng.Between(2, 5);
    const int middle = rng.Below(1000);
    const int last = rng.Below(10000);
    char text[32];
    std::snprintf(text, sizeof text, "%02d%d%03d%04d", area, first, middle, last);
    return text;
}
std::string mobile(Random& rng, int area) {
    const int first = rng.Below(10000);
    const int last = rng.Below(10000);
    char text[32];
    std::snprintf(text, sizeof text, "%02d9%04d%04d", area, first, last);
    return text;
}
std::string rg(Random& rng) {
    std::string text = digits(rng, 2);  // "12.345.678-9"
    text.push_back('.');
    text += digits(rng, 3);
    text.push_back('.');
    text += digits(rng, 3);
    text.push_back('-');
    text += digits(rng, 1);
    return text;
}

std::string padded(int value, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

struct Person {
    std::string first, last, full;
    bool female;
};

Person person(Random& rng) {
    Person p;
    p.female = rng.Chance(50);
    p.first = p.female ? rng.Pick(kFemaleNames) : rng.Pick(kMaleNames);
    const std::string middle = rng.Pick(kSurnames);
    p.last = rng.Pick(kSurnames);
    p.full = p.first + " " + middle + " " + p.last;
    return p;
}

struct Client {
    std::string code, inscription, name;
    bool company;
};

struct Budget {
    std::string branch, number, type;
};

class Seeder {
public:
    Seeder(Connection& connection, Random& rng) : c_(connection), rng_(rng) {}

    void Branches() {
        auto st = c_.Prepare("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (?, ?)");
        const std::array<std::pair<const char*, const char*>, 3> branches = {
            {{"0001", "Matriz"}, {"0002", "Filial Centro"}, {"0003", "Filial Praia"}}};
        for (const auto& [code, name] : branches) {
            st->Reset();
            st->BindAll(code, name).Execute();
        }
    }

    void Clients(int count) {
        auto client = c_.Prepare(
            "INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMFANTCLIE) "
            "VALUES (?, ?, ?, ?)");
        auto address = c_.Prepare(
            "INSERT INTO ENDECLIE (CDCLIENTE, ORDEM, IDTPENDECLIE, NRTELECLIE, DSEMAILCLIE, "
            "NRCELULARCLI) VALUES (?, ?, ?, ?, ?, ?)");
        // Trade names of companies are drawn without repetition.
        std::vector<std::string> tradeNames;
        for (const char* kind : kTradeKinds)
            for (const char* name : kTradeNames)
                tradeNames.push_back(std::string(kind) + " " + name);
        for (std::size_t i = tradeNames.size(); i > 1; --i)
            std::swap(tradeNames[i - 1],
                      tradeNames[static_cast<std::size_t>(rng_.Below(static_cast<int>(i)))]);
        std::set<std::string> inscriptions, names;

        for (int i = 1; i <= count; ++i) {
            Client cl;
            cl.code = padded(i, 6);
            cl.company = i % 3 == 0 && !tradeNames.empty();
            std::string mailUser, mailHost;
            do {
                cl.inscription = cl.company ? makeCnpj(rng_) : makeCpf(rng_);
            } while (!inscriptions.insert(cl.inscription).second);
            if (cl.company) {
                cl.name = tradeNames.back();
                tradeNames.pop_back();
                mailUser = "contato";
                mailHost = mailPart(cl.name) + ".com.br";
            } else {
                Person p;
                do {
                    p = person(rng_);
                } while (!names.insert(p.full).second);
                cl.name = p.full;
                mailUser = mailPart(p.first) + "." + mailPart(p.last) + std::to_string(i);
                mailHost = rng_.Pick(kMailHosts);
            }
            client->Reset();
            client->BindAll(cl.code, cl.inscription, cl.company ? "J" : "F", cl.name).Execute();

            const int area = rng_.Pick(kAreaCodes);
            const int records = rng_.Between(1, 3);
            for (int order = 1; order <= records; ++order) {
                const char* kind = order == 1 ? (cl.company ? "C" : "R") : (order == 2 ? "E" : "C");
                const std::string mail = order == 1
                                             ? mailUser + "@" + mailHost
                                             : mailUser + std::to_string(order) + "@" + mailHost;
                const std::string tel = phone(rng_, area);
                const std::string cell = mobile(rng_, area);
                address->Reset();
                address->BindAll(cl.code, order, kind, tel, mail, cell).Execute();
            }
            clients_.push_back(std::move(cl));
        }
    }

    Budget NewBudget(const std::string& branch, int number, std::optional<std::string> type) {
        static constexpr std::array<const char*, 3> weddingServices = {
            "Casamento completo", "Buffet e decoração", "Cerimonial e recepção"};
        static constexpr std::array<const char*, 3> debutServices = {
            "Baile completo", "Festa de 15 anos", "Buffet e decoração"};
        static constexpr std::array<const char*, 2> anniversaryServices = {"Recepção",
                                                                           "Jantar comemorativo"};
        Budget b{branch, padded(number, 10), ""};
        const int roll = rng_.Below(10);
        b.type = type       ? *type
                 : roll < 6 ? "Casamento"
                 : roll < 9 ? "Baile de Debutante"
                            : (rng_.Chance(50) ? "Bodas de Prata" : "Bodas de Ouro");
        const char* service = b.type == "Casamento"            ? rng_.Pick(weddingServices)
                              : b.type == "Baile de Debutante" ? rng_.Pick(debutServices)
                                                               : rng_.Pick(anniversaryServices);
        const int year = rng_.Between(2025, 2027);
        const int month = rng_.Between(1, 12);
        const int day = rng_.Between(1, 28);
        const int hour = rng_.Between(18, 21);
        const int minute = rng_.Chance(50) ? 0 : 30;
        char date[32];
        std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:00", year, month, day, hour,
                      minute);
        const Client& client =
            clients_[static_cast<std::size_t>(rng_.Below(static_cast<int>(clients_.size())))];
        auto st = c_.Prepare(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, CDCLIENTE, NMTPSERVEVEN, "
            "NMTIPOEVENTO, DTEVENTO) VALUES (?, ?, ?, ?, ?, ?)");
        st->BindAll(b.branch, b.number, client.code, service, b.type, std::string(date)).Execute();
        return b;
    }

    void Sequence(const Budget& b, const std::string& sequence, double quantity, bool result) {
        auto st = c_.Prepare(
            "INSERT INTO ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, QTCONVORCEVE, "
            "IDRESULT) VALUES (?, ?, ?, ?, ?)");
        st->BindAll(b.branch, b.number, sequence, quantity, result ? "S" : "N").Execute();
    }

    // A guest list of `count` guests; answers the sum of their quantities.
    // Every coded column holds a code of the guest record: the list's
    // treatment (the same on each of its guests), the hosts' conditions,
    // presence, type, shown on the contract and the contract order.
    double Guests(const Budget& b, const std::string& sequence, int count) {
        auto st = c_.Prepare(GuestInsertSql());
        // The first guests are the hosts of the event, then their closest
        // family and godparents: all of them shown on the contract, in this
        // order. Only the hosts have a condition.
        enum class Sex { Male, Female, Any };
        struct Role {
            const char* condition;
            Sex sex;
        };
        std::vector<Role> roles;
        std::string treatment;
        if (b.type == "Casamento") {
            roles = {{"NOIVO", Sex::Male}, {"NOIVA", Sex::Female}, {"*", Sex::Male},
                     {"*", Sex::Female},   {"*", Sex::Male},       {"*", Sex::Female}};
            treatment = rng_.Chance(80) ? "NOIVOS" : "*";
        } else if (b.type == "Baile de Debutante") {
            roles = {{"DEBUTANTE", Sex::Female},
                     {"REPRESENTANTE", Sex::Male},
                     {"*", Sex::Female},
                     {"*", Sex::Male},
                     {"*", Sex::Female}};
            const int roll = rng_.Below(10);
            treatment = roll < 5 ? "DEBUTANTE" : roll < 8 ? "DEBUTREPRESENTANTE" : "*";
        } else {
            roles = {{"REPRESENTANTE", Sex::Any}, {"*", Sex::Any}};
            treatment = rng_.Chance(70) ? "REPRESENTANTE" : "*";
        }
        // Guests linked to clients, individuals and companies alike, but on
        // the plain list the screens' tests fill with clients of their own.
        const bool linksClients =
            !(b.branch == demo::kPlainListBranch && b.number == demo::kPlainListBudget &&
              sequence == demo::kPlainListSequence);
        std::set<std::string> nameKeys, rgs;
        std::set<std::size_t> linked;
        double total = 0;
        for (int i = 0; i < count; ++i) {
            const std::size_t at = static_cast<std::size_t>(i);
            const bool host = at < roles.size();
            const Role role = host ? roles[at] : Role{"*", Sex::Any};
            std::string name, client = "*", inscription = "*";

            // About one guest in ten is a client of the company, an
            // individual or a company, linked by code and inscription and
            // named as the client is.
            if (!host && linksClients && rng_.Chance(10) && linked.size() < clients_.size() / 2) {
                const std::size_t pick =
                    static_cast<std::size_t>(rng_.Below(static_cast<int>(clients_.size())));
                const Client& cl = clients_[pick];
                if (!linked.count(pick) && !nameKeys.count(GuestNameKey(cl.name))) {
                    linked.insert(pick);
                    name = cl.name;
                    client = cl.code;
                    inscription = cl.inscription;
                }
            }
            while (name.empty()) {
                Person p = person(rng_);
                if (role.sex == Sex::Male) {
                    while (p.female) p = person(rng_);
                } else if (role.sex == Sex::Female) {
                    while (!p.female) p = person(rng_);
                }
                if (!nameKeys.count(GuestNameKey(p.full))) name = p.full;
            }
            nameKeys.insert(GuestNameKey(name));

            std::string guestRg = "*";
            if (rng_.Chance(40)) {
                std::string candidate = rg(rng_);
                if (rgs.insert(candidate).second) guestRg = candidate;
            }
            const bool special = host || rng_.Chance(8);
            // Contract orders are two digits, one per guest of the list.
            const std::string order = host ? padded(i + 1, 2) : std::string("*");
            const int area = rng_.Pick(kAreaCodes);
            const bool reachable = host || rng_.Chance(50);
            const double quantity = !host && rng_.Chance(10) ? 2.0 : 1.0;
            total += quantity;
            const std::string mail = reachable && rng_.Chance(60)
                                         ? mailPart(name.substr(0, name.find(' '))) +
                                               std::to_string(i + 1) + "@" + rng_.Pick(kMailHosts)
                                         : std::string("*");

            const char* present = rng_.Chance(50) ? "S" : "N";
            const std::string tel = reachable ? phone(rng_, area) : std::string("*");
            const std::string cell = reachable ? mobile(rng_, area) : std::string("*");
            // A few guests keep the placeholders of type and contract, as
            // guests stored by older versions of the screens do.
            const bool placeholders = !host && rng_.Chance(3);
            const char* type = placeholders ? "*" : special ? "ESPECIAL" : "NORMAL";
            const char* onContract = placeholders ? "*" : host ? "S" : "N";
            // A field of the record the demonstration does not fill holds its
            // placeholder, as a new guest of the screen does.
            GuestValues guest;
            for (std::size_t field : kGuestValues) {
                const std::string_view placeholder = guestrecord::kFields[field].placeholder;
                if (!placeholder.empty()) guest.texts[field] = std::string(placeholder);
            }
            auto set = [&](std::size_t field, std::string value) {
                guest.texts[field] = std::move(value);
            };
            set(guestrecord::IndexOf("IDTPTRATCONVESPEC"), treatment);
            set(guestrecord::IndexOf("CDCLIENTELISTCONV"), client);
            set(guestrecord::IndexOf("NRINSJURCLILISCONV"), inscription);
            set(guestrecord::IndexOf("NMLISTACONVOREV"), name);
            set(guestrecord::IndexOf("NRRGLISTAOREV"), guestRg);
            set(guestrecord::IndexOf("IDCONVPRESEOREV"), present);
            set(guestrecord::IndexOf("IDCONDICAOCONVEV"), role.condition);
            set(guestrecord::IndexOf("NRTELCONVEVEN"), tel);
            set(guestrecord::IndexOf("NRCELCONVEVEN"), cell);
            set(guestrecord::IndexOf("DSEMAILCONVEVEN"), mail);
            set(guestrecord::IndexOf("IDTIPOCONVEVEN"), type);
            set(guestrecord::IndexOf("IDEXIBECONVCONTRAT"), onContract);
            set(guestrecord::IndexOf("NRORDEMEXIBCONTRAT"), order);
            guest.quantity = quantity;
            st->Reset();
            // Seeded lists are at their first version, 0.
            BindGuestInsert(*st, {b.branch, b.number, sequence, padded(i + 1, 5)}, guest, 0);
            st->Execute();
        }
        return total;
    }

    // Two or three sequences, one of them the resulting copy, each with a
    // guest list of its own.
    void Sequences(const Budget& b) {
        const int sequences = rng_.Between(2, 3);
        const int result = rng_.Between(1, sequences);
        for (int s = 1; s <= sequences; ++s) {
            const std::string seq = padded(s, 2);
            Sequence(b, seq, 0, s == result);
            SetQuantity(b, seq, Guests(b, seq, rng_.Between(12, 48)));
        }
    }

    void SetQuantity(const Budget& b, const std::string& sequence, double quantity) {
        auto st = c_.Prepare(
            "UPDATE ORCAEVENTOSEQ SET QTCONVORCEVE = ? WHERE CDFILIAL = ? AND "
            "NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
        st->BindAll(quantity, b.branch, b.number, sequence).Execute();
    }

private:
    Connection& c_;
    Random& rng_;
    std::vector<Client> clients_;
};

}  // namespace

bool SeedDemo(Database& db) {
    auto connection = db.Acquire();
    Transaction tx(*connection);
    {
        auto st = connection->Prepare(
            "SELECT EXISTS (SELECT 1 FROM FILIAL) OR EXISTS (SELECT 1 FROM CLIENTE) OR "
            "EXISTS (SELECT 1 FROM ORCAEVENTO)");
        if (st->Step() && st->Int(0) != 0) return false;
    }
    Random rng(0x45564E54303738ull);
    Seeder seeder(*connection, rng);
    seeder.Branches();
    seeder.Clients(300);
    const std::array<const char*, 3> branches = {"0001", "0002", "0003"};
    for (std::size_t i = 0; i < branches.size(); ++i) {
        const int budgets = rng.Between(20, 40);
        for (int k = 1; k <= budgets; ++k) {
            Budget b =
                seeder.NewBudget(branches[i], static_cast<int>(i + 1) * 1000 + k, std::nullopt);
            seeder.Sequences(b);
        }
    }

    Budget big = seeder.NewBudget(demo::kBigListBranch, 5000, std::string("Casamento"));
    seeder.Sequence(big, demo::kBigListSequence, 0, true);
    seeder.SetQuantity(big, demo::kBigListSequence,
                       seeder.Guests(big, demo::kBigListSequence, demo::kBigListGuests));
    seeder.Sequence(big, "02", 0, false);
    seeder.SetQuantity(big, "02", seeder.Guests(big, "02", 30));

    Budget empty =
        seeder.NewBudget(demo::kEmptyListBranch, 5001, std::string("Baile de Debutante"));
    seeder.Sequence(empty, demo::kEmptyListSequence, 120, true);
    seeder.Sequence(empty, "02", 150, false);

    tx.Commit();
    return true;
}

}  // namespace evt::server::storage
