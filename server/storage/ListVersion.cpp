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

}  // namespace evt::server::storage
