// evt07800-server: the application server of the guest lists. Hosts the
// remote data module evt07800.rdmListConv over HTTP (docs/protocol.md).
//
//   evt07800-server [--host H] [--port P] [--db PATH]
//                   [--seed-demo] [--config=FILE]
//
// Host, port and database default to the settings the desktop client reads
// (WebURL, WebPort, DatabaseURL; docs/configuration.md), so that both sides
// agree without options. SIGINT and SIGTERM stop it cleanly (exit code 0).
#include <signal.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/sqlite/Sqlite.h"
#include "endpoint/AppServer.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "uso: evt07800-server [--host ENDEREÇO] [--port PORTA] [--db CAMINHO]\n"
    "                     [--seed-demo] [--config=ARQUIVO] [--Chave=valor ...]\n"
    "  --host       endereço em que o servidor escuta (padrão: WebURL da configuração)\n"
    "  --port       porta TCP (padrão: WebPort da configuração; 0 escolhe uma porta livre)\n"
    "  --db         arquivo SQLite (padrão: DatabaseURL da configuração)\n"
    "  --seed-demo  preenche um banco vazio com dados de demonstração\n"
    "  --config     arquivo de configuração (chaves em docs/configuration.md)\n";

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int) {
    g_stop.store(true);
}

struct Options {
    std::string host;
    int port = 0;
    std::string database;
    bool seedDemo = false;
    bool help = false;
};

class UsageError : public corvana::Error {
public:
    using corvana::Error::Error;
};

// The options LoadSettings left: --host, --port, --db (with the value after
// a blank or an "="), --seed-demo and --help.
Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    options.host = Corvana::WebURL();
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
            options.port = port == "0" ? 0 : Corvana::ParsePort("--port", port);
        } else if (name == "--db") {
            options.database = value();
            if (options.database.empty()) throw UsageError("Informe o banco em --db.");
        } else if (arg == "--seed-demo") {
            options.seedDemo = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            throw UsageError("Opção desconhecida: " + arg);
        }
    }
    return options;
}

// The file of an SQLite database (a path or sqlite:///path); empty for a
// server URL (postgresql://...).
fs::path databaseFile(const std::string& database) {
    if (database.starts_with("sqlite://")) return database.substr(9);
    if (database.find("://") != std::string::npos) return {};
    return database;
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
    // A client that goes away mid-answer must not end the server.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int run(int argc, char** argv) {
    const Options options = parseOptions(Corvana::LoadSettings(argc, argv));
    if (options.help) {
        std::cerr << kUsage;
        return 0;
    }
    installSignalHandlers();

    createFolder(Corvana::DataDir());
    createFolder(databaseFile(options.database).parent_path());
    evt::server::storage::Database::OpenOptions openOptions;
    openOptions.log = [](const std::string& line) {
        std::cerr << "evt07800-server: " << line << std::endl;
    };
    auto db = evt::server::storage::Database::Open(options.database, openOptions);
    if (options.seedDemo && evt::server::storage::SeedDemo(*db))
        std::cerr << "evt07800-server: banco vazio preenchido com os dados de demonstração.\n";

    evt::server::AppServer server({std::make_shared<evt::server::RdmListConv>(db)});
    if (!server.Bind(options.host, options.port)) {
        std::cerr << "evt07800-server: não foi possível escutar em " << options.host << ":"
                  << options.port << " (endereço inválido ou porta em uso).\n";
        return 1;
    }
    std::cerr << "evt07800-server ouvindo em http://" << options.host << ":" << server.Port()
              << " (banco: " << corvana::sqlite::ShownLocation(options.database) << ")"
              << std::endl;

    // The handler only sets the flag; this thread turns it into Stop().
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load() && !g_stop.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
        std::cerr << "evt07800-server: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "evt07800-server: " << e.what() << "\n";
        return 1;
    }
}
