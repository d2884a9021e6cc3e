#pragma once
// The application server's own settings, each described once: its key, kind,
// default, range and the line --help shows. The settings reader takes them
// from this table (AddServerSettings), the endpoint's limits take their
// defaults from it (ServerLimits), evt07800-server's --help lists it, and a
// test compares docs/configuration.md and docs/server.md with it.
#include <cstdint>
#include <string>
#include <string_view>

#include "corvana/core/Corvana.h"

namespace evt::server {

inline constexpr std::int64_t kHour = 3600;
inline constexpr std::int64_t kTiB = std::int64_t{1} << 40;

// Sizes in bytes, times in seconds.
inline constexpr Corvana::SettingKey kServerSettings[] = {
    {"BindAddress", Corvana::SettingType::Text, "127.0.0.1", 0, 0,
     "endereço em que o servidor escuta (--host o substitui); fora do loopback exige um token "
     "de acesso"},
    {"TLSCertificate", Corvana::SettingType::Text, "", 0, 0,
     "arquivo PEM do certificado do servidor; com TLSKey, o servidor fala só HTTPS"},
    {"TLSKey", Corvana::SettingType::Text, "", 0, 0, "arquivo PEM da chave privada do certificado"},
    {"LogLevel", Corvana::SettingType::Text, "chamadas", 0, 0,
     "o que o registro diz: chamadas (uma linha por chamada), recusas (só recusas e erros) ou "
     "erros (só os erros do servidor)"},
    {"HeaderTimeout", Corvana::SettingType::Number, "10", 1, kHour,
     "segundos para um cabeçalho inteiro de requisição e para o início de uma conexão TLS"},
    {"KeepAliveTimeout", Corvana::SettingType::Number, "5", 1, kHour,
     "segundos em que uma conexão ociosa é mantida entre chamadas"},
    {"BodyTimeout", Corvana::SettingType::Number, "10", 1, kHour,
     "segundos para um corpo ou uma resposta, mais um segundo a cada MinTransferRate bytes"},
    {"MinTransferRate", Corvana::SettingType::Number, "65536", 1024, kTiB,
     "taxa mínima, em bytes por segundo, de um corpo ou de uma resposta"},
    {"MaxHeaderBytes", Corvana::SettingType::Number, "8192", 1024, 1 << 20,
     "maior cabeçalho de requisição, linha de requisição incluída (acima: 431)"},
    {"MaxHeaderFields", Corvana::SettingType::Number, "100", 8, 10000,
     "máximo de campos num cabeçalho de requisição (acima: 431)"},
    {"MaxBodyBytes", Corvana::SettingType::Number, "33554432", 1024, kTiB,
     "maior corpo de requisição (acima: 413)"},
    {"MaxBodyBytesInFlight", Corvana::SettingType::Number, "83886080", 1024, kTiB,
     "corpos sendo lidos ou chamados ao mesmo tempo, todos os clientes somados (acima: 503)"},
    {"MaxConnections", Corvana::SettingType::Number, "512", 1, 1000000,
     "conexões abertas ao mesmo tempo; as demais são fechadas"},
    {"MaxConnectionsPerAddress", Corvana::SettingType::Number, "64", 1, 1000000,
     "conexões abertas ao mesmo tempo de um endereço de cliente (acima: 503)"},
};

// A number key's default, at compile time: a name that is not in the table,
// or a default that is not a number within its range, stops the build.
consteval std::int64_t DefaultOf(std::string_view name) {
    for (const Corvana::SettingKey& key : kServerSettings) {
        if (name != key.name) continue;
        std::int64_t value = 0;
        for (const char* c = key.defaultValue; *c; ++c) {
            if (*c < '0' || *c > '9') throw "the default is not a number";
            value = value * 10 + (*c - '0');
        }
        if (key.type != Corvana::SettingType::Number || value < key.min || value > key.max)
            throw "the default is out of its range";
        return value;
    }
    throw "no such server setting";
}

struct ServerLimits;

// Gives the settings the server's keys and its database file
// (guestrecord/ListDatabase.h); before LoadSettings. Adding them again does
// nothing.
void AddServerSettings();

// The endpoint's limits from the settings in force. Raises corvana::Error for
// a LogLevel it does not know.
ServerLimits LimitsFromSettings();

// The settings' lines of evt07800-server's --help, one key each with its
// default and range.
std::string ServerSettingsHelp();

}  // namespace evt::server
