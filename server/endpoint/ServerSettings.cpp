#include "endpoint/ServerSettings.h"

#include <chrono>

#include "endpoint/AppServer.h"
#include "guestrecord/ListDatabase.h"

namespace evt::server {

void AddServerSettings() {
    Corvana::AddSettings(kServerSettings);
    Corvana::SetDatabaseFileName(guestrecord::kListDatabaseFile);
}

ServerLimits LimitsFromSettings() {
    auto number = [](const char* key) { return Corvana::NumberSetting(key); };
    auto size = [&](const char* key) { return static_cast<std::size_t>(number(key)); };
    ServerLimits limits;
    limits.headerTimeout = std::chrono::seconds(number("HeaderTimeout"));
    limits.keepAliveTimeout = std::chrono::seconds(number("KeepAliveTimeout"));
    limits.bodyTimeout = std::chrono::seconds(number("BodyTimeout"));
    limits.minTransferRate = size("MinTransferRate");
    limits.maxHeaderBytes = size("MaxHeaderBytes");
    limits.maxHeaderFields = size("MaxHeaderFields");
    limits.maxBodyBytes = size("MaxBodyBytes");
    limits.maxBodyBytesInFlight = size("MaxBodyBytesInFlight");
    limits.maxConnections = size("MaxConnections");
    limits.maxConnectionsPerAddress = size("MaxConnectionsPerAddress");
    limits.logLevel = ParseLogLevel(Corvana::Setting("LogLevel"));
    return limits;
}

std::string ServerSettingsHelp() {
    std::string help;
    for (const Corvana::SettingKey& key : kServerSettings) {
        const bool number = key.type == Corvana::SettingType::Number;
        help += std::string("  --") + key.name + (number ? "=N" : "=VALOR") + "\n               " +
                key.help + "\n";
        if (number)
            help += "               padrão " + std::string(key.defaultValue) + ", de " +
                    std::to_string(key.min) + " a " + std::to_string(key.max) + "\n";
        else if (*key.defaultValue)
            help += std::string("               padrão ") + key.defaultValue + "\n";
    }
    return help;
}

}  // namespace evt::server
