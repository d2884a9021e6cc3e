#include "reception/ReceptionSupport.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "corvana/data/DateTime.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace evt::server::reception {

std::string Describe(const ListKey& list) {
    return "filial " + list.branch + ", orçamento " + list.budget + ", sequência " + list.sequence;
}

namespace {

std::string storedText(const std::tm& t) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

bool digitsAt(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::string TimeText(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    return storedText(local);
}

std::string NowText() {
    return TimeText(std::chrono::system_clock::now());
}

std::optional<std::string> StationTimeText(std::string_view text) {
    // The date and time: "YYYY-MM-DDTHH:MM[:SS[.fff]]".
    std::size_t end = text.find_first_of("Zz+", 10);
    if (end == std::string_view::npos) {
        // A "-" after the time starts a zone; those of the date do not.
        end = text.find('-', 16);
    }
    const std::string_view civil = text.substr(0, end);
    auto parsed = corvana::DateTime::fromIso(civil);
    if (!parsed || civil.size() < 16 || (civil[10] != 'T' && civil[10] != ' ')) return std::nullopt;
    parsed->millisecond = 0;
    if (end == std::string_view::npos) return parsed->toIso();
    // The zone: "Z", or "+HH:MM", "-HH:MM", "+HHMM", "+HH".
    const std::string_view zone = text.substr(end);
    int offset = 0;
    if (zone != "Z" && zone != "z") {
        int hours = 0, minutes = 0;
        if (!digitsAt(zone, 1, 2, hours)) return std::nullopt;
        const std::string_view rest = zone.substr(3);
        if (rest.empty()) {
        } else if (rest.size() == 3 && rest[0] == ':' && digitsAt(rest, 1, 2, minutes)) {
        } else if (rest.size() == 2 && digitsAt(rest, 0, 2, minutes)) {
        } else {
            return std::nullopt;
        }
        if (hours > 23 || minutes > 59) return std::nullopt;
        offset = (hours * 60 + minutes) * 60 * (zone[0] == '-' ? -1 : 1);
    }
    std::tm utc{};
    utc.tm_year = parsed->year - 1900;
    utc.tm_mon = parsed->month - 1;
    utc.tm_mday = parsed->day;
    utc.tm_hour = parsed->hour;
    utc.tm_min = parsed->minute;
    utc.tm_sec = parsed->second;
    const std::time_t seconds = timegm(&utc) - offset;
    std::tm local{};
    localtime_r(&seconds, &local);
    return storedText(local);
}

std::string ClockText(std::string_view stored) {
    if (stored.size() < 16) return std::string(stored);
    return std::string(stored.substr(11, 5));
}

std::string DigestHex(std::string_view text) {
    unsigned char digest[32];
    unsigned int size = sizeof digest;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw corvana::Error("Falha ao calcular o resumo de um código da recepção.");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(64);
    for (unsigned char byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

namespace {

void randomBytes(unsigned char* out, int size) {
    if (RAND_bytes(out, size) != 1)
        throw corvana::Error("O gerador de números aleatórios do sistema falhou.");
}

}  // namespace

std::string NewCode() {
    std::string code;
    // Bytes past the last whole multiple of the alphabet's size are drawn
    // again, so that every character is equally likely.
    const unsigned limit = 256 - 256 % kCodeAlphabet.size();
    while (code.size() < kCodeLength) {
        unsigned char bytes[16];
        randomBytes(bytes, sizeof bytes);
        for (unsigned char byte : bytes) {
            if (byte >= limit || code.size() == kCodeLength) continue;
            code += kCodeAlphabet[byte % kCodeAlphabet.size()];
        }
    }
    return code;
}

std::optional<std::string> CodeAsMade(std::string_view typed) {
    std::string code;
    for (char c : typed) {
        if (c == ' ' || c == '-' || c == '\t') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (kCodeAlphabet.find(c) == std::string_view::npos) return std::nullopt;
        code += c;
        if (code.size() > kCodeLength) return std::nullopt;
    }
    if (code.size() != kCodeLength) return std::nullopt;
    return code;
}

std::string NewToken() {
    unsigned char bytes[32];
    randomBytes(bytes, sizeof bytes);
    static constexpr char kBase64Url[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kBase64Url[(bits >> count) & 63];
        }
    }
    if (count > 0) out += kBase64Url[(bits << (6 - count)) & 63];
    return out;
}

int PeopleOf(const std::optional<double>& quantity) {
    if (!quantity || !(*quantity >= 1)) return 1;
    if (*quantity > 1e9) return 1000000000;
    return static_cast<int>(std::floor(*quantity));
}

std::optional<ListState> ReadListState(storage::Connection& connection, const ListKey& list) {
    auto st = connection.Prepare(
        "SELECT IDRECEPCAO, NRVERSAO, NRVERSAOLISTA FROM RECEPCAO WHERE CDFILIAL = ? AND "
        "NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
    st->BindAll(list.branch, list.budget, list.sequence);
    if (!st->Step()) return std::nullopt;
    ListState state{st->Text(0) == "S", st->Int(1), st->Int(2)};
    while (st->Step()) {
    }
    return state;
}

bool ListExists(storage::Connection& connection, const ListKey& list) {
    auto st = connection.Prepare(
        "SELECT 1 FROM ORCAEVENTOSEQ WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
    st->BindAll(list.branch, list.budget, list.sequence);
    const bool found = st->Step();
    while (st->Step()) {
    }
    return found;
}

namespace {

// A stored text as the station shows it: a placeholder ("*") as nothing.
std::string shown(const storage::Statement& st, int column) {
    if (st.IsNull(column)) return {};
    std::string text = st.Text(column);
    return text == "*" ? std::string() : text;
}

constexpr const char* kGuestColumns =
    "SELECT NRLISTACONVOREV, NMLISTACONVOREV, NRRGLISTAOREV, NRINSJURCLILISCONV, NRTELCONVEVEN, "
    "NRCELCONVEVEN, IDTPTRATCONVESPEC, IDEXIBECONVCONTRAT, QUANTIDADE, IDTIPOCONVEVEN FROM "
    "LISTACONVOREV WHERE "
    "CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?";

constexpr const char* kArrivalColumns =
    "SELECT e.NRLISTACONVOREV, e.IDTIPO, e.QTPESSOAS, e.DTENTRADA, s.NMESTACAO FROM RECEPENTRADA "
    "e JOIN RECEPESTACAO s ON s.CDESTACAO = e.CDESTACAO WHERE e.CDFILIAL = ? AND e.NRORCAEVENTO "
    "= ? AND e.NRSEQORCAEVE = ? AND e.IDTIPO <> 'D' AND e.IDDESFEITA = 'N'";

void readArrivals(storage::Statement& st, std::map<std::string, Arrivals>& out) {
    while (st.Step()) {
        Arrivals& a = out[st.Text(0)];
        a.people += static_cast<int>(st.Int(2));
        if (st.Text(1) == "P") a.door = true;
        std::string when = st.Text(3);
        if (a.lastWhen.empty() || when >= a.lastWhen) {
            a.lastWhen = std::move(when);
            a.lastStation = st.Text(4);
        }
    }
}

StationGuest readGuest(const storage::Statement& st) {
    StationGuest g;
    g.number = st.Text(0);
    g.name = st.Text(1);
    g.rg = shown(st, 2);
    g.document = shown(st, 3);
    g.phone = shown(st, 4);
    g.cell = shown(st, 5);
    g.treatment = shown(st, 6);
    g.contract = !st.IsNull(7) && st.Text(7) == "S";
    g.quantity = PeopleOf(st.IsNull(8) ? std::nullopt : std::optional<double>(st.Double(8)));
    g.special = !st.IsNull(9) && st.Text(9) == "ESPECIAL";
    return g;
}

}  // namespace

std::vector<StationGuest> ReadGuests(storage::Connection& connection, const ListKey& list,
                                     const std::set<std::string>* only) {
    std::map<std::string, Arrivals> arrivals;
    std::vector<StationGuest> guests;
    if (!only) {
        {
            auto st = connection.Prepare(kArrivalColumns);
            st->BindAll(list.branch, list.budget, list.sequence);
            readArrivals(*st, arrivals);
        }
        auto st = connection.Prepare(std::string(kGuestColumns) + " ORDER BY NRLISTACONVOREV");
        st->BindAll(list.branch, list.budget, list.sequence);
        while (st->Step()) guests.push_back(readGuest(*st));
    } else {
        auto arrivalsOf =
            connection.Prepare(std::string(kArrivalColumns) + " AND e.NRLISTACONVOREV = ?");
        auto guest = connection.Prepare(std::string(kGuestColumns) + " AND NRLISTACONVOREV = ?");
        for (const std::string& number : *only) {
            arrivalsOf->Reset();
            arrivalsOf->BindAll(list.branch, list.budget, list.sequence, number);
            readArrivals(*arrivalsOf, arrivals);
            guest->Reset();
            guest->BindAll(list.branch, list.budget, list.sequence, number);
            if (guest->Step()) guests.push_back(readGuest(*guest));
            while (guest->Step()) {
            }
        }
    }
    for (StationGuest& g : guests) {
        const auto it = arrivals.find(g.number);
        if (it != arrivals.end()) g.arrivals = it->second;
    }
    return guests;
}

void AppendJsonTexts(std::string& out, JsonTexts members) {
    bool first = true;
    for (const auto& [key, text] : members) {
        if (!first) out += ',';
        first = false;
        out += '"';
        out += key;
        out += "\":";
        corvana::appendJsonString(out, text);
    }
}

void AppendGuestJson(std::string& out, const StationGuest& g) {
    out += '{';
    AppendJsonTexts(out, {{"nr", g.number},
                          {"nome", g.name},
                          {"rg", g.rg},
                          {"doc", g.document},
                          {"tel", g.phone},
                          {"cel", g.cell},
                          {"tratamento", g.treatment}});
    out += g.special ? ",\"especial\":true" : ",\"especial\":false";
    out += g.contract ? ",\"contrato\":true" : ",\"contrato\":false";
    out += g.arrivals.door ? ",\"porta\":true" : ",\"porta\":false";
    out += ",\"quantidade\":" + std::to_string(g.quantity);
    out += ",\"chegaram\":" + std::to_string(g.Arrived());
    if (g.arrivals.lastWhen.empty()) {
        out += ",\"ultima\":null}";
        return;
    }
    out += ",\"ultima\":{";
    AppendJsonTexts(
        out, {{"quando", ClockText(g.arrivals.lastWhen)}, {"estacao", g.arrivals.lastStation}});
    out += "}}";
}

Totals ReadTotals(storage::Connection& connection, const ListKey& list) {
    Totals totals;
    for (const StationGuest& g : ReadGuests(connection, list)) {
        ++totals.guests;
        totals.people += g.quantity;
        totals.arrived += g.Arrived();
    }
    return totals;
}

}  // namespace evt::server::reception
