#pragma once
#include <memory>
#include <string>

namespace corvana::db {

class Connection;

// The host application's shared database connection (the data module
// dtmDBGeral of the host). Screens read host tables such as FILIAL through
// it with TADOIBQuery. One connection per process, opened on first use on
// Corvana::DatabaseURL(); the host and every package share it because this
// library is loaded once.
//
// The connection is for reading: it opens an existing database and never
// creates one (the application server owns the schema).
class DBGeral {
public:
    static DBGeral& Instance();

    // Opens `url` (an address ParseAddress reads: an SQLite file, or the
    // postgresql:// URL of the database the application servers share),
    // closing what was open. Raises corvana::Error with a Portuguese text
    // when the database does not exist or cannot be opened; the text never
    // repeats a password the URL carries.
    void Open(const std::string& url);
    void Close();
    bool Connected() const { return connection_ != nullptr; }
    const std::string& URL() const { return url_; }

    // The open connection, opening Corvana::DatabaseURL() when none is open.
    Connection& Handle();

    ~DBGeral();

private:
    DBGeral();
    std::unique_ptr<Connection> connection_;
    std::string url_;
};

// The name screens use for the host's data module.
inline DBGeral& dtmDBGeral() {
    return DBGeral::Instance();
}

}  // namespace corvana::db
