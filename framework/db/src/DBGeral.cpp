#include "corvana/db/DBGeral.h"

#include <filesystem>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/db/DatabaseAddress.h"
#include "corvana/postgresql/Postgresql.h"
#include "corvana/sqlite/Sqlite.h"

namespace corvana::db {

DBGeral& DBGeral::Instance() {
    static DBGeral instance;
    return instance;
}

DBGeral::DBGeral() = default;

DBGeral::~DBGeral() {
    Close();
}

void DBGeral::Open(const std::string& url) {
    Close();
    if (url.empty()) throw Error("Nenhum banco de dados configurado: informe DatabaseURL.");
    const DatabaseAddress address = ParseAddress(url);
    if (address.backend == Backend::Postgresql) {
        // The database the branches share; a report's worker thread and the
        // user interface take turns on the one session.
        postgresql::ConnectOptions options;
        options.shared = true;
        options.applicationName = "evt-host";
        connection_ = postgresql::Connect(url, options);
        url_ = url;
        return;
    }
    const std::string& path = address.location;
    if (!std::filesystem::exists(path))
        throw Error("Banco de dados não encontrado: " + ShownLocation(url) +
                    ". Inicie o servidor de aplicação para criá-lo.");
    // The application server writes while the host reads: statements wait
    // for its short transactions instead of failing at once. A report's
    // worker thread and the user interface take turns on the connection.
    sqlite::ConnectOptions options;
    options.shared = true;
    connection_ = sqlite::Connect(path, options);
    url_ = url;
}

void DBGeral::Close() {
    connection_.reset();
    url_.clear();
}

Connection& DBGeral::Handle() {
    if (!connection_) Open(Corvana::DatabaseURL());
    return *connection_;
}

}  // namespace corvana::db
