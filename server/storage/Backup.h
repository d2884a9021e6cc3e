#pragma once
// Backups of the server's SQLite database while it serves, and their
// restore (evt07800-server --backup, --backup-dir, --restore; docs/server.md
// "Backups"). A PostgreSQL database is backed up with pg_dump instead.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "corvana/data/Error.h"

namespace evt::server::storage {

// What a backup or a restore refuses before it touches anything: a folder
// that does not exist or cannot be written, the live database as the
// target, a file that is not a sound database of a known schema, a server
// running on the database. The text is for the administrator, in
// Portuguese; evt07800-server ends with exit code 2.
class BackupRefused : public corvana::Error {
public:
    using corvana::Error::Error;
};

struct BackupOptions {
    // Pages copied per step of SQLite's online backup, and the pause between
    // steps. The copy reads one snapshot (a read transaction held for the
    // whole copy): in WAL mode the server's writers never wait for it, and
    // what was committed before the copy began is in it.
    int pagesPerStep = 512;
    std::chrono::milliseconds pause{1};
};

struct BackupResult {
    std::string file;  // the backup written
    std::int64_t pages = 0;
    std::int64_t bytes = 0;
    double seconds = 0;
};

// Copies a consistent snapshot of the SQLite database `databaseFile` into
// `target` (written as <target>.parcial, checked with PRAGMA
// integrity_check, synced, then renamed over <target>). Raises BackupRefused
// for a database file that does not exist, a target folder that does not
// exist or cannot be written, a target that is a folder or the database
// itself (or its -wal, -shm or lock file); corvana::Error for a failure of
// the copy, nothing then left at `target`.
BackupResult BackupDatabase(const std::string& databaseFile, const std::string& target,
                            const BackupOptions& options = {});

// The nightly backup: into `folder` as evt07800-AAAAMMDD-HHMMSS-mmm.db
// (local time), then removes the oldest evt07800-*.db of the folder beyond `keep`.
// The removed files' names go to `removed`.
BackupResult BackupIntoFolder(const std::string& databaseFile, const std::string& folder, int keep,
                              const std::function<void(const std::string&)>& removed = {});

// Checks a backup before a restore: an SQLite database, whole (not shorter
// than its header says), PRAGMA integrity_check "ok", holding the guest
// lists, of a schema version this server knows. Returns its version.
// Raises BackupRefused naming the file and what is wrong.
int CheckBackupFile(const std::string& file);

// Replaces the database `databaseFile` by the backup `backupFile` (checked
// by CheckBackupFile first), only while no server holds it (ServerLock);
// the database as it was is first copied to <databaseFile>.antes-da-restauracao.
// Raises BackupRefused before anything is touched.
void RestoreDatabase(const std::string& backupFile, const std::string& databaseFile);

// The lock a serving server holds on its SQLite database (<file>.lock, a
// shared flock: several servers may serve one file) and that a restore
// takes alone. Released when destroyed or when the process ends.
class ServerLock {
public:
    ~ServerLock();
    ServerLock(const ServerLock&) = delete;
    ServerLock& operator=(const ServerLock&) = delete;

    // A serving server's: raises corvana::Error when the lock file cannot be
    // made, BackupRefused while a restore holds it.
    static std::unique_ptr<ServerLock> Shared(const std::string& databaseFile);
    // A restore's: raises BackupRefused while a server holds it.
    static std::unique_ptr<ServerLock> Exclusive(const std::string& databaseFile);

    static std::string LockFile(const std::string& databaseFile) { return databaseFile + ".lock"; }

private:
    explicit ServerLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace evt::server::storage
