#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "endpoint/WebService.h"
#include "reception/ChangeFeed.h"
#include "reception/StaticFiles.h"
#include "storage/Database.h"

namespace evt::server::reception {

// Everything under /recepcao (docs/reception.md): the station's page and
// its assets, and its calls under /recepcao/api/, plain JSON objects with
// the station's token as Bearer (the server's access token is not asked
// there). A call that waits for changes (mudancas) holds no worker thread:
// the endpoint keeps its connection until the feed wakes it.
class StationApi final : public WebService {
public:
    StationApi(std::shared_ptr<storage::Database> db, std::shared_ptr<ChangeFeed> feed,
               const std::vector<AssetFile>& assets = BuiltInAssets());

    std::string Prefix() const override { return "/recepcao"; }
    WebAnswer Handle(const WebRequest& request) override;

    // The longest a GET mudancas waits (25 s).
    void SetLongestWait(std::chrono::milliseconds wait) { longestWait_ = wait; }

private:
    WebAnswer guarded(const std::function<WebAnswer()>& run);
    WebAnswer api(const std::string& call, const WebRequest& request);
    WebAnswer entrar(const WebRequest& request);
    WebAnswer lista(const WebRequest& request);
    WebAnswer mudancas(const WebRequest& request);
    WebAnswer changesSince(const WebRequest& request, std::int64_t since, bool wait);
    WebAnswer entrada(const WebRequest& request);
    WebAnswer desfazer(const WebRequest& request);
    WebAnswer novo(const WebRequest& request);
    WebAnswer contagens(const WebRequest& request);

    std::shared_ptr<storage::Database> db_;
    std::shared_ptr<ChangeFeed> feed_;
    StaticFiles files_;
    std::chrono::milliseconds longestWait_{std::chrono::seconds(25)};
};

}  // namespace evt::server::reception
