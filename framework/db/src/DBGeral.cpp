#include "corvana/db/DBGeral.h"

#include <filesystem>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
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
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
        throw Error(
            "Banco PostgreSQL ainda não suportado pela conexão do aplicativo; informe o caminho "
            "de um arquivo SQLite.");
    }
    if (!std::filesystem::exists(url))
        throw Error("Banco de dados não encontrado: " + sqlite::ShownLocation(url) +
                    ". Inicie o servidor de aplicação para criá-lo.");
    // The application server writes while the host reads: statements wait
    // for its short transactions instead of failing at once. A report's
    // worker thread and the user interface take turns on the connection.
    sqlite::ConnectOptions options;
    options.shared = true;
    connection_ = sqlite::Connect(url, options);
    url_ = url;
}

void DBGeral::Close() {
    connection_.reset();
    url_.clear();
}

sqlite::Connection& DBGeral::Handle() {
    if (!connection_) Open(Corvana::DatabaseURL());
    return *connection_;
}

}  // namespace corvana::db
