#include "storage/ListVersion.h"

namespace evt::server::storage {

std::optional<std::int64_t> RaiseListVersion(Connection& connection, const std::string& branch,
                                             const std::string& budget, const std::string& sequence,
                                             bool whole) {
    auto st = connection.Prepare(
        "UPDATE RECEPCAO SET NRVERSAO = NRVERSAO + 1, NRVERSAOLISTA = CASE WHEN ? = 1 THEN "
        "NRVERSAO + 1 ELSE NRVERSAOLISTA END WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ? RETURNING NRVERSAO");
    st->BindAll(whole ? 1 : 0, branch, budget, sequence);
    std::optional<std::int64_t> version;
    if (st->Step()) version = st->Int(0);
    while (st->Step()) {
    }
    return version;
}

std::optional<std::int64_t> RaiseGuestVersion(Connection& connection, const std::string& branch,
                                              const std::string& budget,
                                              const std::string& sequence) {
    std::optional<std::int64_t> version;
    {
        // The list's first write gives it its row; a list that does not
        // exist gets none.
        auto st = connection.Prepare(
            "INSERT INTO LISTACONVVERSAO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRVERSAOCONV) "
            "SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, 1 FROM ORCAEVENTOSEQ WHERE CDFILIAL = ? "
            "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? ON CONFLICT (CDFILIAL, NRORCAEVENTO, "
            "NRSEQORCAEVE) DO UPDATE SET NRVERSAOCONV = LISTACONVVERSAO.NRVERSAOCONV + 1 "
            "RETURNING NRVERSAOCONV");
        st->BindAll(branch, budget, sequence);
        if (st->Step()) version = st->Int(0);
        while (st->Step()) {
        }
    }
    // The numbers no screen can ask for any more go, a batch at a time.
    if (version && *version % 64 == 0 && *version > kRemovalsKept) {
        connection
            .Prepare(
                "DELETE FROM LISTACONVREMOVIDO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ? AND NRVERSAOCONV <= ?")
            ->BindAll(branch, budget, sequence, *version - kRemovalsKept)
            .Execute();
    }
    return version;
}

void RecordRemovedGuest(Connection& connection, const std::string& branch,
                        const std::string& budget, const std::string& sequence,
                        const std::string& number, std::int64_t version) {
    connection
        .Prepare(
            "INSERT INTO LISTACONVREMOVIDO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, "
            "NRLISTACONVOREV, NRVERSAOCONV) VALUES (?, ?, ?, ?, ?) ON CONFLICT (CDFILIAL, "
            "NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV) DO UPDATE SET NRVERSAOCONV = "
            "excluded.NRVERSAOCONV")
        ->BindAll(branch, budget, sequence, number, version)
        .Execute();
}

GuestVersionState ReadGuestVersion(Connection& connection, const std::string& branch,
                                   const std::string& budget, const std::string& sequence,
                                   std::optional<std::int64_t> since) {
    GuestVersionState state;
    auto st = connection.Prepare(
        "SELECT NRVERSAOCONV FROM LISTACONVVERSAO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ?");
    st->BindAll(branch, budget, sequence);
    if (st->Step()) state.version = st->Int(0);
    // A version above the list's is not one this database gave (a copy
    // restored from before it): only the whole list is sure.
    state.changesKnown =
        since && *since >= 0 && *since <= state.version && *since >= state.version - kRemovalsKept;
    return state;
}

std::vector<std::string> RemovedGuestsSince(Connection& connection, const std::string& branch,
                                            const std::string& budget, const std::string& sequence,
                                            std::int64_t since) {
    auto st = connection.Prepare(
        "SELECT r.NRLISTACONVOREV FROM LISTACONVREMOVIDO r WHERE r.CDFILIAL = ? AND "
        "r.NRORCAEVENTO = ? AND r.NRSEQORCAEVE = ? AND r.NRVERSAOCONV > ? AND NOT EXISTS "
        "(SELECT 1 FROM LISTACONVOREV l WHERE l.CDFILIAL = r.CDFILIAL AND l.NRORCAEVENTO = "
        "r.NRORCAEVENTO AND l.NRSEQORCAEVE = r.NRSEQORCAEVE AND l.NRLISTACONVOREV = "
        "r.NRLISTACONVOREV) ORDER BY r.NRLISTACONVOREV");
    st->BindAll(branch, budget, sequence, since);
    std::vector<std::string> numbers;
    while (st->Step()) numbers.push_back(st->Text(0));
    return numbers;
}

}  // namespace evt::server::storage
