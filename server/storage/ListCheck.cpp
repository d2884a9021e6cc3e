#include "storage/ListCheck.h"

#include <array>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "corvana/data/Text.h"
#include "corvana/db/Connection.h"
#include "storage/Schema.h"

namespace evt::server::storage {

namespace {

using OptText = std::optional<std::string>;

// A key column, the value column it is derived from and how.
struct KeyOf {
    const char* key;
    const char* value;
    OptText (*derive)(std::string_view value);
};

OptText nameKey(std::string_view name) {
    return GuestNameKey(name);
}

constexpr std::array<KeyOf, 4> kKeys{{
    {"NMCHAVE", "NMLISTACONVOREV", nameKey},
    {"RGCHAVE", "NRRGLISTAOREV", GuestDocumentKey},
    {"INSCCHAVE", "NRINSJURCLILISCONV", GuestDocumentKey},
    {"ORDEMCHAVE", "NRORDEMEXIBCONTRAT", GuestOrderKey},
}};

bool wellFormedNumber(const std::string& number, int lastNumber) {
    if (number.size() != 5) return false;
    int value = 0;
    for (char c : number) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= lastNumber;
}

}  // namespace

std::vector<std::string> CheckGuestLists(corvana::db::Connection& connection, int lastNumber) {
    std::string sql =
        "SELECT l.CDFILIAL, l.NRORCAEVENTO, l.NRSEQORCAEVE, l.NRLISTACONVOREV, "
        "s.NRSEQORCAEVE IS NOT NULL";
    for (const KeyOf& k : kKeys) sql += std::string(", l.") + k.value + ", l." + k.key;
    sql +=
        " FROM LISTACONVOREV l LEFT JOIN ORCAEVENTOSEQ s ON s.CDFILIAL = l.CDFILIAL AND "
        "s.NRORCAEVENTO = l.NRORCAEVENTO AND s.NRSEQORCAEVE = l.NRSEQORCAEVE "
        "ORDER BY l.CDFILIAL, l.NRORCAEVENTO, l.NRSEQORCAEVE, l.NRLISTACONVOREV";
    auto st = connection.Prepare(sql);

    std::vector<std::string> problems;
    std::tuple<std::string, std::string, std::string> list;
    std::string previousNumber;
    std::array<std::set<std::string>, kKeys.size()> seen;  // keys of the current list
    bool first = true;
    while (st->Step()) {
        auto current = std::make_tuple(st->Text(0), st->Text(1), st->Text(2));
        const std::string number = st->Text(3);
        if (first || current != list) {
            list = std::move(current);
            for (auto& keys : seen) keys.clear();
            previousNumber.clear();
            first = false;
        }
        const std::string where = "lista (filial " + std::get<0>(list) + ", orçamento " +
                                  std::get<1>(list) + ", sequência " + std::get<2>(list) +
                                  "), convidado " + number + ": ";
        if (st->Int(4) == 0) problems.push_back(where + "a lista não existe em ORCAEVENTOSEQ");
        if (!wellFormedNumber(number, lastNumber))
            problems.push_back(where + "número fora do formato 00001 a " +
                               std::to_string(lastNumber));
        if (number == previousNumber) problems.push_back(where + "número repetido na lista");
        previousNumber = number;
        for (std::size_t k = 0; k < kKeys.size(); ++k) {
            const int at = 5 + 2 * static_cast<int>(k);
            const OptText value = st->OptText(at);
            const OptText stored = st->OptText(at + 1);
            if (k == 0 && corvana::trimBlanks(value.value_or("")).empty())
                problems.push_back(where + "sem nome");
            const OptText derived = kKeys[k].derive(value.value_or(""));
            const bool twin = derived && stored && *stored == TwinKey(*derived, number);
            if (stored != derived && !twin)
                problems.push_back(where + kKeys[k].key + " '" + stored.value_or("NULL") +
                                   "' não é a chave de " + kKeys[k].value + " '" +
                                   value.value_or("NULL") + "' ('" + derived.value_or("NULL") +
                                   "')");
            if (stored && !seen[k].insert(*stored).second)
                problems.push_back(where + kKeys[k].key + " '" + *stored + "' repetida na lista");
        }
    }
    return problems;
}

}  // namespace evt::server::storage
