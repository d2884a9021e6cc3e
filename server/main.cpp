// evt07800-server: the application server of the guest lists. Hosts the
// remote data modules evt07800.rdmListConv and evt07800.rdmRecepcao, and
// the reception station's page and calls under /recepcao, over HTTP or
// HTTPS (docs/protocol.md, docs/server.md, docs/reception.md).
//
//   evt07800-server [--host H] [--port P] [--db PATH]
//                   [--seed-demo] [--config=FILE] [--Key=value ...]
//   evt07800-server --migrate-from sqlite:PATH [--db postgresql://...]
//   evt07800-server --backup FILE | --backup-dir DIR [--keep N] | --restore FILE
//
// It listens on BindAddress (127.0.0.1 unless told otherwise; never the
// client's WebURL) and on WebPort; the database is DatabaseURL. Beyond
// loopback it requires an access token. SIGINT and SIGTERM stop it cleanly
// (exit code 0); SIGHUP reads the token of AccessTokenFile again; a bad
// option or setting ends it with exit code 2.
//
// With --migrate-from it serves nothing: it copies the data of an SQLite
// file into the empty database of --db (storage/CopyDatabase.h), all or
// nothing, and ends (exit code 0, or 1 with the reason).
//
// With --backup, --backup-dir or --restore it serves nothing either: it
// copies the SQLite database while servers serve, or replaces it by a
// backup while none does (BackupCommand.h); a refusal is exit code 2.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "BackupCommand.h"
#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/db/DatabaseAddress.h"
#include "endpoint/AppServer.h"
#include "endpoint/ServerSettings.h"
#include "rdm/RdmListConv.h"
#include "reception/ChangeFeed.h"
#include "reception/RdmRecepcao.h"
#include "reception/StationApi.h"
#include "storage/Backup.h"
#include "storage/CopyDatabase.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace {

namespace fs = std::filesystem;

// The options of the command line; the settings' lines follow
// (ServerSettingsHelp).
constexpr const char* kUsage =
    "uso: evt07800-server [--host ENDEREÇO] [--port PORTA] [--db CAMINHO]\n"
    "                     [--seed-demo] [--config=ARQUIVO] [--Chave=valor ...]\n"
    "     evt07800-server --migrate-from sqlite:ARQUIVO [--db DESTINO]\n"
    "     evt07800-server --backup ARQUIVO | --backup-dir PASTA [--keep N] | --restore ARQUIVO\n"
    "  --host       endereço em que o servidor escuta (padrão: BindAddress);\n"
    "               fora do loopback exige um token de acesso\n"
    "  --port       porta TCP (padrão: WebPort; 0 escolhe uma porta livre)\n"
    "  --db         arquivo SQLite ou postgresql://usuario@servidor:porta/banco\n"
    "               (padrão: DatabaseURL)\n"
    "  --seed-demo  preenche um banco vazio com dados de demonstração\n"
    "  --migrate-from sqlite:ARQUIVO\n"
    "               copia os dados do arquivo SQLite para o banco de --db, que deve\n"
    "               estar vazio (tudo ou nada), e termina sem servir chamadas\n"
    "  --backup ARQUIVO\n"
    "               grava uma cópia consistente do banco SQLite, mesmo com servidores\n"
    "               atendendo, e termina\n"
    "  --backup-dir PASTA [--keep N]\n"
    "               o mesmo, em PASTA/evt07800-AAAAMMDD-HHMMSS-mmm.db, mantendo as N mais\n"
    "               novas (padrão 14)\n"
    "  --restore ARQUIVO\n"
    "               substitui o banco SQLite pela cópia, só com nenhum servidor nele\n"
    "  --config     arquivo de configuração (chaves em docs/configuration.md)\n"
    "  --AccessTokenFile=ARQUIVO    token de acesso exigido em toda chamada (primeira linha)\n";

std::string usage() {
    return kUsage + evt::server::ServerSettingsHelp();
}

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int) {
    g_stop.store(true);
}

// SIGHUP: the access token is read again from AccessTokenFile.
std::atomic<bool> g_reload{false};
extern "C" void onReloadSignal(int) {
    g_reload.store(true);
}

struct Options {
    std::string host;
    int port = 0;
    std::string database;
    bool seedDemo = false;
    bool help = false;
    std::string migrateFrom;            // the SQLite file to copy into the database, then end
    evt::server::BackupCommand backup;  // --backup, --backup-dir, --restore
};

class UsageError : public corvana::Error {
public:
    using corvana::Error::Error;
};

// A setting that cannot be used (a bad value, a token or TLS file missing):
// exit code 2 like a bad option, without the usage text.
class SettingsError : public corvana::Error {
public:
    using corvana::Error::Error;
};

// The options LoadSettings left: --host, --port, --db, --migrate-from (with
// the value after a blank or an "="), --seed-demo and --help.
Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    options.host = Corvana::Setting("BindAddress");
    options.port = Corvana::WebPort();
    options.database = Corvana::DatabaseURL();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        auto value = [&]() -> std::string {
            if (eq != std::string::npos) return arg.substr(eq + 1);
            if (i + 1 >= args.size()) throw UsageError("A opção " + name + " precisa de um valor.");
            return args[++i];
        };
        if (name == "--host") {
            options.host = value();
            if (options.host.empty()) throw UsageError("Informe o endereço em --host.");
        } else if (name == "--port") {
            // 0 picks a free port; the start-up line tells which.
            const std::string port = value();
            try {
                options.port = port == "0" ? 0 : Corvana::ParsePort("--port", port);
            } catch (const corvana::Error& e) {
                throw UsageError(e.what());
            }
        } else if (name == "--db") {
            options.database = value();
            if (options.database.empty()) throw UsageError("Informe o banco em --db.");
        } else if (name == "--migrate-from") {
            options.migrateFrom = value();
            if (options.migrateFrom.empty())
                throw UsageError("Informe o arquivo SQLite de origem em --migrate-from.");
        } else if (evt::server::BackupCommand::Knows(name)) {
            try {
                options.backup.Take(name, value());
            } catch (const UsageError&) {
                throw;
            } catch (const corvana::Error& e) {
                throw UsageError(e.what());
            }
        } else if (arg == "--seed-demo") {
            options.seedDemo = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            throw UsageError("Opção desconhecida: " + arg);
        }
    }
    try {
        options.backup.Check();
    } catch (const corvana::Error& e) {
        throw UsageError(e.what());
    }
    if (options.backup.Any() && (options.seedDemo || !options.migrateFrom.empty()))
        throw UsageError(
            "--backup, --backup-dir e --restore não se combinam com --seed-demo "
            "nem com --migrate-from.");
    if (!options.migrateFrom.empty() && options.seedDemo)
        throw UsageError(
            "--seed-demo não se combina com --migrate-from: o destino deve estar vazio.");
    return options;
}

// The file of an SQLite database; empty for a PostgreSQL database.
fs::path databaseFile(const std::string& database) {
    const corvana::db::DatabaseAddress address = corvana::db::ParseAddress(database);
    if (address.backend != corvana::db::Backend::Sqlite) return {};
    return address.location;
}

void createFolder(const fs::path& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw corvana::Error("Não foi possível criar a pasta de dados " + folder.string() + ": " +
                             ec.message());
}

void installSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction reload = {};
    reload.sa_handler = onReloadSignal;
    sigemptyset(&reload.sa_mask);
    sigaction(SIGHUP, &reload, nullptr);
    // A client that goes away mid-answer must not end the server.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

// The server's access from the settings in force.
evt::server::ServerAccess accessFromSettings() {
    evt::server::ServerAccess access;
    try {
        access.token = Corvana::AccessToken();
    } catch (const corvana::Error& e) {
        throw SettingsError(e.what());
    }
    access.tlsCertificate = Corvana::Setting("TLSCertificate");
    access.tlsKey = Corvana::Setting("TLSKey");
    return access;
}

// host:port for the start-up line, an IPv6 address in brackets.
std::string shownAddress(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

void logLine(const std::string& line) {
    std::cerr << "evt07800-server: " << line << std::endl;
}

// --migrate-from: the SQLite file's data into the empty database of --db,
// one line per table and a last one on standard output. Any failure raises
// (exit code 1); the target is then as it was.
int migrate(const Options& options) {
    using namespace evt::server::storage;
    const auto started = std::chrono::steady_clock::now();
    Database::OpenOptions openOptions;
    openOptions.log = logLine;
    auto from = OpenCopySource(options.migrateFrom, openOptions);
    createFolder(databaseFile(options.database).parent_path());
    auto to = Database::Open(options.database, openOptions);
    const std::vector<CopiedTable> copied =
        CopyDatabase(*from, *to, [](const std::string& line) { std::cout << line << "\n"; });
    std::int64_t rows = 0;
    for (const CopiedTable& t : copied) rows += t.rows;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", took.count());
    std::string shownSeconds = seconds;
    std::replace(shownSeconds.begin(), shownSeconds.end(), '.', ',');
    std::cout << "Cópia concluída: " << rows << (rows == 1 ? " linha" : " linhas") << " de "
              << copied.size() << " tabelas, de '" << from->Location() << "' para '"
              << to->Location() << "', em " << shownSeconds << " s." << std::endl;
    return 0;
}

// SIGHUP: the token of AccessTokenFile read again, the calls from then on
// checked against it. A file that cannot be read, or a token of the wrong
// form, leaves the token in force and says why.
void reloadToken(evt::server::AppServer& server, bool tokenRequired) {
    if (!tokenRequired || Corvana::AccessTokenFile().empty() ||
        !Corvana::Setting("AccessToken").empty()) {
        logLine("SIGHUP: nada a reler (o token de acesso não vem de AccessTokenFile).");
        return;
    }
    try {
        server.SetAccessToken(Corvana::AccessToken());
        logLine("SIGHUP: token de acesso relido de " + Corvana::AccessTokenFile() + ".");
    } catch (const corvana::Error& e) {
        logLine(std::string("SIGHUP: ") + e.what() + " O token anterior continua valendo.");
    }
}

int run(int argc, char** argv) {
    std::vector<std::string> rest;
    evt::server::AddServerSettings();
    try {
        rest = Corvana::LoadSettings(argc, argv);
    } catch (const corvana::Error& e) {
        throw SettingsError(e.what());
    }
    const Options options = parseOptions(rest);
    if (options.help) {
        std::cerr << usage();
        return 0;
    }
    if (!options.migrateFrom.empty()) return migrate(options);
    if (options.backup.Any()) return options.backup.Run(options.database);
    installSignalHandlers();
    const evt::server::ServerAccess access = accessFromSettings();
    const bool tokenRequired = !access.token.empty();
    // Before anything is created on disk.
    evt::server::AppServer::CheckAccess(options.host, access);

    createFolder(Corvana::DataDir());
    createFolder(databaseFile(options.database).parent_path());
    // Held while the server serves an SQLite file: a restore waits for no
    // server to be running on it.
    std::unique_ptr<evt::server::storage::ServerLock> lock;
    if (const fs::path file = databaseFile(options.database); !file.empty())
        lock = evt::server::storage::ServerLock::Shared(file.string());
    evt::server::storage::Database::OpenOptions openOptions;
    openOptions.log = logLine;
    auto db = evt::server::storage::Database::Open(options.database, openOptions);
    if (options.seedDemo && evt::server::storage::SeedDemo(*db))
        std::cerr << "evt07800-server: banco vazio preenchido com os dados de demonstração.\n";

    evt::server::AppServer::Limits limits;
    try {
        limits = evt::server::LimitsFromSettings();
    } catch (const corvana::Error& e) {
        throw SettingsError(e.what());
    }
    namespace reception = evt::server::reception;
    auto feed = std::make_shared<reception::ChangeFeed>(db);
    evt::server::AppServer server({std::make_shared<evt::server::RdmListConv>(db),
                                   std::make_shared<reception::RdmRecepcao>(db, feed)},
                                  limits, access,
                                  {std::make_shared<reception::StationApi>(db, feed)});
    server.SetGauges([db] {
        return std::vector<evt::server::Gauge>{
            {"evt07800_database_sessions_in_use",
             "Sessões do banco de dados em uso por chamadas agora.",
             static_cast<double>(db->SessionsInUse())},
            {"evt07800_database_sessions_idle", "Sessões do banco de dados ociosas no pool.",
             static_cast<double>(db->SessionsIdle())}};
    });
    if (!server.Bind(options.host, options.port)) {
        std::cerr << "evt07800-server: não foi possível escutar em "
                  << shownAddress(options.host, options.port)
                  << " (endereço inválido ou porta em uso).\n";
        return 1;
    }
    std::cerr << "evt07800-server ouvindo em " << (server.Tls() ? "https://" : "http://")
              << shownAddress(options.host, server.Port())
              << " (banco: " << corvana::db::ShownLocation(options.database) << ")" << std::endl;
    if (tokenRequired)
        std::cerr << "evt07800-server: toda chamada exige o token de acesso." << std::endl;

    // The handler only sets the flag; this thread turns it into Stop().
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load() && !g_stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (g_reload.exchange(false)) reloadToken(server, tokenRequired);
        }
        server.Stop();
    });
    server.ListenAfterBind();
    done = true;
    watcher.join();
    if (!g_stop.load()) {
        std::cerr << "evt07800-server: o servidor parou de aceitar conexões inesperadamente."
                  << std::endl;
        return 1;
    }
    std::cerr << "evt07800-server: encerrado." << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "evt07800-server: " << e.what() << "\n" << usage();
        return 2;
    } catch (const SettingsError& e) {
        std::cerr << "evt07800-server: " << e.what() << "\n";
        return 2;
    } catch (const evt::server::storage::BackupRefused& e) {
        std::cerr << "evt07800-server: " << e.what() << "\n";
        return 2;
    } catch (const evt::server::ServerConfigError& e) {
        std::cerr << "evt07800-server: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "evt07800-server: " << e.what() << "\n";
        return 1;
    }
}
