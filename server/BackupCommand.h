#pragma once
// evt07800-server's backup and restore of an SQLite database
// (storage/Backup.h): the options and what each prints.
//
//   --backup FILE             a consistent copy while servers serve, then end
//   --backup-dir DIR [--keep N]  the same into DIR as evt07800-AAAAMMDD-HHMMSS-mmm.db,
//                             keeping the newest N (14)
//   --restore FILE            the database replaced by FILE, only while no
//                             server runs on it
//
// A refusal (storage::BackupRefused) ends the program with exit code 2.
#include <string>

namespace evt::server {

struct BackupCommand {
    std::string backup;     // --backup FILE
    std::string backupDir;  // --backup-dir DIR
    int keep = 14;          // --keep N
    std::string restore;    // --restore FILE

    bool Any() const { return !backup.empty() || !backupDir.empty() || !restore.empty(); }

    // Takes an option of its own (`name` with its value); false for another.
    // Raises corvana::Error for an empty value or a bad --keep.
    bool Take(const std::string& name, const std::string& value);
    // The options whose name Take knows and that need a value.
    static bool Knows(const std::string& name);
    // Raises corvana::Error when two of them are given together.
    void Check() const;

    // Runs it on `database` (an SQLite file; a PostgreSQL URL is refused and
    // pointed to pg_dump). Lines on standard error; returns the exit code.
    int Run(const std::string& database) const;
};

}  // namespace evt::server
