#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RemoteDataModule.h"
#include "storage/Database.h"

namespace evt::server {

// "evt07800.rdmListConv": the guest list of an event budget. The screens
// read budgets, sequences, clients and guests, check a guest's name, R.G.,
// inscription and contract order against the list, save their changes
// (SetConvOrceve) and import guests from a file (GetImpLista).
//
// Stateless apart from the database: every call works on a pooled connection
// of its own, so calls from the endpoint's worker threads run concurrently.
class RdmListConv final : public RemoteDataModule {
public:
    explicit RdmListConv(std::shared_ptr<storage::Database> db);

    std::string Name() const override;
    std::vector<std::string> Methods() const override;
    corvana::Variant Call(const std::string& method,
                          const std::vector<corvana::Variant>& args) override;
    JsonAnswer CallJson(const std::string& method,
                        const std::vector<corvana::Variant>& args) override;

private:
    using Args = std::vector<corvana::Variant>;
    struct MethodEntry;
    static const std::vector<MethodEntry>& Table();
    // The method's entry, after checking the number and kinds of the
    // arguments; raises UnknownMethod or BadRequest.
    const MethodEntry& Resolve(const std::string& method, const Args& args) const;

    corvana::Variant GetOrcamento(const Args& a);
    corvana::Variant GetOrca(const Args& a);
    corvana::Variant GetSequencial(const Args& a);
    corvana::Variant GetConvOrceve(const Args& a);
    std::string GetConvOrceveJson(const Args& a);
    // A list's changes since the version a caller holds (GetConvOrceve's
    // fourth argument): its version, whether the guests are all of them,
    // the statement of the guests and the numbers removed.
    struct ListChanges {
        std::int64_t version = 0;
        bool complete = true;
        std::optional<storage::StatementHandle> guests;
        std::vector<std::string> removed;
    };
    ListChanges readChanges(storage::Connection& connection, const Args& a);
    corvana::Variant SetConvOrceve(const Args& a);
    corvana::Variant GetVdNome(const Args& a);
    corvana::Variant GetCliente(const Args& a);
    corvana::Variant GetEndeClie(const Args& a);
    corvana::Variant GetInscJCad(const Args& a);
    corvana::Variant GetVdOrdem(const Args& a);
    corvana::Variant GetImpLista(const Args& a);
    corvana::Variant GetImpPlanilha(const Args& a);

    std::shared_ptr<storage::Database> db_;
};

}  // namespace evt::server
