#include "storage/Backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>
#include <vector>

#include "storage/Schema.h"

namespace evt::server::storage {

namespace fs = std::filesystem;

namespace {

// One SQLite connection of the backup's own (not the server's pool: the
// copy needs the C API's backup object and one read transaction).
class Handle {
public:
    Handle(const std::string& file, int flags) {
        const int rc = sqlite3_open_v2(file.c_str(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            const std::string text = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close(db_);
            db_ = nullptr;
            throw corvana::Error("Não foi possível abrir '" + file + "': " + text);
        }
        sqlite3_busy_timeout(db_, 5000);
        sqlite3_extended_result_codes(db_, 1);
    }
    ~Handle() { sqlite3_close_v2(db_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    sqlite3* get() const { return db_; }
    std::string Error() const { return sqlite3_errmsg(db_); }

    void Execute(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : Error();
            sqlite3_free(message);
            throw corvana::Error(text);
        }
    }

    // The rows of the first column of a query, as text.
    std::vector<std::string> Column(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw corvana::Error(Error());
        std::vector<std::string> values;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(st, 0);
            values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) throw corvana::Error(Error());
        return values;
    }

private:
    sqlite3* db_ = nullptr;
};

std::string errnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// The same file, or another name of it.
bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

void syncPath(const fs::path& path, bool directory) {
    const int fd = ::open(path.c_str(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The folder a target goes into: it exists, is a folder and can be written.
void checkTargetFolder(const fs::path& target) {
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!fs::exists(folder, ec))
        throw BackupRefused("A pasta '" + folder.string() +
                            "' da cópia de segurança não existe; nada foi gravado.");
    if (!fs::is_directory(folder, ec))
        throw BackupRefused("'" + folder.string() + "' não é uma pasta; nada foi gravado.");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw BackupRefused("Não é possível gravar na pasta '" + folder.string() +
                            "' da cópia de segurança (" + errnoText(errno) +
                            "); nada foi gravado.");
    if (fs::is_directory(target, ec))
        throw BackupRefused("'" + target.string() +
                            "' é uma pasta; informe o arquivo da cópia de segurança.");
}

// A file opened read only and immutable: nothing of it or beside it is
// written (no -wal or -shm made next to a backup).
std::string immutableUri(const std::string& file) {
    std::string uri = "file:";
    for (char c : fs::absolute(file).string()) {
        if (c == '%' || c == '?' || c == '#') {
            static const char* hex = "0123456789abcdef";
            uri += '%';
            uri += hex[(static_cast<unsigned char>(c) >> 4) & 15];
            uri += hex[c & 15];
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

std::int64_t readBigEndian(const unsigned char* p) {
    return (std::int64_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

}  // namespace

BackupResult BackupDatabase(const std::string& databaseFile, const std::string& target,
                            const BackupOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    const fs::path database(databaseFile), to(target);
    std::error_code ec;
    if (!fs::is_regular_file(database, ec))
        throw BackupRefused("O banco de dados '" + databaseFile +
                            "' não existe; não há o que copiar.");
    for (const char* suffix : {"", "-wal", "-shm", "-journal", ".lock"}) {
        if (sameFile(to, databaseFile + suffix))
            throw BackupRefused(
                "A cópia de segurança não pode ser gravada sobre o próprio banco "
                "de dados '" +
                databaseFile + "'; informe outro arquivo.");
    }
    checkTargetFolder(to);

    const std::string partial = target + ".parcial";
    fs::remove(partial, ec);
    // Whether the folder takes a file, as this user (root passes the
    // permission bits, not a read-only or special file system).
    if (const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
        fd >= 0) {
        ::close(fd);
    } else {
        const int error = errno;
        fs::path folder = to.parent_path();
        if (folder.empty()) folder = ".";
        throw BackupRefused("Não é possível gravar na pasta '" + folder.string() +
                            "' da cópia de segurança (" + errnoText(error) +
                            "); nada foi gravado.");
    }
    BackupResult result;
    result.file = target;
    try {
        Handle source(databaseFile, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        // One snapshot for the whole copy: the steps read what was committed
        // when it began, and the copy never starts over because the server
        // wrote meanwhile.
        source.Execute("BEGIN");
        source.Column("SELECT count(*) FROM sqlite_schema");
        {
            Handle copy(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
            sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
            if (!backup) throw corvana::Error(copy.Error());
            int rc;
            while (true) {
                rc = sqlite3_backup_step(backup, options.pagesPerStep);
                if (rc == SQLITE_DONE) break;
                if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
                std::this_thread::sleep_for(options.pause);
            }
            result.pages = sqlite3_backup_pagecount(backup);
            sqlite3_backup_finish(backup);
            if (rc != SQLITE_DONE) throw corvana::Error(sqlite3_errstr(rc));
            source.Execute("COMMIT");
            const auto check = copy.Column("PRAGMA integrity_check");
            if (check.empty() || check.front() != "ok")
                throw corvana::Error("a cópia não passou em PRAGMA integrity_check: " +
                                     (check.empty() ? std::string("sem resposta") : check.front()));
        }
        syncPath(partial, false);
        fs::rename(partial, to);
        syncPath(to.parent_path().empty() ? fs::path(".") : to.parent_path(), true);
    } catch (const corvana::Error& e) {
        fs::remove(partial, ec);
        fs::remove(partial + "-journal", ec);
        throw corvana::Error("A cópia de segurança de '" + databaseFile + "' para '" + target +
                             "' falhou: " + e.what() + " Nada foi gravado.");
    } catch (const fs::filesystem_error& e) {
        fs::remove(partial, ec);
        throw corvana::Error("A cópia de segurança de '" + databaseFile + "' para '" + target +
                             "' falhou: " + e.code().message() + ". Nada foi gravado.");
    }
    result.bytes = static_cast<std::int64_t>(fs::file_size(to, ec));
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

BackupResult BackupIntoFolder(const std::string& databaseFile, const std::string& folder, int keep,
                              const std::function<void(const std::string&)>& removed) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw BackupRefused("A pasta '" + folder +
                            "' das cópias de segurança não existe; nada foi gravado.");
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32], name[64];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::snprintf(name, sizeof name, "evt07800-%s-%03d.db", stamp, static_cast<int>(millis));
    const BackupResult result = BackupDatabase(databaseFile, (fs::path(folder) / name).string());

    // The names sort by their time: the oldest first.
    std::vector<fs::path> kept;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string n = entry.path().filename().string();
        if (n.starts_with("evt07800-") && n.ends_with(".db") && entry.is_regular_file(ec))
            kept.push_back(entry.path());
    }
    std::sort(kept.begin(), kept.end());
    const std::size_t limit = static_cast<std::size_t>(std::max(keep, 1));
    for (std::size_t i = 0; i + limit < kept.size(); ++i) {
        if (fs::remove(kept[i], ec) && removed) removed(kept[i].string());
    }
    return result;
}

int CheckBackupFile(const std::string& file) {
    std::error_code ec;
    if (!fs::exists(file, ec))
        throw BackupRefused("O arquivo '" + file + "' não existe; nada foi restaurado.");
    if (!fs::is_regular_file(file, ec))
        throw BackupRefused("'" + file + "' não é um arquivo; nada foi restaurado.");
    const auto notADatabase = [&] {
        return BackupRefused("O arquivo '" + file +
                             "' não é um banco de dados SQLite; nada foi restaurado.");
    };
    // The header: the magic text, the page size and the page count.
    unsigned char header[100] = {};
    {
        std::ifstream in(file, std::ios::binary);
        in.read(reinterpret_cast<char*>(header), sizeof header);
        if (in.gcount() != sizeof header) throw notADatabase();
    }
    if (std::memcmp(header, "SQLite format 3", 16) != 0) throw notADatabase();
    std::int64_t pageSize = (header[16] << 8) | header[17];
    if (pageSize == 1) pageSize = 65536;
    const std::int64_t pages = readBigEndian(header + 28);
    const bool countValid = pages > 0 && std::memcmp(header + 24, header + 92, 4) == 0;
    const auto size = static_cast<std::int64_t>(fs::file_size(file, ec));
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) throw notADatabase();
    if ((countValid && size < pages * pageSize) || size % pageSize != 0)
        throw BackupRefused("O arquivo '" + file + "' está truncado (" + std::to_string(size) +
                            " bytes; o cabeçalho diz " + std::to_string(pages * pageSize) +
                            "); nada foi restaurado.");

    int version = 0;
    try {
        Handle db(immutableUri(file), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX);
        const auto check = db.Column("PRAGMA integrity_check");
        if (check.empty() || check.front() != "ok") {
            std::string found;
            for (std::size_t i = 0; i < check.size() && i < 3; ++i)
                found += (i ? "; " : "") + check[i];
            throw BackupRefused("O arquivo '" + file +
                                "' está danificado (PRAGMA integrity_check: " + found +
                                "); nada foi restaurado.");
        }
        if (db.Column("SELECT name FROM sqlite_schema WHERE type = 'table' AND name = "
                      "'LISTACONVOREV'")
                .empty())
            throw BackupRefused("O arquivo '" + file +
                                "' não é um banco das listas de convidados; nada foi restaurado.");
        version = std::stoi(db.Column("PRAGMA user_version").front());
    } catch (const BackupRefused&) {
        throw;
    } catch (const corvana::Error& e) {
        const std::string text = e.what();
        if (text.find("not a database") != std::string::npos) throw notADatabase();
        throw BackupRefused("O arquivo '" + file + "' está danificado (" + text +
                            "); nada foi restaurado.");
    }
    if (version > CurrentSchemaVersion())
        throw BackupRefused("O arquivo '" + file + "' está na versão " + std::to_string(version) +
                            " do esquema, mais nova que a versão " +
                            std::to_string(CurrentSchemaVersion()) +
                            " que este servidor conhece. Atualize o servidor antes de restaurar; "
                            "nada foi restaurado.");
    return version;
}

void RestoreDatabase(const std::string& backupFile, const std::string& databaseFile) {
    if (sameFile(backupFile, databaseFile))
        throw BackupRefused("O arquivo '" + backupFile +
                            "' é o próprio banco de dados; nada foi restaurado.");
    CheckBackupFile(backupFile);
    std::error_code ec;
    const fs::path database(databaseFile);
    const fs::path folder = database.parent_path().empty() ? fs::path(".") : database.parent_path();
    if (!fs::is_directory(folder, ec))
        throw BackupRefused("A pasta '" + folder.string() +
                            "' do banco de dados não existe; nada foi restaurado.");
    const auto lock = ServerLock::Exclusive(databaseFile);

    // The database as it was, beside it, before it is replaced.
    if (fs::exists(database, ec))
        BackupDatabase(databaseFile, databaseFile + ".antes-da-restauracao");

    // Through SQLite, so that the database's WAL and its readers see one
    // change: the backup's pages replace the database's in one transaction.
    Handle source(immutableUri(backupFile),
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX);
    Handle live(databaseFile, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    sqlite3_backup* backup = sqlite3_backup_init(live.get(), "main", source.get(), "main");
    if (!backup) throw corvana::Error("A restauração falhou: " + live.Error());
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw corvana::Error("A restauração de '" + backupFile + "' falhou: " + sqlite3_errstr(rc) +
                             ". O banco ficou como estava.");
    live.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

ServerLock::~ServerLock() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

int openLockFile(const std::string& databaseFile) {
    const std::string file = ServerLock::LockFile(databaseFile);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0)
        throw corvana::Error("Não foi possível criar o arquivo de trava '" + file +
                             "': " + errnoText(errno));
    return fd;
}

}  // namespace

std::unique_ptr<ServerLock> ServerLock::Shared(const std::string& databaseFile) {
    const int fd = openLockFile(databaseFile);
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        throw BackupRefused("O banco de dados '" + databaseFile +
                            "' está sendo restaurado; o servidor não foi iniciado.");
    }
    return std::unique_ptr<ServerLock>(new ServerLock(fd));
}

std::unique_ptr<ServerLock> ServerLock::Exclusive(const std::string& databaseFile) {
    int fd;
    try {
        fd = openLockFile(databaseFile);
    } catch (const corvana::Error& e) {
        throw BackupRefused(std::string(e.what()) + "; nada foi restaurado.");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw BackupRefused("Um servidor está usando o banco de dados '" + databaseFile +
                            "'; pare-o (systemctl stop evt07800-server) antes de restaurar. "
                            "Nada foi restaurado.");
    }
    return std::unique_ptr<ServerLock>(new ServerLock(fd));
}

}  // namespace evt::server::storage
