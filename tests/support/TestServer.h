#pragma once
// Starting an application server in the process, for the tests and the
// benchmarks: the endpoint over the modules given, on a loopback port.
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "endpoint/AppServer.h"

namespace corvana::test {

using ServerModules = std::vector<std::shared_ptr<evt::server::RemoteDataModule>>;

// Limits of a server under test: no line per call on standard error.
inline evt::server::AppServer::Limits QuietLimits() {
    evt::server::AppServer::Limits limits;
    limits.logCalls = false;
    return limits;
}

// Binds a server over `modules` (and the web services `web`) to
// 127.0.0.1:`port` (0: a free port) and starts it. A port given again after a stop may still be
// held by the system for a moment: binding is retried until it is free, for at most a second, with
// `pause` between tries (by default the thread sleeps; a screen test passes one that keeps its
// event loop running). Raises std::runtime_error naming the port when it does not come free.
inline std::unique_ptr<evt::server::AppServer> StartTestServer(
    ServerModules modules, const evt::server::AppServer::Limits& limits = QuietLimits(),
    int port = 0, const std::function<void(std::chrono::milliseconds)>& pause = {},
    std::vector<std::shared_ptr<evt::server::WebService>> web = {}) {
    auto server = std::make_unique<evt::server::AppServer>(
        std::move(modules), limits, evt::server::AppServer::Access{}, std::move(web));
    constexpr auto kStep = std::chrono::milliseconds(20);
    for (int attempt = 0; !server->Bind("127.0.0.1", port); ++attempt) {
        if (attempt == 50)
            throw std::runtime_error("não foi possível abrir a porta " + std::to_string(port));
        if (pause)
            pause(kStep);
        else
            std::this_thread::sleep_for(kStep);
    }
    server->Start();
    return server;
}

}  // namespace corvana::test
