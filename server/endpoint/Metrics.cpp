#include "endpoint/Metrics.h"

#include <cstdio>

#include "corvana/data/Error.h"

namespace evt::server {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

}  // namespace

LogLevel ParseLogLevel(const std::string& value) {
    const std::string v = lower(value);
    if (v == "chamadas" || v.empty()) return LogLevel::Calls;
    if (v == "recusas") return LogLevel::Refusals;
    if (v == "erros") return LogLevel::Errors;
    throw corvana::Error("Valor inválido para LogLevel: \"" + value +
                         "\". Use chamadas (toda chamada), recusas (só recusas e erros) ou erros "
                         "(só erros).");
}

void Metrics::Call(const std::string& method, bool refused, double seconds) {
    std::lock_guard lock(mutex_);
    PerMethod& m = methods_[method];
    ++m.calls;
    if (refused) ++m.refusals;
    m.seconds += seconds;
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
        if (seconds <= kBuckets[i]) {
            ++m.buckets[i];
            break;
        }
    }
}

void Metrics::LimitHit(const std::string& limit) {
    std::lock_guard lock(mutex_);
    ++limits_[limit];
}

std::string Metrics::Text(std::size_t openConnections, const std::vector<Gauge>& gauges) const {
    std::lock_guard lock(mutex_);
    std::string out;
    out += "# HELP evt07800_calls_total Chamadas atendidas, por método.\n";
    out += "# TYPE evt07800_calls_total counter\n";
    for (const auto& [method, m] : methods_)
        out += "evt07800_calls_total{method=\"" + method + "\"} " + std::to_string(m.calls) + "\n";
    out +=
        "# HELP evt07800_refusals_total Chamadas recusadas (status 400 ou mais, ou recusa do "
        "módulo), por método.\n";
    out += "# TYPE evt07800_refusals_total counter\n";
    for (const auto& [method, m] : methods_)
        out += "evt07800_refusals_total{method=\"" + method + "\"} " + std::to_string(m.refusals) +
               "\n";
    out +=
        "# HELP evt07800_call_duration_seconds Duração das chamadas, do cabeçalho à resposta "
        "escrita.\n";
    out += "# TYPE evt07800_call_duration_seconds histogram\n";
    for (const auto& [method, m] : methods_) {
        std::uint64_t cumulative = 0;
        const std::string label = "method=\"" + method + "\"";
        for (std::size_t i = 0; i < kBuckets.size(); ++i) {
            cumulative += m.buckets[i];
            out += "evt07800_call_duration_seconds_bucket{" + label + ",le=\"" +
                   number(kBuckets[i]) + "\"} " + std::to_string(cumulative) + "\n";
        }
        out += "evt07800_call_duration_seconds_bucket{" + label + ",le=\"+Inf\"} " +
               std::to_string(m.calls) + "\n";
        out += "evt07800_call_duration_seconds_sum{" + label + "} " + number(m.seconds) + "\n";
        out +=
            "evt07800_call_duration_seconds_count{" + label + "} " + std::to_string(m.calls) + "\n";
    }
    out += "# HELP evt07800_open_connections Conexões abertas agora.\n";
    out += "# TYPE evt07800_open_connections gauge\n";
    out += "evt07800_open_connections " + std::to_string(openConnections) + "\n";
    out +=
        "# HELP evt07800_limits_hit_total Vezes em que um limite foi atingido, pelo nome de sua "
        "configuração.\n";
    out += "# TYPE evt07800_limits_hit_total counter\n";
    for (const auto& [limit, count] : limits_)
        out += "evt07800_limits_hit_total{limit=\"" + limit + "\"} " + std::to_string(count) + "\n";
    for (const Gauge& g : gauges) {
        out += "# HELP " + g.name + " " + g.help + "\n";
        out += "# TYPE " + g.name + " gauge\n";
        out += g.name + " " + number(g.value) + "\n";
    }
    return out;
}

}  // namespace evt::server
