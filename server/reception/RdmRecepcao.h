#pragma once
#include <memory>
#include <string>
#include <vector>

#include "RemoteDataModule.h"
#include "reception/ChangeFeed.h"
#include "storage/Database.h"

namespace evt::server::reception {

// "evt07800.rdmRecepcao": the organiser's side of reception at the door
// (docs/reception.md): enabling reception for a list, enrolling stations
// (a one-time code each), revoking them, and the check-ins made offline
// that the rules would have refused. Called like evt07800.rdmListConv.
class RdmRecepcao final : public RemoteDataModule {
public:
    // `feed` wakes the stations that wait when a list is turned off or a
    // station revoked; may be null.
    RdmRecepcao(std::shared_ptr<storage::Database> db, std::shared_ptr<ChangeFeed> feed);

    std::string Name() const override;
    std::vector<std::string> Methods() const override;
    corvana::Variant Call(const std::string& method,
                          const std::vector<corvana::Variant>& args) override;

private:
    using Args = std::vector<corvana::Variant>;
    struct MethodEntry;
    static const std::vector<MethodEntry>& Table();
    corvana::Variant GetRecepcao(const Args& a);
    corvana::Variant SetRecepcao(const Args& a);
    corvana::Variant GetEstacoes(const Args& a);
    corvana::Variant SetEstacao(const Args& a);
    corvana::Variant SetRevogaEstacao(const Args& a);
    corvana::Variant GetConflitos(const Args& a);

    std::shared_ptr<storage::Database> db_;
    std::shared_ptr<ChangeFeed> feed_;
};

}  // namespace evt::server::reception
