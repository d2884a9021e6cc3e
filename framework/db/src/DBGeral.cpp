#include "corvana/db/DBGeral.h"

#include <sqlite3.h>

#include <filesystem>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"

namespace corvana::db {

DBGeral& DBGeral::Instance() {
    static DBGeral instance;
    return instance;
}

DBGeral::~DBGeral() { Close(); }

void DBGeral::Open(const std::string& url) {
    Close();
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0)
        throw Error("Banco PostgreSQL ainda não suportado pela conexão do aplicativo: " + url);
    if (!std::filesystem::exists(url))
        throw Error("Banco de dados não encontrado: " + url +
                    ". Inicie o servidor de aplicação para criá-lo.");
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(url.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        throw Error("Não foi possível abrir o banco de dados " + url + ": " + why);
    }
    // The application server writes while the host reads: wait for its
    // short transactions instead of failing at once.
    sqlite3_busy_timeout(db, 5000);
    db_ = db;
    url_ = url;
}

void DBGeral::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    url_.clear();
}

sqlite3* DBGeral::Handle() {
    if (!db_) Open(Corvana::DatabaseURL());
    return db_;
}

}  // namespace corvana::db
