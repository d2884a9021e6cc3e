#pragma once
// What the endpoint counts for GET /metrics (the Prometheus text format,
// behind the token like every call; docs/server.md "Metrics"), and the
// level of its log.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace evt::server {

// What the log says (LogLevel): every call, only refusals and errors, only
// errors (status 500 and up). Lines about connections (a limit, a time-out)
// go with refusals.
enum class LogLevel { Calls, Refusals, Errors };

// "chamadas", "recusas" or "erros" (any case); raises corvana::Error naming
// the setting otherwise.
LogLevel ParseLogLevel(const std::string& value);

// Figures a program adds to the answer (the database's sessions): name,
// help and value of each gauge.
struct Gauge {
    std::string name, help;
    double value = 0;
};
using GaugeSource = std::function<std::vector<Gauge>()>;

// Thread safe.
class Metrics {
public:
    // The upper bounds of the duration histogram's buckets, in seconds.
    static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                        0.1,   0.25,   0.5,   1,    2.5,   10};

    // An answered call: its method ("handshake" for the GET of a module,
    // "metrics", or "outro" for a path that names no hosted method), whether
    // it was refused (a status of 400 or more, or the module's refusal) and
    // how long it took from its header to its answer written.
    void Call(const std::string& method, bool refused, double seconds);
    // A limit passed (its setting's name: MaxBodyBytes, HeaderTimeout ...).
    void LimitHit(const std::string& limit);

    // The exposition text (version 0.0.4).
    std::string Text(std::size_t openConnections, const std::vector<Gauge>& gauges) const;

private:
    struct PerMethod {
        std::uint64_t calls = 0, refusals = 0;
        std::array<std::uint64_t, kBuckets.size()> buckets{};  // not cumulative
        double seconds = 0;
    };
    mutable std::mutex mutex_;
    std::map<std::string, PerMethod> methods_;
    std::map<std::string, std::uint64_t> limits_;
};

}  // namespace evt::server
